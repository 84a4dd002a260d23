// A server in front of the local service, for tests of the tools: it serves
// the service's description with its own endpoint (/front.xml), or one that
// holds only some methods and names the service's endpoint (/partial.xml),
// and the same two of the admin interface (/front-admin.xml,
// /partial-admin.xml); it passes the session messages on and answers every
// operation with a canned reply.
#pragma once

#include <httplib.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "Descriptions.h"
#include "ServiceProcess.h"
#include "Soap/Transport.h"

class FrontServer {
public:
    FrontServer(const ServiceProcess& svc, const std::function<bool(const std::string&)>& include = {})
    {
        const std::string backend = svc.Url("/TesselService/TesselServiceCore.asmx");
        port_ = server_.bind_to_any_port("127.0.0.1");
        const std::string self = "http://127.0.0.1:" + std::to_string(port_) + "/soap";
        description_ = tessel::server::Description(tessel::server::Interface::Main,
                                                   tessel::server::DescriptionStyle::RpcEncoded, self);
        partial_ = tessel::server::Description(tessel::server::Interface::Main,
                                               tessel::server::DescriptionStyle::RpcEncoded, backend, include);
        adminDescription_ = tessel::server::Description(tessel::server::Interface::Admin,
                                                        tessel::server::DescriptionStyle::RpcEncoded, self);
        adminPartial_ = tessel::server::Description(
            tessel::server::Interface::Admin, tessel::server::DescriptionStyle::RpcEncoded,
            svc.Url("/TesselService/TesselServiceCoreAdmin.asmx"), include);
        for (const auto& [path, text] : {std::pair{"/front-admin.xml", &adminDescription_},
                                         std::pair{"/partial-admin.xml", &adminPartial_}}) {
            server_.Get(path, [text](const httplib::Request&, httplib::Response& res) {
                res.set_content(*text, "text/xml");
            });
        }
        server_.Get(R"(/doc/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            const std::lock_guard<std::mutex> lock(mutex_);
            const auto it = documents_.find(req.matches[1].str());
            if (it == documents_.end())
                res.status = 404;
            else
                res.set_content(it->second, "text/xml");
        });
        server_.Get("/front.xml", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(description_, "text/xml");
        });
        server_.Get("/partial.xml", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(partial_, "text/xml");
        });
        server_.Post("/soap", [this, backend](const httplib::Request& req, httplib::Response& res) {
            for (const char* m : {"CreateTicket", "OpenSession", "CloseSession"}) {
                if (req.body.find(std::string(":") + m + " ") != std::string::npos ||
                    req.body.find(std::string(":") + m + ">") != std::string::npos) {
                    std::string own;
                    {
                        const std::lock_guard<std::mutex> lock(mutex_);
                        const auto it = sessionReplies_.find(m);
                        if (it != sessionReplies_.end())
                            own = it->second;
                    }
                    res.set_content(own.empty() ? tessel::soap::HttpPost(backend, req.body, m).body : own, "text/xml");
                    return;
                }
            }
            const std::lock_guard<std::mutex> lock(mutex_);
            res.set_content(canned_, "text/xml");
        });
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FrontServer()
    {
        server_.stop();
        thread_.join();
    }
    void Reply(std::string body)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        canned_ = std::move(body);
    }
    // Serves `text` at /doc/NAME.
    void ServeDocument(const std::string& name, std::string text)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        documents_[name] = std::move(text);
    }
    // Answers a session message with `body` instead of passing it on.
    void ReplyToSession(const std::string& message, std::string body)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        sessionReplies_[message] = std::move(body);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::string description_, partial_, adminDescription_, adminPartial_, canned_;
    std::map<std::string, std::string> sessionReplies_;
    std::map<std::string, std::string> documents_;
};


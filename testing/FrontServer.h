// A server in front of the local service, for tests of the tools: it serves
// the service's description with its own endpoint (/front.xml), or one that
// holds only some methods and names the service's endpoint (/partial.xml),
// and the same two of the admin interface (/front-admin.xml,
// /partial-admin.xml); it passes the session messages on and answers every
// operation with a canned reply.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "Descriptions.h"
#include "ServiceProcess.h"
#include "Soap/Transport.h"
#include "TestHttpServer.h"

class FrontServer {
public:
    FrontServer(const ServiceProcess& svc, const std::function<bool(const std::string&)>& include = {})
        : backend_(svc.Url("/TesselService/TesselServiceCore.asmx")),
          adminBackend_(svc.Url("/TesselService/TesselServiceCoreAdmin.asmx")),
          include_(include),
          server_([this](httplib::Server& s) { Routes(s); })
    {
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
    std::string Url(const std::string& path) const { return server_.Url(path); }

private:
    void Routes(httplib::Server& s)
    {
        using tessel::server::DescriptionStyle;
        using tessel::server::Interface;
        const std::string self = server_.Url("/soap");
        description_ = tessel::server::Description(Interface::Main, DescriptionStyle::RpcEncoded, self);
        partial_ = tessel::server::Description(Interface::Main, DescriptionStyle::RpcEncoded, backend_, include_);
        adminDescription_ = tessel::server::Description(Interface::Admin, DescriptionStyle::RpcEncoded, self);
        adminPartial_ =
            tessel::server::Description(Interface::Admin, DescriptionStyle::RpcEncoded, adminBackend_, include_);
        for (const auto& [path, text] : {std::pair{"/front.xml", &description_}, std::pair{"/partial.xml", &partial_},
                                         std::pair{"/front-admin.xml", &adminDescription_},
                                         std::pair{"/partial-admin.xml", &adminPartial_}}) {
            s.Get(path, [text](const httplib::Request&, httplib::Response& res) {
                res.set_content(*text, "text/xml");
            });
        }
        s.Get(R"(/doc/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            const std::lock_guard<std::mutex> lock(mutex_);
            const auto it = documents_.find(req.matches[1].str());
            if (it == documents_.end())
                res.status = 404;
            else
                res.set_content(it->second, "text/xml");
        });
        s.Post("/soap", [this](const httplib::Request& req, httplib::Response& res) {
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
                    res.set_content(own.empty() ? tessel::soap::HttpPost(backend_, req.body, m).body : own,
                                    "text/xml");
                    return;
                }
            }
            const std::lock_guard<std::mutex> lock(mutex_);
            res.set_content(canned_, "text/xml");
        });
    }

    const std::string backend_, adminBackend_;
    const std::function<bool(const std::string&)> include_;
    std::mutex mutex_;
    std::string description_, partial_, adminDescription_, adminPartial_, canned_;
    std::map<std::string, std::string> sessionReplies_;
    std::map<std::string, std::string> documents_;
    // Last: it stops before the state its routes use goes.
    TestHttpServer server_;
};

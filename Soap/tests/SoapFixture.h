// A loopback HTTP server for the toolkit's tests: serves the test WSDL files
// with their endpoint filled in, and answers posts with canned replies.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "Soap/Packager.h"
#include "TestHttpServer.h"

class SoapFixture {
public:
    struct Canned {
        int status = 200;
        std::string body;
        std::string contentType = "text/xml; charset=utf-8";
        int delayMs = 0;
    };

    SoapFixture() : server_([this](httplib::Server& s) { Routes(s); }) {}
    SoapFixture(const SoapFixture&) = delete;
    SoapFixture& operator=(const SoapFixture&) = delete;

    std::string Url(const std::string& path) const { return server_.Url(path); }
    std::string Wsdl(const std::string& file) const { return Url("/wsdl/" + file); }

    void Reply(Canned c)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        reply_ = std::move(c);
    }
    void ReplyEnvelope(const std::string& bodyContent, int status = 200)
    {
        Reply({status,
               "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>" +
                   bodyContent + "</e:Body></e:Envelope>"});
    }
    void ServeText(std::string body)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        getBody_ = std::move(body);
    }
    std::string lastBody() const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lastBody_;
    }
    std::string lastAction() const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lastAction_;
    }
    std::string lastContentType() const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lastContentType_;
    }
    std::string lastLength() const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lastLength_;
    }
    int port() const { return server_.port(); }
    // A test data file's text with its endpoint filled in; none when there is
    // no such file.
    std::optional<std::string> DataText(const std::string& file) const
    {
        std::ifstream in(std::string(TESSEL_SOAP_TEST_DATA) + "/" + file);
        if (!in)
            return std::nullopt;
        std::stringstream ss;
        ss << in.rdbuf();
        std::string text = ss.str();
        const std::string mark = "@ENDPOINT@";
        for (auto pos = text.find(mark); pos != std::string::npos; pos = text.find(mark))
            text.replace(pos, mark.size(), Url("/soap"));
        return text;
    }
    // How often a file under /wsdl/ was fetched.
    int Fetches(const std::string& file) const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto it = fetches_.find(file);
        return it == fetches_.end() ? 0 : it->second;
    }

private:
    void Routes(httplib::Server& s)
    {
        s.Get(R"(/wsdl/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                ++fetches_[req.matches[1].str()];
            }
            const std::optional<std::string> text = DataText(req.matches[1].str());
            if (!text) {
                res.status = 404;
                res.set_content("<html><body><h1>404 Not Found</h1></body></html>", "text/html");
                return;
            }
            res.set_content(*text, "text/xml");
        });
        s.Get("/moved", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(Url("/wsdl/rpc_encoded.wsdl"));
        });
        s.Get("/text", [this](const httplib::Request&, httplib::Response& res) {
            const std::lock_guard<std::mutex> lock(mutex_);
            res.set_content(getBody_, "text/xml");
        });
        s.Post("/soap", [this](const httplib::Request& req, httplib::Response& res) {
            Canned reply;
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                lastBody_ = req.body;
                lastAction_ = req.get_header_value("SOAPAction");
                lastContentType_ = req.get_header_value("Content-Type");
                lastLength_ = req.get_header_value("Content-Length");
                reply = reply_;
            }
            if (reply.delayMs)
                std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
            res.status = reply.status;
            res.set_content(reply.body, reply.contentType.c_str());
        });
    }

    mutable std::mutex mutex_;
    Canned reply_;
    std::string lastBody_, lastAction_, lastContentType_, lastLength_, getBody_;
    std::map<std::string, int> fetches_;
    // Last: it stops before the state its routes use goes.
    TestHttpServer server_;
};

// A test over the fixture, with a packager loaded from one of its descriptions.
class SoapTest : public ::testing::Test {
protected:
    tessel::soap::Packager Loaded(const std::string& file)
    {
        tessel::soap::Packager p;
        EXPECT_TRUE(p.LoadServicesDescription(1, server.Wsdl(file))) << p.LastError();
        return p;
    }

    SoapFixture server;
};


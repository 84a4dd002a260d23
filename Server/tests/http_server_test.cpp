// The service's HTTP server in this process, with small limits: what
// connections and bodies may cost, what an answer may say, how it stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <zlib.h>

#include "GuardedServer.h"
#include "RawConnection.h"

using tessel::server::GuardedServer;
using tessel::server::HttpAnswer;
using tessel::server::HttpLimits;
using tessel::server::HttpRequest;
using tessel::server::AcceptsGzip;
using tessel::server::Encoded;

namespace {

// A server on a free loopback port.
class Running {
public:
    Running(const HttpLimits& limits, GuardedServer::Handler handler, GuardedServer::Observer observer = {})
        : server_(limits, std::move(handler), std::move(observer))
    {
        port_ = server_.Bind("127.0.0.1", 0);
        if (port_ <= 0 || !server_.Start())
            throw std::runtime_error("the server did not start");
    }
    int port() const { return port_; }
    GuardedServer& server() { return server_; }

private:
    GuardedServer server_;
    int port_ = 0;
};

HttpAnswer Echo(const HttpRequest& r)
{
    return HttpAnswer{200, "text/plain", r.method + " " + r.path + " " + std::to_string(r.body.size())};
}

std::string PostHeader(std::size_t length)
{
    return "POST /put HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

constexpr char kGet[] = "GET /a HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

bool StartsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

// A gzip body inflated, or "(not gzip)".
std::string Gunzip(const std::string& body)
{
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK)
        return "(not gzip)";
    std::string out(1u << 20, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    z.avail_in = static_cast<uInt>(body.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int done = inflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    inflateEnd(&z);
    return done == Z_STREAM_END ? out : "(not gzip)";
}

bool HasHeader(const HttpAnswer& a, const std::string& name, const std::string& value)
{
    return std::find(a.headers.begin(), a.headers.end(), std::make_pair(name, value)) != a.headers.end();
}

}  // namespace

TEST(HttpServer, ConnectionsBeyondTheLimitAreRefusedWithAReason)
{
    HttpLimits limits;
    limits.connections = 8;
    Running s(limits, Echo);
    std::vector<std::unique_ptr<RawConnection>> open;
    for (int i = 0; i < 8; ++i)
        open.push_back(std::make_unique<RawConnection>(s.port()));
    const RawConnection ninth(s.port());
    const std::string refusal = ninth.Receive(5000);
    EXPECT_TRUE(StartsWith(refusal, "HTTP/1.1 503 Service Unavailable\r\n")) << refusal;
    EXPECT_NE(refusal.find("Connection: close\r\n"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("The service already has 8 connections open, the most it keeps; close one and try again."),
              std::string::npos)
        << refusal;

    // Those within the limit are served, and a closed one makes room.
    ASSERT_TRUE(open[0]->Send(kGet));
    EXPECT_TRUE(StartsWith(open[0]->Receive(500), "HTTP/1.1 200 OK\r\n"));
    open[1]->Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const RawConnection next(s.port());
    ASSERT_TRUE(next.Send(kGet));
    EXPECT_TRUE(StartsWith(next.Receive(500), "HTTP/1.1 200 OK\r\n"));
}

TEST(HttpServer, TheObserverSeesEveryAnswerItsOwnRefusalsToo)
{
    std::mutex mutex;
    std::vector<std::string> seen;
    HttpLimits limits;
    limits.connections = 2;
    limits.bodyLimit = 100;
    Running s(
        limits,
        [](const HttpRequest& r) {
            if (r.path == "/fail")
                throw std::runtime_error("handler failed");
            return Echo(r);
        },
        [&](const HttpRequest& r, const HttpAnswer& a) {
            const std::lock_guard<std::mutex> lock(mutex);
            seen.push_back(std::to_string(a.status) + " " + r.method + " " + r.path);
        });
    {
        const RawConnection a(s.port()), b(s.port());
        const RawConnection third(s.port());  // beyond the limit: refused before a byte of a request
        EXPECT_TRUE(StartsWith(third.Receive(5000), "HTTP/1.1 503"));
        ASSERT_TRUE(a.Send(kGet));
        EXPECT_TRUE(StartsWith(a.Receive(500), "HTTP/1.1 200"));
        ASSERT_TRUE(b.Send("GET /fail HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
        EXPECT_TRUE(StartsWith(b.Receive(500), "HTTP/1.1 500"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both closed
    const RawConnection large(s.port());
    ASSERT_TRUE(large.Send(PostHeader(101)));
    EXPECT_TRUE(StartsWith(large.Receive(5000), "HTTP/1.1 413"));

    const std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(seen, (std::vector<std::string>{"503  ", "200 GET /a", "500 GET /fail", "413 POST /put"}));
}

TEST(HttpServer, BodiesAreBoundedEachAndAllTogether)
{
    HttpLimits limits;
    limits.bodyLimit = 1u << 20;
    limits.requestMemory = 1u << 20;
    Running s(limits, Echo);

    // A body announced longer than the limit is refused before it is read.
    const RawConnection large(s.port());
    ASSERT_TRUE(large.Send(PostHeader((1u << 20) + 1)));
    const std::string tooLong = large.Receive(5000);
    EXPECT_TRUE(StartsWith(tooLong, "HTTP/1.1 413 Payload Too Large\r\n")) << tooLong;
    EXPECT_NE(tooLong.find("longer than 1048576 bytes"), std::string::npos) << tooLong;

    // Two bodies that each fit but together pass the memory the server
    // gives requests: one is refused, the other served once whole.
    constexpr std::size_t kBody = 700000, kFirst = 680000;
    const RawConnection a(s.port()), b(s.port());
    for (const RawConnection* c : {&a, &b})
        ASSERT_TRUE(c->Send(PostHeader(kBody) + std::string(kFirst, 'x')));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (const RawConnection* c : {&a, &b})
        c->Send(std::string(kBody - kFirst, 'y'));
    std::vector<std::string> answers = {a.Receive(1000), b.Receive(1000)};
    std::sort(answers.begin(), answers.end());
    EXPECT_TRUE(StartsWith(answers[0], "HTTP/1.1 200 OK\r\n")) << answers[0];
    EXPECT_NE(answers[0].find("POST /put 700000"), std::string::npos) << answers[0];
    EXPECT_TRUE(StartsWith(answers[1], "HTTP/1.1 503 Service Unavailable\r\n")) << answers[1];
    EXPECT_NE(answers[1].find("The service already holds 1 MB of requests that are arriving or waiting to be served"),
              std::string::npos)
        << answers[1];

    // What a served body held is free again.
    const RawConnection again(s.port());
    ASSERT_TRUE(again.Send(PostHeader(kBody) + std::string(kBody, 'z')));
    EXPECT_NE(again.Receive(1000).find("POST /put 700000"), std::string::npos);
}

TEST(HttpServer, WhatAHandlerThrowsIsNoPartOfTheAnswer)
{
    Running s(HttpLimits{}, [](const HttpRequest& r) -> HttpAnswer {
        if (r.path == "/fail")
            throw std::runtime_error("secret\r\nX-Injected: yes");
        return Echo(r);
    });
    const RawConnection c(s.port());
    ASSERT_TRUE(c.Send("GET /fail HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    const std::string failed = c.Receive(500);
    EXPECT_TRUE(StartsWith(failed, "HTTP/1.1 500 Internal Server Error\r\n")) << failed;
    EXPECT_NE(failed.find("The server failed while handling this request."), std::string::npos) << failed;
    EXPECT_EQ(failed.find("secret"), std::string::npos) << failed;
    EXPECT_EQ(failed.find("X-Injected"), std::string::npos) << failed;
    // The connection goes on with the next request.
    ASSERT_TRUE(c.Send(kGet));
    EXPECT_NE(c.Receive(500).find("GET /a 0"), std::string::npos);
}

TEST(HttpServer, IdleConnectionsCloseAndAStopAnswersWhatWaits)
{
    HttpLimits limits;
    limits.idleTimeout = std::chrono::milliseconds(300);
    limits.workers = 1;
    Running s(limits, [](const HttpRequest& r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return Echo(r);
    });
    // A connection that sends nothing is closed without a word.
    const RawConnection idle(s.port());
    EXPECT_EQ(idle.Receive(5000), "");
    EXPECT_FALSE(idle.Open());

    // One request runs on the only worker, two wait; the stop lets the
    // running one finish and tells the others.
    std::vector<std::unique_ptr<RawConnection>> calls;
    for (int i = 0; i < 3; ++i) {
        calls.push_back(std::make_unique<RawConnection>(s.port()));
        ASSERT_TRUE(calls.back()->Send(kGet));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    s.server().Stop();
    int served = 0, stopping = 0;
    for (const auto& c : calls) {
        const std::string answer = c->Receive(1000);
        served += StartsWith(answer, "HTTP/1.1 200 OK\r\n");
        stopping += answer.find("The service is stopping.") != std::string::npos;
    }
    EXPECT_EQ(served, 1);
    EXPECT_EQ(stopping, 2);
}

TEST(HttpServer, AReplyTheClientDoesNotReadIsCutAtTheWriteTimeout)
{
    HttpLimits limits;
    limits.writeTimeout = std::chrono::milliseconds(500);
    const std::string big(64u << 20, 'r');
    Running s(limits, [&](const HttpRequest&) { return HttpAnswer{200, "text/plain", big}; });
    const RawConnection c(s.port());
    ASSERT_TRUE(c.Send(kGet));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const std::string got = c.Receive(2000);
    EXPECT_TRUE(StartsWith(got, "HTTP/1.1 200 OK\r\n"));
    EXPECT_LT(got.size(), big.size());  // what the buffers held when it was cut, then the end
    EXPECT_FALSE(c.Open());
}

TEST(HttpServer, AnswersAreGzippedWhenTheClientTakesItAndItPays)
{
    for (const char* yes : {"gzip", "br, gzip, deflate", "GZIP;q=0.5", "x-gzip", "*", "deflate, gzip ; q=1.0"})
        EXPECT_TRUE(AcceptsGzip(yes)) << yes;
    for (const char* no : {"", "identity", "br", "gzip;q=0", "gzip; q=0.000", "*;q=0", "gzipped", "deflate"})
        EXPECT_FALSE(AcceptsGzip(no)) << no;

    std::string text;
    while (text.size() < 3 * tessel::server::kCompressFrom)
        text += "<part name=\"item\" type=\"xsd:string\"/>\n";
    const HttpAnswer zipped = Encoded(HttpAnswer{200, "text/xml", text}, "gzip, deflate");
    EXPECT_TRUE(HasHeader(zipped, "Content-Encoding", "gzip"));
    EXPECT_TRUE(HasHeader(zipped, "Vary", "Accept-Encoding"));
    EXPECT_LT(zipped.body.size(), text.size() / 4);
    EXPECT_EQ(Gunzip(zipped.body), text);
    // A body that repeats (a description) goes out the same from its kept form.
    HttpAnswer repeating{200, "text/xml", text};
    repeating.repeats = true;
    const HttpAnswer first = Encoded(repeating, "gzip"), again = Encoded(repeating, "gzip");
    EXPECT_EQ(again.body, first.body);
    EXPECT_EQ(again.headers, first.headers);
    EXPECT_EQ(Gunzip(again.body), text);
    EXPECT_EQ(Encoded(repeating, "identity").body, text);
    // Left as they are: a client that does not take gzip, a short body, a body
    // marked incompressible (a result the token scheme compressed), and one
    // that gzip would not make 1/8 smaller.
    std::string noise(3 * tessel::server::kCompressFrom, '\0');
    unsigned seed = 1;
    for (char& c : noise)
        c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    HttpAnswer marked{200, "text/xml", text};
    marked.compressible = false;
    for (const HttpAnswer& kept : {Encoded(HttpAnswer{200, "text/xml", text}, "br"),
                                   Encoded(HttpAnswer{200, "text/xml", text.substr(0, 100)}, "gzip"),
                                   Encoded(marked, "gzip"), Encoded(HttpAnswer{200, "text/plain", noise}, "gzip")}) {
        EXPECT_FALSE(HasHeader(kept, "Content-Encoding", "gzip"));
        EXPECT_TRUE(kept.body == text || kept.body == text.substr(0, 100) || kept.body == noise);
    }

    // Through the server, on the wire.
    Running s(HttpLimits{}, [&](const HttpRequest&) { return HttpAnswer{200, "text/xml", text}; });
    const RawConnection c(s.port());
    ASSERT_TRUE(c.Send("GET /a HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept-Encoding: gzip\r\n\r\n"));
    const std::string reply = c.Receive(2000);
    EXPECT_NE(reply.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos) << reply.substr(0, 300);
    const std::size_t body = reply.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(Gunzip(reply.substr(body + 4)), text);
}

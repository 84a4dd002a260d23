// A loopback HTTP server for tests: it binds a free port on 127.0.0.1, lets
// the test declare its routes knowing its own address, serves them from its
// own thread, and stops when it goes out of scope. Every test server of the
// suite is one of these with routes of its own.
#pragma once

#include <httplib.h>

#include <functional>
#include <string>
#include <thread>

class TestHttpServer {
public:
    // Declares the routes. It runs once the port is bound and before the
    // first request is taken, so it may call Url() and Origin() (and the
    // owner's members that are already built: a class that holds a server
    // declares it after the state its routes use, so that the server stops
    // first).
    using Routes = std::function<void(httplib::Server&)>;

    // Binds, declares the routes and serves them; returns once requests are
    // taken. Throws std::runtime_error when no port can be bound.
    explicit TestHttpServer(const Routes& routes);
    // Stops serving and waits for the thread: no route runs afterwards.
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:PORT"
    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // Origin() + path
    std::string Url(const std::string& path) const { return Origin() + path; }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

#include "TestHttpServer.h"

#include <chrono>
#include <stdexcept>

TestHttpServer::TestHttpServer(const Routes& routes)
{
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("the test server could not bind a loopback port");
    if (routes)
        routes(server_);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestHttpServer::~TestHttpServer()
{
    server_.stop();
    thread_.join();
}

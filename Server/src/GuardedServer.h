// The local service's HTTP server: cpp-httplib's server with the guards a
// service that every program of the machine can reach needs, so that slow or
// idle clients cannot keep it from answering the others.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <algorithm>
#include <map>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>

namespace tessel::server {

struct HttpLimits {
    // A request's header and body must have arrived this long after its first byte.
    std::chrono::milliseconds requestTimeout{10000};
    // How long an open connection may wait for its next request's first byte.
    std::chrono::milliseconds idleTimeout{5000};
    // A response must have been written this long after its first byte was.
    std::chrono::milliseconds writeTimeout{30000};
    // Connections are served by this many threads; more wait for a free one.
    std::size_t threads = 96;
    // Of which this many at most run handlers at once; the others wait for
    // their turn with a request read whole. More would only contend for the
    // processors and the locks.
    std::size_t workers = std::max(8u, std::thread::hardware_concurrency());
    // Connections one client address may hold at once; beyond, it is answered
    // 503 and closed. Below the thread count, so that one address always leaves
    // threads to the others.
    std::size_t connectionsPerAddress = 64;
};

class GuardedServer : public httplib::Server {
public:
    explicit GuardedServer(HttpLimits limits);

    // Binds host:port (port 0: a free one) and listens with the system's
    // largest queue of pending connections. Returns the port, or -1.
    int Bind(const std::string& host, int port);

    // The largest listen queue the system grants (net.core.somaxconn).
    static int SystemBacklog();

    // The handler, run only while fewer than `workers` others run.
    Handler Gated(Handler handler);

private:
    // Serves one connection on a pool thread: the address bound, then
    // requests one after another (keep-alive), each under its deadlines.
    bool process_and_close_socket(socket_t sock) override;

    bool Admit(const std::string& address);
    void Leave(const std::string& address);

    const HttpLimits limits_;
    std::counting_semaphore<> working_;
    std::mutex mutex_;
    std::map<std::string, std::size_t> connections_;  // open connections by client address
};

}  // namespace tessel::server

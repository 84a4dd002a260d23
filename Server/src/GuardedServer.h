// The local service's HTTP server. One event loop reads every connection;
// only a request that has arrived whole (header and body) goes to one of a
// few worker threads, so a slow or idle client costs a descriptor and a
// buffer but no thread. Connections and the requests they hold are bounded
// by what they cost, descriptors and memory, not by a count per address.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "Service.h"

namespace tessel::server {

struct HttpLimits {
    // A request's header and body must have arrived this long after its first byte.
    std::chrono::milliseconds requestTimeout{10000};
    // How long an open connection may wait for its next request's first byte.
    std::chrono::milliseconds idleTimeout{5000};
    // A response must have been written this long after it was queued.
    std::chrono::milliseconds writeTimeout{30000};
    // Handlers run on this many threads; more whole requests wait for one.
    // More would only contend for the processors and the locks.
    std::size_t workers = std::max(8u, std::thread::hardware_concurrency());
    // The largest request body; a longer one is answered 413.
    std::size_t bodyLimit = 32u << 20;
    // The most memory the bodies of requests may hold together, those that
    // are arriving or waiting for a worker; a body beyond is answered 503.
    // It also bounds the connections, 32 KiB of buffer each.
    std::size_t requestMemory = 256u << 20;
    // The most connections open at once (beyond, 503); 0: as many as the
    // descriptors and requestMemory allow.
    std::size_t connections = 0;
};

struct HttpRequest {
    std::string method;
    std::string path;
    std::string host;  // the Host header, empty without one
    std::string body;
    std::string acceptEncoding;  // the Accept-Encoding header, empty without one
};

// An answer's body goes out gzip-compressed at zlib's fastest level when the
// client accepts gzip, the body is compressible and at least this long, and
// the compressed body is at most 7/8 of it; otherwise as it is.
inline constexpr std::size_t kCompressFrom = 8u << 10;
// Whether an Accept-Encoding value accepts gzip (gzip, x-gzip or *, with a
// quality above zero).
bool AcceptsGzip(const std::string& acceptEncoding);
// The answer as it goes out to a client whose Accept-Encoding is `accept`.
HttpAnswer Encoded(HttpAnswer answer, const std::string& accept);

class GuardedServer {
public:
    // Runs on a worker thread for each whole request. What it throws is
    // answered with a 500 page that says nothing of it.
    using Handler = std::function<HttpAnswer(const HttpRequest&)>;
    // Sees every answer the server sends: the handler's, and its own refusals
    // (408, 413, 503), where the request may be known only in part or not at
    // all. Runs on the server's threads, at times under its lock: it must not
    // call back into the server.
    using Observer = std::function<void(const HttpRequest&, const HttpAnswer&)>;

    GuardedServer(HttpLimits limits, Handler handler, Observer observer = {});
    ~GuardedServer();
    GuardedServer(const GuardedServer&) = delete;
    GuardedServer& operator=(const GuardedServer&) = delete;

    // Binds host:port (port 0: a free one) and listens with the system's
    // largest queue of pending connections. Returns the port, or -1.
    int Bind(const std::string& host, int port);
    // Serves the bound socket from threads of its own; false when it cannot.
    // Raises the process's descriptor limit to its hard limit first.
    bool Start();
    // Stops accepting, answers what waits for a worker with 503, and closes
    // every connection. Also done by the destructor.
    void Stop();

    // The most connections it keeps open (known once started).
    std::size_t ConnectionLimit() const;

    // The largest listen queue the system grants (net.core.somaxconn).
    static int SystemBacklog();

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tessel::server

#include "GuardedServer.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>

#include "Service.h"

namespace tessel::server {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks whether the server is stopping.
constexpr std::chrono::milliseconds kStopCheck{100};

// Waits until sock has one of `events`; false when `until` passes or the
// server stops first.
bool WaitFor(socket_t sock, short events, Clock::time_point until, const std::atomic<socket_t>& listening)
{
    for (;;) {
        if (listening == INVALID_SOCKET)
            return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{sock, events, 0};
        const int n = poll(&p, 1, static_cast<int>(std::min(left, kStopCheck).count()));
        if (n > 0)
            return true;  // an error or a hang-up too: the read or write that follows reports it
        if (n < 0 && errno != EINTR)
            return false;
    }
}

std::string Numeric(const sockaddr_storage& a, socklen_t length, int* port)
{
    char host[NI_MAXHOST] = {}, service[NI_MAXSERV] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&a), length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return {};
    if (port)
        *port = std::atoi(service);
    return host;
}

// The address of the peer (getpeername) or of our end (getsockname).
std::string AddressOf(socket_t sock, bool peer, int* port = nullptr)
{
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    const int rc = peer ? getpeername(sock, reinterpret_cast<sockaddr*>(&a), &length)
                        : getsockname(sock, reinterpret_cast<sockaddr*>(&a), &length);
    return rc == 0 ? Numeric(a, length, port) : std::string();
}

ssize_t SendAll(socket_t sock, const char* data, std::size_t size, int flags)
{
    ssize_t n = 0;
    do
        n = send(sock, data, size, MSG_NOSIGNAL | flags);
    while (n < 0 && errno == EINTR);
    return n;
}

// A whole HTTP response with an HTML page, after which the connection closes.
std::string ClosingResponse(int status, const std::string& title, const std::string& text)
{
    const std::string body = HtmlPage(status, title, text);
    return "HTTP/1.1 " + std::to_string(status) + " " + title +
           "\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A connection as the server's request reader sees it. Reads wait at most
// until the current request's deadline, which starts with its first byte;
// writes wait at most until the current response's deadline, which starts
// with its first byte. Once a request's time is up, reads and writes fail.
class DeadlineStream : public httplib::Stream {
public:
    DeadlineStream(socket_t sock, const HttpLimits& limits, const std::atomic<socket_t>& listening)
        : sock_(sock), limits_(limits), listening_(listening)
    {
    }

    // Waits up to the idle timeout for the next request's first byte and
    // starts its deadline. False when none comes, the connection ends or the
    // server stops.
    bool NextRequest()
    {
        if (expired_)
            return false;
        if (begin_ == end_ && !WaitFor(sock_, POLLIN, Clock::now() + limits_.idleTimeout, listening_))
            return false;
        readUntil_ = Clock::now() + limits_.requestTimeout;
        writing_ = false;
        return true;
    }
    // True once a request did not arrive whole within its time.
    bool Expired() const { return expired_; }

    bool is_readable() const override { return begin_ < end_ || WaitFor(sock_, POLLIN, readUntil_, listening_); }
    bool is_writable() const override { return !expired_ && WaitFor(sock_, POLLOUT, writeUntil_, listening_); }

    ssize_t read(char* ptr, size_t size) override
    {
        writing_ = false;
        if (begin_ == end_) {
            if (expired_ || !WaitFor(sock_, POLLIN, readUntil_, listening_)) {
                expired_ = expired_ || Clock::now() >= readUntil_;
                return -1;
            }
            // Large reads (the body) go straight to the caller; small ones (the
            // header, byte by byte) through the buffer.
            char* const into = size >= buffer_.size() ? ptr : buffer_.data();
            ssize_t n = 0;
            do
                n = recv(sock_, into, into == ptr ? size : buffer_.size(), 0);
            while (n < 0 && errno == EINTR);
            if (n <= 0 || into == ptr)
                return n;
            begin_ = 0;
            end_ = static_cast<std::size_t>(n);
        }
        const std::size_t k = std::min(size, end_ - begin_);
        std::memcpy(ptr, buffer_.data() + begin_, k);
        begin_ += k;
        return static_cast<ssize_t>(k);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (expired_)
            return -1;
        if (!writing_) {
            writing_ = true;
            writeUntil_ = Clock::now() + limits_.writeTimeout;
        }
        if (!WaitFor(sock_, POLLOUT, writeUntil_, listening_))
            return -1;
        return SendAll(sock_, ptr, size, 0);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { ip = AddressOf(sock_, true, &port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { ip = AddressOf(sock_, false, &port); }
    socket_t socket() const override { return sock_; }

private:
    const socket_t sock_;
    const HttpLimits& limits_;
    const std::atomic<socket_t>& listening_;
    std::array<char, 4096> buffer_{};
    std::size_t begin_ = 0, end_ = 0;  // unread bytes of the buffer
    Clock::time_point readUntil_{}, writeUntil_{};
    bool writing_ = false;
    bool expired_ = false;
};

// Owns an accepted connection: shuts it down and closes it.
class Connection {
public:
    explicit Connection(socket_t sock) : sock_(sock) {}
    ~Connection()
    {
        shutdown(sock_, SHUT_RDWR);
        close(sock_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

private:
    const socket_t sock_;
};

}  // namespace

GuardedServer::GuardedServer(HttpLimits limits)
    : limits_(limits), working_(static_cast<std::ptrdiff_t>(std::max<std::size_t>(limits.workers, 1)))
{
    // The library takes ownership of the queue it gets from this function.
    new_task_queue = [threads = limits_.threads] { return new httplib::ThreadPool(threads); };
}

int GuardedServer::SystemBacklog()
{
    long n = 0;
    std::ifstream("/proc/sys/net/core/somaxconn") >> n;
    return n > 0 ? static_cast<int>(std::min<long>(n, INT_MAX)) : SOMAXCONN;
}

int GuardedServer::Bind(const std::string& host, int port)
{
    const int bound = port == 0 ? bind_to_any_port(host) : (bind_to_port(host, port) ? port : -1);
    if (bound <= 0)
        return -1;
    // The library listens with a short fixed queue; listening again only
    // changes the queue's length.
    if (::listen(svr_sock_, SystemBacklog()) != 0)
        return -1;
    return bound;
}

httplib::Server::Handler GuardedServer::Gated(Handler handler)
{
    return [this, handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
        working_.acquire();
        struct Release {
            std::counting_semaphore<>& s;
            ~Release() { s.release(); }
        } const release{working_};
        handler(req, res);
    };
}

bool GuardedServer::Admit(const std::string& address)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    std::size_t& open = connections_[address];
    if (open >= limits_.connectionsPerAddress)
        return false;
    ++open;
    return true;
}

void GuardedServer::Leave(const std::string& address)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = connections_.find(address);
    if (it != connections_.end() && --it->second == 0)
        connections_.erase(it);
}

bool GuardedServer::process_and_close_socket(socket_t sock)
{
    const Connection connection(sock);
    const std::string address = AddressOf(sock, true);
    if (!Admit(address)) {
        const std::string refusal =
            ClosingResponse(503, "Service Unavailable",
                            address + " already holds " + std::to_string(limits_.connectionsPerAddress) +
                                " connections to this service, the most one client address may hold; "
                                "close some and try again.");
        SendAll(sock, refusal.data(), refusal.size(), MSG_DONTWAIT);
        return false;
    }
    struct Admitted {
        GuardedServer& server;
        const std::string& address;
        ~Admitted() { server.Leave(address); }
    } const admitted{*this, address};

    DeadlineStream stream(sock, limits_, svr_sock_);
    bool served = false;
    try {
        for (std::size_t left = keep_alive_max_count_; left > 0 && stream.NextRequest(); --left) {
            bool closed = false;
            served = process_request(stream, left == 1, closed, nullptr);
            if (!served || closed || stream.Expired())
                break;
        }
    } catch (const std::exception&) {
        return false;  // e.g. out of memory for one request: this connection ends, the others go on
    }
    if (stream.Expired()) {
        const std::string late = ClosingResponse(
            408, "Request Timeout",
            "The request's header and body did not arrive within " +
                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limits_.requestTimeout).count()) +
                " s of its first byte.");
        SendAll(sock, late.data(), late.size(), MSG_DONTWAIT);
        return false;
    }
    return served;
}

}  // namespace tessel::server

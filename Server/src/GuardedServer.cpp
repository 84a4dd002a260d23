#include "GuardedServer.h"

#include <arpa/inet.h>
#include <linux/tcp.h>  // struct tcp_info with tcpi_bytes_received
#include <microhttpd.h>
#include <zlib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace tessel::server {

namespace {

using Clock = std::chrono::steady_clock;

// How often the deadlines of the connections are looked at.
constexpr std::chrono::milliseconds kTick{100};
// How long a stop waits for the answers under way.
constexpr std::chrono::milliseconds kStopGrace{1000};
// What the event loop may buffer of one connection: its request header and
// the part of a body or a reply in flight.
constexpr std::size_t kConnectionBuffer = 32u << 10;
// Descriptors kept for all but connections: the log, the event loop, libraries.
constexpr std::size_t kReservedDescriptors = 128;

std::string Megabytes(std::size_t bytes)
{
    return std::to_string(bytes >> 20) + " MB";
}

// A whole HTTP response with an HTML page, after which the connection closes.
std::string ClosingResponse(int status, const std::string& title, const std::string& text)
{
    const std::string body = HtmlPage(status, title, text);
    return "HTTP/1.1 " + std::to_string(status) + " " + title +
           "\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Bytes the peer has sent on the connection so far.
std::uint64_t BytesReceived(int fd)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
        return 0;
    return info.tcpi_bytes_received;
}

// Whether a Content-Length value names more than `limit` bytes.
bool LongerThan(const char* length, std::size_t limit)
{
    std::size_t n = 0;
    for (const char* p = length; *p >= '0' && *p <= '9'; ++p) {
        n = n * 10 + static_cast<std::size_t>(*p - '0');
        if (n > limit)
            return true;
    }
    return false;
}

// The soft limit of open descriptors raised to the hard one; what it is then.
std::size_t RaiseDescriptorLimit()
{
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0)
        return 1024;
    if (r.rlim_cur < r.rlim_max) {
        rlimit raised = r;
        raised.rlim_cur = r.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            r = raised;
    }
    return static_cast<std::size_t>(std::min<rlim_t>(r.rlim_cur, 1u << 20));
}

void FreeBody(void* body)
{
    const std::unique_ptr<std::string> owned(static_cast<std::string*>(body));
}

// Queues an answer on a connection, its body owned by the response.
MHD_Result Queue(MHD_Connection* c, HttpAnswer answer)
{
    auto body = std::make_unique<std::string>(std::move(answer.body));
    MHD_Response* const made =
        MHD_create_response_from_buffer_with_free_callback_cls(body->size(), body->data(), &FreeBody, body.get());
    if (!made)
        return MHD_NO;
    body.release();  // the response frees it
    const std::unique_ptr<MHD_Response, decltype(&MHD_destroy_response)> response(made, &MHD_destroy_response);
    MHD_add_response_header(made, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.c_str());
    for (const auto& [name, value] : answer.headers)
        MHD_add_response_header(made, name.c_str(), value.c_str());
    return MHD_queue_response(c, static_cast<unsigned>(answer.status), made);
}

}  // namespace

bool AcceptsGzip(const std::string& acceptEncoding)
{
    std::size_t at = 0;
    while (at <= acceptEncoding.size()) {
        std::size_t end = acceptEncoding.find(',', at);
        if (end == std::string::npos)
            end = acceptEncoding.size();
        std::string item = acceptEncoding.substr(at, end - at);
        at = end + 1;
        std::string coding = item.substr(0, item.find(';'));
        coding.erase(0, coding.find_first_not_of(" \t"));
        coding.erase(coding.find_last_not_of(" \t") + 1);
        for (char& ch : coding)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (coding != "gzip" && coding != "x-gzip" && coding != "*")
            continue;
        // A quality of 0 (0, 0.0, 0.00, 0.000) refuses it.
        const std::size_t q = item.find("q=", item.find(';') == std::string::npos ? item.size() : item.find(';'));
        if (q == std::string::npos)
            return true;
        const std::string value = item.substr(q + 2);
        if (value.find_first_of("123456789") < value.find_first_not_of("0123456789. \t"))
            return true;
    }
    return false;
}

namespace {

// The compressed forms of the last few bodies that repeat, each with its body.
class CompressedBodies {
public:
    static constexpr std::size_t kKept = 8, kMaxBytes = 1u << 20;

    std::optional<std::string> Find(const std::string& body)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [plain, packed] : kept_)
            if (plain == body)
                return packed;
        return std::nullopt;
    }
    void Keep(const std::string& body, const std::string& packed)
    {
        if (body.size() > kMaxBytes)
            return;
        const std::lock_guard<std::mutex> lock(mutex_);
        kept_.emplace_front(body, packed);
        if (kept_.size() > kKept)
            kept_.pop_back();
    }

private:
    std::mutex mutex_;
    std::deque<std::pair<std::string, std::string>> kept_;
};

CompressedBodies& TheCompressedBodies()
{
    static CompressedBodies kept;
    return kept;
}

}  // namespace

HttpAnswer Encoded(HttpAnswer answer, const std::string& accept)
{
    if (!answer.compressible || answer.body.size() < kCompressFrom)
        return answer;
    answer.headers.emplace_back("Vary", "Accept-Encoding");
    if (!AcceptsGzip(accept))
        return answer;
    if (answer.repeats) {
        if (std::optional<std::string> packed = TheCompressedBodies().Find(answer.body)) {
            answer.body = std::move(*packed);
            answer.headers.emplace_back("Content-Encoding", "gzip");
            return answer;
        }
    }
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)  // 15 + 16: a gzip wrapper
        return answer;
    const std::size_t most = answer.body.size() - answer.body.size() / 8;
    std::string out(std::min<std::size_t>(deflateBound(&z, answer.body.size()), most), '\0');
    z.next_in = reinterpret_cast<Bytef*>(answer.body.data());
    z.avail_in = static_cast<uInt>(answer.body.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int done = deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    if (done != Z_STREAM_END)  // it did not fit in 7/8: it does not pay
        return answer;
    if (answer.repeats)
        TheCompressedBodies().Keep(answer.body, out);
    answer.body = std::move(out);
    answer.headers.emplace_back("Content-Encoding", "gzip");
    return answer;
}

class GuardedServer::Impl {
public:
    Impl(HttpLimits limits, Handler handler, Observer observer)
        : limits_(limits), handler_(std::move(handler)), observer_(std::move(observer))
    {
    }
    ~Impl() { Stop(); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    int Bind(const std::string& host, int port);
    bool Start();
    void Stop();
    std::size_t ConnectionLimit() const { return connectionLimit_; }

private:
    // Where a connection is: waiting for a request, reading one, having it
    // handled (off the event loop), writing the answer, or being closed.
    enum class Phase { Waiting, Reading, Working, Writing, Closing };

    struct Conn {
        MHD_Connection* mhd = nullptr;
        int fd = -1;
        Phase phase = Phase::Waiting;
        // Waiting: since when, or since the next request's first byte when
        // one came; Reading: since the request's first byte; Writing: since
        // the answer was queued.
        Clock::time_point since = Clock::now();
        bool begun = false;         // Waiting: the next request's first byte came
        std::uint64_t received = 0;  // Waiting: bytes received before the wait began
        bool headerSeen = false;
        HttpRequest request;
        std::size_t charged = 0;  // bytes of its body counted against the request memory
        std::optional<HttpAnswer> answer;
    };

    static void* OnUri(void* self, const char*, MHD_Connection* c);
    static MHD_Result OnRequest(void* self, MHD_Connection* c, const char* url, const char* method, const char*,
                                const char* upload, std::size_t* uploadSize, void** context);
    static void OnCompleted(void* self, MHD_Connection*, void** context, MHD_RequestTerminationCode how);
    static void OnConnection(void* self, MHD_Connection* c, void** context, MHD_ConnectionNotificationCode what);

    MHD_Result Request(MHD_Connection* c, Conn& conn, const char* url, const char* method, const char* upload,
                       std::size_t* uploadSize);
    // Sends a closing answer and ends the connection; the event loop closes it.
    void Refuse(Conn& conn, int status, const std::string& title, const std::string& text);
    void End(Conn& conn);
    void Release(Conn& conn);
    void Watch();
    void Work();
    HttpAnswer Run(const HttpRequest& request) const;
    void Seen(const HttpRequest& request, const HttpAnswer& answer) const
    {
        if (observer_)
            observer_(request, answer);
    }

    const HttpLimits limits_;
    const Handler handler_;
    const Observer observer_;
    int listening_ = -1;
    bool listenOwned_ = false;  // closed by us, not by the event loop
    MHD_Daemon* daemon_ = nullptr;
    std::size_t connectionLimit_ = 0;

    std::mutex mutex_;  // all below, and every Conn's phase, times and answer
    std::condition_variable work_, stop_;
    std::condition_variable settled_;  // a request completed or a connection closed
    bool stopping_ = false;
    std::map<const Conn*, std::unique_ptr<Conn>> conns_;
    std::size_t buffered_ = 0;  // bytes of bodies held
    std::deque<Conn*> queue_;   // whole requests waiting for a worker, their connections suspended
    std::vector<std::thread> workers_;
    std::thread watch_;
};

int GuardedServer::Impl::Bind(const std::string& host, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &a.sin_addr) != 1)
        return -1;
    const int sock = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (sock < 0)
        return -1;
    // Address reuse, but not port sharing: a second instance on a port in
    // use must fail instead of taking half of the first one's requests.
    const int yes = 1;
    socklen_t length = sizeof a;
    if (setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        bind(sock, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(sock, SystemBacklog()) != 0 ||
        getsockname(sock, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        close(sock);
        return -1;
    }
    listening_ = sock;
    listenOwned_ = true;
    return ntohs(a.sin_port);
}

bool GuardedServer::Impl::Start()
{
    if (listening_ < 0 || daemon_)
        return false;
    const std::size_t descriptors = RaiseDescriptorLimit();
    const std::size_t reserved = std::min(kReservedDescriptors, descriptors / 4);
    connectionLimit_ = limits_.connections
                           ? limits_.connections
                           : std::max<std::size_t>(1, std::min(descriptors - reserved,
                                                               limits_.requestMemory / kConnectionBuffer));
    // The event loop's own limit, where it closes without a word, lies beyond ours.
    const auto loopLimit = static_cast<unsigned>(std::min<std::size_t>(connectionLimit_ + reserved / 2, UINT_MAX));
    // A stop-gap for connections that nothing happens on; the deadlines above come first.
    const auto quiet = static_cast<unsigned>(
        std::chrono::ceil<std::chrono::seconds>(limits_.requestTimeout + limits_.idleTimeout + limits_.writeTimeout)
            .count() + 1);
    daemon_ = MHD_start_daemon(MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME, 0, nullptr, nullptr,
                               &Impl::OnRequest, this, MHD_OPTION_LISTEN_SOCKET, listening_,
                               MHD_OPTION_CONNECTION_LIMIT, loopLimit, MHD_OPTION_CONNECTION_TIMEOUT, quiet,
                               MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionBuffer,
                               MHD_OPTION_NOTIFY_CONNECTION, &Impl::OnConnection, this,
                               MHD_OPTION_NOTIFY_COMPLETED, &Impl::OnCompleted, this,
                               MHD_OPTION_URI_LOG_CALLBACK, &Impl::OnUri, this, MHD_OPTION_END);
    if (!daemon_)
        return false;
    listenOwned_ = false;  // the event loop's until it is quiesced
    for (std::size_t i = 0; i < std::max<std::size_t>(limits_.workers, 1); ++i)
        workers_.emplace_back(&Impl::Work, this);
    watch_ = std::thread(&Impl::Watch, this);
    return true;
}

void GuardedServer::Impl::Stop()
{
    if (daemon_) {
        listenOwned_ = MHD_quiesce_daemon(daemon_) != MHD_INVALID_SOCKET;
        std::deque<Conn*> waiting;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            waiting.swap(queue_);
            for (Conn* conn : waiting) {
                conn->answer = HttpAnswer{503, "text/html; charset=utf-8",
                                          HtmlPage(503, "Service Unavailable", "The service is stopping.")};
                Seen(conn->request, *conn->answer);
            }
        }
        work_.notify_all();
        stop_.notify_all();
        for (std::thread& t : workers_)
            t.join();
        workers_.clear();
        if (watch_.joinable())
            watch_.join();
        // Every connection must be resumed before the event loop stops; the
        // answers under way get a moment to go out.
        for (Conn* conn : waiting)
            MHD_resume_connection(conn->mhd);
        {
            std::unique_lock<std::mutex> lock(mutex_);
            settled_.wait_for(lock, kStopGrace, [&] {
                return std::none_of(conns_.begin(), conns_.end(), [](const auto& c) {
                    return c.second->phase == Phase::Working || c.second->phase == Phase::Writing;
                });
            });
        }
        MHD_stop_daemon(daemon_);
        daemon_ = nullptr;
    }
    if (listenOwned_ && listening_ >= 0)
        close(listening_);
    listening_ = -1;
    listenOwned_ = false;
}

void GuardedServer::Impl::Refuse(Conn& conn, int status, const std::string& title, const std::string& text)
{
    const std::string answer = ClosingResponse(status, title, text);
    Seen(conn.request, HttpAnswer{status, "text/html; charset=utf-8", {}});
    send(conn.fd, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    End(conn);
}

void GuardedServer::Impl::End(Conn& conn)
{
    // The event loop sees the end of the stream and closes the connection.
    shutdown(conn.fd, SHUT_RDWR);
    conn.phase = Phase::Closing;
    Release(conn);
}

void GuardedServer::Impl::Release(Conn& conn)
{
    buffered_ -= conn.charged;
    conn.charged = 0;
}

void GuardedServer::Impl::OnConnection(void* self, MHD_Connection* c, void** context,
                                       MHD_ConnectionNotificationCode what)
{
    Impl& server = *static_cast<Impl*>(self);
    const std::lock_guard<std::mutex> lock(server.mutex_);
    if (what == MHD_CONNECTION_NOTIFY_CLOSED) {
        if (Conn* const conn = static_cast<Conn*>(*context)) {
            server.Release(*conn);
            server.conns_.erase(conn);
        }
        *context = nullptr;
        server.settled_.notify_all();
        return;
    }
    auto conn = std::make_unique<Conn>();
    conn->mhd = c;
    const MHD_ConnectionInfo* const info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    conn->fd = info ? info->connect_fd : -1;
    Conn& added = *conn;
    *context = conn.get();
    server.conns_.emplace(conn.get(), std::move(conn));
    if (server.conns_.size() > server.connectionLimit_)
        server.Refuse(added, 503, "Service Unavailable",
                      "The service already has " + std::to_string(server.connectionLimit_) +
                          " connections open, the most it keeps; close one and try again.");
}

void* GuardedServer::Impl::OnUri(void* self, const char*, MHD_Connection* c)
{
    Impl& server = *static_cast<Impl*>(self);
    const MHD_ConnectionInfo* const info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    Conn* const conn = info ? static_cast<Conn*>(info->socket_context) : nullptr;
    if (!conn)
        return nullptr;
    const std::lock_guard<std::mutex> lock(server.mutex_);
    if (conn->phase == Phase::Waiting) {
        conn->phase = Phase::Reading;
        if (!conn->begun)
            conn->since = Clock::now();  // the request line came whole at once
    }
    return conn;
}

MHD_Result GuardedServer::Impl::OnRequest(void* self, MHD_Connection* c, const char* url, const char* method,
                                          const char*, const char* upload, std::size_t* uploadSize, void** context)
{
    if (!*context)
        return MHD_NO;
    return static_cast<Impl*>(self)->Request(c, *static_cast<Conn*>(*context), url, method, upload, uploadSize);
}

MHD_Result GuardedServer::Impl::Request(MHD_Connection* c, Conn& conn, const char* url, const char* method,
                                        const char* upload, std::size_t* uploadSize)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto tooLong = [&] {
        Refuse(conn, 413, "Payload Too Large",
               "The request's body is longer than " + std::to_string(limits_.bodyLimit) +
                   " bytes, the most this service takes.");
        return MHD_NO;
    };
    if (conn.phase == Phase::Working && conn.answer) {
        // Back from a worker: the answer goes out.
        HttpAnswer answer = std::move(*conn.answer);
        conn.answer.reset();
        conn.phase = Phase::Writing;
        conn.since = Clock::now();
        lock.unlock();
        return Queue(c, std::move(answer));
    }
    if (conn.phase != Phase::Reading)
        return MHD_NO;
    if (!conn.headerSeen) {
        conn.headerSeen = true;
        const char* const host = MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
        const char* const accept =
            MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING);
        conn.request = HttpRequest{method, url, host ? host : "", {}, accept ? accept : ""};
        const char* const length = MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (length && LongerThan(length, limits_.bodyLimit))
            return tooLong();
        return MHD_YES;
    }
    if (*uploadSize > 0) {
        const std::size_t n = *uploadSize;
        *uploadSize = 0;
        if (n > limits_.bodyLimit - conn.request.body.size())
            return tooLong();
        if (n > limits_.requestMemory - buffered_) {
            Refuse(conn, 503, "Service Unavailable",
                   "The service already holds " + Megabytes(limits_.requestMemory) +
                       " of requests that are arriving or waiting to be served, the most it holds at once; "
                       "try again shortly.");
            return MHD_NO;
        }
        buffered_ += n;
        conn.charged += n;
        conn.request.body.append(upload, n);
        return MHD_YES;
    }
    // The request is whole: a worker handles it while the event loop goes on with the others.
    conn.phase = Phase::Working;
    lock.unlock();
    MHD_suspend_connection(c);
    lock.lock();
    if (stopping_) {
        conn.answer = HttpAnswer{503, "text/html; charset=utf-8",
                                 HtmlPage(503, "Service Unavailable", "The service is stopping.")};
        Seen(conn.request, *conn.answer);
        lock.unlock();
        MHD_resume_connection(c);
        return MHD_YES;
    }
    queue_.push_back(&conn);
    lock.unlock();
    work_.notify_one();
    return MHD_YES;
}

void GuardedServer::Impl::OnCompleted(void* self, MHD_Connection*, void** context, MHD_RequestTerminationCode how)
{
    Impl& server = *static_cast<Impl*>(self);
    Conn* const conn = static_cast<Conn*>(*context);
    if (!conn)
        return;
    const std::lock_guard<std::mutex> lock(server.mutex_);
    server.settled_.notify_all();
    server.Release(*conn);
    conn->request = HttpRequest{};
    conn->headerSeen = false;
    conn->answer.reset();
    if (conn->phase == Phase::Closing)
        return;
    if (how != MHD_REQUEST_TERMINATED_COMPLETED_OK) {
        conn->phase = Phase::Closing;
        return;
    }
    // Kept alive: the wait for the next request begins.
    conn->phase = Phase::Waiting;
    conn->since = Clock::now();
    conn->begun = false;
    conn->received = BytesReceived(conn->fd);
}

void GuardedServer::Impl::Watch()
{
    const std::string late = "The request's header and body did not arrive within " +
                             std::to_string(std::chrono::ceil<std::chrono::seconds>(limits_.requestTimeout).count()) +
                             " s of its first byte.";
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        stop_.wait_for(lock, kTick);
        const auto now = Clock::now();
        for (auto& [key, c] : conns_) {
            Conn& conn = *c;
            if (conn.phase == Phase::Waiting && !conn.begun && BytesReceived(conn.fd) > conn.received) {
                conn.begun = true;  // the next request has begun, its line not yet whole
                conn.since = now;
            }
            const auto age = now - conn.since;
            if (((conn.phase == Phase::Waiting && conn.begun) || conn.phase == Phase::Reading) &&
                age >= limits_.requestTimeout)
                Refuse(conn, 408, "Request Timeout", late);
            else if ((conn.phase == Phase::Waiting && age >= limits_.idleTimeout) ||
                     (conn.phase == Phase::Writing && age >= limits_.writeTimeout))
                End(conn);
        }
    }
}

HttpAnswer GuardedServer::Impl::Run(const HttpRequest& request) const
{
    try {
        return Encoded(handler_(request), request.acceptEncoding);
    } catch (...) {
        // What failed stays here: an exception's text is no part of an answer.
        return HttpAnswer{500, "text/html; charset=utf-8",
                          HtmlPage(500, "Internal Server Error", "The server failed while handling this request.")};
    }
}

void GuardedServer::Impl::Work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        Conn& conn = *queue_.front();
        queue_.pop_front();
        HttpAnswer answer;
        {
            const HttpRequest request = std::move(conn.request);
            lock.unlock();
            answer = Run(request);
            Seen(request, answer);
            answer.logged = nullptr;  // noted; not held while it goes out
        }
        lock.lock();
        Release(conn);  // its body is freed; the answer is not a request's memory
        conn.answer = std::move(answer);
        lock.unlock();
        MHD_resume_connection(conn.mhd);
        lock.lock();
    }
}

GuardedServer::GuardedServer(HttpLimits limits, Handler handler, Observer observer)
    : impl_(std::make_unique<Impl>(limits, std::move(handler), std::move(observer)))
{
}

GuardedServer::~GuardedServer() = default;

int GuardedServer::Bind(const std::string& host, int port)
{
    return impl_->Bind(host, port);
}

bool GuardedServer::Start()
{
    return impl_->Start();
}

void GuardedServer::Stop()
{
    impl_->Stop();
}

std::size_t GuardedServer::ConnectionLimit() const
{
    return impl_->ConnectionLimit();
}

int GuardedServer::SystemBacklog()
{
    long n = 0;
    std::ifstream("/proc/sys/net/core/somaxconn") >> n;
    return n > 0 ? static_cast<int>(std::min<long>(n, INT_MAX)) : SOMAXCONN;
}

}  // namespace tessel::server

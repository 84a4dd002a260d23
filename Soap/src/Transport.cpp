#include "Soap/Transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <memory>
#include <mutex>

#include "Soap/SoapError.h"

namespace tessel::soap {

namespace {

struct CurlFree {
    void operator()(CURL* c) const noexcept { curl_easy_cleanup(c); }
};
struct UrlFree {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
};
struct SlistFree {
    void operator()(curl_slist* l) const noexcept { curl_slist_free_all(l); }
};

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
    std::string* body;
    std::size_t limit;
    bool overflow = false;
};

std::size_t Write(char* data, std::size_t size, std::size_t n, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    const std::size_t bytes = size * n;
    if (sink->body->size() + bytes > sink->limit) {
        sink->overflow = true;
        return 0;
    }
    sink->body->append(data, bytes);
    return bytes;
}

// Collects the headers of each response; a status line starts a new response
// (after a redirect), so what is kept is the last one's.
std::size_t Header(char* data, std::size_t size, std::size_t n, void* user)
{
    auto* reply = static_cast<HttpReply*>(user);
    const std::size_t bytes = size * n;
    std::string line(data, bytes);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        reply->headers.clear();
        reply->contentType.clear();
        reply->statusLine = line.substr(0, 200);
        return bytes;
    }
    const auto colon = line.find(':');
    if (colon == std::string::npos || reply->headers.size() >= 200)
        return bytes;
    std::string name = line.substr(0, colon), value = line.substr(colon + 1);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.erase(value.begin());
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
    if (name == "content-type")
        reply->contentType = value;
    reply->headers.emplace_back(std::move(name), std::move(value));
    return bytes;
}

// The header lines of each request as it goes out; the last request's are kept.
int Debug(CURL*, curl_infotype type, char* data, std::size_t size, void* user)
{
    if (type != CURLINFO_HEADER_OUT)
        return 0;
    auto* reply = static_cast<HttpReply*>(user);
    reply->requestHeaders.clear();
    std::string_view text(data, size);
    bool first = true;
    while (!text.empty() && reply->requestHeaders.size() < 200) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (first || line.empty()) {
            first = false;  // the request line
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        reply->requestHeaders.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    return 0;
}

struct Progress {
    const std::atomic<bool>* cancel;
};

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* p = static_cast<Progress*>(user);
    return p->cancel && p->cancel->load() ? 1 : 0;  // non-zero gives the transfer up
}

long Seconds(const char* variable, long fallback)
{
    const char* v = std::getenv(variable);
    if (!v || !*v)
        return fallback;
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    return (end && *end == '\0' && n > 0 && n <= 86400) ? n : fallback;
}

std::string Reason(CURL* curl, CURLcode rc, const char* errbuf, const HttpOptions& options)
{
    long osErrno = 0;
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osErrno);
    switch (rc) {
    case CURLE_COULDNT_CONNECT:
        return osErrno ? std::strerror(static_cast<int>(osErrno)) : "the server does not accept connections";
    case CURLE_COULDNT_RESOLVE_HOST: return "the host name is not known";
    case CURLE_COULDNT_RESOLVE_PROXY: return "the proxy's host name is not known";
    case CURLE_OPERATION_TIMEDOUT:
        return "no reply within the time limit (" + std::to_string(options.connectTimeoutSeconds) + " s to connect, " +
               std::to_string(options.totalTimeoutSeconds) + " s in all)";
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR:
        return std::string("the secure connection failed: ") + (*errbuf ? errbuf : curl_easy_strerror(rc));
    case CURLE_GOT_NOTHING: return "the server closed the connection without a reply";
    case CURLE_TOO_MANY_REDIRECTS: return "too many redirects";
    default: return *errbuf ? errbuf : curl_easy_strerror(rc);
    }
}

// What went wrong once the connection was made; empty when it was not made
// (or the failure is one the connection's making explains).
std::string AfterConnecting(CURL* curl, CURLcode rc, const HttpOptions& options)
{
    curl_off_t connectedAfterUs = 0;
    long requestBytes = 0;
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectedAfterUs);
    curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &requestBytes);
    if (connectedAfterUs <= 0 && requestBytes <= 0)
        return {};
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
        return "The server did not answer within " + std::to_string(options.totalTimeoutSeconds) + " s";
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE: return "The connection was closed before the reply was complete";
    default: return {};
    }
}

HttpReply Perform(const std::string& uri, const std::string* body, const std::string& soapAction,
                  const HttpOptions& options)
{
    GlobalInit();
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl)
        throw SoapError("Could not connect to " + uri + ": the HTTP client could not be created");
    HttpReply reply;
    Sink sink{&reply.body, options.maxReplyBytes};
    char errbuf[CURL_ERROR_SIZE] = {};
    std::unique_ptr<curl_slist, SlistFree> headers;
    const auto add = [&](const std::string& h) { headers.reset(curl_slist_append(headers.release(), h.c_str())); };

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, uri.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, options.followRedirects ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, options.totalTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Write);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, Header);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &reply);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, Debug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &reply);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);  // what goes out reaches Debug; nothing is printed
    Progress progress{options.cancel};
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &progress);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "tessel-soap/1.0");
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");
    if (options.connections)
        curl_easy_setopt(c, CURLOPT_SHARE, static_cast<CURLSH*>(options.connections->share()));
    if (body) {
        add("Content-Type: text/xml; charset=utf-8");
        add("SOAPAction: \"" + soapAction + "\"");
        add("Expect:");
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body->data());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    const auto started = std::chrono::steady_clock::now();
    const CURLcode rc = curl_easy_perform(c);
    if (rc == CURLE_ABORTED_BY_CALLBACK)
        CancelCheck(options.cancel, started).Throw("before " + uri + " answered");
    if (sink.overflow)
        throw SoapError("The reply of " + uri + " is larger than " + std::to_string(options.maxReplyBytes) + " bytes");
    if (rc == CURLE_URL_MALFORMAT || rc == CURLE_UNSUPPORTED_PROTOCOL)
        throw SoapError("Not a valid URL: " + uri + (rc == CURLE_UNSUPPORTED_PROTOCOL ? " (use http or https)" : ""));
    if (rc == CURLE_FILE_COULDNT_READ_FILE)
        throw SoapError("Could not read " + uri + ": no such file");
    if (rc != CURLE_OK) {
        if (const std::string after = AfterConnecting(c, rc, options); !after.empty())
            throw SoapError(after + " (" + uri + ")");
        throw SoapError("Could not connect to " + uri + ": " + Reason(c, rc, errbuf, options));
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
    if (reply.status == 0)
        reply.status = 200;  // a file: URL has no status
    const char* effective = nullptr;
    curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &effective);
    reply.effectiveUrl = effective ? effective : uri;
    const char* redirect = nullptr;
    if (!options.followRedirects && reply.status >= 300 && reply.status < 400 &&
        curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK && redirect)
        reply.redirectUrl = redirect;
    return reply;
}

}  // namespace

struct ConnectionPool::Impl {
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self)
    {
        static_cast<Impl*>(self)->locks[data].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) { static_cast<Impl*>(self)->locks[data].unlock(); }

    std::mutex locks[CURL_LOCK_DATA_LAST];
    CURLSH* share = nullptr;
};

ConnectionPool::ConnectionPool() : impl_(std::make_unique<Impl>())
{
    GlobalInit();
    impl_->share = curl_share_init();
    if (!impl_->share)
        throw SoapError("the HTTP client's connection pool could not be created");
    curl_share_setopt(impl_->share, CURLSHOPT_LOCKFUNC, &Impl::Lock);
    curl_share_setopt(impl_->share, CURLSHOPT_UNLOCKFUNC, &Impl::Unlock);
    curl_share_setopt(impl_->share, CURLSHOPT_USERDATA, impl_.get());
    curl_share_setopt(impl_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(impl_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
}

ConnectionPool::~ConnectionPool()
{
    curl_share_cleanup(impl_->share);
}

void* ConnectionPool::share() const noexcept
{
    return impl_->share;
}

HttpOptions HttpOptions::FromEnvironment()
{
    HttpOptions o;
    o.connectTimeoutSeconds = Seconds("TESSEL_CONNECT_TIMEOUT", o.connectTimeoutSeconds);
    o.totalTimeoutSeconds = Seconds("TESSEL_TIMEOUT", o.totalTimeoutSeconds);
    if (const char* origins = std::getenv("TESSEL_IMPORT_ORIGINS"))
        o.importOrigins = OriginList(origins);
    return o;
}

std::string OriginOf(const std::string& url)
{
    const std::unique_ptr<CURLU, UrlFree> u(curl_url());
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return {};
    const auto part = [&](CURLUPart which, unsigned flags) {
        char* text = nullptr;
        std::string out;
        if (curl_url_get(u.get(), which, &text, flags) == CURLUE_OK && text)
            out = text;
        curl_free(text);
        for (char& ch : out)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return out;
    };
    const std::string scheme = part(CURLUPART_SCHEME, 0);
    if (scheme == "file")
        return "file://";
    if (scheme != "http" && scheme != "https")
        return {};
    const std::string host = part(CURLUPART_HOST, 0), port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (host.empty() || port.empty())
        return {};
    return scheme + "://" + host + ":" + port;
}

std::vector<std::string> OriginList(const std::string& list, std::vector<std::string>* invalid)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t end = std::min(list.find_first_of(" \t\n,", at), list.size());
        const std::string entry = list.substr(at, end - at);
        at = end + 1;
        if (entry.empty())
            continue;
        const std::string origin = OriginOf(entry);
        if (origin.empty() || origin == "file://") {
            if (invalid)
                invalid->push_back(entry);
        } else if (std::find(out.begin(), out.end(), origin) == out.end()) {
            out.push_back(origin);
        }
    }
    return out;
}

std::string HttpReply::Header(const std::string& name) const
{
    for (const auto& [n, v] : headers)
        if (n == name)
            return v;
    return {};
}

HttpReply HttpGet(const std::string& uri, const HttpOptions& options)
{
    return Perform(uri, nullptr, {}, options);
}

HttpReply HttpPost(const std::string& uri, const std::string& body, const std::string& soapAction,
                   const HttpOptions& options)
{
    return Perform(uri, &body, soapAction, options);
}

std::string FetchDocument(const std::string& uri, std::size_t maxBytes, const HttpOptions& options,
                          std::string* effectiveUrl)
{
    HttpOptions limited = options;
    limited.maxReplyBytes = std::min(options.maxReplyBytes, maxBytes);
    HttpReply reply = HttpGet(uri, limited);
    if (reply.status < 200 || reply.status >= 300)
        throw SoapError("fetching " + uri + " gave HTTP status " + std::to_string(reply.status));
    if (effectiveUrl)
        *effectiveUrl = reply.effectiveUrl;
    return std::move(reply.body);
}

void Transport::AddStandardHeaders(const std::string&, const std::string&, std::size_t,
                                   const std::string& soapAction)
{
    // The length goes out as the payload's real byte count, which libcurl sets.
    action_ = soapAction;
}

std::string Transport::PostToURI(const std::string& uri, const std::string& payload)
{
    last_ = HttpReply{};
    last_ = HttpPost(uri, payload, action_, options_);
    return std::move(last_.body);
}

}  // namespace tessel::soap

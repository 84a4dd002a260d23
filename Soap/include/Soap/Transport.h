// HTTP for SOAP on libcurl: POST with the standard SOAP headers, GET for
// service descriptions. TLS certificates are verified, redirects followed,
// proxies taken from the environment.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tessel::soap {

// Connections that exchanges sharing it keep open for one another, where the
// server keeps them alive: a session's calls then go over one connection.
// Exchanges on several threads may share one.
class ConnectionPool {
public:
    ConnectionPool();
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    void* share() const noexcept;  // the libcurl share handle

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

struct HttpOptions {
    long connectTimeoutSeconds = 10;
    long totalTimeoutSeconds = 120;
    std::size_t maxReplyBytes = 64u << 20;
    // When set, the exchange is given up soon after it turns true, with
    // Cancelled "cancelled after N s, before URL answered"; a description's
    // load checks it between its steps too.
    const std::atomic<bool>* cancel = nullptr;
    // Off: a redirect is not followed but handed back in HttpReply::redirectUrl
    // (imports are fetched so, and their redirects checked before they go on).
    bool followRedirects = true;
    // Origins besides a description's own from which its imports may come,
    // as OriginOf gives them.
    std::vector<std::string> importOrigins{};
    // When set, connections are kept in it for the next exchange; otherwise
    // each exchange has a connection of its own.
    std::shared_ptr<ConnectionPool> connections{};

    // The defaults, with the timeouts of TESSEL_CONNECT_TIMEOUT and
    // TESSEL_TIMEOUT (whole seconds) and the origins of TESSEL_IMPORT_ORIGINS
    // (see OriginList; entries that name no origin are left out) where they are set.
    static HttpOptions FromEnvironment();
};

struct HttpReply {
    long status = 0;
    std::string statusLine;  // "HTTP/1.1 200 OK" of the last response
    std::vector<std::pair<std::string, std::string>> requestHeaders;  // as the last request went out
    std::string contentType;
    std::string body;
    std::string effectiveUrl;  // where the reply came from, after any redirects
    std::string redirectUrl;   // where a redirect not followed points (absolute), else empty
    std::vector<std::pair<std::string, std::string>> headers;  // of the last response, names in lower case
    // The value of a header (name in lower case), or empty.
    std::string Header(const std::string& name) const;
};

// The origin of an absolute http, https or file URL, as the HTTP client reads
// it: "scheme://host:port" with scheme and host in lower case and the scheme's
// port when the URL names none ("http://h.test:80"); "file://" for every file
// URL; empty for anything else.
std::string OriginOf(const std::string& url);
// The origins of a list of http or https URLs separated by blanks or commas
// ("http://h.test:8081 https://other.test"); an entry that is none goes to
// `invalid` when given.
std::vector<std::string> OriginList(const std::string& list, std::vector<std::string>* invalid = nullptr);

// Raises SoapError with a readable message when no reply arrives: "Could
// not connect to http://...: Connection refused" when no connection was made;
// once it was, "The server did not answer within N s (http://...)" or "The
// connection was closed before the reply was complete (http://...)".
HttpReply HttpGet(const std::string& uri, const HttpOptions& options = {});
HttpReply HttpPost(const std::string& uri, const std::string& body, const std::string& soapAction,
                   const HttpOptions& options = {});
// A document fetched by GET, at most maxBytes of it: a status other than 2xx
// or a longer document raises SoapError. `effectiveUrl`, when given, receives
// where the document came from after any redirects.
std::string FetchDocument(const std::string& uri, std::size_t maxBytes, const HttpOptions& options = {},
                          std::string* effectiveUrl = nullptr);

class Transport {
public:
    explicit Transport(HttpOptions options = {}) : options_(options) {}

    // Prepares the SOAP headers for the next post. The SOAPAction is the
    // description's for the method, sent quoted; an operation whose binding
    // gives none (or an empty one) is sent "" as other servers expect.
    void AddStandardHeaders(const std::string& uri, const std::string& method, std::size_t payloadLength,
                            const std::string& soapAction = {});
    // Posts the payload and returns the reply body as text, whatever the HTTP
    // status (an error page comes back as its text).
    std::string PostToURI(const std::string& uri, const std::string& payload);

    long lastStatus() const noexcept { return last_.status; }
    // The last post's reply: status, headers and what went out (its body is
    // what PostToURI returned).
    const HttpReply& lastReply() const noexcept { return last_; }

private:
    HttpOptions options_;
    std::string action_;
    HttpReply last_;
};

}  // namespace tessel::soap

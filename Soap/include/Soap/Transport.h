// HTTP for SOAP on libcurl: POST with the standard SOAP headers, GET for
// service descriptions. TLS certificates are verified, redirects followed,
// proxies taken from the environment.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace tessel::soap {

struct HttpOptions {
    long connectTimeoutSeconds = 10;
    long totalTimeoutSeconds = 120;
    std::size_t maxReplyBytes = 64u << 20;
    // When set, the exchange is given up soon after it turns true, with a
    // SoapError "cancelled after N s".
    const std::atomic<bool>* cancel = nullptr;

    // The defaults, with the timeouts of TESSEL_CONNECT_TIMEOUT and
    // TESSEL_TIMEOUT (whole seconds) where they are set.
    static HttpOptions FromEnvironment();
};

struct HttpReply {
    long status = 0;
    std::string statusLine;  // "HTTP/1.1 200 OK" of the last response
    std::vector<std::pair<std::string, std::string>> requestHeaders;  // as the last request went out
    std::string contentType;
    std::string body;
    std::string effectiveUrl;  // where the reply came from, after any redirects
    std::vector<std::pair<std::string, std::string>> headers;  // of the last response, names in lower case
    // The value of a header (name in lower case), or empty.
    std::string Header(const std::string& name) const;
};

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

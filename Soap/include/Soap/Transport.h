// HTTP for SOAP on libcurl: POST with the standard SOAP headers, GET for
// service descriptions. TLS certificates are verified, redirects followed,
// proxies taken from the environment.
#pragma once

#include <string>

namespace tessel::soap {

struct HttpOptions {
    long connectTimeoutSeconds = 10;
    long totalTimeoutSeconds = 120;
    std::size_t maxReplyBytes = 64u << 20;
};

struct HttpReply {
    long status = 0;
    std::string contentType;
    std::string body;
};

// Raises SoapError with a readable message when no reply arrives
// ("Could not connect to http://...: Connection refused").
HttpReply HttpGet(const std::string& uri, const HttpOptions& options = {});
HttpReply HttpPost(const std::string& uri, const std::string& body, const std::string& soapAction,
                   const HttpOptions& options = {});

class Transport {
public:
    explicit Transport(HttpOptions options = {}) : options_(options) {}

    // Prepares the SOAP headers for the next post. The SOAPAction is the
    // description's for the method (empty: the method name, quoted).
    void AddStandardHeaders(const std::string& uri, const std::string& method, std::size_t payloadLength,
                            const std::string& soapAction = {});
    // Posts the payload and returns the reply body as text, whatever the HTTP
    // status (an error page comes back as its text).
    std::string PostToURI(const std::string& uri, const std::string& payload);

    long lastStatus() const noexcept { return lastStatus_; }

private:
    HttpOptions options_;
    std::string action_;
    long lastStatus_ = 0;
};

}  // namespace tessel::soap

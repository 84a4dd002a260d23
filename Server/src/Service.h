// The local TesselService: descriptions, login, sessions with the server side
// of the token scheme, and every operation on the store.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Descriptions.h"
#include "Logins.h"
#include "Soap/ServiceDescription.h"
#include "ServerMACImpl.h"
#include "Store.h"

namespace tessel::server {

struct ServiceOptions {
    std::vector<std::pair<std::string, std::string>> users = {{"tester", "tester"}};
    std::size_t compressThreshold = 1024;
    bool encryptResults = false;
    std::set<std::string> htmlErrorOperations;
    // Whether an answer carries what the log notes of its call.
    bool noteCalls = false;
    std::int64_t timestampWindowSeconds = 300;
    // The largest request body; also the most that a request's compressed
    // parameters may inflate to, together.
    std::size_t bodyLimit = 32u << 20;
    // The most the store may hold, in bytes; puts beyond it fail. Tickets,
    // sessions and the calls they remember are held to as much, apart.
    std::size_t storeLimit = 256u << 20;
    // A ticket is used by one OpenSession within this time; a session not
    // used for longer than sessionIdleSeconds is closed.
    std::int64_t ticketTtlSeconds = 300;
    std::int64_t sessionIdleSeconds = 1800;
    // The clock of time stamps and expiry; null: the system's.
    std::shared_ptr<EngineEnvironment> env;
};

// What the HTTP layer sends back.
struct HttpAnswer {
    int status = 200;
    std::string contentType = "text/xml; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers = {};  // further headers ("Allow")
    // False for a body that would not get smaller: one that carries a result
    // the token scheme already compressed or encrypted.
    bool compressible = true;
    // True for a body that goes out again and again as it is (a service
    // description): its compressed form is kept for the next time.
    bool repeats = false;
    // What the request log notes of a SOAP call (operation, parameters,
    // token, encoding); null for other answers and when nothing is logged.
    nlohmann::json logged = {};
};

// What the log keeps of a text: its first characters, never part of one.
inline constexpr std::size_t kLoggedCharacters = 256;
// The first `max` characters of UTF-8 text, and how many characters all of it has.
std::pair<std::string, std::size_t> CutText(const std::string& text, std::size_t max);

// The log shows a password or credential as eight stars, whatever its length.
inline constexpr char kMasked[] = "********";
bool IsSecretParameter(const std::string& name);

// An HTML error page: the status and title as its heading, the text below.
std::string HtmlPage(int status, const std::string& title, const std::string& text);

inline constexpr char kMainDescriptionPath[] = "/TesselService/TesselServiceCore";
inline constexpr char kAdminDescriptionPath[] = "/TesselService/TesselServiceCoreAdmin";
inline constexpr char kSoap2DescriptionPath[] = "/TesselService2/TesselServiceCore";
inline constexpr char kMainEndpoint[] = "/TesselService/TesselServiceCore.asmx";
inline constexpr char kAdminEndpoint[] = "/TesselService/TesselServiceCoreAdmin.asmx";
inline constexpr char kSoap2Endpoint[] = "/TesselService2/TesselServiceCore.asmx";

class Service {
public:
    explicit Service(ServiceOptions options);

    // GET of a path: a description; on a SOAP endpoint a 405 page with
    // "Allow: POST"; else an HTML 404 page.
    HttpAnswer Get(const std::string& path, const std::string& baseUrl);
    // POST of a SOAP request to a path.
    HttpAnswer Post(const std::string& path, const std::string& body, const std::string& baseUrl);

    // Bytes charged for tickets, sessions and the calls they remember.
    std::size_t LoginBytes() { return logins_.Used(); }

private:
    using Params = std::vector<std::pair<std::string, std::string>>;

    HttpAnswer Handle(Interface iface, DescriptionStyle style, const std::string& body, const std::string& baseUrl,
                      nlohmann::json& noted);
    // The reply values of a session message; raises OperationFault.
    Params SessionReply(const std::string& name, const std::map<std::string, std::string>& args);
    const soap::ServiceDescription& Parsed(Interface iface, DescriptionStyle style) const;
    // Notes a call for the log, when calls are noted.
    void Note(nlohmann::json& noted, const std::string& operation, const Params& params, const std::string& token,
              const std::string& encoding) const;

    ServiceOptions options_;
    Store store_;
    Logins logins_;
    std::map<std::pair<int, int>, soap::ServiceDescription> parsed_;
    // The compressed forms of the long results sent last, shared by every
    // session (a content read again is not compressed again): at most 32 MiB.
    const std::shared_ptr<CompressedResults> compressedResults_ = std::make_shared<CompressedResults>();
};

}  // namespace tessel::server

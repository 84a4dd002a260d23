// One request and its reply as a window's view and tessel-call's trace show
// them, recorded the same way for every exchange of both tool families and
// tessel-call.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tessel::soap {
struct HttpReply;
}

namespace tessel::client {

using Headers = std::vector<std::pair<std::string, std::string>>;

// What the token inspector needs of an authenticated call: the session's
// values, the request token with the slots it was built over, and the
// reply's token with the reply's slots once a reply was validated.
struct TokenTrace {
    std::string scheme{}, seed{}, sessionKey{}, verifier{};
    std::string requestToken{};
    std::vector<std::pair<std::string, std::string>> requestSlots{};  // slot 0 the method
    bool validated = false;
    std::string replyToken{};
    std::vector<std::pair<std::string, std::string>> replySlots{};  // slot 0 the method, slot 1 "result"
    bool empty() const { return requestToken.empty(); }
};

struct Exchange {
    std::string method{};
    std::string url{};
    std::string statusLine{};  // "HTTP/1.1 200 OK"; empty when no reply came
    Headers requestHeaders{}, responseHeaders{};
    std::string request{}, response{};              // as sent and as received
    std::string requestPretty{}, responsePretty{};  // indented where they are XML, else as they are
    std::string result{};                           // the decoded result, whole
    // A text the view shows only masked wherever it occurs (the password of
    // a CreateTicket request); empty: nothing is masked.
    std::string secret{};
    long status = 0;      // the HTTP status; 0 when no reply came
    std::string error{};  // why no reply came
    TokenTrace tokens{};  // an authenticated call's tokens; empty for a session message
};

// An exchange as it went: `request` posted to `url`, and what came back
// (`http` for the status line and headers, null when no reply came, and the
// reply's body `response`). The password of a CreateTicket request is the
// exchange's secret.
Exchange Recorded(const std::string& method, const std::string& url, const std::string& request,
                  const soap::HttpReply* http, const std::string& response, const std::string& password = {});
// The exchange with its indented forms, for a window's view.
void AddPrettyForms(Exchange& exchange);

}  // namespace tessel::client

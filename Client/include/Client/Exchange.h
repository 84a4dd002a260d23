// One request and its reply as a window's view shows them.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tessel::client {

using Headers = std::vector<std::pair<std::string, std::string>>;

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
};

}  // namespace tessel::client

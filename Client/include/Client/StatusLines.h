// The texts of the tools' status line, the same in both tool families: what
// a connect, a login, a call or a failure did, in one line.
#pragma once

#include <cstdint>
#include <string>

#include "Client/TextRules.h"  // Characters, Grouped

namespace tessel::client {

// "host:port" of a URL (the scheme's port when it names none).
std::string HostOf(const std::string& url);

// "Connected to HOST:PORT, N methods"
std::string ConnectedLine(const std::string& url, std::size_t methods);
// "Not connected to URL: CAUSE"
std::string NotConnectedLine(const std::string& url, const std::string& cause);
// "Logged in as USER (session key set)"
std::string LoggedInLine(const std::string& user);
inline constexpr char kLoginRefused[] = "Login refused: empty ticket";
inline constexpr char kLoginEnded[] = "Login ended: empty session key";
inline constexpr char kLoggedOut[] = "Logged out";

// What an authenticated call did.
struct CallOutcome {
    std::string method;
    long httpStatus = 0;
    long long elapsedMs = 0;
    std::size_t resultCharacters = 0;  // of "result" as the reply carried it
    bool validated = false;            // ValidateToken ran
    std::int32_t verdict = 0;          // what it returned
    bool decoded = false;              // slot 1 had a converted value
    std::int32_t kind = 0;             // GetTokenData's kind of slot 1
    std::size_t shown = 0, whole = 0;  // characters of the decoded result shown, and in all
};
// "M: HTTP 200, 12 ms, result 1 character; reply token valid; slot 1 plain"
// and "; shown N of M characters" when the shown text is cut.
std::string CallLine(const CallOutcome& outcome);
// "Fault: STRING (CODE)"
std::string FaultLine(const std::string& faultString, const std::string& faultCode);
// Added to a failure's line when the result box keeps an earlier call's result.
inline constexpr char kPreviousResult[] = "; the result box still holds the previous result";

}  // namespace tessel::client

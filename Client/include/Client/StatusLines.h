// The texts of the tools' status line, the same in both tool families: what
// a connect, a login, a call or a failure did, in one line; and the texts of
// tessel-call's report of a call and of what made a call or its login come
// to nothing. Every such text is built here and nowhere else.
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
// What a line adds when no service answered: how to start a local one.
inline constexpr char kLocalServiceHint[] = "; TesselServiceLocal or ./scripts/run.sh starts a local service";
// "Not connected to URL: CAUSE; TesselServiceLocal or ./scripts/run.sh starts
// a local service": a connect that reached no service.
std::string UnavailableLine(const std::string& url, const std::string& cause);
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
    std::string failedCheck{};         // of a rejected reply: "hash differs", …; empty when unknown
    bool decoded = false;              // slot 1 had a converted value
    std::int32_t kind = 0;             // GetTokenData's kind of slot 1
    std::size_t shown = 0, whole = 0;  // characters of the decoded result shown, and in all
};
// "M: HTTP 200, 12 ms": what every line of an exchange starts with.
std::string ExchangeLine(const std::string& method, long httpStatus, long long elapsedMs);
// "M: HTTP 200, 12 ms, result 1 character; reply token valid; slot 1 plain"
// and "; shown N of M characters" when the shown text is cut.
std::string CallLine(const CallOutcome& outcome);
// "M: HTTP 500, 3 ms, an error page of N characters" and kPreviousResult.
std::string ErrorPageLine(const CallOutcome& outcome, std::size_t pageCharacters);
// "M: HTTP 200, 3 ms, an empty reply" and kPreviousResult.
std::string EmptyReplyLine(const CallOutcome& outcome);
// "M: HTTP 200, 3 ms, no reply token: nothing validated or shown"
std::string NoReplyTokenLine(const CallOutcome& outcome);
// "Fault: STRING (CODE)", without " (CODE)" when the code is empty.
std::string FaultLine(const std::string& faultString, const std::string& faultCode);
// "WHAT: CAUSE" up to its first line break: a step (or a row's error title)
// and why it failed.
std::string FailureLine(const std::string& what, const std::string& cause);
// A text up to its first line break.
std::string FirstLine(const std::string& text);
// Added to a failure's line when the result box keeps an earlier call's result.
inline constexpr char kPreviousResult[] = "; the result box still holds the previous result";

// tessel-call's report, on standard error, of a call that was answered:
// "M: HTTP 200, 12 ms, KIND result, reply token VERDICT", KIND and VERDICT
// as DescribeKind and DescribeVerdict name them.
// A rejected token's verdict names `failedCheck` when it is known.
std::string ReportResultLine(const std::string& method, long httpStatus, long long elapsedMs, std::int32_t kind,
                             std::int32_t verdict, const std::string& failedCheck = {});
// "M: fault CODE: STRING"
std::string ReportFaultLine(const std::string& method, const std::string& faultCode, const std::string& faultString);

// Why tessel-call's call came to nothing.
inline constexpr char kNoSession[] = "there is no session: the login did not complete";
// "the request cannot be built: CAUSE"
std::string RequestNotBuilt(const std::string& cause);
// "the server sent an empty reply (HTTP N)"
std::string EmptyReply(long httpStatus);
// "the reply cannot be read: CAUSE"
std::string ReplyUnreadable(const std::string& cause);
// Why tessel-call's login came to nothing (masked by the caller where a
// credential may show).
// "the login was refused: M answered with the fault STRING (DETAIL)", without
// " (DETAIL)" when the detail is empty.
std::string LoginFault(const std::string& method, const std::string& faultString, const std::string& detail);
// "the login failed: the reply of M cannot be read: CAUSE"
std::string LoginReplyUnreadable(const std::string& method, const std::string& cause);
// "the login was refused: CreateTicket gave no ticket for the user "U" (is
// the user name or the password wrong?)"
std::string NoTicketFor(const std::string& user);
inline constexpr char kNoSessionKey[] = "the login was refused: OpenSession gave no session key";

}  // namespace tessel::client

// Every text of the status line and of tessel-call's report, one named row
// each: the tools' own tests find these texts byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Client/StatusLines.h"

using namespace tessel::client;

namespace {

struct StatusText {
    const char* name;
    std::function<std::string()> built;
    std::string expected;
};

CallOutcome Called(const std::string& method, long status, long long ms)
{
    CallOutcome o;
    o.method = method;
    o.httpStatus = status;
    o.elapsedMs = ms;
    return o;
}

CallOutcome Answered(std::size_t characters, std::int32_t verdict, std::int32_t kind, std::size_t shown,
                     std::size_t whole)
{
    CallOutcome o = Called("GetLog", 200, 12);
    o.resultCharacters = characters;
    o.validated = true;
    o.verdict = verdict;
    o.decoded = true;
    o.kind = kind;
    o.shown = shown;
    o.whole = whole;
    return o;
}

const StatusText kTexts[] = {
    {"HostWithItsPort", [] { return HostOf("http://127.0.0.1:8080/TesselService/x.xml"); }, "127.0.0.1:8080"},
    {"HostWithTheSchemesPort", [] { return HostOf("https://user@h.test/x?y"); }, "h.test:443"},
    {"HostOfIPv6WithoutPort", [] { return HostOf("http://[::1]/x"); }, "[::1]:80"},
    {"ConnectedToOneMethod", [] { return ConnectedLine("http://h.test/a.asmx", 1); },
     "Connected to h.test:80, 1 method"},
    {"ConnectedToManyMethods", [] { return ConnectedLine("http://h.test:81/a", 1234); },
     "Connected to h.test:81, 1,234 methods"},
    {"NotConnected", [] { return NotConnectedLine("http://h.test/d.xml", "refused"); },
     "Not connected to http://h.test/d.xml: refused"},
    {"LoggedIn", [] { return LoggedInLine("tester"); }, "Logged in as tester (session key set)"},
    {"LoginRefused", [] { return std::string(kLoginRefused); }, "Login refused: empty ticket"},
    {"LoginEnded", [] { return std::string(kLoginEnded); }, "Login ended: empty session key"},
    {"LoggedOut", [] { return std::string(kLoggedOut); }, "Logged out"},
    {"ExchangePrefix", [] { return ExchangeLine("PutLog", 200, 7); }, "PutLog: HTTP 200, 7 ms"},
    {"CallNotValidated", [] { return CallLine(Called("PutLog", 200, 7)); },
     "PutLog: HTTP 200, 7 ms, result 0 characters"},
    {"CallOfOneCharacterPlain", [] { return CallLine(Answered(1, 0, 0, 1, 1)); },
     "GetLog: HTTP 200, 12 ms, result 1 character; reply token valid; slot 1 plain"},
    {"CallDecompressed", [] { return CallLine(Answered(2048, 0, 1, 5000, 5000)); },
     "GetLog: HTTP 200, 12 ms, result 2,048 characters; reply token valid; slot 1 decompressed"},
    {"CallDecrypted", [] { return CallLine(Answered(3, 0, 2, 3, 3)); },
     "GetLog: HTTP 200, 12 ms, result 3 characters; reply token valid; slot 1 decrypted"},
    {"CallDecompressedAndDecrypted", [] { return CallLine(Answered(3, 0, 3, 3, 3)); },
     "GetLog: HTTP 200, 12 ms, result 3 characters; reply token valid; slot 1 decompressed and decrypted"},
    {"CallOfAnUnknownKind", [] { return CallLine(Answered(3, 0, 9, 3, 3)); },
     "GetLog: HTTP 200, 12 ms, result 3 characters; reply token valid; slot 1 kind 9"},
    {"CallRejectedAndCut", [] { return CallLine(Answered(3, static_cast<std::int32_t>(0x80004005u), 0, 1024, 1500)); },
     "GetLog: HTTP 200, 12 ms, result 3 characters; reply token rejected: 0x80004005 E_FAIL (time stamp, nonce proof "
     "or hash differs); slot 1 plain; shown 1,024 of 1,500 characters"},
    {"ErrorPage", [] { return ErrorPageLine(Called("GetLog", 500, 3), 1200); },
     "GetLog: HTTP 500, 3 ms, an error page of 1,200 characters; the result box still holds the previous result"},
    {"EmptyReply", [] { return EmptyReplyLine(Called("GetLog", 200, 3)); },
     "GetLog: HTTP 200, 3 ms, an empty reply; the result box still holds the previous result"},
    {"NoReplyToken", [] { return NoReplyTokenLine(Called("GetLog", 200, 3)); },
     "GetLog: HTTP 200, 3 ms, no reply token: nothing validated or shown"},
    {"FaultWithCode", [] { return FaultLine("No log", "SOAP-ENV:Client"); }, "Fault: No log (SOAP-ENV:Client)"},
    {"FaultWithoutCode", [] { return FaultLine("No log", ""); }, "Fault: No log"},
    {"FailureUpToItsFirstLineBreak", [] { return FailureLine("Connect", "refused\nsecond line"); },
     "Connect: refused"},
    {"FailureOfOneLine", [] { return FailureLine("Error on GetLog", "it broke"); }, "Error on GetLog: it broke"},
    {"FirstLineOfOneLine", [] { return FirstLine("one"); }, "one"},
    {"FirstLineCutsTheRest", [] { return FirstLine("Fault: a\nb (c)"); }, "Fault: a"},
    {"PreviousResult", [] { return std::string(kPreviousResult); },
     "; the result box still holds the previous result"},
    {"ReportOfAResult", [] { return ReportResultLine("GetLog", 200, 5, 1, 0); },
     "GetLog: HTTP 200, 5 ms, compressed result, reply token valid"},
    {"ReportOfARejectedResult",
     [] { return ReportResultLine("GetLog", 200, 5, 0, static_cast<std::int32_t>(0x80070057u)); },
     "GetLog: HTTP 200, 5 ms, plain result, reply token rejected: 0x80070057 E_INVALIDARG (the token is empty or "
     "malformed)"},
    {"ReportOfAFault", [] { return ReportFaultLine("GetLog", "SOAP-ENV:Client", "No log"); },
     "GetLog: fault SOAP-ENV:Client: No log"},
    {"NoSession", [] { return std::string(kNoSession); }, "there is no session: the login did not complete"},
    {"RequestNotBuilt", [] { return RequestNotBuilt("no operation X"); },
     "the request cannot be built: no operation X"},
    {"EmptyReplyToTesselCall", [] { return EmptyReply(202); }, "the server sent an empty reply (HTTP 202)"},
    {"ReplyUnreadable", [] { return ReplyUnreadable("not XML"); }, "the reply cannot be read: not XML"},
    {"LoginFaultWithDetail", [] { return LoginFault("CreateTicket", "Bad user", "who?"); },
     "the login was refused: CreateTicket answered with the fault Bad user (who?)"},
    {"LoginFaultWithoutDetail", [] { return LoginFault("OpenSession", "Expired", ""); },
     "the login was refused: OpenSession answered with the fault Expired"},
    {"LoginReplyUnreadable", [] { return LoginReplyUnreadable("OpenSession", "not XML"); },
     "the login failed: the reply of OpenSession cannot be read: not XML"},
    {"NoTicket", [] { return NoTicketFor("tester"); },
     "the login was refused: CreateTicket gave no ticket for the user \"tester\" (is the user name or the password "
     "wrong?)"},
    {"NoSessionKey", [] { return std::string(kNoSessionKey); },
     "the login was refused: OpenSession gave no session key"},
};

class StatusTexts : public ::testing::TestWithParam<StatusText> {};

}  // namespace

TEST_P(StatusTexts, ReadAsTheToolsShowThem)
{
    EXPECT_EQ(GetParam().built(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Every, StatusTexts, ::testing::ValuesIn(kTexts),
                         [](const ::testing::TestParamInfo<StatusText>& info) { return info.param.name; });

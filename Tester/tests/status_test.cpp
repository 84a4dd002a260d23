// What the status line of a SOAP 1.0 tool says after each kind of step, and
// what the view of the last exchange holds, against the local service.
#include <gtest/gtest.h>

#include "Client/Inspection.h"

#include <regex>

#include "FrontServer.h"
#include "RecordingUi.h"
#include "ServiceProcess.h"
#include "TempHome.h"
#include "Tester/TesterCore.h"
#include "Tester/ToolRegistry.h"

using namespace tessel::tester;

namespace {

class Status : public ::testing::Test {
protected:
    explicit Status(std::vector<std::string> args = {}) : svc(std::move(args)) { core.Start(); }

    void LogIn(const std::string& description)
    {
        ui.texts["txtURI"] = description;
        core.Connect();
        ui.texts["UserKey"] = "tester";
        ui.texts["Principal"] = "tester";
        core.CreateTicket();
        ASSERT_TRUE(ui.enabled["CloseSession"]) << ui.status;
    }
    // The status line after pressing a row's button.
    std::string After(const char* button)
    {
        core.Send(button);
        return ui.status;
    }

    TempHome home;
    ServiceProcess svc;
    RecordingUi ui;
    tessel::client::TokenLibrary library;
    TesterCore core{*FindTool("TSTestTool3"), ui, library};
};

class StatusCompressed : public Status {
protected:
    StatusCompressed() : Status({"--compress-threshold", "10"}) {}
};

class StatusEncrypted : public Status {
protected:
    StatusEncrypted() : Status({"--encrypt-results"}) {}
};

class StatusHtml : public Status {
protected:
    StatusHtml() : Status({"--html-error", "GetLogCount"}) {}
};

// "M: HTTP 200, N ms, " and the rest, with the time left out.
std::string WithoutTime(const std::string& line)
{
    return std::regex_replace(line, std::regex(", [0-9]+ ms, "), ", T ms, ");
}

}  // namespace

TEST_F(Status, ConnectLoginCallsAndLogoutEachSayWhatTheyDid)
{
    ui.texts["txtURI"] = svc.MainDescription();
    core.Connect();
    EXPECT_EQ(ui.status, "Connected to 127.0.0.1:" + std::to_string(svc.port()) + ", 89 methods");

    ui.texts["UserKey"] = "tester";
    ui.texts["Principal"] = "wrong";
    core.CreateTicket();
    EXPECT_EQ(ui.status, "Login refused: empty ticket");  // a wrong password is visible now
    ui.texts["Principal"] = "tester";
    core.CreateTicket();
    EXPECT_EQ(ui.status, "Logged in as tester (session key set)");

    EXPECT_EQ(WithoutTime(After("btnLogCount")),
              "GetLogCount: HTTP 200, T ms, result 1 character; reply token valid; slot 1 plain");
    core.CloseSession();
    EXPECT_EQ(ui.status, "Logged out");
}

TEST_F(Status, AConnectThatFailsSaysWhy)
{
    ui.texts["txtURI"] = svc.Url("/no/such/description.xml");
    core.Connect();
    EXPECT_EQ(ui.status, "Not connected to " + svc.Url("/no/such/description.xml") + ": fetching " +
                             svc.Url("/no/such/description.xml") + " gave HTTP status 404");
    ui.texts["txtURI"] = "http://127.0.0.1:1/TesselService/TesselServiceCore.xml";
    core.Connect();
    EXPECT_EQ(ui.status.rfind("Not connected to http://127.0.0.1:1/TesselService/TesselServiceCore.xml: Could not "
                              "connect",
                              0),
              0u)
        << ui.status;
    // No service answered: the line says how to start a local one (a
    // description that is not there, above, does not).
    EXPECT_TRUE(ui.status.ends_with(tessel::client::kLocalServiceHint)) << ui.status;
}

TEST_F(Status, ACancelledConnectLeavesTheToolNotConnectedAndSaysSo)
{
    const std::string uri = svc.MainDescription();
    ui.texts["txtURI"] = uri;
    ui.onWait = [](std::atomic<bool>& cancel) { cancel = true; };
    core.Connect();
    EXPECT_EQ(ui.waits, std::vector<std::string>{"127.0.0.1:" + std::to_string(svc.port())});
    EXPECT_EQ(ui.status.rfind("Not connected to " + uri + ": cancelled after 0 s, ", 0), 0u) << ui.status;
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"TSTestTool3"});
    EXPECT_EQ(ui.boxes[0].text.rfind("Cancelled after 0 s", 0), 0u) << ui.boxes[0].text;
    EXPECT_NE(ui.boxes[0].text.find("\n\nNot connected to " + uri + "."), std::string::npos) << ui.boxes[0].text;
    EXPECT_FALSE(ui.enabled["CreateTicket"]);  // the login waits for a Connect that completes
    for (const std::string& line : ui.statuses)
        EXPECT_EQ(line.find("Connected to"), std::string::npos) << line;
    // The next Connect, not cancelled, connects.
    ui.onWait = nullptr;
    core.Connect();
    EXPECT_EQ(ui.status, "Connected to 127.0.0.1:" + std::to_string(svc.port()) + ", 89 methods");
    EXPECT_TRUE(ui.enabled["CreateTicket"]);
}

TEST_F(Status, FaultsAndLostServersSayTheResultBoxIsOld)
{
    LogIn(svc.MainDescription());
    core.Send("btnLogCount");
    ui.texts["SS_Auth"] = "99";
    EXPECT_EQ(After("btnSS"), "Fault: No log with the ID 99 (SOAP-ENV:Client); the result box still holds the "
                              "previous result");
    EXPECT_EQ(ui.texts["Result"], "1");
    svc.Stop();
    EXPECT_EQ(After("btnLogCount").rfind("GetLogCount: Could not connect to ", 0), 0u) << ui.status;
    EXPECT_NE(ui.status.find("; the result box still holds the previous result"), std::string::npos);
}

TEST_F(Status, ARejectedReplyTokenIsNamedByTheCheckItFailedAndItsCode)
{
    FrontServer front(svc);
    LogIn(front.Url("/front.xml"));
    // A reply token that is no token at all.
    front.Reply("<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>"
                "<m:GetLogCountResponse xmlns:m=\"urn:x\"><result>7</result><reskey>not a token</reskey>"
                "</m:GetLogCountResponse></e:Body></e:Envelope>");
    EXPECT_EQ(WithoutTime(After("btnLogCount")),
              "GetLogCount: HTTP 200, T ms, result 1 character; reply token rejected: the session key does not "
              "decrypt it (0x80090005 NTE_BAD_DATA)");
    // A real reply of an earlier call, sent again: its token echoes another request's time stamp.
    ui.texts["txtURI"] = svc.MainDescription();
    core.Connect();  // the session goes on
    core.Send("btnLogCount");
    const std::string earlier = ui.texts["Response"];
    ui.texts["txtURI"] = front.Url("/front.xml");
    core.Connect();
    front.Reply(earlier);
    EXPECT_EQ(WithoutTime(After("btnLogCount")),
              "GetLogCount: HTTP 200, T ms, result 1 character; reply token rejected: time stamp differs "
              "(0x80004005 E_FAIL)");
    // The view's Tokens tab shows both sides of the check.
    const tessel::inspect::Inspection seen = tessel::client::Inspect(ui.exchange.tokens);
    const std::string tokens = tessel::client::InspectionText(ui.exchange.tokens);
    EXPECT_NE(tokens.find("Reply token: rejected: the echoed time stamp " + seen.reply.timestamp +
                          " is not the request's " + seen.request.timestamp),
              std::string::npos)
        << tokens;
}

TEST_F(StatusCompressed, ADecompressedResultAndItsCutAreSaid)
{
    LogIn(svc.MainDescription());
    ui.texts["ESAll_Auth"] = std::string(3000, 'a');
    core.Send("btnESAll");
    ui.texts["SS_Auth"] = ui.boxes.back().text;  // the new log's ID
    const std::string line = WithoutTime(After("btnSS"));
    // The row reads back as many characters as the raw (compressed) result has.
    const std::string whole = "<log id=\"" + ui.texts["SS_Auth"] + "\" user=\"tester\" category=\"general\">" +
                              std::string(3000, 'a') + "</log>";
    const std::regex expected("GetLog: HTTP 200, T ms, result ([0-9,]+) characters; reply token valid; slot 1 "
                              "decompressed; shown ([0-9,]+) of " + tessel::client::Grouped(whole.size()) +
                              " characters");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, expected)) << line;
    EXPECT_EQ(m[1], m[2]);
    EXPECT_EQ(ui.exchange.result, whole);  // the view has the whole result
}

TEST_F(StatusEncrypted, ADecryptedResultIsSaid)
{
    LogIn(svc.MainDescription());
    const std::string line = WithoutTime(After("btnLogCount"));
    EXPECT_NE(line.find("; reply token valid; slot 1 decrypted"), std::string::npos) << line;
}

TEST_F(StatusHtml, AnErrorPageIsSaid)
{
    LogIn(svc.MainDescription());
    const std::string line = WithoutTime(After("btnLogCount"));
    EXPECT_EQ(line.rfind("GetLogCount: HTTP 500, T ms, an error page of ", 0), 0u) << line;
    EXPECT_NE(line.find("; the result box still holds the previous result"), std::string::npos);
}

TEST_F(Status, TheViewHoldsTheLastExchange)
{
    LogIn(svc.MainDescription());
    core.Send("btnGetResourceACL");
    const tessel::client::Exchange& e = ui.exchange;
    EXPECT_EQ(e.method, "GetResourceACL");
    EXPECT_EQ(e.url, core.session().serviceURI);
    EXPECT_EQ(e.statusLine.rfind("HTTP/1.1 200", 0), 0u) << e.statusLine;
    const auto header = [](const tessel::client::Headers& headers, const std::string& name) {
        for (const auto& [n, v] : headers)
            if (n == name)
                return v;
        return std::string("(none)");
    };
    EXPECT_EQ(header(e.requestHeaders, "Content-Type"), "text/xml; charset=utf-8");
    EXPECT_EQ(header(e.requestHeaders, "SOAPAction"), "\"urn:tessel:TesselServiceCore#GetResourceACL\"");
    EXPECT_EQ(header(e.responseHeaders, "content-type"), "text/xml; charset=utf-8");
    EXPECT_EQ(e.request, ui.texts["Request"]);
    EXPECT_EQ(e.response, ui.texts["Response"]);
    EXPECT_NE(e.requestPretty.find("\n  <SOAP-ENV:Body>"), std::string::npos) << e.requestPretty;
    EXPECT_EQ(e.result, "<VOACL><control><user>xxx</user><access>rwdarawad</access></control></VOACL>");
}

TEST_F(Status, AReplyInAnotherEncodingIsShownAsItsText)
{
    FrontServer front(svc);
    LogIn(front.Url("/front.xml"));
    ui.checked["chkShowPackets"] = true;
    front.Reply("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><e:Envelope "
                "xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><m:GetLogCountResponse xmlns:m=\"urn:x\">"
                "<result>caf\xE9</result><reskey></reskey></m:GetLogCountResponse></e:Body></e:Envelope>");
    ui.boxes.clear();
    core.Send("btnLogCount");
    EXPECT_NE(ui.texts["Response"].find("<result>caf\xC3\xA9</result>"), std::string::npos) << ui.texts["Response"];
    ASSERT_GE(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, ui.texts["Response"]);
}

// The SOAP 1.0 tester core with TSTestTool3's rows, against the local
// service, through the real token library, with a recording window.
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <thread>

#include "FrontServer.h"
#include "LoginFixture.h"
#include "RecordingUi.h"
#include "Descriptions.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "Catalog/Catalog.h"
#include "Soap/Packager.h"
#include "Soap/Transport.h"
#include "TempHome.h"
#include "Tester/TesterCore.h"
#include "Tester/ToolRegistry.h"
#include "ToolSession.h"

using namespace tessel::tester;
using tessel::client::TokenLibrary;

namespace {

const ToolDefinition& Tool3()
{
    return *FindTool("TSTestTool3");
}

class Tool3Core : public LoginFixture {
protected:
    explicit Tool3Core(std::vector<std::string> serviceArgs = {}) : LoginFixture(std::move(serviceArgs))
    {
        core.Start();
        ui.texts["txtURI"] = svc.MainDescription();
    }
    // Connects to what txtURI holds and logs in as tester.
    void ConnectAndLogin(TesterCore& c) { ConnectAndLogIn(c, ui, Soap1Login(Tool3())); }

    RecordingUi ui;
    TesterCore core{Tool3(), ui, library};
};

class Tool3Compressed : public Tool3Core {
protected:
    Tool3Compressed() : Tool3Core({"--compress-threshold", "10"}) {}
};

class Tool3HtmlErrors : public Tool3Core {
protected:
    Tool3HtmlErrors() : Tool3Core({"--html-error", "GetLog"}) {}
};

}  // namespace

TEST(ErrorPageTest, OnlyLowerCaseHtmlOfMoreThanSixCharacters)
{
    EXPECT_TRUE(IsErrorPage("<html><body>500</body></html>"));
    EXPECT_TRUE(IsErrorPage("<html>x"));
    EXPECT_FALSE(IsErrorPage("<html>"));
    EXPECT_FALSE(IsErrorPage("<HTML><body>500</body></HTML>"));
    EXPECT_FALSE(IsErrorPage(" <html><body/>"));
    EXPECT_FALSE(IsErrorPage(""));
}

TEST_F(Tool3Core, StartsUnconnected)
{
    EXPECT_EQ(ui.caption, "TesselService SOAP Interface TestTool #3 (LogDB & ResACL)");
    for (const Row& row : Tool3().rows)
        EXPECT_FALSE(ui.enabled[row.button]) << row.button;
    for (const char* b : {"btnListWSDataMethods", "CreateTicket", "CloseSession"})
        EXPECT_FALSE(ui.enabled[b]) << b;
    EXPECT_TRUE(ui.enabled["btnConnect"]);
    EXPECT_TRUE(ui.enabled["btnExit"]);
    EXPECT_EQ(ui.texts["ES_Auth"], "logID");
    EXPECT_EQ(ui.texts["ES_Name"], "count");
    EXPECT_EQ(ui.texts["URI"], "URI");
    EXPECT_EQ(ui.texts["Category"], "Category");
    EXPECT_EQ(ui.texts["Service"], "tsc");
    EXPECT_EQ(ui.texts["Request"], "Request");
    EXPECT_EQ(Tool3().defaultDescriptionUri, "http://localhost:8080/TesselService/TesselServiceCore.xml");
}

TEST_F(Tool3Core, ConnectAndTheMethodListing)
{
    core.Connect();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.caption, "TesselService SOAP Interface TestTool #3 (LogDB & ResACL) - " + svc.MainDescription());
    EXPECT_TRUE(ui.enabled["btnListWSDataMethods"]);
    EXPECT_TRUE(ui.enabled["CreateTicket"]);
    EXPECT_FALSE(ui.enabled["CloseSession"]);
    EXPECT_EQ(core.session().serviceURI, svc.Url("/TesselService/TesselServiceCore.asmx"));

    ui.checked["chkShowMethods"] = true;
    core.Connect();
    ASSERT_EQ(ui.boxes.size(), 1u);
    const RecordedBox listing = ui.boxes[0];
    EXPECT_EQ(listing.title, "Available methods - TesselServiceCore");
    EXPECT_EQ(listing.text.rfind("1. Function CreateTicket(byval authority as string, byval realm as string, byval "
                                 "principal as string, byval credential as string, byref fullPrincipal as string) as "
                                 "string\r\n      Input:  authority, realm, principal, credential, fullPrincipal\r\n"
                                 "      Output: result, fullPrincipal\r\n2. Function OpenSession(",
                                 0),
              0u)
        << listing.text.substr(0, 400);
    EXPECT_NE(listing.text.find("\r\n4. Function GetLogIDList(byval user as string, byref reskey as string) as "
                                "string\r\n      Input:  user, reskey\r\n      Output: result, reskey\r\n"),
              std::string::npos);
    core.ListMethods();
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, listing.text);
    EXPECT_EQ(ui.cursorChanges.back(), false);
}

TEST_F(Tool3Core, ConnectFailures)
{
    ui.texts["txtURI"] = "http://127.0.0.1:1/TesselService/TesselServiceCore.xml";
    core.Connect();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "TSTestTool3");
    EXPECT_EQ(ui.boxes[0].text, "Service is unavailable.");
    EXPECT_FALSE(ui.enabled["btnListWSDataMethods"]);
    EXPECT_FALSE(ui.waiting);
    ui.texts["txtURI"] = svc.Url("/no/description.xml");
    core.Connect();
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].title, "LoadServicesDescription  FAILED");
    EXPECT_EQ(ui.boxes[1].text, "LoadServicesDescription = False");
    core.ListMethods();  // nothing loaded: trapped, not a crash
    EXPECT_EQ(ui.boxes.back().title, "Error on List");
}

TEST_F(Tool3Core, LoginSendsTheBoxesAndEnablesTheRows)
{
    core.Connect();
    ui.texts["UserKey"] = "tester";
    ui.texts["Principal"] = "wrong";
    core.CreateTicket();
    EXPECT_TRUE(ui.boxes.empty());  // no ticket: the login ends silently
    EXPECT_TRUE(ui.enabled["CreateTicket"]);
    EXPECT_FALSE(ui.enabled["CloseSession"]);
    const auto attempt = ReadLog(log).back();
    EXPECT_EQ(attempt["operation"], "CreateTicket");
    EXPECT_EQ(attempt["parameters"][2], LoggedParameter("principal", "tester"));
    EXPECT_EQ(attempt["parameters"][3], LoggedParameter("credential", "********"));  // the log masks it

    ui.texts["Principal"] = "tester";
    core.CreateTicket();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(ui.enabled["CreateTicket"]);
    EXPECT_TRUE(ui.enabled["CloseSession"]);
    for (const Row& row : Tool3().rows)
        EXPECT_TRUE(ui.enabled[row.button]) << row.button;
    const auto lines = ReadLog(log);
    const auto& open = lines.back();
    EXPECT_EQ(open["operation"], "OpenSession");
    EXPECT_EQ(open["parameters"][3], LoggedParameter("tokenSeed", core.session().tokenSeed));
    EXPECT_EQ(open["parameters"][2][1], "Microsoft Base Cryptographic Provider v1.0,PROV_RSA_FULL,CALG_RC2,CALG_SHA1");
}

TEST_F(Tool3Core, EveryRowSendsItsDefaultsInOrder)
{
    ConnectAndLogin(core);
    // Known answers of the defaults, before the rows change the store.
    const auto result = [&](const char* button) {
        ui.boxes.clear();
        core.Send(button);
        return ui.boxes.empty() ? std::string("(none)") : ui.boxes[0].title + ": " + ui.boxes[0].text;
    };
    EXPECT_EQ(result("btnGetResourceACL"),
              "Result of GetResourceACL: <VOACL><control><user>xxx</user><access>rwdarawad</access></control></VOACL>");
    EXPECT_EQ(result("GCLL_Button"), "(none)");  // an empty result shows nothing
    EXPECT_EQ(ui.texts["Result"], "<VOACL><control><user>xxx</user><access>rwdarawad</access></control></VOACL>");
    EXPECT_EQ(result("btnSS").rfind("Error on GetLog: The server answered with a fault: Parameter logID is not a "
                                    "number",
                                    0),
              0u);
    for (const Row& row : Tool3().rows) {
        ui.boxes.clear();
        core.Send(row.button);
        const auto sent = LastRequest();
        ASSERT_EQ(sent["operation"], row.method);
        const auto& params = sent["parameters"];
        ASSERT_EQ(params.size(), row.params.size() + 2) << row.method;
        EXPECT_EQ(params.front()[0], "user");
        const auto* op = tessel::catalog::Find(row.method);
        for (std::size_t i = 0; i < row.params.size(); ++i)
            EXPECT_EQ(params[i + 1], LoggedParameter(op->params[i], Tool3().BoxNamed(row.params[i].box)->text))
                << row.method;
        EXPECT_EQ(params.back(), LoggedParameter("reskey", ""));
        // One box at most with the option off: the result, or the trapped fault.
        ASSERT_LE(ui.boxes.size(), 1u) << row.method;
        if (!ui.boxes.empty()) {
            EXPECT_TRUE(ui.boxes[0].title == "Result of " + row.method || ui.boxes[0].title == "Error on " + row.method)
                << ui.boxes[0].title;
        }
        if (row.method == "PutResourceACL" || row.method == "PutResourceACLEntry")
            continue;  // second tokens, below
        EXPECT_EQ(sent["token"], "valid") << row.method;
        EXPECT_NE(ui.texts["Request"].find(":" + row.method + " "), std::string::npos);
    }
}

TEST_F(Tool3Core, PayloadBoxesInOrderWithTheOptionOn)
{
    ConnectAndLogin(core);
    ui.checked["chkShowPackets"] = true;
    core.Send("btnLogCount");
    ASSERT_EQ(ui.Titles(), (std::vector<std::string>{"SOAP XML Payload - Client to Server(GetLogCount)",
                                                     "SOAP XML Payload -  Server To Client(GetLogCount)",
                                                     "Result of GetLogCount"}));
    EXPECT_EQ(ui.boxes[0].text, ui.texts["Request"]);
    EXPECT_EQ(ui.boxes[1].text, ui.texts["Response"]);
    EXPECT_EQ(ui.boxes[2].text, ui.texts["Result"]);
    EXPECT_EQ(ui.boxes[2].text, "1");
    // The request carries "user", then "reskey", nothing else.
    tessel::soap::Packager p;
    p.SetPayload(0, ui.boxes[0].text);
    EXPECT_EQ(p.GetParameter(0, "reskey"), "");
    EXPECT_NE(p.GetParameter(0, "user").find(':'), std::string::npos);
}

TEST_F(Tool3Core, PutResourceAclSendsASecondTokenAndShowsIt)
{
    ConnectAndLogin(core);
    core.Send("btnPutResourceACL");
    const auto sent = LastRequest();
    EXPECT_EQ(sent["parameters"][0], LoggedParameter("user", ui.texts["UserKey"]));
    EXPECT_NE(ui.texts["UserKey"], "tester");
    // The entry put sends its second token but leaves the user name box alone.
    ui.texts["UserKey"] = "tester";
    core.Send("btnPutResourceACLEntry");
    EXPECT_EQ(ui.texts["UserKey"], "tester");
    // A later login sends the box's text as the principal.
    core.Send("btnPutResourceACL");
    const std::string token = ui.texts["UserKey"];
    core.Connect();
    core.CreateTicket();
    const auto lines = ReadLog(log);
    const auto it = std::find_if(lines.rbegin(), lines.rend(), [](const auto& l) { return l["operation"] == "CreateTicket"; });
    EXPECT_EQ((*it)["parameters"][2], LoggedParameter("principal", token));
}

TEST_F(Tool3Compressed, CompressedResultIsShownCutToTheRawLength)
{
    ConnectAndLogin(core);
    ui.texts["ESAll_Auth"] = std::string(3000, 'a');
    core.Send("btnESAll");
    ASSERT_EQ(ui.boxes.size(), 1u);
    ui.texts["SS_Auth"] = ui.boxes[0].text;  // the new log's ID
    ui.boxes.clear();
    core.Send("btnSS");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(LastRequest()["encoding"], "compressed");
    tessel::soap::Packager p;
    p.SetPayload(1, ui.texts["Response"]);
    const std::string raw = p.GetParameter(1, "result");
    const std::string full = "<log id=\"" + ui.texts["SS_Auth"] + "\" user=\"tester\" category=\"general\">" +
                             std::string(3000, 'a') + "</log>";
    ASSERT_LT(raw.size(), full.size());
    EXPECT_EQ(ui.boxes[0].text, full.substr(0, raw.size()));
    EXPECT_EQ(ui.texts["Result"], ui.boxes[0].text);
}

TEST_F(Tool3HtmlErrors, ErrorPageIsShownAndLeavesTheBoxes)
{
    ConnectAndLogin(core);
    core.Send("btnLogCount");
    const std::string response = ui.texts["Response"], result = ui.texts["Result"];
    ui.boxes.clear();
    core.Send("btnSS");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "SOAP XML Payload - Error");
    EXPECT_EQ(ui.boxes[0].text.rfind("<html>", 0), 0u);
    EXPECT_EQ(ui.texts["Response"], response);
    EXPECT_EQ(ui.texts["Result"], result);
    // With the option on: request, reply, then the error page.
    ui.checked["chkShowPackets"] = true;
    ui.boxes.clear();
    core.Send("btnSS");
    EXPECT_EQ(ui.Titles(), (std::vector<std::string>{"SOAP XML Payload - Client to Server(GetLog)",
                                                     "SOAP XML Payload -  Server To Client(GetLog)",
                                                     "SOAP XML Payload - Error"}));
}

TEST_F(Tool3Core, RepliesThatAreNoErrorPagesButNoSoapEither)
{
    FrontServer front(svc);
    ui.texts["txtURI"] = front.Url("/front.xml");
    ConnectAndLogin(core);
    front.Reply("<html>");  // exactly six characters: not an error page
    core.Send("btnLogCount");
    EXPECT_EQ(ui.texts["Response"], "<html>");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Error on GetLogCount");
    EXPECT_EQ(ui.boxes[0].icon, Icon::Exclamation);

    ui.boxes.clear();
    front.Reply("<HTML><body>Service down</body></HTML>");
    core.Send("btnLogCount");
    EXPECT_EQ(ui.texts["Response"], "<HTML><body>Service down</body></HTML>");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("HTML page"), std::string::npos) << ui.boxes[0].text;

    ui.boxes.clear();
    ui.texts["Result"] = "kept";
    front.Reply("");
    core.Send("btnLogCount");
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.texts["Response"], "");
    EXPECT_EQ(ui.texts["Result"], "kept");
}

TEST_F(Tool3Core, AServerThatIsGoneIsReportedAndTheToolGoesOn)
{
    ConnectAndLogin(core);
    const std::string endpoint = core.session().serviceURI;
    svc.Stop();
    core.Send("btnLogCount");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Error on GetLogCount");
    EXPECT_EQ(ui.boxes[0].text, "Could not connect to " + endpoint + ": Connection refused.");
    EXPECT_EQ(ui.boxes[0].icon, Icon::Exclamation);
    EXPECT_TRUE(ui.enabled["btnLogCount"]);
    EXPECT_TRUE(ui.enabled["CloseSession"]);
    EXPECT_FALSE(ui.waiting);
    core.CloseSession();
    EXPECT_EQ(ui.boxes.back().title, "Error on CloseSession");
    EXPECT_TRUE(ui.enabled["CloseSession"]);  // nothing changed: the session may still be open
}

TEST_F(Tool3Core, AMissingTokenLibraryIsReported)
{
    TokenLibrary missing("libNoSuchTokenLibrary.so");
    TesterCore other(Tool3(), ui, missing);
    other.Connect();
    ui.texts["UserKey"] = "tester";
    ui.texts["Principal"] = "tester";
    other.CreateTicket();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Error on CreateTicket");
    EXPECT_EQ(ui.boxes[0].text.find("The token library libNoSuchTokenLibrary.so could not be loaded: "), 0u)
        << ui.boxes[0].text;
    EXPECT_TRUE(ui.enabled["CreateTicket"]);
    EXPECT_FALSE(ui.enabled["CloseSession"]);
}

TEST_F(Tool3Core, LogoutAndTheStateAfterIt)
{
    ConnectAndLogin(core);
    ui.texts["Realm"] = "other.test";
    core.CloseSession();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(LastRequest()["operation"], "CloseSession");
    EXPECT_FALSE(ui.enabled["CreateTicket"]);
    EXPECT_FALSE(ui.enabled["CloseSession"]);
    for (const Row& row : Tool3().rows)
        EXPECT_FALSE(ui.enabled[row.button]);
    EXPECT_EQ(ui.texts["UserKey"], "");
    EXPECT_EQ(ui.texts["Principal"], "");
    EXPECT_EQ(ui.texts["Realm"], "other.test");
    // A new login needs a new connect.
    core.Connect();
    EXPECT_TRUE(ui.enabled["CreateTicket"]);
    // Exit sends nothing.
    const std::size_t before = ReadLog(log).size();
    core.Exit();
    EXPECT_TRUE(ui.exited);
    EXPECT_EQ(ReadLog(log).size(), before);
}

TEST_F(Tool3Core, RowsOfMethodsTheDescriptionLacksStayDisabled)
{
    FrontServer front(svc, [](const std::string& m) { return m != "GetLog" && m != "PutLog" && m != "GetLogs"; });
    ui.texts["txtURI"] = front.Url("/partial.xml");
    ConnectAndLogin(core);
    for (const Row& row : Tool3().rows)
        EXPECT_EQ(ui.enabled[row.button], row.method != "GetLog" && row.method != "PutLog" && row.method != "GetLogs")
            << row.method;
    // A connect during the session keeps the session and the buttons.
    core.Connect();
    EXPECT_TRUE(ui.enabled["btnLogCount"]);
    EXPECT_FALSE(ui.enabled["CreateTicket"] && ui.enabled["CloseSession"]);
    core.Send("btnLogCount");
    EXPECT_EQ(ui.boxes.back().title, "Result of GetLogCount");
}

namespace {

std::string Envelope(const std::string& body)
{
    return "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<SOAP-ENV:Body>" + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

}  // namespace

TEST_F(Tool3Core, ConnectShowsItsBoxesBeforeTheHourglassGoes)
{
    ui.checked["chkShowMethods"] = true;
    core.Connect();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_TRUE(ui.boxes[0].waiting);  // the listing
    ui.texts["txtURI"] = svc.Url("/no/description.xml");
    core.Connect();
    ui.texts["txtURI"] = "http://127.0.0.1:1/TesselService/TesselServiceCore.xml";
    core.Connect();
    ASSERT_EQ(ui.Titles(), (std::vector<std::string>{"Available methods - TesselServiceCore",
                                                     "LoadServicesDescription  FAILED", "TSTestTool3"}));
    EXPECT_TRUE(ui.boxes[1].waiting);
    EXPECT_TRUE(ui.boxes[2].waiting);
    EXPECT_FALSE(ui.waiting);
}

TEST_F(Tool3Core, AbsentReplyValuesReadAsEmptyText)
{
    FrontServer front(svc);
    ui.texts["txtURI"] = front.Url("/front.xml");
    core.Connect();
    ui.texts["UserKey"] = "tester";
    ui.texts["Principal"] = "tester";

    // A CreateTicket reply without "result" ends the login without a message.
    front.ReplyToSession("CreateTicket", Envelope("<m:CreateTicketResponse xmlns:m=\"urn:x\"/>"));
    core.CreateTicket();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.enabled["CreateTicket"]);
    EXPECT_FALSE(ui.enabled["CloseSession"]);

    // An OpenSession reply without "verifier" completes the login with an empty verifier.
    front.ReplyToSession("CreateTicket", Envelope("<m:CreateTicketResponse xmlns:m=\"urn:x\"><result>TKT-1</result>"
                                                  "</m:CreateTicketResponse>"));
    front.ReplyToSession("OpenSession", Envelope("<m:OpenSessionResponse xmlns:m=\"urn:x\"><sessionKey>K</sessionKey>"
                                                 "</m:OpenSessionResponse>"));
    core.CreateTicket();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.enabled["CloseSession"]);
    EXPECT_EQ(core.session().sessionKey, "K");
    EXPECT_EQ(core.session().verifier, "");

    // An operation reply without "reskey" fails validation: the result box comes up empty.
    front.Reply(Envelope("<m:GetLogCountResponse xmlns:m=\"urn:x\"><result>7</result></m:GetLogCountResponse>"));
    core.Send("btnLogCount");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Result of GetLogCount");
    EXPECT_EQ(ui.boxes[0].text, "");
    EXPECT_EQ(ui.texts["Result"], "");

    // A fault keeps its error box.
    ui.boxes.clear();
    front.Reply(Envelope("<SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode><faultstring>Broken</faultstring>"
                         "</SOAP-ENV:Fault>"));
    core.Send("btnLogCount");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Error on GetLogCount");
    EXPECT_NE(ui.boxes[0].text.find("Broken"), std::string::npos);
}

TEST_F(Tool3Core, SecondTokensAreSentWholeAndAccepted)
{
    ConnectAndLogin(core);
    int presses = 0;
    for (int i = 0; i < 50; ++i) {
        for (const char* button : {"btnPutResourceACL", "btnPutResourceACLEntry"}) {
            ui.texts["PutResourceACL_name"] = "res" + std::to_string(i);
            ui.texts["PutResourceACLEntry_name"] = "res" + std::to_string(i);
            ui.texts["PutResourceACLEntry_acluser"] = "user" + std::to_string(i);
            core.Send(button);
            ++presses;
            const auto sent = LastRequest();
            ASSERT_EQ(sent["token"], "valid") << button << " press " << i << ": " << sent.dump();
            if (std::string(button) == "btnPutResourceACL") {
                EXPECT_EQ(ui.texts["UserKey"], sent["parameters"][0][1].get<std::string>());
            }
        }
        ui.texts["UserKey"] = "tester";
    }
    EXPECT_EQ(presses, 100);
}

// The SOAP 2.0 core with TSTestToolSP2's rows, against the local service,
// through the real token library and SOAP 2.0 client object, with a
// recording window: the connection check, login and logout, the call, and
// the failure policy.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

#include "Client/StatusLines.h"
#include "Descriptions.h"
#include "FrontServer.h"
#include "LoginFixture.h"
#include "RecordingUi.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "Soap/Packager.h"
#include "TempHome.h"
#include "TestHttpServer.h"
#include "Tester2/Soap2Core.h"
#include "Tester2/Soap2ToolRegistry.h"
#include "TokenExports.h"

using namespace tessel::tester2;
using tessel::client::TokenLibrary;

namespace {

const Soap2ToolDefinition& ToolSP2()
{
    return *FindSoap2Tool("TSTestToolSP2");
}

const Soap2ToolDefinition& Tool2SP2()
{
    return *FindSoap2Tool("TSTestTool2SP2");
}

// A recording window that also keeps, in order, every box and every change
// of the pointer.
class SequenceUi : public RecordingUi {
public:
    void ShowMessage(const std::string& title, const std::string& text, Icon icon) override
    {
        events.push_back("box " + title);
        RecordingUi::ShowMessage(title, text, icon);
    }
    void SetWaitCursor(bool on) override
    {
        if (on != waiting)
            events.push_back(on ? "hourglass" : "pointer");
        RecordingUi::SetWaitCursor(on);
    }
    void SetText(const std::string& control, const std::string& text) override
    {
        if (control == kResultBox)
            events.push_back("RResult");
        RecordingUi::SetText(control, text);
    }
    std::vector<std::string> events;
};

// A client factory that counts the client objects it makes.
struct CountingFactory {
    int made = 0;
    Soap2Core::ClientFactory Factory()
    {
        return [this] {
            ++made;
            return std::make_unique<tessel::soap::Soap2Client>();
        };
    }
};

// A service that issues tickets but whose OpenSession answers without a
// session key.
class NoSessionServer {
public:
    NoSessionServer() : server_([this](httplib::Server& s) { Routes(s); }) {}
    std::string Url(const std::string& path) const { return server_.Url(path); }

private:
    void Routes(httplib::Server& s)
    {
        description_ = tessel::server::Description(tessel::server::Interface::Main,
                                                   tessel::server::DescriptionStyle::RpcEncoded, Url("/soap"));
        parsed_ = tessel::soap::ParseServiceDescription(description_);
        s.Get("/stub.wsdl", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(description_, "text/xml");
        });
        s.Post("/soap", [this](const httplib::Request& req, httplib::Response& res) {
            const tessel::soap::IncomingRequest in = tessel::soap::ReadRequest(req.body);
            const tessel::soap::OperationDescription* op = parsed_.Find(in.operation);
            std::string reply;
            if (in.operation == "CreateTicket")
                reply = tessel::soap::BuildResponse(*op, {{"result", "T-1"}, {"fullPrincipal", "x"}});
            else if (in.operation == "OpenSession")
                reply = tessel::soap::BuildResponse(*op, {{"result", "OK"}, {"sessionKey", ""}, {"verifier", ""}});
            else
                reply = tessel::soap::BuildFault("Client", "Not here", "Only the login is here.");
            res.set_content(reply, "text/xml");
        });
    }

    std::string description_;
    tessel::soap::ServiceDescription parsed_;
    // Last: it stops before the state its routes use goes.
    TestHttpServer server_;
};

const LoginControls kSoap2Login{
    .description = kWsdlBox, .user = kUserNameBox, .password = kPasswordBox, .loggedIn = kCloseSessionButton};

class Soap2CoreTest : public LoginFixture {
protected:
    explicit Soap2CoreTest(std::vector<std::string> serviceArgs = {}) : LoginFixture(std::move(serviceArgs))
    {
        core.Start();
    }
    // Connects to the local service's SOAP 2.0 description and logs in as tester.
    void ConnectAndLogin(Soap2Core& c, RecordingUi& u) { ConnectAndLogIn(c, u, kSoap2Login, svc.Soap2Description()); }

    SequenceUi ui;
    CountingFactory clients;
    Soap2Core core{ToolSP2(), ui, library, clients.Factory()};
};

class Soap2PlainResults : public Soap2CoreTest {
protected:
    Soap2PlainResults() : Soap2CoreTest({"--compress-threshold", "100000000"}) {}
};

}  // namespace

TEST(DefaultUrls, TwelveInOrderTheLocalServiceFirst)
{
    const std::vector<std::string>& urls = DefaultDescriptionUrls();
    ASSERT_EQ(urls.size(), 12u);
    EXPECT_EQ(urls[0], "http://localhost/TesselService/TesselServiceCore.wsdl");
    EXPECT_EQ(urls[1], "http://localhost:8080/TesselService/TesselServiceCore.wsdl");
    EXPECT_EQ(urls[2], "http://localhost/TesselService/TesselServiceCoreAdmin.wsdl");
    EXPECT_EQ(urls[3], "http://localhost:8080/TesselService/TesselServiceCoreAdmin.wsdl");
    EXPECT_EQ(urls[4], "http://localhost/TesselService2/TesselServiceCore.wsdl");
    EXPECT_EQ(urls[5], "http://localhost:8080/TesselService2/TesselServiceCore.wsdl");
    EXPECT_EQ(urls[6], "http://tessel2.example.test/TesselService/TesselServiceCore.wsdl");
    EXPECT_EQ(urls[7], "http://tessel2.example.test:8080/TesselService/TesselServiceCore.wsdl");
    EXPECT_EQ(urls[8], "http://tessel3.example.test/TesselService/TesselServiceCore.wsdl");
    EXPECT_EQ(urls[9], "http://tessel3.example.test:8080/TesselService/TesselServiceCore.wsdl");
    EXPECT_EQ(urls[10], "http://tessel3.example.test/TesselService/TesselServiceCoreAdmin.wsdl");
    EXPECT_EQ(urls[11], "http://tessel3.example.test:8080/TesselService/TesselServiceCoreAdmin.wsdl");
}

TEST(ReplyCapacity, AtLeastOneMiBAndAlwaysOneMoreThanTheResult)
{
    EXPECT_EQ(tessel::client::AtLeastOneMiB(0), 1048576);
    EXPECT_EQ(tessel::client::AtLeastOneMiB(1048575), 1048576);
    EXPECT_EQ(tessel::client::AtLeastOneMiB(1048576), 1048577);
}

TEST_F(Soap2CoreTest, StartsIdleWithOnlyConnectEnabled)
{
    EXPECT_EQ(ui.caption, "TesselService TestTool for SOAP 2.0");
    EXPECT_EQ(ui.texts[kWsdlBox], DefaultDescriptionUrls().front());
    EXPECT_TRUE(ui.enabled[kConnectButton]);
    EXPECT_FALSE(ui.enabled[kCreateTicketButton]);
    EXPECT_FALSE(ui.enabled[kCloseSessionButton]);
    for (const Row& row : ToolSP2().rows)
        EXPECT_FALSE(ui.enabled[row.button]) << row.button;
    EXPECT_EQ(ui.texts[kResultBox], "Result");
    EXPECT_EQ(ui.texts[kAuthorityBox], "LDAP://ldap.example.test");
    EXPECT_EQ(ui.texts[kRealmBox], "example.test");
    EXPECT_EQ(ui.texts[kServiceBox], "tsc");
    EXPECT_EQ(ui.texts["UpdateVOContent"], "<content>xxx</content>\r\n");
    EXPECT_EQ(ui.texts["Query"].substr(ui.texts["Query"].size() - 2), "\r\n");
    EXPECT_NE(ui.texts["Query"].find("<dsn>localhost</dsn><catalog>Northwind</catalog>"), std::string::npos);
    EXPECT_TRUE(core.session().lastDescriptionURL.empty());
    EXPECT_EQ(core.session().soapClient, nullptr);
    EXPECT_EQ(clients.made, 0);
}

TEST_F(Soap2CoreTest, LoginShowsTheTicketAndEnablesEveryOperation)
{
    ui.texts[kWsdlBox] = svc.Soap2Description();
    core.Connect();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.enabled[kCreateTicketButton]);
    EXPECT_EQ(core.session().lastDescriptionURL, svc.Soap2Description());
    ui.texts[kUserNameBox] = "tester";
    ui.texts[kPasswordBox] = "tester";
    ui.events.clear();
    core.CreateTicket();
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"AuthResult"});
    EXPECT_EQ(ui.boxes[0].text, core.session().ticket);
    EXPECT_EQ(ui.boxes[0].text.rfind("TKT-", 0), 0u);
    EXPECT_EQ(ui.boxes[0].icon, Icon::None);
    EXPECT_EQ(ui.events.back(), "pointer");

    const nlohmann::json ticket = LastOf("CreateTicket");
    EXPECT_EQ(ticket["parameters"],
              nlohmann::json({LoggedParameter("authority", "LDAP://ldap.example.test"),
                              LoggedParameter("realm", "example.test"), LoggedParameter("principal", "tester"),
                              LoggedParameter("credential", "********"), LoggedParameter("fullPrincipal", "")}));
    const nlohmann::json open = LastOf("OpenSession");
    EXPECT_EQ(open["parameters"][0], LoggedParameter("service", "tsc"));
    EXPECT_EQ(open["parameters"][1], LoggedParameter("ticket", core.session().ticket));
    EXPECT_EQ(open["parameters"][2], LoggedParameter("tokenScheme", core.session().tokenScheme));
    EXPECT_EQ(open["parameters"][3], LoggedParameter("tokenSeed", core.session().tokenSeed));
    EXPECT_EQ(open["parameters"][4], LoggedParameter("sessionKey", ""));
    EXPECT_EQ(open["parameters"][5], LoggedParameter("verifier", ""));
    EXPECT_FALSE(core.session().sessionKey.empty());
    EXPECT_EQ(core.session().verifier.rfind("V", 0), 0u);

    EXPECT_FALSE(ui.enabled[kCreateTicketButton]);
    EXPECT_TRUE(ui.enabled[kCloseSessionButton]);
    for (const Row& row : ToolSP2().rows)
        EXPECT_TRUE(ui.enabled[row.button]) << row.button;
}

TEST_F(Soap2CoreTest, EveryOperationIsEnabledWhateverTheDescriptionDeclares)
{
    FrontServer front(svc, [](const std::string& m) { return m != "GetVOList"; });
    ui.texts[kWsdlBox] = front.Url("/partial.xml");
    core.Connect();
    ui.texts[kUserNameBox] = "tester";
    ui.texts[kPasswordBox] = "tester";
    core.CreateTicket();
    EXPECT_TRUE(ui.enabled["BtnGetVOList"]);
    ui.boxes.clear();
    EXPECT_EQ(core.Send("BtnGetVOList"), Outcome::Failed);
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"Error on GetVOList"});
    EXPECT_EQ(ui.boxes[0].text, "The service description has no operation GetVOList.");
    // The rpc description of the same service serves the other operations.
    EXPECT_EQ(core.Send("BtnGetLogIDList"), Outcome::Completed);
    EXPECT_EQ(LastRequest()["token"], "valid");
}

TEST_F(Soap2CoreTest, AnEmptyTicketIsNotTested)
{
    ui.texts[kWsdlBox] = svc.Soap2Description();
    core.Connect();
    ui.texts[kUserNameBox] = "tester";
    ui.texts[kPasswordBox] = "wrong";
    core.CreateTicket();
    ASSERT_EQ(ui.Titles(), (std::vector<std::string>{"AuthResult", "Error on CreateTicket"}));
    EXPECT_EQ(ui.boxes[0].text, "");
    EXPECT_EQ(ui.boxes[1].text,
              "The ticket was not issued by CreateTicket, was already used or has expired; log in again.");
    EXPECT_EQ(ui.boxes[1].icon, Icon::Exclamation);
    EXPECT_EQ(ui.texts[kResultBox], ui.boxes[1].text);
    EXPECT_EQ(LastOf("OpenSession")["parameters"][1], LoggedParameter("ticket", ""));
    EXPECT_NE(core.session().tokenHandler, 0);  // the handler was acquired all the same
    EXPECT_TRUE(ui.enabled[kCreateTicketButton]);
    EXPECT_FALSE(ui.enabled[kCloseSessionButton]);
    EXPECT_FALSE(ui.waiting);
}

TEST_F(Soap2CoreTest, AnEmptySessionKeyLeavesTheButtonsAsTheyWere)
{
    NoSessionServer stub;
    ui.texts[kWsdlBox] = stub.Url("/stub.wsdl");
    core.Connect();
    core.CreateTicket();
    EXPECT_EQ(ui.Titles(), std::vector<std::string>{"AuthResult"});
    EXPECT_EQ(core.session().ticket, "T-1");
    EXPECT_TRUE(ui.enabled[kCreateTicketButton]);
    EXPECT_FALSE(ui.enabled[kCloseSessionButton]);
    for (const Row& row : ToolSP2().rows)
        EXPECT_FALSE(ui.enabled[row.button]) << row.button;
    EXPECT_FALSE(ui.waiting);
    // No "SessionKey" or "Opaque" item was set on the new handler.
    Lib& lib = Lib::Get();
    for (const char* item : {"SessionKey", "Opaque"}) {
        std::vector<char> buffer(256, '\0');
        char* p = buffer.data();
        std::int32_t length = 255;
        const auto handle = static_cast<TesselTokenHandle>(core.session().tokenHandler);
        const std::int32_t hr = lib.GetItem(handle, item, &length, &p);
        EXPECT_TRUE(hr != 0 || length == 0) << item << " is " << std::string(buffer.data(), length);
    }
}

TEST_F(Soap2CoreTest, ChangingTheWsdlBoxBeforeAnOperationBuildsANewClientAndKeepsTheSession)
{
    ConnectAndLogin(core, ui);
    ASSERT_EQ(clients.made, 1);
    const Soap2Session& s = core.session();
    const std::int32_t handler = s.tokenHandler;
    const std::string key = s.sessionKey;
    const std::string rpc = svc.Url("/TesselService/TesselServiceCore.wsdl");
    ui.texts[kWsdlBox] = rpc;
    EXPECT_EQ(core.Send("BtnGetLogIDList"), Outcome::Completed);
    EXPECT_EQ(clients.made, 2);
    EXPECT_EQ(s.lastDescriptionURL, rpc);
    EXPECT_EQ(ui.Titles(), (std::vector<std::string>{"GetLogIDList Result", "result of GetLogIDList"}));
    EXPECT_EQ(LastRequest()["token"], "valid");
    EXPECT_EQ(s.tokenHandler, handler);
    EXPECT_EQ(s.sessionKey, key);
    core.Send("BtnGetVOList");
    EXPECT_EQ(clients.made, 2);  // the same URL: the same client
}

TEST_F(Soap2CoreTest, AnUnreachableUrlShowsErrorOnConnectionThenTheStepsOwnBox)
{
    const std::string unreachable = "http://127.0.0.1:1/TesselService2/TesselServiceCore.wsdl";
    ui.texts[kWsdlBox] = unreachable;
    core.Connect();
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"Error on Connection"});
    EXPECT_EQ(ui.boxes[0].text.find("Could not connect to " + unreachable), 0u) << ui.boxes[0].text;
    EXPECT_EQ(ui.boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(ui.texts[kResultBox], ui.boxes[0].text);
    EXPECT_FALSE(ui.enabled[kCreateTicketButton]);  // kept its state
    EXPECT_FALSE(ui.waiting);
    // Nothing answered: the status line says how to start a local service.
    EXPECT_EQ(ui.status.find("Error on Connection: Could not connect to " + unreachable), 0u) << ui.status;
    EXPECT_TRUE(ui.status.ends_with(tessel::client::kLocalServiceHint)) << ui.status;
    // A service that answers, with no description there: no such hint.
    ui.texts[kWsdlBox] = svc.Url("/TesselService2/Nothing.wsdl");
    ui.boxes.clear();
    core.Connect();
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"Error on Connection"});
    EXPECT_NE(ui.status.find("gave HTTP status 404"), std::string::npos) << ui.status;
    EXPECT_FALSE(ui.status.ends_with(tessel::client::kLocalServiceHint)) << ui.status;

    ui.boxes.clear();
    ConnectAndLogin(core, ui);
    const std::string good = core.session().lastDescriptionURL;
    ui.texts[kWsdlBox] = unreachable;
    ui.events.clear();
    EXPECT_EQ(core.Send("BtnGetVOList"), Outcome::Failed);
    ASSERT_EQ(ui.Titles(), (std::vector<std::string>{"Error on Connection", "Error on GetVOList"}));
    EXPECT_EQ(ui.boxes[1].text, "No service description is loaded: the connection to the WSDL failed.");
    EXPECT_EQ(ui.boxes[1].icon, Icon::Exclamation);
    EXPECT_EQ(ui.texts[kResultBox], ui.boxes[1].text);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"hourglass", "pointer", "box Error on Connection", "RResult",
                                                   "box Error on GetVOList", "RResult"}));
    EXPECT_EQ(core.session().lastDescriptionURL, good);  // the next check tries again
    EXPECT_TRUE(ui.enabled["BtnGetVOList"]);
    // Back to the good URL: it is lastDescriptionURL still, so the check does
    // nothing and the call fails on the client the failed check left.
    ui.texts[kWsdlBox] = good;
    ui.boxes.clear();
    const int made = clients.made;
    EXPECT_EQ(core.Send("BtnGetVOList"), Outcome::Failed);
    EXPECT_EQ(clients.made, made);
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"Error on GetVOList"});
    EXPECT_EQ(ui.boxes[0].text, "No service description is loaded: the connection to the WSDL failed.");
    // Another URL of the same service connects again, and the session goes on.
    ui.texts[kWsdlBox] = svc.Url("/TesselService/TesselServiceCore.wsdl");
    ui.boxes.clear();
    EXPECT_EQ(core.Send("BtnGetVOList"), Outcome::Completed);
    EXPECT_EQ(clients.made, made + 1);
    EXPECT_EQ(ui.Titles(), (std::vector<std::string>{"GetVOList Result", "result of GetVOList"}));
}

TEST_F(Soap2CoreTest, ACancelledConnectLeavesCreateTicketDisabledAndSaysSo)
{
    SequenceUi u;
    Soap2Core plain{ToolSP2(), u, library};  // its clients see the core's cancel flag
    plain.Start();
    u.texts[kWsdlBox] = svc.Soap2Description();
    u.onWait = [](std::atomic<bool>& cancel) { cancel = true; };
    plain.Connect();
    ASSERT_EQ(u.Titles(), std::vector<std::string>{"Error on Connection"});
    EXPECT_EQ(u.boxes[0].text, "cancelled after 0 s, before " + svc.Soap2Description() + " answered");
    ASSERT_NE(plain.session().soapClient, nullptr);
    EXPECT_EQ(plain.session().soapClient->FaultString(), "WSDLReader: loading the service description was cancelled");
    EXPECT_FALSE(u.status.ends_with(tessel::client::kLocalServiceHint)) << u.status;  // a service may be there
    EXPECT_FALSE(u.enabled[kCreateTicketButton]);
    EXPECT_FALSE(u.waiting);
    // Without Cancel the same box connects.
    u.onWait = nullptr;
    u.boxes.clear();
    plain.Connect();
    EXPECT_TRUE(u.boxes.empty()) << u.boxes.front().text;
    EXPECT_TRUE(u.enabled[kCreateTicketButton]);
}

TEST_F(Soap2CoreTest, AnEmptyWsdlBoxAtConnectDoesNothingAndEnablesCreateTicket)
{
    ui.texts[kWsdlBox] = "";
    core.Connect();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(clients.made, 0);
    EXPECT_TRUE(ui.enabled[kCreateTicketButton]);
    // The login then fails for want of a client object, and says so.
    core.CreateTicket();
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"Error on CreateTicket"});
    EXPECT_NE(ui.boxes[0].text.find("no SOAP client object"), std::string::npos) << ui.boxes[0].text;
}

TEST_F(Soap2CoreTest, AFaultWithoutDetailShowsItsEmptyDetail)
{
    FrontServer front(svc);
    ui.texts[kWsdlBox] = front.Url("/front.xml");
    core.Connect();
    ui.texts[kUserNameBox] = "tester";
    ui.texts[kPasswordBox] = "tester";
    core.CreateTicket();
    ASSERT_TRUE(ui.enabled[kCloseSessionButton]);
    front.Reply(tessel::soap::BuildFault("SOAP-ENV:Server", "Nothing to say", ""));
    ui.boxes.clear();
    ui.texts[kResultBox] = "before";
    EXPECT_EQ(core.Send("BtnGetVOList"), Outcome::Fault);
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"Error on GetVOList"});
    EXPECT_EQ(ui.boxes[0].text, "");
    EXPECT_EQ(ui.boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(ui.texts[kResultBox], "");
    EXPECT_NE(ui.status.find("Fault: Nothing to say"), std::string::npos) << ui.status;
}

TEST_F(Soap2CoreTest, WithoutAnyClientObjectEveryStepSaysSoAndTheToolGoesOn)
{
    SequenceUi other;
    Soap2Core none(ToolSP2(), other, library, [] { return std::unique_ptr<tessel::soap::Soap2Client>(); });
    none.Start();
    other.texts[kWsdlBox] = svc.Soap2Description();
    none.Connect();
    ASSERT_EQ(other.Titles(), std::vector<std::string>{"Error on Connection"});
    EXPECT_EQ(other.boxes[0].text, "No SOAP client object could be made (no SOAP client is available).");
    EXPECT_FALSE(other.enabled[kCreateTicketButton]);
    none.CreateTicket();
    ASSERT_EQ(other.Titles(), (std::vector<std::string>{"Error on Connection", "Error on Connection",
                                                        "Error on CreateTicket"}));
    EXPECT_EQ(other.boxes[2].text, other.boxes[0].text);

    SequenceUi third;
    Soap2Core throwing(ToolSP2(), third, library, []() -> std::unique_ptr<tessel::soap::Soap2Client> {
        throw std::runtime_error("the SOAP library is not installed");
    });
    third.texts[kWsdlBox] = svc.Soap2Description();
    EXPECT_EQ(throwing.Send("BtnGetVOList"), Outcome::Failed);
    ASSERT_EQ(third.Titles(), (std::vector<std::string>{"Error on Connection", "Error on GetVOList"}));
    EXPECT_EQ(third.boxes[0].text, "No SOAP client object could be made (the SOAP library is not installed).");
    EXPECT_EQ(third.boxes[1].text, third.boxes[0].text);
    EXPECT_FALSE(third.waiting);
}

TEST_F(Soap2CoreTest, AnEmptyResultShowsBothBoxesAndEmptiesRResult)
{
    ConnectAndLogin(core, ui);
    ui.texts["voname"] = "fresh";
    ASSERT_EQ(core.Send("BtnPutVOURI"), Outcome::Completed);
    ui.texts["GetVOContentwithLockName"] = "fresh";  // a VO made by PutVOURI has no content
    ui.boxes.clear();
    ui.events.clear();
    EXPECT_EQ(core.Send("BtnGetVOContentwithLock"), Outcome::Completed);
    ASSERT_EQ(ui.Titles(),
              (std::vector<std::string>{"GetVOContentwithLock Result", "result of GetVOContentwithLock"}));
    EXPECT_EQ(ui.boxes[0].text, "");
    EXPECT_EQ(ui.boxes[1].text, "");
    EXPECT_EQ(ui.texts[kResultBox], "");
    // The pointer is back before the first box.
    EXPECT_EQ(ui.events, (std::vector<std::string>{"hourglass", "pointer", "box GetVOContentwithLock Result",
                                                   "box result of GetVOContentwithLock", "RResult"}));
}

TEST_F(Soap2PlainResults, ResultsAroundOneMiBAreReadBackWhole)
{
    ConnectAndLogin(core, ui);
    for (const std::size_t n : {std::size_t{1048575}, std::size_t{1048576}}) {
        const std::string content(n, 'a');
        ui.texts["UpdateVOContentwithUnlockName"] = "Name1";
        ui.texts["UpdateVOContent"] = content;
        ASSERT_EQ(core.Send("btnUpdateVOContentwithUnlock"), Outcome::Completed);
        ui.texts["GetVOContentwithLockName"] = "Name1";
        ui.boxes.clear();
        ASSERT_EQ(core.Send("BtnGetVOContentwithLock"), Outcome::Completed);
        EXPECT_EQ(LastRequest()["encoding"], "plain");
        EXPECT_EQ(core.session().resultText.size(), n);
        ASSERT_EQ(ui.boxes.size(), 2u);
        EXPECT_EQ(ui.boxes[1].text.size(), n);
        EXPECT_EQ(ui.boxes[1].text, content);
        EXPECT_EQ(ui.texts[kResultBox].size(), n);
    }
}

TEST_F(Soap2CoreTest, ACompressedResultOfOneMiBIsShownWhole)
{
    ConnectAndLogin(core, ui);
    const std::string content(1048576, 'b');
    ui.texts["UpdateVOContentbyURIwithUnlockURI"] = "URI3";
    ui.texts["UpdateVOContent"] = content;
    ASSERT_EQ(core.Send("BtnUpdateVOContentbyURIwithUnlock"), Outcome::Completed);
    ui.texts["GetVOContentbyURIwithLockURI"] = "URI3";
    ui.boxes.clear();
    ASSERT_EQ(core.Send("BtnGetVOContentbyURIwithLock"), Outcome::Completed);
    EXPECT_EQ(LastRequest()["encoding"], "compressed");
    EXPECT_LT(core.session().resultText.size(), content.size());  // the raw result is the compressed form
    EXPECT_EQ(ui.texts[kResultBox], content);
}

TEST_F(Soap2CoreTest, CloseSessionEmptiesTheLoginAndConnectThenBuildsANewClient)
{
    ConnectAndLogin(core, ui);
    ui.texts[kRealmBox] = "other.test";
    const std::int32_t handler = core.session().tokenHandler;
    core.CloseSession();
    EXPECT_TRUE(ui.boxes.empty());
    const nlohmann::json close = LastRequest();
    EXPECT_EQ(close["operation"], "CloseSession");
    EXPECT_EQ(close["parameters"][0], LoggedParameter("sessionKey", core.session().sessionKey));
    EXPECT_EQ(close["parameters"][1], LoggedParameter("verifier", core.session().verifier));
    EXPECT_FALSE(ui.enabled[kCreateTicketButton]);
    EXPECT_FALSE(ui.enabled[kCloseSessionButton]);
    for (const Row& row : ToolSP2().rows)
        EXPECT_FALSE(ui.enabled[row.button]) << row.button;
    EXPECT_EQ(ui.texts[kUserNameBox], "");
    EXPECT_EQ(ui.texts[kPasswordBox], "");
    EXPECT_EQ(ui.texts[kRealmBox], "other.test");
    EXPECT_TRUE(core.session().lastDescriptionURL.empty());
    EXPECT_EQ(core.session().tokenHandler, handler);
    // The handler was not released: it still builds tokens.
    tessel::client::TokenSession tokens(library);
    EXPECT_FALSE(tokens.RequestToken(handler, "GetVOList", {}).text.empty());

    ASSERT_EQ(clients.made, 1);
    core.Connect();  // the same URL
    EXPECT_EQ(clients.made, 2);
    EXPECT_TRUE(ui.enabled[kCreateTicketButton]);
}

TEST_F(Soap2CoreTest, ConnectTwiceInASessionKeepsEveryOperationAndEnablesCreateTicket)
{
    ConnectAndLogin(core, ui);
    core.Connect();
    core.Connect();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(clients.made, 1);
    EXPECT_TRUE(ui.enabled[kCreateTicketButton]);
    EXPECT_TRUE(ui.enabled[kCloseSessionButton]);
    for (const Row& row : ToolSP2().rows)
        EXPECT_TRUE(ui.enabled[row.button]) << row.button;
    // A second login replaces the handler and the session.
    const std::int32_t first = core.session().tokenHandler;
    const std::string key = core.session().sessionKey;
    core.CreateTicket();
    EXPECT_NE(core.session().tokenHandler, first);
    EXPECT_NE(core.session().sessionKey, key);
    EXPECT_EQ(core.Send("BtnGetVOList"), Outcome::Completed);
    EXPECT_EQ(LastRequest()["token"], "valid");
}

TEST_F(Soap2CoreTest, CloseSessionFailureShowsTheFaultStringUnderTheProgramsName)
{
    ConnectAndLogin(core, ui);
    core.CloseSession();
    ui.texts[kUserNameBox] = "kept";
    core.Connect();
    ui.boxes.clear();
    ui.texts[kResultBox] = "before";
    core.CloseSession();  // the session is closed already
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"TSTestToolSP2"});
    EXPECT_EQ(ui.boxes[0].text, "Unknown session");
    EXPECT_EQ(ui.boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(ui.texts[kResultBox], "before");
    EXPECT_EQ(ui.texts[kUserNameBox], "kept");
    EXPECT_TRUE(ui.enabled[kCreateTicketButton]);
    EXPECT_EQ(core.session().lastDescriptionURL, svc.Soap2Description());
    EXPECT_FALSE(ui.waiting);
}

TEST_F(Soap2CoreTest, ToolTwoRestoresThePointerOnlyAfterALoginOrLogoutFailureBox)
{
    SequenceUi two;
    Soap2Core core2(Tool2SP2(), two, library);
    core2.Start();
    two.texts[kWsdlBox] = svc.Soap2Description();
    core2.Connect();
    two.texts[kUserNameBox] = "tester";
    two.texts[kPasswordBox] = "wrong";
    two.events.clear();
    core2.CreateTicket();
    EXPECT_EQ(two.events, (std::vector<std::string>{"hourglass", "box AuthResult", "box Error on CreateTicket",
                                                    "RResult", "pointer"}));
    two.texts[kPasswordBox] = "tester";
    core2.CreateTicket();
    ASSERT_TRUE(two.enabled[kCloseSessionButton]);
    svc.Stop();
    two.events.clear();
    core2.CloseSession();
    EXPECT_EQ(two.events, (std::vector<std::string>{"hourglass", "box TSTestTool2SP2", "pointer"}));
    EXPECT_EQ(two.boxes.back().text, "Connector: the request could not be sent");
    // Operations restore it first, as in the other tool.
    two.events.clear();
    core2.Send("btnGetVOResourceURL");
    EXPECT_EQ(two.events, (std::vector<std::string>{"hourglass", "pointer", "box Error on GetVOResourceURL",
                                                    "RResult"}));
    // And so does TSTestToolSP2 for its login.
    ui.texts[kWsdlBox] = "http://127.0.0.1:1/x.wsdl";
    core.Connect();
    ui.events.clear();
    core.CreateTicket();
    EXPECT_EQ(ui.events, (std::vector<std::string>{"hourglass", "pointer", "box Error on Connection", "RResult",
                                                   "box Error on CreateTicket", "RResult"}));
}

TEST_F(Soap2CoreTest, AMissingTokenLibraryIsShownWithItsReason)
{
    TokenLibrary missing("libNoSuchTokenLibrary.so");
    SequenceUi other;
    Soap2Core broken(ToolSP2(), other, missing);
    broken.Start();
    other.texts[kWsdlBox] = svc.Soap2Description();
    broken.Connect();
    other.texts[kUserNameBox] = "tester";
    other.texts[kPasswordBox] = "tester";
    broken.CreateTicket();
    ASSERT_EQ(other.Titles(), (std::vector<std::string>{"AuthResult", "Error on CreateTicket"}));
    EXPECT_EQ(other.boxes[1].text.find("The token library libNoSuchTokenLibrary.so could not be loaded: "), 0u)
        << other.boxes[1].text;
    EXPECT_EQ(other.texts[kResultBox], other.boxes[1].text);
    EXPECT_TRUE(other.enabled[kCreateTicketButton]);
}

TEST_F(Soap2CoreTest, QueryCutsTheBoxAndSendsTheStatementReadBackFromItsSlot)
{
    ConnectAndLogin(core, ui);
    ui.texts["Query"] = "  <query>  \r\n <get/> \r\n</query>\r\n";
    EXPECT_EQ(core.Send("BtnQuery"), Outcome::Completed);
    EXPECT_EQ(ui.texts["Query"], "  <query>  \r\n <get/> \r\n</query>");
    const nlohmann::json sent = LastRequest();
    EXPECT_EQ(sent["parameters"][1], LoggedParameter("sqlstmt", "<query><get/></query>"));
    EXPECT_EQ(sent["token"], "valid");
    // A single line: the CR LF goes, the line is sent as it is.
    ui.texts["Query"] = "<query/>\r\n";
    core.Send("BtnQuery");
    EXPECT_EQ(ui.texts["Query"], "<query/>");
    EXPECT_EQ(LastRequest()["parameters"][1], LoggedParameter("sqlstmt", "<query/>"));
    // Too long to build: said in the Query error box, nothing is sent.
    const std::size_t before = ReadLog(log).size();
    ui.texts["Query"] = std::string(40000, 'q') + "\r\nx";
    ui.boxes.clear();
    EXPECT_EQ(core.Send("BtnQuery"), Outcome::Failed);
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{"Error on Query"});
    EXPECT_NE(ui.boxes[0].text.find("at most 32767 characters"), std::string::npos) << ui.boxes[0].text;
    EXPECT_EQ(ReadLog(log).size(), before);
}

TEST_F(Soap2CoreTest, TheUnlockUpdatesSendTheRichTextUnchanged)
{
    ConnectAndLogin(core, ui);
    const std::string content = "  <content>\r\n    line two  \r\n</content>\r\n";
    ui.texts["UpdateVOContent"] = content;
    ui.texts["UpdateVOContentbyURIwithUnlockURI"] = "URI1";
    EXPECT_EQ(core.Send("BtnUpdateVOContentbyURIwithUnlock"), Outcome::Completed);
    const nlohmann::json sent = LastRequest();
    EXPECT_EQ(sent["parameters"][1], LoggedParameter("uri", "URI1"));
    EXPECT_EQ(sent["parameters"][2], LoggedParameter("content", content));
    EXPECT_EQ(sent["token"], "valid");  // slot 1 "uri", slot 2 "content", as the server rebuilt them
    EXPECT_EQ(ui.Titles(), (std::vector<std::string>{"UpdateVOCOntentbyURIwithUnlock Result",
                                                     "result of UpdateVOContentbyURIwithUnlock"}));
    ui.texts["GetVOContentwithLockName"] = "Name1";
    core.Send("BtnGetVOContentwithLock");
    EXPECT_EQ(ui.texts[kResultBox], content);
}

TEST_F(Soap2CoreTest, ALockedVoRefusesAnotherSessionsUpdateAndTheUnlockingUpdateStoresTheContent)
{
    ConnectAndLogin(core, ui);
    SequenceUi otherUi;
    Soap2Core other(ToolSP2(), otherUi, library);
    other.Start();
    ConnectAndLogin(other, otherUi);

    ui.texts["LockURI"] = "URI2";
    ASSERT_EQ(core.Send("BtnLock"), Outcome::Completed);
    EXPECT_EQ(ui.texts[kResultBox], "OK");

    otherUi.texts["UpdateVOContentbyURIwithUnlockURI"] = "URI2";
    otherUi.texts["UpdateVOContent"] = "from the other session";
    EXPECT_EQ(other.Send("BtnUpdateVOContentbyURIwithUnlock"), Outcome::Fault);
    ASSERT_EQ(otherUi.Titles(), std::vector<std::string>{"Error on UpdateVOContentbyURIwithUnlock"});
    EXPECT_EQ(otherUi.boxes[0].text, "URI2 is locked by tester in another session.");
    EXPECT_EQ(otherUi.boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(otherUi.texts[kResultBox], otherUi.boxes[0].text);

    ui.texts["UpdateVOContentbyURIwithUnlockURI"] = "URI2";
    ui.texts["UpdateVOContent"] = "<content>locked and stored</content>\r\n";
    ASSERT_EQ(core.Send("BtnUpdateVOContentbyURIwithUnlock"), Outcome::Completed);

    otherUi.texts["GetVOContentbyURIwithLockURI"] = "URI2";
    ASSERT_EQ(other.Send("BtnGetVOContentbyURIwithLock"), Outcome::Completed);
    EXPECT_EQ(otherUi.texts[kResultBox], "<content>locked and stored</content>\r\n");
    // Now the other session holds the lock.
    ui.boxes.clear();
    EXPECT_EQ(core.Send("BtnLock"), Outcome::Fault);
    EXPECT_EQ(ui.Titles(), std::vector<std::string>{"Error on Lock"});
}

TEST_F(Soap2CoreTest, GetVOURIAndPutVOURIReadTheSameBoxes)
{
    ConnectAndLogin(core, ui);
    ui.texts["vouser"] = "carol";
    ui.texts["voname"] = "Plan";
    ASSERT_EQ(core.Send("BtnPutVOURI"), Outcome::Completed);
    const std::string uri = ui.texts[kResultBox];
    EXPECT_EQ(LastRequest()["parameters"][1], LoggedParameter("vouser", "carol"));
    ASSERT_EQ(core.Send("BtnGetVOURI"), Outcome::Completed);
    EXPECT_EQ(LastRequest()["parameters"][2], LoggedParameter("name", "Plan"));
    EXPECT_EQ(ui.texts[kResultBox], uri);
}

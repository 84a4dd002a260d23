// TSTestTool5 against the local service: the settings queries of the main
// service, the admin connection with its own description and endpoint, and
// the session rules of a tool with two connections.
#include <gtest/gtest.h>

#include "FrontServer.h"
#include "ToolSession.h"

using namespace tessel::tester;

namespace {

class Tool5 : public ::testing::Test {
protected:
    // What the last box said, or "(nothing)".
    std::string Shown() const
    {
        return s.ui.boxes.empty() ? std::string("(nothing)") : s.ui.boxes.back().title + ": " + s.ui.boxes.back().text;
    }
    std::string Pressed(const std::string& button)
    {
        s.Forget();
        s.core.Send(button);
        return Shown();
    }

    ToolSession s{"TSTestTool5", {"--compress-threshold", "4096"}};
};

const std::vector<std::string> kReloadButtons = {"BtnReLoadConfig", "BtnReLoadUnifyTable", "BtnReLoadTransform"};

}  // namespace

TEST_F(Tool5, StartsWithTheAdminConnectButtonEnabled)
{
    EXPECT_EQ(s.ui.caption, "TesselService SOAP Interface TestTool #5 (Others)");
    EXPECT_TRUE(s.ui.enabled["BtnConnectAdmin"]);
    for (const std::string& b : kReloadButtons)
        EXPECT_FALSE(s.ui.enabled[b]) << b;
    EXPECT_EQ(s.ui.texts["txtAdminURI"], "http://localhost:8080/TesselService/TesselServiceCoreAdmin.xml");
    EXPECT_EQ(s.ui.texts["GroupName"], "group");
    EXPECT_EQ(s.tool.RowOfButton("btnGGL")->caption, "Send ");
}

TEST_F(Tool5, TheSettingsQueriesAnswerWithWhatTheServiceHolds)
{
    s.LogIn();
    EXPECT_EQ(Pressed("btnGCT"), "Result of GetCompressThreshold: 4096");
    EXPECT_EQ(Pressed("btnGAL"), "Result of GetAdminUserList: tester");
    EXPECT_EQ(Pressed("btnGGL"), "Result of GetGroupList: admins;group");
    EXPECT_EQ(Pressed("btnGGUL"), "Result of GetGroupUserList: tester");
    EXPECT_EQ(Pressed("btnGetOwnGroupList"), "Result of GetOwnGroupList: admins;group");
    EXPECT_EQ(Pressed("GetConferenceManagerURLBtn"),
              "Result of GetConferenceManagerURL: " + s.svc.Url("/ConferenceManager/"));
    // The group is sent exactly as typed.
    s.ui.texts["GroupName"] = "  Group A ";
    EXPECT_EQ(Pressed("btnGGUL").rfind("Error on GetGroupUserList: ", 0), 0u);
    EXPECT_EQ(s.LastSent("group"), "  Group A ");
}

TEST_F(Tool5, TheAdminConnectionEnablesTheReloadRowsAndTheyReachTheAdminEndpoint)
{
    s.LogIn();
    const std::string caption = s.ui.caption;
    s.ConnectAdmin();
    EXPECT_TRUE(s.ui.boxes.empty());
    EXPECT_EQ(s.ui.events, (std::vector<std::string>{"hourglass", "pointer"}));
    EXPECT_EQ(s.ui.enabling, (std::vector<std::string>{"-BtnReLoadConfig", "+BtnReLoadConfig", "-BtnReLoadUnifyTable",
                                                       "+BtnReLoadUnifyTable", "-BtnReLoadTransform",
                                                       "+BtnReLoadTransform", "+btnListWSDataMethods"}));
    EXPECT_EQ(s.core.session().adminServiceURI, s.svc.Url("/TesselService/TesselServiceCoreAdmin.asmx"));
    EXPECT_EQ(s.core.session().adminDescriptionURI, s.svc.AdminDescription());
    EXPECT_EQ(s.ui.caption, caption);  // nothing of the main connection changes
    EXPECT_FALSE(s.ui.enabled["CreateTicket"]);
    EXPECT_TRUE(s.ui.enabled["CloseSession"]);

    EXPECT_EQ(Pressed("BtnReLoadConfig"), "Result of ReLoadConfig: OK: Config reloaded (1)");
    EXPECT_EQ(s.LastRequest()["token"], "valid");  // the main session's token handler
    EXPECT_EQ(Pressed("BtnReLoadUnifyTable"), "Result of ReLoadUnifyTable: OK: UnifyTable reloaded (1)");
    EXPECT_EQ(Pressed("BtnReLoadTransform"), "Result of ReLoadTransform: OK: Transform reloaded (1)");
    EXPECT_EQ(Pressed("btnGCT"), "Result of GetCompressThreshold: 4096");  // the main service is still the main one
}

TEST_F(Tool5, AdminRowsPostToTheEndpointTheAdminDescriptionNames)
{
    FrontServer front(s.svc);
    s.LogIn();
    s.ConnectAdmin(front.Url("/front-admin.xml"));
    EXPECT_EQ(s.core.session().adminServiceURI, front.Url("/soap"));
    const std::size_t before = s.Requests().size();
    front.Reply("<html><body>the admin front answered</body></html>");
    s.ui.checked["chkShowPackets"] = true;
    s.core.Send("BtnReLoadConfig");
    EXPECT_EQ(s.ui.Titles(), (std::vector<std::string>{"SOAP XML Payload - Client to Server(ReLoadConfig)",
                                                       "SOAP XML Payload -  Server To Client(ReLoadConfig)",
                                                       "SOAP XML Payload - Error"}));
    EXPECT_EQ(s.ui.boxes[2].text, "<html><body>the admin front answered</body></html>");
    EXPECT_NE(s.ui.boxes[0].text.find("TesselServiceCoreAdmin"), std::string::npos);  // built from the admin one
    EXPECT_EQ(s.Requests().size(), before);  // the service saw nothing
}

TEST_F(Tool5, WithTheListingOptionTheAdminConnectListsTheAdminMethodsAndListTheMainOnes)
{
    s.Connect();
    s.ui.checked["chkShowMethods"] = true;
    s.ConnectAdmin();
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].title, "Available methods - TesselServiceCoreAdmin");
    EXPECT_EQ(s.ui.boxes[0].text.rfind("1. Function ReLoadConfig(", 0), 0u) << s.ui.boxes[0].text;
    EXPECT_EQ(s.ui.boxes[0].text.find("GetCompressThreshold"), std::string::npos);
    s.core.ListMethods();
    ASSERT_EQ(s.ui.boxes.size(), 2u);
    EXPECT_EQ(s.ui.boxes[1].title, "Available methods - TesselServiceCore");
    EXPECT_NE(s.ui.boxes[1].text.find("Function GetCompressThreshold("), std::string::npos);
    EXPECT_EQ(s.ui.boxes[1].text.find("ReLoadConfig"), std::string::npos);
}

TEST_F(Tool5, AnAdminDescriptionWithOnlyReLoadConfigLeavesTheOtherReloadRowsDisabled)
{
    FrontServer front(s.svc, [](const std::string& m) { return m != "ReLoadTransform" && m != "ReLoadUnifyTable"; });
    s.LogIn();
    s.ConnectAdmin(front.Url("/partial-admin.xml"));
    EXPECT_TRUE(s.ui.enabled["BtnReLoadConfig"]);
    EXPECT_FALSE(s.ui.enabled["BtnReLoadTransform"]);
    EXPECT_FALSE(s.ui.enabled["BtnReLoadUnifyTable"]);
    EXPECT_EQ(Pressed("BtnReLoadConfig"), "Result of ReLoadConfig: OK: Config reloaded (1)");
    // A full admin description enables them again.
    s.ConnectAdmin();
    for (const std::string& b : kReloadButtons)
        EXPECT_TRUE(s.ui.enabled[b]) << b;
}

TEST_F(Tool5, ReloadRowsWithoutASessionSayToLogInFirstAndSendNothing)
{
    s.Connect();
    s.ConnectAdmin();
    ASSERT_TRUE(s.ui.enabled["BtnReLoadTransform"]);
    const std::size_t before = s.Requests().size();
    s.core.Send("BtnReLoadTransform");
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].title, "Error on ReLoadTransform");
    EXPECT_EQ(s.ui.boxes[0].icon, tessel::client::Icon::Exclamation);
    EXPECT_NE(s.ui.boxes[0].text.find("log in with CreateTicket first"), std::string::npos) << s.ui.boxes[0].text;
    EXPECT_EQ(s.Requests().size(), before);

    // After a logout too: the admin connection enables the rows again, but
    // the session's token is gone.
    s.LogIn();
    s.core.CloseSession();
    s.ConnectAdmin();
    s.Forget();
    s.core.Send("BtnReLoadConfig");
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].title, "Error on ReLoadConfig");
    EXPECT_EQ(s.LastRequest()["operation"], "CloseSession");
}

TEST_F(Tool5, ListBeforeTheMainServiceIsConnectedIsAnErrorOnList)
{
    s.ConnectAdmin();
    EXPECT_TRUE(s.ui.enabled["btnListWSDataMethods"]);
    s.core.ListMethods();
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].title, "Error on List");
    EXPECT_EQ(s.ui.boxes[0].icon, tessel::client::Icon::Exclamation);
}

TEST_F(Tool5, AnAdminDescriptionThatDoesNotLoadIsReportedAsConnectReportsIt)
{
    s.LogIn();
    s.ConnectAdmin();
    s.Forget();
    s.ConnectAdmin(s.svc.Url("/no/such/description.xml"));
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].title, "LoadServicesDescription  FAILED");
    EXPECT_EQ(s.ui.boxes[0].text, "LoadServicesDescription = False");
    EXPECT_TRUE(s.ui.enabling.empty());  // the reload rows keep their state
    EXPECT_FALSE(s.ui.waiting);
    EXPECT_EQ(s.core.session().adminServiceURI, s.svc.Url("/TesselService/TesselServiceCoreAdmin.asmx"));
    EXPECT_EQ(Pressed("BtnReLoadConfig"), "Result of ReLoadConfig: OK: Config reloaded (1)");

    s.Forget();
    s.ConnectAdmin("http://127.0.0.1:1/TesselService/TesselServiceCoreAdmin.xml");
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].title, "TSTestTool5");
    EXPECT_EQ(s.ui.boxes[0].text, "Service is unavailable.");
    EXPECT_FALSE(s.ui.waiting);
}

TEST_F(Tool5, ReconnectingLooksAtCreateTicketOnlyWhileItIsDisabled)
{
    FrontServer front(s.svc, [](const std::string& m) { return m != "CreateTicket"; });
    s.Connect();
    ASSERT_TRUE(s.ui.enabled["CreateTicket"]);
    // Enabled, and the new description lacks it: it stays enabled.
    s.Connect(front.Url("/partial.xml"));
    EXPECT_EQ(s.ui.caption, "TesselService SOAP Interface TestTool #5 (Others) - " + front.Url("/partial.xml"));
    EXPECT_TRUE(s.ui.enabled["CreateTicket"]);
    // During a session it is disabled; a reconnect that declares it enables it again.
    s.Connect(s.svc.MainDescription());
    s.LogIn();
    ASSERT_FALSE(s.ui.enabled["CreateTicket"]);
    s.Connect(front.Url("/partial.xml"));
    EXPECT_FALSE(s.ui.enabled["CreateTicket"]);
    s.Connect(s.svc.MainDescription());
    EXPECT_TRUE(s.ui.enabled["CreateTicket"]);
    EXPECT_TRUE(s.ui.enabled["CloseSession"]);
    EXPECT_TRUE(s.ui.enabled["btnGCT"]);
}

TEST_F(Tool5, LogoutDisablesTheRowsInItsOrderReloadRowsAmongThem)
{
    s.LogIn();
    s.ConnectAdmin();
    s.Forget();
    s.core.CloseSession();
    EXPECT_EQ(s.ui.enabling,
              (std::vector<std::string>{"-CloseSession", "-btnGCT", "-btnGAL", "-btnGGL", "-btnGGUL",
                                        "-BtnReLoadConfig", "-BtnReLoadUnifyTable", "-BtnReLoadTransform",
                                        "-btnGetOwnGroupList", "-GetConferenceManagerURLBtn", "-CreateTicket"}));
    EXPECT_EQ(s.ui.texts["UserKey"], "");
    EXPECT_EQ(s.ui.texts["Principal"], "");
    EXPECT_TRUE(s.ui.enabled["BtnConnectAdmin"]);
}

TEST_F(Tool5, LoginEnablesTheMainRowsInItsOrderAndLeavesTheReloadRows)
{
    s.Connect();
    s.ui.texts["UserKey"] = "tester";
    s.ui.texts["Principal"] = "tester";
    s.Forget();
    s.core.CreateTicket();
    std::vector<std::string> login = {"-CreateTicket", "+CloseSession"};
    for (const char* b :
         {"btnGCT", "btnGAL", "btnGGL", "btnGGUL", "GetConferenceManagerURLBtn", "btnGetOwnGroupList"}) {
        login.push_back(std::string("-") + b);
        login.push_back(std::string("+") + b);
    }
    EXPECT_EQ(s.ui.enabling, login);
}

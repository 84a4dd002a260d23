// TSTestTool1 (queries and Folio content) and TSTestTool2 (collaboration)
// against the local service: how their rows take their texts, read their
// replies back and show them, in the order a person sees it.
#include <gtest/gtest.h>

#include "FrontServer.h"
#include "TesselClient.h"
#include "ToolSession.h"

using namespace tessel::tester;

namespace {

// A reply of the service's own form, with the result and token given.
std::string SoapReply(const std::string& method, const std::string& result, const std::string& reskey)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
           "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body><m:" +
           method + "Response xmlns:m=\"urn:tessel:TesselServiceCore\"><result>" + result + "</result><reskey>" +
           reskey + "</reskey></m:" + method + "Response></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

// ---------------------------------------------------------------------------
// How a row takes a box's text: one case per edge, one body.

struct TakeCase {
    const char* name;
    const char* program;
    const char* button;
    const char* box;
    std::string text;      // typed into the box
    int presses;           // the row's button pressed this often
    std::string sent;      // what the last press sent for the box
    std::string boxAfter;  // what the box shows then
    std::vector<std::string> parameters;  // the last request's parameter names, in order
};

void PrintTo(const TakeCase& c, std::ostream* os)
{
    *os << c.name;
}

const std::string kContent = "<content>xxx</content>";

const TakeCase kTakeCases[] = {
    {"QueryOfOneLineKeepsItsBlanks", "TSTestTool1", "btnQuery_SW", "txtSymbol", "  select a  ", 1, "  select a  ",
     "  select a  ", {"user", "sqlstmt", "reskey"}},
    {"QueryLinesAreTrimmedAndJoined", "TSTestTool1", "btnQuery_SW", "txtSymbol", "a \r\n b", 1, "ab", "a \r\n b",
     {"user", "sqlstmt", "reskey"}},
    {"ContentEndingInTwoBreaksKeepsOneInTheBoxAndSendsNone", "TSTestTool1", "btnPVOC_SW", "txtTranslate",
     kContent + "\r\n\r\n", 1, kContent, kContent + "\r\n", {"user", "name", "content", "reskey"}},
    {"UpdatedContentIsTheBuildingReadBackFromItsSlot", "TSTestTool1", "btnUVOC", "UVOC_Content",
     " <a> \r\n  <b/>\r\n</a>\r\n", 1, "<a><b/></a>", " <a> \r\n  <b/>\r\n</a>",
     {"user", "name", "content", "reskey"}},
    {"ALoneCarriageReturnKeepsTheCharacterAfterIt", "TSTestTool1", "btnUVOCURI", "UVOCURI_Content", "ab \rcd", 1,
     "abcd", "ab \rcd", {"user", "uri", "content", "reskey"}},
    {"ShareFieldKeepsItsInnerLineBreaks", "TSTestTool2", "btnUSF", "SF_Content", " l1 \r\n  l2\r\n\r\n", 1,
     " l1 \r\n  l2\r\n", " l1 \r\n  l2\r\n", {"user", "uri", "field", "reskey"}},
    {"ShareFieldLosesOneTrailingBreakPerPress", "TSTestTool2", "btnPSF", "SF_Content", kContent + "\r\n\r\n", 2,
     kContent, kContent, {"user", "author", "name", "field", "reskey"}},
    {"ShareFieldOfOneCharacterIsSentAsItIs", "TSTestTool2", "btnUASF", "SF_Content", "\r", 1, "\r", "\r",
     {"user", "uri", "field", "reskey"}},
    {"AddAttendeeSendsUriAndAttendee", "TSTestTool2", "btnESAll", "ESAll_Name", "Attendee", 1, "Attendee",
     "Attendee", {"user", "uri", "attendee", "reskey"}},
};

class TakesItsBox : public ::testing::TestWithParam<TakeCase> {
protected:
    const TakeCase& c() const { return GetParam(); }
    ToolSession s{c().program};
};

std::string CaseName(const ::testing::TestParamInfo<TakeCase>& info)
{
    return info.param.name;
}

}  // namespace

TEST_P(TakesItsBox, SendsWhatTheRuleGivesAndLeavesTheBoxAsTheRuleSays)
{
    const Row& row = *s.tool.RowOfButton(c().button);
    std::size_t index = 0;  // the box's parameter in the request, after "user"
    for (std::size_t i = 0; i < row.params.size(); ++i)
        if (row.params[i].box == c().box)
            index = i + 1;
    ASSERT_GT(index, 0u);
    s.LogIn();
    s.ui.texts[c().box] = c().text;
    std::vector<std::string> sentEachTime;
    for (int i = 0; i < c().presses; ++i) {
        s.core.Send(c().button);
        sentEachTime.push_back(s.LastRequest()["parameters"][index][1]);
    }
    const nlohmann::json sent = s.LastRequest();
    std::vector<std::string> names;
    for (const nlohmann::json& p : sent["parameters"])
        names.push_back(p[0]);
    EXPECT_EQ(names, c().parameters);
    EXPECT_EQ(sentEachTime.back(), c().sent);
    EXPECT_EQ(sent["token"], "valid");  // the token covered exactly what was sent
    EXPECT_EQ(s.ui.texts[c().box], c().boxAfter);
    if (c().presses > 1) {
        EXPECT_EQ(sentEachTime.front(), kContent + "\r\n");  // one break per press
    }
}

INSTANTIATE_TEST_SUITE_P(Tool1AndTool2, TakesItsBox, ::testing::ValuesIn(kTakeCases), CaseName);

// ---------------------------------------------------------------------------
// TSTestTool1

TEST(Tool1, StartsWithItsNamesAndDefaults)
{
    ToolSession s("TSTestTool1");
    EXPECT_EQ(s.ui.caption, "TesselService SOAP Interface TestTool #1 (Query&FolioDB)");
    EXPECT_EQ(s.ui.texts["txtSymbol"],
              "<query><get><content>column</content><target><provider>SQLOLEDB.1</provider><dsn>localhost</dsn>"
              "<catalog>Northwind</catalog><table></table></target></get></query>\r\n");
    EXPECT_EQ(s.ui.texts["RequestText"], "Request");
    EXPECT_EQ(s.ui.texts["AuthorityText"], "LDAP://ldap.example.test");
    EXPECT_EQ(s.ui.texts["RealmText"], "example.test");
    s.Connect();
    EXPECT_EQ(s.ui.caption, "TesselService SOAP Interface TestTool#1 (Query&FolioDB) - " + s.svc.MainDescription());
}

TEST(Tool1, EnablesAndDisablesItsRowsInItsOrder)
{
    ToolSession s("TSTestTool1");
    s.Connect();
    s.ui.texts["UserKey"] = "tester";
    s.ui.texts["CredText"] = "tester";
    s.ui.enabling.clear();
    s.core.CreateTicket();
    const std::vector<std::string> buttons = {"btnQuery_SW",   "btnGVOC_SW", "btnGVOL_SW",    "btnPVOC_SW",
                                              "btnRVOC",       "btnUVOC",    "btnGVOCURI",    "btnGVOURIList",
                                              "btnUVOCURI",    "btnRemoveVOContentbyURI"};
    std::vector<std::string> login = {"-CreateTicket", "+CloseSession"};
    for (const std::string& b : buttons) {
        login.push_back("-" + b);
        login.push_back("+" + b);
    }
    EXPECT_EQ(s.ui.enabling, login);
    s.ui.enabling.clear();
    s.core.CloseSession();
    std::vector<std::string> logout = {"-CloseSession"};
    for (const std::string& b : buttons)
        logout.push_back("-" + b);
    logout.push_back("-CreateTicket");
    EXPECT_EQ(s.ui.enabling, logout);
    EXPECT_EQ(s.ui.texts["CredText"], "");
}

TEST(Tool1, QueryShowsTheHourglassFromTheStartAndTheRawResult)
{
    ToolSession s("TSTestTool1");
    s.LogIn();
    s.core.Send("btnQuery_SW");
    EXPECT_EQ(s.ui.events, (std::vector<std::string>{"hourglass", "pointer", "box result of Query"}));
    EXPECT_NE(s.ui.texts["Result"].find("<column>ALFKI</column>"), std::string::npos);
    EXPECT_EQ(s.LastSent("sqlstmt"), s.ui.texts["txtSymbol"]);  // the template lost its break in the box too

    // With the payloads shown the hourglass stays over the request box and the
    // post, until the response payload is shown.
    s.Forget();
    s.ui.checked["chkShowPackets"] = true;
    s.core.Send("btnQuery_SW");
    EXPECT_EQ(s.ui.events, (std::vector<std::string>{"hourglass", "box SOAP XML Payload - Client to Server(Query)",
                                                     "box SOAP XML Payload -  Server To Client(Query)", "pointer",
                                                     "box result of Query"}));
    // The other rows show it only during the exchange.
    s.Forget();
    s.core.Send("btnGVOL_SW");
    EXPECT_EQ(s.ui.events, (std::vector<std::string>{"box SOAP XML Payload - Client to Server(GetVOList)", "hourglass",
                                                     "pointer", "box SOAP XML Payload -  Server To Client(GetVOList)",
                                                     "box result of GetVOList"}));
}

TEST(Tool1, AQueryResultOverOneKiBIsValidatedAgainstItsFirstKiBAndShownWhole)
{
    ToolSession s("TSTestTool1", {"--compress-threshold", "100000"});
    s.LogIn();
    s.ui.texts["txtSymbol"] = "<query>" + std::string(1500, 'q') + "</query>";
    s.core.Send("btnQuery_SW");
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    tessel::soap::Packager reply;
    reply.SetPayload(1, s.ui.texts["ResponseText"]);
    const std::string result = reply.GetParameter(1, "result");
    ASSERT_GT(result.size(), 1024u);
    EXPECT_EQ(s.ui.boxes[0].text, result);
    EXPECT_EQ(s.ui.texts["Result"], result);
    // Slot 1 holds what was validated: the first 1,024 characters.
    EXPECT_EQ(s.library.GetTokenData(s.core.session().tokenHandler, 1, 1 << 20).text, result.substr(0, 1024));
}

TEST(Tool1, AContentLongerThanTheBuildingTakesIsRefusedAndNothingIsSent)
{
    ToolSession s("TSTestTool1");
    s.LogIn();
    const std::size_t before = s.Requests().size();
    s.ui.texts["txtTranslate"] = std::string(32768, 'c');
    s.core.Send("btnPVOC_SW");
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].title, "Error on PutVOContent");
    EXPECT_NE(s.ui.boxes[0].text.find("32768 characters long"), std::string::npos) << s.ui.boxes[0].text;
    EXPECT_NE(s.ui.boxes[0].text.find("32767"), std::string::npos);
    EXPECT_EQ(s.Requests().size(), before);
    EXPECT_FALSE(s.ui.waiting);
    // At the limit the text goes whole.
    s.ui.texts["txtTranslate"] = std::string(32767, 'c');
    s.core.Send("btnPVOC_SW");
    EXPECT_EQ(s.LastRequest()["parameters"][2], LoggedParameter("content", std::string(32767, 'c')));
    ASSERT_EQ(s.ui.boxes.size(), 2u);
    EXPECT_EQ(s.ui.boxes[1].title, "result of PutVOContent");
}

class Tool1HtmlErrors : public ::testing::Test {
protected:
    ToolSession s{"TSTestTool1", {"--html-error", "Query", "--html-error", "GetVOContent"}};
};

TEST_F(Tool1HtmlErrors, AnErrorPageIsTestedBeforeTheServerToClientBox)
{
    s.LogIn();
    s.ui.checked["chkShowPackets"] = true;
    s.ui.texts["ResponseText"] = "kept";
    s.core.Send("btnQuery_SW");
    EXPECT_EQ(s.ui.events, (std::vector<std::string>{"hourglass", "box SOAP XML Payload - Client to Server(Query)",
                                                     "box SOAP XML Payload - Error", "pointer"}));
    EXPECT_EQ(s.ui.texts["ResponseText"], "kept");
    EXPECT_FALSE(s.ui.waiting);
    s.Forget();
    s.core.Send("btnGVOC_SW");
    EXPECT_EQ(s.ui.Titles(), (std::vector<std::string>{"SOAP XML Payload - Client to Server(GetVOContent)",
                                                       "SOAP XML Payload - Error"}));
    EXPECT_EQ(s.ui.texts["ResponseText"], "kept");
}

TEST(Tool1, GetVOContentWithoutAReplyTokenShowsThePayloadButNoResult)
{
    ToolSession s("TSTestTool1");
    FrontServer front(s.svc);
    s.Connect(front.Url("/front.xml"));
    s.LogIn();
    s.ui.texts["Result"] = "kept";
    front.Reply(SoapReply("GetVOContent", "abc", ""));
    s.core.Send("btnGVOC_SW");
    EXPECT_TRUE(s.ui.boxes.empty());
    EXPECT_EQ(s.ui.texts["ResponseText"], SoapReply("GetVOContent", "abc", ""));
    EXPECT_EQ(s.ui.texts["Result"], "kept");
    // An empty reply ends it too.
    front.Reply("");
    s.core.Send("btnGVOC_SW");
    EXPECT_TRUE(s.ui.boxes.empty());
    EXPECT_EQ(s.ui.texts["Result"], "kept");
}

TEST(Tool1, EmptyContentIsShownAsAnEmptyResultWhileEmptyListsShowNothing)
{
    ToolSession s("TSTestTool1", {"--user", "tester:tester", "--user", "other:other"});
    s.LogIn();
    s.ui.texts["PutName"] = "Empty";
    s.ui.texts["txtTranslate"] = "";
    s.core.Send("btnPVOC_SW");
    const std::string uri = s.ui.texts["Result"];
    s.ui.texts["textName"] = "Empty";
    s.ui.texts["GVOCURI_uri"] = uri;
    for (const char* button : {"btnGVOC_SW", "btnGVOCURI"}) {
        s.Forget();
        s.ui.texts["Result"] = "kept";
        s.core.Send(button);
        ASSERT_EQ(s.ui.boxes.size(), 1u) << button;
        EXPECT_EQ(s.ui.boxes[0].text, "");
        EXPECT_EQ(s.ui.texts["Result"], "");
    }
    EXPECT_EQ(s.ui.boxes[0].title, "result of GetVOContentbyURI");

    // A user who owns nothing has empty lists: nothing is shown.
    s.core.CloseSession();
    s.Connect();
    s.LogIn("other", "other");
    s.ui.texts["Result"] = "kept";
    for (const char* button : {"btnGVOL_SW", "btnGVOURIList"})
        s.core.Send(button);
    EXPECT_TRUE(s.ui.boxes.empty());
    EXPECT_EQ(s.ui.texts["Result"], "kept");
    EXPECT_EQ(s.LastRequest()["operation"], "GetVOURIList");
}

TEST(Tool1, AContentOfOneMiBIsReadBackWhole)
{
    ToolSession s("TSTestTool1");
    std::string big;
    for (int i = 0; big.size() < (1u << 20); ++i)
        big += "<line n=\"" + std::to_string(i) + "\"/>\r\n";
    big.resize(1u << 20);
    TesselClient client(s.svc.MainDescription());
    ASSERT_TRUE(client.Login("tester", "tester"));
    const std::string uri = client.Call("PutVOContent", {{"name", "Big"}, {"content", big}}).decoded;
    s.LogIn();
    s.ui.texts["textName"] = "Big";
    s.core.Send("btnGVOC_SW");
    EXPECT_EQ(s.LastRequest()["encoding"], "compressed");
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].title, "result of GetVOContent");
    EXPECT_TRUE(s.ui.boxes[0].text == big) << s.ui.boxes[0].text.size() << " characters";
    s.ui.texts["GVOCURI_uri"] = uri;
    s.core.Send("btnGVOCURI");
    ASSERT_EQ(s.ui.boxes.size(), 2u);
    EXPECT_TRUE(s.ui.boxes[1].text == big) << s.ui.boxes[1].text.size() << " characters";
}

TEST(Tool1, EveryRowWorksWithItsDefaultsOnAFreshService)
{
    for (const Row& row : FindTool("TSTestTool1")->rows) {
        ToolSession s("TSTestTool1");
        s.LogIn();
        s.core.Send(row.button);
        ASSERT_EQ(s.ui.boxes.size(), 1u) << row.method;
        EXPECT_EQ(s.ui.boxes[0].title, "result of " + row.method) << s.ui.boxes[0].text;
    }
}

// ---------------------------------------------------------------------------
// TSTestTool2

TEST(Tool2, EnablesAndDisablesItsRowsInItsOrders)
{
    ToolSession s("TSTestTool2");
    s.Connect();
    s.ui.texts["UserKey"] = "tester";
    s.ui.texts["Principal"] = "tester";
    s.ui.enabling.clear();
    s.core.CreateTicket();
    std::vector<std::string> login = {"-CreateTicket", "+CloseSession"};
    for (const char* b : {"btnGAList", "btnSS", "btnES", "btnESAll", "btnGSF", "btnGASF", "btnGSFList", "btnGASFList",
                          "btnChangeOwner", "btnPSF", "btnUSF", "btnUASF", "btnRSF"}) {
        login.push_back(std::string("-") + b);
        login.push_back(std::string("+") + b);
    }
    EXPECT_EQ(s.ui.enabling, login);
    s.ui.enabling.clear();
    s.core.CloseSession();
    EXPECT_EQ(s.ui.enabling,
              (std::vector<std::string>{"-CloseSession", "-btnGAList", "-btnSS", "-btnES", "-btnESAll", "-btnGSF",
                                        "-btnGASF", "-btnGSFList", "-btnGASFList", "-btnPSF", "-btnUSF", "-btnUASF",
                                        "-btnRSF", "-btnChangeOwner", "-CreateTicket"}));
    EXPECT_EQ(s.ui.caption, "TesselService SOAP Interface TestTool#2 (CollabDB) - " + s.svc.MainDescription());
}

TEST(Tool2, AnEmptyShareFieldIsShownWhileAnEmptyListShowsNothing)
{
    ToolSession s("TSTestTool2");
    s.LogIn();
    s.ui.texts["SF_Content"] = "";
    s.core.Send("btnUSF");  // the field at "URI" is now empty
    s.Forget();
    s.ui.texts["Result"] = "kept";
    s.core.Send("btnGSF");
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].title, "Result of GetShareField");
    EXPECT_EQ(s.ui.boxes[0].text, "");
    EXPECT_EQ(s.ui.texts["Result"], "");

    s.core.Send("btnRSF");
    s.ui.texts["RSF_Auth"] = "uri";  // the other seeded field: no share field left
    s.core.Send("btnRSF");
    s.Forget();
    s.ui.texts["Result"] = "kept";
    s.core.Send("btnGSFList");
    EXPECT_EQ(s.LastRequest()["operation"], "GetShareFieldList");
    EXPECT_TRUE(s.ui.boxes.empty());
    EXPECT_EQ(s.ui.texts["Result"], "kept");
}

TEST(Tool2, SharingAttendeesAndOwnersKeepTheirStateAcrossCalls)
{
    ToolSession s("TSTestTool2", {"--compress-threshold", "100"});
    s.LogIn();
    const auto shown = [&](const char* button) {
        s.Forget();
        s.core.Send(button);
        return s.ui.boxes.empty() ? std::string("(nothing)") : s.ui.boxes.back().title + ": " + s.ui.boxes.back().text;
    };
    EXPECT_EQ(shown("btnGAList"), "Result of GetAttendeesList: tester");
    EXPECT_EQ(shown("btnESAll"), "Result of AddAttendee: OK");
    EXPECT_EQ(shown("btnGAList"), "Result of GetAttendeesList: tester;Attendee");
    EXPECT_EQ(shown("btnGASF"), "Result of DeleteAttendee: OK");
    EXPECT_EQ(shown("btnChangeOwner"), "Result of ChangeOwner: OK");
    // StartSharing reads its reply back whole, also when it came compressed
    // and shorter than what it decodes to.
    const std::string address(2000, '7');
    s.ui.texts["SS_Auth"] = address;
    EXPECT_EQ(shown("btnSS"),
              "Result of StartSharing: <sharing uri=\"URI\" owner=\"newowner\" ipaddress=\"" + address + "\"/>");
    EXPECT_EQ(s.LastRequest()["encoding"], "compressed");
    s.ui.texts["SF_Content"] = "line 1\r\nline 2\r\n";
    EXPECT_EQ(shown("btnPSF"), "Result of PutShareField: sharefield://Author10/Name10");
    s.ui.texts["GSF_Auth"] = "sharefield://Author10/Name10";
    EXPECT_EQ(shown("btnGSF"), "Result of GetShareField: line 1\r\nline 2");
    EXPECT_EQ(shown("btnGASFList"), "Result of GetShareFieldURIList: URI;sharefield://Author10/Name10;uri");
}

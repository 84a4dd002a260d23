// TSTestTool4 (ACLs and messages), TSTestTool6 (VO lists, URIs and
// attributes) and TSTestTool8 (Folio resources) against the local service,
// through the real token library, with a recording window: the boxes several
// rows share, the ACL box's line-break rule, and what a person sees when they
// use the rows one after another.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <set>
#include <thread>
#include <tuple>

#include "Descriptions.h"
#include "FrontServer.h"
#include "RecordingUi.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "TempHome.h"
#include "TestHttpServer.h"
#include "Tester/TesterCore.h"
#include "Tester/ToolRegistry.h"
#include "ToolSession.h"

using namespace tessel::tester;

namespace {

const std::string kAcl = "<VOACL><control><user>xxx</user><access>rwdarawad</access></control></VOACL>";

// A recording window that also keeps the order in which buttons are switched.
class OrderUi : public RecordingUi {
public:
    void SetEnabled(const std::string& control, bool on) override
    {
        RecordingUi::SetEnabled(control, on);
        switched.emplace_back(control, on);
    }
    std::vector<std::pair<std::string, bool>> switched;
};

class ToolFixture : public LoginFixture {
protected:
    // Starts `program`'s core, connects to `description` (the local service's
    // by default) and logs in as tester.
    void Open(const std::string& program, const std::string& description = {})
    {
        tool = FindTool(program);
        ASSERT_NE(tool, nullptr) << program;
        core = std::make_unique<TesterCore>(*tool, ui, library);
        core->Start();
        ConnectAndLogIn(*core, ui, Soap1Login(*tool), description.empty() ? svc.MainDescription() : description);
    }

    // Presses a row's button; the request the service received.
    nlohmann::json Press(const std::string& button)
    {
        ui.boxes.clear();
        core->Send(button);
        return ReadLog(log).back();
    }

    // What a press shows: "title: text" of its one message box, or "(none)".
    std::string Shown(const std::string& button)
    {
        Press(button);
        return ui.boxes.empty() ? std::string("(none)") : ui.boxes.back().title + ": " + ui.boxes.back().text;
    }

    // The request's parameters after "user", in order, without "reskey".
    static std::vector<std::pair<std::string, std::string>> Own(const nlohmann::json& request)
    {
        std::vector<std::pair<std::string, std::string>> own;
        const nlohmann::json& params = request["parameters"];
        for (std::size_t i = 1; i + 1 < params.size(); ++i)
            own.emplace_back(params[i][0], params[i][1]);
        return own;
    }

    static std::string Sent(const nlohmann::json& request, const std::string& name)
    {
        for (const auto& [n, value] : Own(request))
            if (n == name)
                return value;
        ADD_FAILURE() << request["operation"] << " sent no " << name;
        return {};
    }

    OrderUi ui;
    const ToolDefinition* tool = nullptr;
    std::unique_ptr<TesterCore> core;
};

using Tool4 = ToolFixture;
using Tool6 = ToolFixture;
using Tool8 = ToolFixture;
using Captions = ToolFixture;

}  // namespace

// ---------------------------------------------------------------------------
// TSTestTool4: the ACL content box

TEST_F(Tool4, PutAclCutsTheFinalLineBreakFromTheBoxAndSendsWhatTheBoxShows)
{
    Open("TSTestTool4");
    ASSERT_EQ(ui.texts["ACL_Content"], kAcl + "\r\n");
    ui.texts["PutACL_uri"] = "item://new";
    const auto first = Press("btnPutACL");
    EXPECT_EQ(first["token"], "valid");
    EXPECT_EQ(first["encoding"], "plain");
    EXPECT_EQ(Own(first), (std::vector<std::pair<std::string, std::string>>{{"uri", "item://new"}, {"acl", kAcl}}));
    EXPECT_EQ(ui.texts["ACL_Content"], kAcl);
    // A second press sends the same text (the service refuses a second put of the same ACL).
    EXPECT_EQ(Sent(Press("btnPutACL"), "acl"), kAcl);
    EXPECT_EQ(ui.texts["ACL_Content"], kAcl);
}

TEST_F(Tool4, AContentEndingInTwoLineBreaksLosesOnePerPressOfEitherAclRow)
{
    Open("TSTestTool4");
    ui.texts["ACL_Content"] = kAcl + "\r\n\r\n";
    EXPECT_EQ(Sent(Press("btnPutACL"), "acl"), kAcl + "\r\n");
    EXPECT_EQ(ui.texts["ACL_Content"], kAcl + "\r\n");
    EXPECT_EQ(Sent(Press("btnUpdateACL"), "acl"), kAcl);
    EXPECT_EQ(ui.texts["ACL_Content"], kAcl);
    EXPECT_EQ(Sent(Press("btnUpdateACL"), "acl"), kAcl);
}

TEST_F(Tool4, OnlyAnExactTrailingCrLfIsCut)
{
    Open("TSTestTool4");
    // Each content as the box holds it, and what PutACL sends and leaves in the box.
    for (const auto& [content, sent] : std::vector<std::pair<std::string, std::string>>{
             {"", ""},
             {"\n", "\n"},
             {"\r", "\r"},
             {"x", "x"},
             {"\r\n", ""},
             {"a\n", "a\n"},
             {"a\r", "a\r"},
             {"a\n\r", "a\n\r"},
             {"a\r\nb", "a\r\nb"},
             {"a\r\n", "a"},
         }) {
        ui.texts["ACL_Content"] = content;
        const auto request = Press("btnPutACL");
        EXPECT_EQ(Sent(request, "acl"), sent) << nlohmann::json(content);
        EXPECT_EQ(ui.texts["ACL_Content"], sent) << nlohmann::json(content);
        EXPECT_EQ(request["token"], "valid") << nlohmann::json(content);
    }
    // The other rows take their boxes as typed.
    ui.texts["PM_MSG"] = "line\r\n";
    EXPECT_EQ(Sent(Press("PM_Button"), "message"), "line\r\n");
    EXPECT_EQ(ui.texts["PM_MSG"], "line\r\n");
}

TEST_F(Tool4, AnEditOfTheAclBoxIsWhatBothAclRowsSendAndWhatGetAclReadsBack)
{
    Open("TSTestTool4");
    const std::string first = "<VOACL><control><user>ann</user><access>rw</access></control></VOACL>";
    const std::string second = "<VOACL><control><user>ben</user><access>r</access></control></VOACL>";
    ui.texts["PutACL_uri"] = ui.texts["UpdateACL_uri"] = ui.texts["GetACL_uri"] = "item://7";
    ui.texts["ACL_Content"] = first + "\r\n";
    EXPECT_EQ(Shown("btnPutACL"), "Result of PutACL: OK");
    EXPECT_EQ(Shown("btnGetACL"), "Result of GetACL: " + first);
    ui.texts["ACL_Content"] = second;
    EXPECT_EQ(Shown("btnUpdateACL"), "Result of UpdateACL: OK");
    EXPECT_EQ(Sent(ReadLog(log).back(), "acl"), second);
    EXPECT_EQ(Shown("btnGetACL"), "Result of GetACL: " + second);
    EXPECT_EQ(ui.texts["Result"], second);
    ui.texts["DeleteACL_uri"] = "item://7";
    EXPECT_EQ(Shown("btnDeleteACL"), "Result of DeleteACL: OK");
    const std::string gone = Shown("btnGetACL");
    EXPECT_EQ(gone.rfind("Error on GetACL: The server answered with a fault: No ACL of the item", 0), 0u) << gone;
}

TEST_F(Tool4, EntriesArePutUpdatedReadAndDeletedUnderTheUserAndAccBoxes)
{
    Open("TSTestTool4");
    for (const char* box : {"PutACLEntry_uri", "UpdateACLEntry_uri", "GetACLEntry_uri", "DeleteACLEntry_uri"})
        ui.texts[box] = "item://8";
    for (const char* box : {"PutACLEntry_user", "UpdateACLEntry_user", "GetACLEntry_user", "DeleteACLEntry_user"})
        ui.texts[box] = "cy";
    ui.texts["PutACLEntry_acc"] = "r";
    ui.texts["UpdateACLEntry_acc"] = "rwd";
    EXPECT_EQ(Shown("btnPutACLEntry"), "Result of PutACLEntry: OK");
    EXPECT_EQ(Own(ReadLog(log).back()), (std::vector<std::pair<std::string, std::string>>{
                                            {"uri", "item://8"}, {"acluser", "cy"}, {"accright", "r"}}));
    EXPECT_EQ(Shown("btnGetACLEntry"), "Result of GetACLEntry: r");
    EXPECT_EQ(Shown("btnUpdateACLEntry"), "Result of UpdateACLEntry: OK");
    EXPECT_EQ(Shown("btnGetACLEntry"), "Result of GetACLEntry: rwd");
    EXPECT_EQ(Shown("btnDeleteACLEntry"), "Result of DeleteACLEntry: OK");
    const std::string gone = Shown("btnGetACLEntry");
    EXPECT_EQ(gone.rfind("Error on GetACLEntry: The server answered with a fault: No ACL entry for cy", 0), 0u)
        << gone;
}

TEST_F(Tool4, AMessageIsPutUpdatedReadAndRemoved)
{
    Open("TSTestTool4");
    // The defaults find the seeded message.
    EXPECT_EQ(Shown("GM_Button"), "Result of GetMessage: Message");
    EXPECT_EQ(Own(ReadLog(log).back()), (std::vector<std::pair<std::string, std::string>>{{"uri", "URI"}}));
    for (const char* box : {"PM_URI", "GM_URI", "UM_URI", "RM_URI"})
        ui.texts[box] = "item://9";
    ui.texts["PM_MSG"] = "hello";
    ui.texts["UM_MSG"] = "hello again";
    EXPECT_EQ(Shown("PM_Button"), "Result of PutMessage: OK");
    EXPECT_EQ(Shown("GM_Button"), "Result of GetMessage: hello");
    EXPECT_EQ(Shown("UM_Button"), "Result of UpdateMessage: OK");
    EXPECT_EQ(Shown("GM_Button"), "Result of GetMessage: hello again");
    EXPECT_EQ(Shown("RM_Button"), "Result of RemoveMessage: OK");
    EXPECT_EQ(Own(ReadLog(log).back()), (std::vector<std::pair<std::string, std::string>>{{"uri", "item://9"}}));
    EXPECT_EQ(Shown("GM_Button").rfind("Error on GetMessage: ", 0), 0u);
    // A fault leaves the tool and the session usable.
    EXPECT_TRUE(ui.enabled["GM_Button"]);
    EXPECT_EQ(Shown("btnGetACL"), "Result of GetACL: <VOACL><control><user>user</user><access>acc</access></control>"
                                  "</VOACL>");
}

// ---------------------------------------------------------------------------
// TSTestTool6: VO URIs and attributes, share-field URIs and attributes

TEST_F(Tool6, TheDefaultTextsFindTheSeededVosAndShareField)
{
    Open("TSTestTool6");
    EXPECT_EQ(Shown("btnGetVOURI"), "Result of GetVOURI: vouri");
    EXPECT_EQ(Own(ReadLog(log).back()),
              (std::vector<std::pair<std::string, std::string>>{{"vouser", "vouser"}, {"name", "voname"}}));
    EXPECT_NE(Shown("btnGetVOAttribute").find("<vo name=\"voname\" uri=\"vouri\" owner=\"vouser\""),
              std::string::npos);
    EXPECT_EQ(Own(ReadLog(log).back()), (std::vector<std::pair<std::string, std::string>>{{"uri", "vouri"}}));
    EXPECT_EQ(Shown("btnGetShareFieldURI"), "Result of GetShareFieldURI: uri");
    EXPECT_NE(Shown("btnGetShareFieldAttribute").find("author=\"author\" name=\"name\""), std::string::npos);
    EXPECT_NE(Shown("btnGetAllVOUserList").find("vouser"), std::string::npos);
    EXPECT_EQ(Shown("BtnRemoveVOURI"), "Result of RemoveVOURI: OK");
    EXPECT_EQ(Shown("btnGetAllVOURIList").find(";uri;"), std::string::npos);
}

TEST_F(Tool6, GetVoUriAndPutVoUriSendNameFromTheirOwnBoxes)
{
    Open("TSTestTool6");
    EXPECT_EQ(Sent(Press("BtnPutVOURI"), "name"), "name");
    EXPECT_EQ(Sent(Press("btnGetVOURI"), "name"), "voname");
    // An edit of one row's box leaves the other row's alone.
    ui.texts["voname"] = "Plan";
    EXPECT_EQ(Sent(Press("BtnPutVOURI"), "name"), "name");
    EXPECT_EQ(Sent(Press("btnGetVOURI"), "name"), "Plan");
}

TEST_F(Tool6, AVoUriIsPutFoundDescribedAndRemoved)
{
    Open("TSTestTool6");
    ui.texts["PutVOURI_vouser"] = ui.texts["vouser"] = "carol";
    ui.texts["PutVOURI_name"] = ui.texts["voname"] = "Plan";
    const std::string put = Shown("BtnPutVOURI");
    ASSERT_EQ(put.rfind("Result of PutVOURI: ", 0), 0u) << put;
    const std::string uri = put.substr(std::string("Result of PutVOURI: ").size());
    EXPECT_EQ(Shown("btnGetVOURI"), "Result of GetVOURI: " + uri);
    ui.texts["vouri"] = uri;
    EXPECT_NE(Shown("btnGetVOAttribute").find("owner=\"carol\""), std::string::npos);
    EXPECT_NE(Shown("btnGetAllVOList").find("Plan"), std::string::npos);
    EXPECT_NE(Shown("btnGetAllVOUserList").find("carol"), std::string::npos);
    ui.texts["RemoveVOURI_URI"] = uri;
    EXPECT_EQ(Shown("BtnRemoveVOURI"), "Result of RemoveVOURI: OK");
    EXPECT_EQ(Shown("btnGetAllVOURIList").find(uri), std::string::npos);
    EXPECT_EQ(Shown("btnGetVOURI").rfind("Error on GetVOURI: ", 0), 0u);
}

TEST_F(Tool6, LoginEnablesInItsOwnOrderAndLogoutDisablesInTheSame)
{
    // A description without the two list rows and PutVOURI.
    const std::set<std::string> missing = {"GetAllVOURIList", "GetAllVOUserList", "PutVOURI"};
    FrontServer front(svc, [&](const std::string& m) { return !missing.count(m); });
    ui.switched.clear();
    Open("TSTestTool6", front.Url("/partial.xml"));
    const std::vector<std::string> order = {"GetAllVOList",     "GetAllVOURIList",  "GetAllVOUserList",
                                            "GetVOURI",         "GetVOAttribute",   "GetShareFieldURI",
                                            "GetShareFieldAttribute", "PutVOURI",   "RemoveVOURI"};
    // Each row's button is switched off, then on when declared: in the order above.
    std::vector<std::pair<std::string, bool>> expected;
    for (const std::string& m : order) {
        expected.emplace_back(tool->RowOfMethod(m)->button, false);
        if (!missing.count(m))
            expected.emplace_back(tool->RowOfMethod(m)->button, true);
    }
    ASSERT_GE(ui.switched.size(), expected.size());
    EXPECT_EQ(std::vector(ui.switched.end() - static_cast<std::ptrdiff_t>(expected.size()), ui.switched.end()),
              expected);
    for (const Row& row : tool->rows)
        EXPECT_EQ(ui.enabled[row.button], !missing.count(row.method)) << row.method;

    ui.switched.clear();
    core->CloseSession();
    std::vector<std::string> disabled;
    for (const auto& [button, on] : ui.switched)
        if (!on && tool->RowOfButton(button))
            disabled.push_back(button);
    EXPECT_EQ(disabled, (std::vector<std::string>{"btnGetAllVOList", "btnGetAllVOURIList", "btnGetAllVOUserList",
                                                  "btnGetVOURI", "btnGetVOAttribute", "btnGetShareFieldURI",
                                                  "btnGetShareFieldAttribute", "BtnPutVOURI", "BtnRemoveVOURI"}));
}

// ---------------------------------------------------------------------------
// TSTestTool8: the attribute block

TEST_F(Tool8, TheAttributeBlockIsSentWholeByPutAndItsFirstSevenByUpdateAndRemove)
{
    Open("TSTestTool8");
    const std::vector<std::string> boxes = {"PVORAname", "PVORAmodulename", "PVORAcreator",
                                            "PVORAversion", "PVORAtype", "PVORAid",
                                            "PVORAdescription", "PVORAurlleaf", "PVORAprops"};
    const std::vector<std::string> names = {"name", "modulename", "creator", "version", "type",
                                            "id", "description", "urlleaf", "props"};
    const std::vector<std::string> edits = {"Guide", "docs",    "gil",       "2",     "pdf",
                                            "G-1",   "A guide", "guide.pdf", "public"};
    for (std::size_t i = 0; i < boxes.size(); ++i)
        ui.texts[boxes[i]] = edits[i];
    std::vector<std::pair<std::string, std::string>> all;
    for (std::size_t i = 0; i < names.size(); ++i)
        all.emplace_back(names[i], edits[i]);
    const std::vector<std::pair<std::string, std::string>> seven(all.begin(), all.begin() + 7);

    EXPECT_EQ(Own(Press("btnPutVOResourcewithAttribute")), all);
    EXPECT_EQ(Own(Press("btnUpdateVOResourceAttribute")), seven);
    EXPECT_EQ(Own(Press("btnRemoveVOResourceAttribute")), seven);
    // One more edit of the block reaches all three rows.
    ui.texts["PVORAdescription"] = "A better guide";
    ui.texts["PVORAprops"] = "private";
    all[6].second = "A better guide";
    all[8].second = "private";
    EXPECT_EQ(Own(Press("btnPutVOResourcewithAttribute")), all);
    EXPECT_EQ(Sent(Press("btnUpdateVOResourceAttribute"), "description"), "A better guide");
    EXPECT_EQ(Sent(Press("btnRemoveVOResourceAttribute"), "description"), "A better guide");
    EXPECT_EQ(ReadLog(log).back()["token"], "valid");
}

TEST_F(Tool8, AResourceWithAttributesIsPutListedUpdatedAndRemoved)
{
    Open("TSTestTool8");
    const std::vector<std::pair<std::string, std::string>> block = {
        {"PVORAname", "Guide"}, {"PVORAmodulename", "docs"}, {"PVORAcreator", "gil"},
        {"PVORAversion", "2"},  {"PVORAtype", "pdf"},       {"PVORAid", "G-1"},
        {"PVORAdescription", "A guide"}, {"PVORAurlleaf", "guide.pdf"}, {"PVORAprops", "public"}};
    for (const auto& [box, text] : block)
        ui.texts[box] = text;
    EXPECT_EQ(Shown("btnPutVOResourcewithAttribute"),
              "Result of PutVOResourcewithAttribute: " + svc.Url("/Folio/guide.pdf"));
    ui.texts["GVORALmodulename"] = "docs";
    EXPECT_NE(Shown("BtnGetVOResourceAttributeList").find("name=\"Guide\""), std::string::npos);
    EXPECT_NE(Shown("btnGetVOResourceModuleNameList").find("docs"), std::string::npos);

    ui.texts["UVORURLname"] = ui.texts["UVORPname"] = ui.texts["GVORURLname"] = ui.texts["GVORAname"] = "Guide";
    ui.texts["UVORURLurlleaf"] = "guide-2.pdf";
    ui.texts["UVORPprops"] = "private";
    EXPECT_EQ(Shown("btnUpdateVOResourceURL"), "Result of UpdateVOResourceURL: OK");
    EXPECT_EQ(Shown("btnGetVOResourceURL"), "Result of GetVOResourceURL: " + svc.Url("/Folio/guide-2.pdf"));
    EXPECT_EQ(Shown("btnUpdateVOResourceProps"), "Result of UpdateVOResourceProps: OK");
    EXPECT_NE(Shown("btnGetVOResourceAttribute").find("props=\"private\""), std::string::npos);

    // The block moves the resource to another module.
    ui.texts["PVORAmodulename"] = "manuals";
    EXPECT_EQ(Shown("btnUpdateVOResourceAttribute"), "Result of UpdateVOResourceAttribute: OK");
    EXPECT_EQ(Shown("BtnGetVOResourceAttributeList").find("Guide"), std::string::npos);
    EXPECT_NE(Shown("BtnGetAllVOResourceAttributeList").find("modulename=\"manuals\""), std::string::npos);
    EXPECT_EQ(Shown("btnRemoveVOResourceAttribute"), "Result of RemoveVOResourceAttribute: OK");
    EXPECT_EQ(Shown("btnGetVOResourceAttribute").find("modulename"), std::string::npos);

    ui.texts["RVORname"] = "Guide";
    EXPECT_EQ(Shown("btnRemoveVOResource"), "Result of RemoveVOResource: OK");
    EXPECT_EQ(Shown("btnGetVOResourceURL").rfind("Error on GetVOResourceURL: ", 0), 0u);
}

TEST_F(Tool8, TheDefaultTextsFindTheSeededResources)
{
    Open("TSTestTool8");
    EXPECT_EQ(Shown("btnGetVOResourceURL"), "Result of GetVOResourceURL: " + svc.Url("/Folio/urlleaf"));
    EXPECT_NE(Shown("btnGetVOResourceAttribute").find("<resource name=\"name\""), std::string::npos);
    EXPECT_EQ(Shown("btnGetVOResourceModuleNameList"), "Result of GetVOResourceModuleNameList: modulename");
    EXPECT_EQ(Shown("btnRemoveVOResource"), "Result of RemoveVOResource: OK");
    // The module still lists its other resource.
    EXPECT_NE(Shown("BtnGetVOResourceAttributeList").find("name=\"handbook\""), std::string::npos);
    EXPECT_EQ(Shown("btnPutVOResourcewithAttribute"), "Result of PutVOResourcewithAttribute: " +
                                                          svc.Url("/Folio/urlleaf"));
}

// A login whose CreateTicket reply is an HTML page that starts with a document
// type: TSTestTool8 shows it as an error page, the other tools report that it
// is not a SOAP reply.
TEST(LoginErrorPages, OnlyTool8TakesADocTypePageForAnErrorPage)
{
    TempHome home;
    const std::string page = "<!DOCTYPE html><html><body>Service down</body></html>";
    std::string description;
    const TestHttpServer server([&](httplib::Server& s) {
        s.Get("/d.xml", [&](const httplib::Request&, httplib::Response& res) {
            res.set_content(description, "text/xml");
        });
        s.Post("/soap", [&](const httplib::Request&, httplib::Response& res) { res.set_content(page, "text/html"); });
    });
    description = tessel::server::Description(tessel::server::Interface::Main,
                                              tessel::server::DescriptionStyle::RpcEncoded, server.Url("/soap"));

    tessel::client::TokenLibrary library;
    for (const char* program : {"TSTestTool4", "TSTestTool6", "TSTestTool8"}) {
        RecordingUi ui;
        TesterCore core(*FindTool(program), ui, library);
        core.Start();
        ui.texts["txtURI"] = server.Url("/d.xml");
        core.Connect();
        core.CreateTicket();
        ASSERT_EQ(ui.boxes.size(), 1u) << program;
        if (std::string(program) == "TSTestTool8") {
            EXPECT_EQ(ui.boxes[0].title, "SOAP XML Payload - Error");
            EXPECT_EQ(ui.boxes[0].text, page);
        } else {
            EXPECT_EQ(ui.boxes[0].title, "Error on CreateTicket") << program;
        }
        EXPECT_FALSE(ui.enabled["CloseSession"]) << program;
    }
}

// ---------------------------------------------------------------------------
// Captions before and after a connect

TEST_F(Captions, EachToolsCaptionAtStartAndOnceADescriptionIsLoaded)
{
    const std::vector<std::tuple<std::string, std::string, std::string>> captions = {
        {"TSTestTool4", "TesselService SOAP Interface TestTool #4 (ACL)",
         "TesselService SOAP Interface TestTool #4 (ACL) - "},
        {"TSTestTool6", "TesselService SOAP Interface TestTool #6 (V1.1 #1)",
         "TesselService SOAP Interface TestTool #6 (V1.1 #1) - "},
        {"TSTestTool8", "TesselService SOAP Interface TestTool #8 ( FolioResource)",
         "TesselService SOAP Interface TestTool V1.1 #8 (Folio Resource) - "},
    };
    for (const auto& [program, start, connected] : captions) {
        RecordingUi recording;
        TesterCore c(*FindTool(program), recording, library);
        c.Start();
        EXPECT_EQ(recording.caption, start);
        EXPECT_EQ(recording.texts["txtURI"], "http://localhost:8080/TesselService/TesselServiceCore.xml");
        recording.texts["txtURI"] = svc.MainDescription();
        c.Connect();
        EXPECT_EQ(recording.caption, connected + svc.MainDescription());
        EXPECT_TRUE(recording.enabled["CreateTicket"]);
        EXPECT_FALSE(recording.enabled["CloseSession"]);
    }
}

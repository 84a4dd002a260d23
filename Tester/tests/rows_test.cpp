// One body over every row of every SOAP 1.0 tool, against the local service
// and the real token library: each row passes or fails under its own name.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>

#include "CallSession.h"
#include "Catalog/Catalog.h"
#include "Client/TextRules.h"
#include "FrontServer.h"
#include "RecordingUi.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "TempHome.h"
#include "Tester/TesterCore.h"
#include "Tester/ToolRegistry.h"
#include "ToolRows.h"
#include "ToolSession.h"

using namespace tessel::tester;

namespace {

using ToolRow = tessel::ToolRow<ToolDefinition>;

// What a parameter's default text sends, by its take rule.
std::string SentFor(const Param& p, std::string text)
{
    if (p.take != Take::AsTyped)
        tessel::client::CutTrailingCrLf(text);
    return p.take == Take::JoinTrimmedLines ? tessel::client::JoinTrimmedLines(text) : text;
}

class EveryRow : public BasicLoginFixture<::testing::TestWithParam<ToolRow>> {
protected:
    const ToolDefinition& tool() const { return *GetParam().tool; }
    const Row& row() const { return *GetParam().row; }
    bool admin() const { return tessel::catalog::Find(row().method)->iface == tessel::catalog::Interface::Admin; }

    // Connects to `description`, logs in as tester, and connects the admin
    // interface when the row needs it.
    void LogIn(const std::string& description)
    {
        core.Start();
        ConnectAndLogIn(core, ui, Soap1Login(tool()), description);
        if (admin() && !HasFatalFailure()) {
            ui.texts[tool().admin->uriBox] = svc.AdminDescription();
            core.ConnectAdmin();
            ui.boxes.clear();
        }
    }

    RecordingUi ui;
    TesterCore core{tool(), ui, library};
};

}  // namespace

TEST(ToolDefinitions, HaveNoProblems)
{
    ASSERT_FALSE(RegisteredTools().empty());
    for (const ToolDefinition* tool : RegisteredTools()) {
        const std::vector<std::string> problems = Problems(*tool);
        EXPECT_TRUE(problems.empty()) << tool->program << ": " << problems.front();
    }
}

TEST_P(EveryRow, SendsItsDefaultsUnderTheCatalogsNamesInOrder)
{
    LogIn(svc.MainDescription());
    ASSERT_TRUE(ui.enabled[row().button]);
    core.Send(row().button);
    const nlohmann::json sent = ReadLog(log).back();
    ASSERT_EQ(sent["operation"], row().method);
    const std::vector<std::string>& names = tessel::catalog::Find(row().method)->params;
    const nlohmann::json& params = sent["parameters"];
    ASSERT_EQ(params.size(), names.size() + 2);
    EXPECT_EQ(params.front()[0], "user");
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Param& p = row().params[i];
        EXPECT_EQ(params[i + 1], LoggedParameter(names[i], SentFor(p, tool().BoxNamed(p.box)->text))) << p.box;
    }
    EXPECT_EQ(params.back(), LoggedParameter("reskey", ""));
    EXPECT_EQ(sent["token"], "valid");
}

// The request with the token it carries as "user" left out: a token's nonce
// and time stamp differ from call to call.
std::string WithoutToken(const std::string& request)
{
    static const std::regex user(R"((<(?:[A-Za-z_][\w.-]*:)?user\b[^>]*>)[^<]*(</))");
    return std::regex_replace(request, user, "$1$2", std::regex_constants::format_first_only);
}

TEST_P(EveryRow, SendsTheBytesTesselCallSendsForTheSameValues)
{
    if (row().beforeToken || row().afterToken)
        GTEST_SKIP() << "a step of the row's own changes the token";
    std::vector<tessel::client::Slot> values;
    const std::vector<std::string>& names = tessel::catalog::Find(row().method)->params;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Param& p = row().params[i];
        if (p.send == Send::SlotReadBack)
            GTEST_SKIP() << "the row sends a value read back from the token";
        values.emplace_back(names[i], SentFor(p, tool().BoxNamed(p.box)->text));
    }
    LogIn(svc.MainDescription());
    core.Send(row().button);
    const std::string fromTool = ui.exchange.request;
    ASSERT_NE(fromTool.find(row().method), std::string::npos);

    std::string fromCall;
    tessel::call::CallSession session(library, [&](const tessel::client::Exchange& e) {
        if (e.method == row().method)
            fromCall = e.request;
    });
    const tessel::catalog::Interface iface = admin() ? tessel::catalog::Interface::Admin : tessel::catalog::Interface::Main;
    session.Load(tessel::catalog::Interface::Main, svc.MainDescription());
    if (admin())
        session.Load(iface, svc.AdminDescription());
    session.LogIn({.user = "tester", .password = "tester"});
    session.Call(iface, row().method, values);
    session.LogOut();
    EXPECT_EQ(WithoutToken(fromCall), WithoutToken(fromTool));
    EXPECT_NE(WithoutToken(fromTool), fromTool) << "the request carries no token";
}

TEST_P(EveryRow, ShowsItsPayloadsAndTitlesItsReplyWithItsMethod)
{
    LogIn(svc.MainDescription());
    ui.checked["chkShowPackets"] = true;
    core.Send(row().button);
    const std::string& m = row().method;
    ASSERT_GE(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].title, "SOAP XML Payload - Client to Server(" + m + ")");
    EXPECT_EQ(ui.boxes[0].text, ui.texts[tool().requestBox]);
    EXPECT_EQ(ui.boxes[1].title, "SOAP XML Payload -  Server To Client(" + m + ")");
    EXPECT_EQ(ui.boxes[1].text, ui.texts[tool().responseBox]);
    ASSERT_LE(ui.boxes.size(), 3u);  // then the result, a trapped error, or nothing for an empty result
    if (ui.boxes.size() == 3) {
        const std::string last = ui.boxes[2].title;
        EXPECT_TRUE(last == tool().resultTitlePrefix + m || last == "Error on " + m) << last;
    }
}

TEST_P(EveryRow, IsEnabledAfterLoginOnlyWhenTheDescriptionDeclaresIt)
{
    if (admin())
        GTEST_SKIP() << "the admin connection enables the admin rows";
    FrontServer front(svc, [&](const std::string& m) { return m != row().method; });
    LogIn(front.Url("/partial.xml"));
    for (const Row& other : tool().rows)
        if (tessel::catalog::Find(other.method)->iface == tessel::catalog::Interface::Main) {
            EXPECT_EQ(ui.enabled[other.button], other.method != row().method) << other.method;
        }
}

INSTANTIATE_TEST_SUITE_P(AllTools, EveryRow, ::testing::ValuesIn(tessel::AllRowsOf(RegisteredTools())),
                         tessel::RowTestName<ToolDefinition>);

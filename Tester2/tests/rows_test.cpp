// One body over every row of every SOAP 2.0 tool, against the local service,
// the real token library and the SOAP 2.0 client object: each row passes or
// fails under its own name.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Catalog/Catalog.h"
#include "Client/TextRules.h"
#include "FrontServer.h"
#include "LoginFixture.h"
#include "RecordingUi.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "TempHome.h"
#include "Tester2/Soap2Core.h"
#include "Tester2/Soap2ToolRegistry.h"
#include "ToolRows.h"

using namespace tessel::tester2;

namespace {

using ToolRow = tessel::ToolRow<Soap2ToolDefinition>;

// A text of its own for each box, with line breaks and blanks in the boxes
// of several lines.
std::string OwnText(const Box& box)
{
    if (box.kind == BoxKind::Line)
        return "[" + box.name + "]";
    return "  [" + box.name + "] one  \r\n  two \r\n";
}

// What a parameter sends for a box's text, by its take rule.
std::string SentFor(const Param& p, std::string text)
{
    if (p.take == Take::AsTyped)
        return text;
    tessel::client::CutTrailingCrLf(text);
    return tessel::client::JoinTrimmedLines(text);
}

const LoginControls kSoap2Login{
    .description = kWsdlBox, .user = kUserNameBox, .password = kPasswordBox, .loggedIn = kCloseSessionButton};

class EveryRow : public BasicLoginFixture<::testing::TestWithParam<ToolRow>> {
protected:
    const Soap2ToolDefinition& tool() const { return *GetParam().tool; }
    const Row& row() const { return *GetParam().row; }

    void LogIn(const std::string& description)
    {
        core.Start();
        ConnectAndLogIn(core, ui, kSoap2Login, description);
    }
    void GiveEveryBoxItsOwnText()
    {
        for (const Param& p : row().params)
            ui.texts[p.box] = OwnText(*tool().BoxNamed(p.box));
    }
    // The boxes of one press are the result and reply boxes, or the error box.
    // Returns whether the call was answered.
    bool CheckTheBoxesOfOnePress(Outcome outcome)
    {
        const Titles& t = row().titles;
        if (outcome == Outcome::Completed) {
            EXPECT_EQ(ui.Titles(), (std::vector<std::string>{t.result, t.reply}));
            if (ui.boxes.size() == 2) {
                EXPECT_EQ(ui.boxes[0].text, core.session().resultText);
                EXPECT_EQ(ui.boxes[1].text, ui.texts[kResultBox]);
                EXPECT_EQ(ui.boxes[0].icon, Icon::None);
                EXPECT_EQ(ui.boxes[1].icon, Icon::None);
                EXPECT_EQ(ui.boxes[1].text, ui.boxes[0].text);  // plain results read back as they came
            }
        } else {
            EXPECT_EQ(ui.Titles(), std::vector<std::string>{t.error});
            if (ui.boxes.size() == 1) {
                EXPECT_FALSE(ui.boxes[0].text.empty());
                EXPECT_EQ(ui.boxes[0].icon, Icon::Exclamation);
                EXPECT_EQ(ui.texts[kResultBox], ui.boxes[0].text);
            }
        }
        EXPECT_FALSE(ui.waiting);
        ui.boxes.clear();
        return outcome == Outcome::Completed;
    }

    RecordingUi ui;
    Soap2Core core{tool(), ui, library};
};

}  // namespace

TEST(Soap2ToolDefinitions, HaveNoProblems)
{
    ASSERT_FALSE(RegisteredSoap2Tools().empty());
    for (const Soap2ToolDefinition* tool : RegisteredSoap2Tools()) {
        const std::vector<std::string> problems = Problems(*tool);
        EXPECT_TRUE(problems.empty()) << tool->program << ": " << problems.front();
    }
}

TEST_P(EveryRow, SendsItsBoxTextsInOrderUnderTheCatalogsNames)
{
    LogIn(svc.Soap2Description());
    GiveEveryBoxItsOwnText();
    core.Send(row().button);
    const nlohmann::json sent = ReadLog(log).back();
    ASSERT_EQ(sent["operation"], row().method);
    const std::vector<std::string>& names = tessel::catalog::Find(row().method)->params;
    const nlohmann::json& params = sent["parameters"];
    ASSERT_EQ(params.size(), names.size() + 2);
    EXPECT_EQ(params.front()[0], "user");
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Param& p = row().params[i];
        EXPECT_EQ(params[i + 1], LoggedParameter(names[i], SentFor(p, OwnText(*tool().BoxNamed(p.box))))) << p.box;
    }
    EXPECT_EQ(params.back(), LoggedParameter("reskey", ""));
    EXPECT_EQ(sent["token"], "valid");
}

TEST_P(EveryRow, ShowsItsResultAndReplyTitlesOrItsErrorTitle)
{
    LogIn(svc.Soap2Description());
    // The defaults find what the seed data holds, texts of their own find
    // nothing: one of the two is answered even by a row that makes something.
    bool answered = CheckTheBoxesOfOnePress(core.Send(row().button));
    GiveEveryBoxItsOwnText();
    answered = CheckTheBoxesOfOnePress(core.Send(row().button)) || answered;
    EXPECT_TRUE(answered);
    // Operations never change the buttons.
    EXPECT_TRUE(ui.enabled[row().button]);
    EXPECT_FALSE(ui.enabled[kCreateTicketButton]);
}

TEST_P(EveryRow, ShowsItsErrorTitleWhenTheServiceIsGone)
{
    LogIn(svc.Soap2Description());
    svc.Stop();
    ui.texts[kResultBox] = "before";
    EXPECT_EQ(core.Send(row().button), Outcome::Failed);
    ASSERT_EQ(ui.Titles(), std::vector<std::string>{row().titles.error});
    EXPECT_EQ(ui.boxes[0].text.find("Could not connect to " + svc.Url("/TesselService2/TesselServiceCore.asmx")), 0u)
        << ui.boxes[0].text;
    EXPECT_EQ(ui.boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(ui.texts[kResultBox], ui.boxes[0].text);
    EXPECT_TRUE(ui.enabled[row().button]);
}

TEST_P(EveryRow, IsEnabledAfterLoginEvenWhenTheDescriptionLacksIt)
{
    FrontServer front(svc, [&](const std::string& m) { return m != row().method; });
    LogIn(front.Url("/partial.xml"));
    for (const Row& other : tool().rows)
        EXPECT_TRUE(ui.enabled[other.button]) << other.method;
}

INSTANTIATE_TEST_SUITE_P(AllTools, EveryRow, ::testing::ValuesIn(tessel::AllRowsOf(RegisteredSoap2Tools())),
                         tessel::RowTestName<Soap2ToolDefinition>);

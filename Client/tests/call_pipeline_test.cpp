// The call pipeline's login and logout over a carrier that records what it is
// given and answers as a test says, and the take and send rules over boxes
// held in a map; the token steps go through the real token library.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Client/CallPipeline.h"
#include "TempHome.h"

using namespace tessel::client;

namespace {

struct Sent {
    std::string message;
    std::vector<Slot> params;
};

// Answers each message with the values a test gives it (empty texts when it
// gives none), or ends the step at `stopAt`.
struct RecordingCarrier {
    std::vector<Sent> sent;
    std::map<std::string, std::vector<std::string>> answers;
    std::string stopAt;

    SessionCarrier carrier()
    {
        return [this](const std::string& m, const std::vector<Slot>& p,
                      const std::vector<std::string>& wanted) -> std::optional<std::vector<std::string>> {
            sent.push_back({m, p});
            if (m == stopAt)
                return std::nullopt;
            std::vector<std::string> values = answers[m];
            values.resize(wanted.size());
            return values;
        };
    }
};

struct MapBoxes : Boxes {
    std::map<std::string, std::string> texts;
    std::string Text(const std::string& control) override { return texts[control]; }
    void SetText(const std::string& control, const std::string& text) override { texts[control] = text; }
};

class Pipeline : public ::testing::Test {
protected:
    TempHome home;
    TokenLibrary library;
    SessionState state;
    CallPipeline pipeline{library, state};
    RecordingCarrier wire;
    const LoginValues login{.user = "tester", .password = "secret"};
};

}  // namespace

TEST_F(Pipeline, LogsInWithTheTicketAndTheHandlersSchemeAndSeed)
{
    wire.answers["CreateTicket"] = {"T-1"};
    wire.answers["OpenSession"] = {"key", "verifier"};
    ASSERT_EQ(pipeline.LogIn(wire.carrier(), login, EmptyTicket::EndsLogin), LoginEnd::LoggedIn);
    ASSERT_EQ(wire.sent.size(), 2u);
    EXPECT_EQ(wire.sent[0].message, "CreateTicket");
    const std::vector<Slot>& ticket = wire.sent[0].params;
    ASSERT_EQ(ticket.size(), 5u);
    EXPECT_EQ(ticket[0].second, kDefaultAuthority);
    EXPECT_EQ(ticket[1].second, kDefaultRealm);
    EXPECT_EQ(ticket[2].second, "tester");
    EXPECT_EQ(ticket[3].second, "secret");

    const std::vector<Slot>& open = wire.sent[1].params;
    ASSERT_EQ(open.size(), 6u);
    EXPECT_EQ(open[0].second, kDefaultService);
    EXPECT_EQ(open[1].second, "T-1");
    EXPECT_EQ(open[2].second, state.tokenScheme);
    EXPECT_EQ(open[3].second, state.tokenSeed);
    EXPECT_FALSE(state.tokenSeed.empty());
    EXPECT_TRUE(state.loggedIn);
    EXPECT_TRUE(state.handlerHeld);
    EXPECT_EQ(state.sessionKey, "key");
    EXPECT_EQ(state.verifier, "verifier");

    pipeline.LogOut(wire.carrier(), AtLogout::ReleaseHandler);
    ASSERT_EQ(wire.sent.size(), 3u);
    EXPECT_EQ(wire.sent[2].message, "CloseSession");
    EXPECT_EQ(wire.sent[2].params, (std::vector<Slot>{{"sessionKey", "key"}, {"verifier", "verifier"}}));
    EXPECT_FALSE(state.loggedIn);
    EXPECT_FALSE(state.handlerHeld);
}

TEST_F(Pipeline, AnEmptyTicketEndsTheLoginOrGoesOnAsTheFamilySays)
{
    EXPECT_EQ(pipeline.LogIn(wire.carrier(), login, EmptyTicket::EndsLogin), LoginEnd::NoTicket);
    EXPECT_EQ(wire.sent.size(), 1u);
    EXPECT_FALSE(state.handlerHeld);

    // Going on, OpenSession carries the empty ticket and gives no session key.
    EXPECT_EQ(pipeline.LogIn(wire.carrier(), login, EmptyTicket::GoesOn), LoginEnd::NoSessionKey);
    ASSERT_EQ(wire.sent.size(), 3u);
    EXPECT_EQ(wire.sent[2].message, "OpenSession");
    EXPECT_EQ(wire.sent[2].params[1].second, "");
    EXPECT_TRUE(state.handlerHeld);
    EXPECT_FALSE(state.loggedIn);
    pipeline.LogOut(wire.carrier(), AtLogout::KeepHandler);
    EXPECT_TRUE(state.handlerHeld);  // the SOAP 2.0 tools never release theirs
    pipeline.tokens().Release(state.tokenHandler);
}

TEST_F(Pipeline, ACarrierThatEndsAStepEndsTheLogin)
{
    wire.stopAt = "CreateTicket";
    EXPECT_EQ(pipeline.LogIn(wire.carrier(), login, EmptyTicket::GoesOn), LoginEnd::Stopped);
    EXPECT_EQ(wire.sent.size(), 1u);

    wire.stopAt = "OpenSession";
    wire.answers["CreateTicket"] = {"T-2"};
    EXPECT_EQ(pipeline.LogIn(wire.carrier(), login, EmptyTicket::EndsLogin), LoginEnd::Stopped);
    EXPECT_EQ(wire.sent.size(), 3u);
    EXPECT_EQ(state.ticket, "T-2");
    EXPECT_FALSE(state.loggedIn);
    pipeline.tokens().Release(state.tokenHandler);
}

TEST(CallRules, TakeAndSendAValueEachByItsRule)
{
    MapBoxes boxes;
    boxes.texts = {{"typed", "a\r\n"}, {"cut", "b\r\n"}, {"joined", "  select *\r\n  from t  \r\n"}};
    const std::vector<Param> params = {"typed", {"cut", Take::CutTrailingCrLf}, {"joined", Take::JoinTrimmedLines}};
    const std::vector<std::string> values = CallPipeline::TakeValues(params, boxes);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0], "a\r\n");  // as typed, its box untouched
    EXPECT_EQ(boxes.texts["typed"], "a\r\n");
    EXPECT_EQ(values[1], "b");
    EXPECT_EQ(boxes.texts["cut"], "b");  // the break is cut from the box itself
    EXPECT_EQ(values[2], JoinTrimmedLines("  select *\r\n  from t  "));
    EXPECT_EQ(boxes.texts["joined"], "  select *\r\n  from t  ");

    // After the token, a box its rule reads as it stands is read again; a
    // built statement goes as it was built.
    boxes.texts["typed"] = "changed";
    boxes.texts["cut"] = "changed too";
    boxes.texts["joined"] = "not read again";
    TempHome home;
    TokenLibrary library;
    SessionState state;
    CallPipeline pipeline(library, state);
    const std::vector<Slot> slots = {{"p1", values[0]}, {"p2", values[1]}, {"p3", values[2]}};
    const std::vector<Slot> sent = pipeline.Sent(params, slots, boxes);
    EXPECT_EQ(sent, (std::vector<Slot>{{"p1", "changed"}, {"p2", "changed too"}, {"p3", values[2]}}));
}

TEST(CallRules, AReplyWithoutATokenEndsTheCallWhereTheRuleSaysSo)
{
    TempHome home;
    TokenLibrary library;
    SessionState state;
    CallPipeline pipeline(library, state);
    CallOutcome outcome{.method = "GetVOContent"};
    const ReplyRead read = pipeline.ReadReply(Reply::AtLeastOneMiBUnlessNoReplyToken, "GetVOContent", "x", outcome);
    EXPECT_TRUE(read.ended);
    EXPECT_FALSE(read.show);
    EXPECT_FALSE(outcome.validated);
}

TEST(CallRules, ARowIsCheckedAgainstTheCatalog)
{
    std::vector<std::string> problems;
    const auto declared = [](const std::string& box) { return box != "missing"; };
    CheckRow("btn1", "NoSuchOperation", {}, declared, problems);
    CheckRow("btn2", "GetLogCount", {"x"}, declared, problems);
    CheckRow("btn3", "GetLog", {"missing"}, declared, problems);
    CheckNamesOnce({{"twice", 2}, {"once", 1}}, problems);
    EXPECT_EQ(problems, (std::vector<std::string>{"btn1: the catalog lists no operation NoSuchOperation",
                                                  "GetLogCount: 1 boxes for 0 parameters", "GetLog: no box named missing",
                                                  "twice is declared 2 times"}));
}

// The token inspector over what tessel-call's session recorded of real calls
// to the local service, as they came and spoilt one part at a time.
#include <gtest/gtest.h>

#include <string>

#include "CallSession.h"
#include "Client/Inspection.h"
#include "LoginFixture.h"

using namespace tessel;
using inspect::Check;

namespace {

class Inspector : public LoginFixture {
protected:
    explicit Inspector(std::vector<std::string> serviceArgs = {}) : LoginFixture(std::move(serviceArgs))
    {
        session.Load(catalog::Interface::Main, svc.MainDescription());
        session.LogIn({.user = "tester", .password = "tester"});
    }
    ~Inspector() override { session.LogOut(); }

    call::CallReport Call(const std::string& operation, const std::vector<client::Slot>& params = {})
    {
        const call::CallReport r = session.Call(catalog::Interface::Main, operation, params);
        EXPECT_FALSE(r.tokens.empty()) << operation;
        return r;
    }

    call::CallSession session{library};
};

}  // namespace

TEST_F(Inspector, DecodesBothTokensOfAValidExchange)
{
    const call::CallReport r = Call("GetLogCount");
    ASSERT_EQ(r.verdict, 0);
    const inspect::Inspection in = client::Inspect(r.tokens);
    ASSERT_EQ(in.problem, "");
    EXPECT_EQ(in.request.reached, Check::Done) << in.request.problem;
    EXPECT_EQ(in.request.timestamp.size(), 17u);
    EXPECT_NE(in.request.date.find(" UTC"), std::string::npos);
    EXPECT_EQ(in.request.hash, in.request.computedHash);
    ASSERT_EQ(in.request.records.size(), 1u);
    EXPECT_EQ(in.request.records[0].name, "GetLogCount");
    ASSERT_TRUE(in.replyInspected);
    EXPECT_EQ(in.reply.reached, Check::Done) << in.reply.problem;
    EXPECT_EQ(in.reply.timestamp, in.request.timestamp);  // the server echoes the request's time stamp
    EXPECT_EQ(in.reply.nonceProof, in.reply.expectedProof);
    EXPECT_EQ(in.reply.failedCheck, "");
    const std::string text = client::InspectionText(r.tokens);
    EXPECT_NE(text.find("Request token: decoded; it re-validates against the slots as sent"), std::string::npos);
    EXPECT_NE(text.find("Reply token: valid"), std::string::npos) << text;
}

TEST_F(Inspector, ShowsACompressedResultsRecord)
{
    const std::string content(5000, 'x');
    ASSERT_EQ(Call("PutVOContent", {{"name", "inspected"}, {"content", content}}).exitStatus(), 0);
    const call::CallReport r = Call("GetVOContent", {{"name", "inspected"}});
    ASSERT_EQ(r.verdict, 0);
    const inspect::Inspection in = client::Inspect(r.tokens);
    ASSERT_EQ(in.reply.records.size(), 2u);
    const inspect::Record& result = in.reply.records[1];
    EXPECT_EQ(result.name, "result");
    EXPECT_EQ(result.kind, 1u);
    EXPECT_EQ(result.plainLength, 2 * (content.size() + 1));  // UTF-16 with its terminator
    EXPECT_EQ(result.convertedLength, content.size());
    EXPECT_EQ(result.converted, std::string(inspect::kShownCharacters, 'x'));
    EXPECT_LT(result.valueLength, content.size());
}

TEST_F(Inspector, NamesTheCheckASpoiltReplyFailsWithBothSides)
{
    const client::TokenTrace earlier = Call("GetLogCount").tokens;
    // Time stamps count milliseconds: two calls may share one.
    client::TokenTrace trace = Call("GetLogCount").tokens;
    for (int i = 0; i < 100 && client::Inspect(trace).request.timestamp == client::Inspect(earlier).request.timestamp; ++i)
        trace = Call("GetLogCount").tokens;

    // Another request's reply: its time stamp is not this request's.
    client::TokenTrace replayed = trace;
    replayed.replyToken = earlier.replyToken;
    inspect::Inspection in = client::Inspect(replayed);
    EXPECT_EQ(in.reply.failedCheck, "time stamp differs");
    EXPECT_EQ(in.reply.problem, "the echoed time stamp " + client::Inspect(earlier).request.timestamp +
                                    " is not the request's " + in.request.timestamp);

    // A result changed on its way: the hash over the slots differs.
    client::TokenTrace changed = trace;
    changed.replySlots[1].second += "0";
    in = client::Inspect(changed);
    EXPECT_EQ(in.reply.failedCheck, "hash differs");
    EXPECT_NE(in.reply.hash, in.reply.computedHash);
    EXPECT_EQ(in.reply.problem, "hash differs: received " + in.reply.hash +
                                    ", computed over slot 0 \"GetLogCount\" and slot 1 \"result\" = " +
                                    std::to_string(changed.replySlots[1].second.size()) +
                                    " characters as received: " + in.reply.computedHash);
    EXPECT_EQ(client::FailedCheck(changed), "hash differs");

    // One record more than the reply has slots.
    client::TokenTrace extra = trace;
    extra.replySlots.emplace_back("p2", "");
    EXPECT_EQ(client::Inspect(extra).reply.failedCheck, "record count differs");

    // No token at all.
    client::TokenTrace garbage = trace;
    garbage.replyToken = "not a token";
    in = client::Inspect(garbage);
    EXPECT_EQ(in.reply.reached, Check::Token);
    EXPECT_EQ(in.reply.failedCheck, "the session key does not decrypt it");
}

TEST_F(Inspector, DecodesTheRequestOfARefusedCallAndSaysWhenItsSlotsDiffer)
{
    const call::CallReport refused = Call("GetLog", {{"logID", "99"}});
    ASSERT_EQ(refused.outcome, call::Outcome::Fault);
    inspect::Inspection in = client::Inspect(refused.tokens);
    EXPECT_FALSE(in.replyInspected);
    EXPECT_EQ(in.request.reached, Check::Done) << in.request.problem;
    ASSERT_EQ(in.request.records.size(), 2u);
    EXPECT_EQ(in.request.records[1].name, "logID");
    EXPECT_EQ(in.request.records[1].valueLength, 2u);

    client::TokenTrace other = refused.tokens;
    other.requestSlots[1].second = "98";
    in = client::Inspect(other);
    EXPECT_EQ(in.request.reached, Check::Hash);
    EXPECT_NE(in.request.problem.find("it does not re-validate against the slots as sent"), std::string::npos);
}

TEST_F(Inspector, HostileValuesGiveAClearProblemAndNothingElse)
{
    const client::TokenTrace trace = Call("GetLogCount").tokens;
    client::TokenTrace bad = trace;
    bad.sessionKey = "AAAA";
    EXPECT_EQ(client::Inspect(bad).problem.rfind("cannot decode: the session key cannot be unwrapped", 0), 0u);
    bad = trace;
    bad.seed = "no seed";
    EXPECT_EQ(client::Inspect(bad).problem.rfind("cannot decode: the seed cannot be read", 0), 0u);

    // Tokens of every length and shape: a problem for the part, never more.
    for (const std::string& token : {std::string(), std::string(":"), std::string(":::::"), std::string(100000, 'A'),
                                    std::string("\xff\xfe\x00", 3), "x" + trace.requestToken}) {
        bad = trace;
        bad.requestToken = token;
        bad.replyToken = token;
        const inspect::Inspection in = client::Inspect(bad);
        EXPECT_NE(in.request.reached, Check::Done);
        EXPECT_FALSE(in.request.problem.empty());
        EXPECT_NE(in.reply.reached, Check::Done) << token.size() << " " << in.reply.hr;
        EXPECT_FALSE(in.reply.problem.empty());
    }
}

namespace {

class EncryptingService : public Inspector {
protected:
    EncryptingService() : Inspector({"--encrypt-results", "--html-error", "GetLog"}) {}
};

}  // namespace

TEST_F(EncryptingService, DecodesAnEncryptedResultAndTheRequestOfAnErrorPage)
{
    const call::CallReport r = Call("GetLogCount");
    ASSERT_EQ(r.verdict, 0);
    const inspect::Inspection in = client::Inspect(r.tokens);
    ASSERT_EQ(in.reply.reached, Check::Done) << in.reply.problem;
    ASSERT_EQ(in.reply.records.size(), 2u);
    EXPECT_EQ(in.reply.records[1].kind, 2u);
    EXPECT_EQ(in.reply.records[1].converted, r.result);
    EXPECT_NE(client::InspectionText(r.tokens).find("slot 1 \"result\": encrypted"), std::string::npos);

    const call::CallReport page = Call("GetLog", {{"logID", "1"}});
    ASSERT_EQ(page.outcome, call::Outcome::ErrorPage);
    const std::string text = client::InspectionText(page.tokens);
    EXPECT_NE(text.find("Request token: decoded; it re-validates against the slots as sent"), std::string::npos);
    EXPECT_NE(text.find("Reply token: none was validated"), std::string::npos) << text;
}

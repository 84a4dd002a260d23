#include "Client/CallPipeline.h"

#include <stdexcept>

#include "Client/SessionMessages.h"
#include "Client/Inspection.h"
#include "Client/TextRules.h"
#include "Soap/Packager.h"

namespace tessel::client {

void CheckRow(const std::string& button, const std::string& method, const std::vector<Param>& params,
              const std::function<bool(const std::string&)>& declared, std::vector<std::string>& problems)
{
    const catalog::Operation* op = catalog::Find(method);
    if (!op) {
        problems.push_back(button + ": the catalog lists no operation " + method);
        return;
    }
    if (op->params.size() != params.size())
        problems.push_back(method + ": " + std::to_string(params.size()) + " boxes for " +
                           std::to_string(op->params.size()) + " parameters");
    for (const Param& p : params)
        if (!declared(p.box))
            problems.push_back(method + ": no box named " + p.box);
}

void CheckNamesOnce(const std::map<std::string, int>& counts, std::vector<std::string>& problems)
{
    for (const auto& [name, count] : counts)
        if (count > 1)
            problems.push_back(name + " is declared " + std::to_string(count) + " times");
}

LoginEnd CallPipeline::LogIn(const SessionCarrier& carrier, const LoginValues& login, EmptyTicket rule)
{
    const std::optional<std::vector<std::string>> ticket =
        carrier("CreateTicket",
                     SessionParams("CreateTicket", {login.authority, login.realm, login.user, login.password, ""}),
                     {catalog::kResult});
    if (!ticket)
        return LoginEnd::Stopped;
    state_.ticket = ticket->at(0);
    if (state_.ticket.empty() && rule == EmptyTicket::EndsLogin)
        return LoginEnd::NoTicket;

    const TokenSession::Setup setup = tokens_.Acquire();
    state_.tokenHandler = setup.handle;
    state_.tokenScheme = setup.scheme;
    state_.tokenSeed = setup.seed;
    state_.handlerHeld = true;

    const std::optional<std::vector<std::string>> open = carrier(
        "OpenSession",
        SessionParams("OpenSession", {login.service, state_.ticket, state_.tokenScheme, state_.tokenSeed, "", ""}),
        {"sessionKey", "verifier"});
    if (!open)
        return LoginEnd::Stopped;
    state_.sessionKey = open->at(0);
    state_.verifier = open->at(1);
    if (state_.sessionKey.empty())
        return LoginEnd::NoSessionKey;
    tokens_.SetSessionItems(state_.tokenHandler, state_.sessionKey, state_.verifier);
    state_.loggedIn = true;
    return LoginEnd::LoggedIn;
}

void CallPipeline::LogOut(const SessionCarrier& carrier, AtLogout rule)
{
    carrier("CloseSession", SessionParams("CloseSession", {state_.sessionKey, state_.verifier}), {});
    if (rule == AtLogout::ReleaseHandler) {
        tokens_.Release(state_.tokenHandler);
        state_.handlerHeld = false;
    }
    state_.loggedIn = false;
}

const catalog::Operation& CallPipeline::OperationOf(const std::string& method, std::size_t params)
{
    const catalog::Operation* op = catalog::Find(method);
    if (!op)
        throw std::logic_error("the operation table lists no operation " + method);
    if (op->params.size() != params)
        throw std::logic_error("the operation table and the row of " + method + " disagree");
    return *op;
}

std::vector<std::string> CallPipeline::TakeValues(const std::vector<Param>& params, Boxes& boxes)
{
    std::vector<std::string> values;
    values.reserve(params.size());
    for (const Param& p : params) {
        std::string text = boxes.Text(p.box);
        if (p.take != Take::AsTyped && CutTrailingCrLf(text))
            boxes.SetText(p.box, text);
        values.push_back(p.take == Take::JoinTrimmedLines ? JoinTrimmedLines(text) : std::move(text));
    }
    return values;
}

std::vector<Slot> CallPipeline::SlotsOf(const catalog::Operation& op, const std::vector<std::string>& values)
{
    std::vector<Slot> slots;
    slots.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        slots.emplace_back(op.params.at(i), values[i]);
    return slots;
}

const std::string& CallPipeline::BuildToken(const std::string& method, const std::vector<Slot>& slots)
{
    state_.tokenText = tokens_.RequestToken(state_.tokenHandler, method, slots).text;
    trace_ = TokenTrace{.scheme = state_.tokenScheme,
                        .seed = state_.tokenSeed,
                        .sessionKey = state_.sessionKey,
                        .verifier = state_.verifier,
                        .requestToken = state_.tokenText,
                        .requestSlots = {{method, ""}}};
    trace_.requestSlots.insert(trace_.requestSlots.end(), slots.begin(), slots.end());
    return state_.tokenText;
}

std::vector<Slot> CallPipeline::Sent(const std::vector<Param>& params, const std::vector<Slot>& slots, Boxes& boxes)
{
    trace_.requestToken = state_.tokenText;  // a row's own step may have replaced the token it built
    std::vector<Slot> sent;
    sent.reserve(params.size());
    for (std::size_t i = 0; i < params.size(); ++i) {
        const Param& p = params[i];
        const std::string& value = slots.at(i).second;
        if (p.send == Send::SlotReadBack)
            sent.emplace_back(slots[i].first,
                              tokens_.ReadSlot(state_.tokenHandler, static_cast<std::int32_t>(i + 1), CapacityOf(value.size()))
                                  .text);
        else if (p.take == Take::JoinTrimmedLines)
            sent.emplace_back(slots[i].first, value);
        else
            sent.emplace_back(slots[i].first, boxes.Text(p.box));  // read again
    }
    return sent;
}

ReplyRead CallPipeline::ReadReply(Reply rule, const std::string& method, const std::string& result,
                                  CallOutcome& outcome)
{
    ReplyRead read;
    const std::int32_t h = state_.tokenHandler;
    const auto validate = [&](const std::string& slotValue) {
        outcome.validated = true;
        outcome.verdict = tokens_.ValidateReply(h, method, slotValue, state_.tokenText);  // not acted on
        trace_.validated = true;
        trace_.replyToken = state_.tokenText;
        trace_.replySlots = {{method, ""}, {catalog::kResult, slotValue}};
        if (outcome.verdict != 0)
            outcome.failedCheck = FailedCheck(trace_);
    };
    bool shownIsReadBack = true;  // else the status line counts the whole result as shown
    switch (rule) {
    case Reply::ResultLength:
        validate(result);
        read.shown = tokens_.ReadSlot(h, 1, CapacityOf(result.size())).text;
        read.show = !result.empty();
        break;
    case Reply::AtLeastOneMiBUnlessNoReplyToken:
        if (state_.tokenText.empty()) {
            read.ended = true;
            return read;
        }
        [[fallthrough]];
    case Reply::AtLeastOneMiB:
        validate(result);
        read.shown = tokens_.ReadSlot(h, 1, AtLeastOneMiB(result.size())).text;
        read.show = true;
        break;
    case Reply::RawAfterFirstKiB:
        validate(FirstCharacters(result, 1024));
        read.shown = result;
        read.show = !result.empty();
        shownIsReadBack = false;
        break;
    case Reply::Whole:
        validate(result);
        read.show = true;
        shownIsReadBack = false;
        break;
    }
    SlotOut whole = tokens_.ReadWhole(h, 1, result.size());
    outcome.decoded = whole.hr == 0 && !(whole.text.empty() && outcome.verdict != 0);
    outcome.kind = whole.kind;
    outcome.whole = Characters(whole.text);
    outcome.shown = shownIsReadBack ? Characters(read.shown) : outcome.whole;
    if (rule == Reply::Whole)
        read.shown = whole.text;  // what the library read back, decoded or not
    if (outcome.decoded)
        read.whole = std::move(whole.text);
    return read;
}

soap::ComposedRequest ComposeCall(const std::string& descriptionText, const std::string& method,
                                  const std::string& token, const std::vector<Slot>& sent)
{
    std::vector<Slot> all;
    all.reserve(sent.size() + 2);
    all.emplace_back(catalog::kRequestToken, token);
    all.insert(all.end(), sent.begin(), sent.end());
    all.emplace_back(catalog::kReplyToken, "");
    return soap::ComposeRequest(descriptionText, method, all);
}

CallReply ReadCallReply(const std::string& reply)
{
    // One read of the reply for both values (a name it does not carry reads as empty text).
    const soap::ResponseValues values = soap::ReadResponse(reply);
    const auto value = [&](const char* name) {
        const std::string* v = values.Find(name);
        return v ? *v : std::string();
    };
    return {value(catalog::kResult), value(catalog::kReplyToken)};
}

}  // namespace tessel::client

#include "ScriptRun.h"

#include <algorithm>

#include "Client/Verdict.h"

namespace tessel::call {

namespace {

// A text as a failure message shows it: quoted, on one line, cut at 200 characters.
std::string Shown(const std::string& text)
{
    std::string s = "\"";
    for (const char c : text.substr(0, 200)) {
        if (c == '\n')
            s += "\\n";
        else if (c == '\r')
            s += "\\r";
        else
            s += c;
    }
    return s + (text.size() > 200 ? "…\"" : "\"");
}

bool Matches(const std::string& pattern, const std::string& text, std::vector<std::string>& failures)
{
    try {
        return Regex(pattern).Search(text);
    } catch (const std::invalid_argument& e) {
        failures.push_back("the regular expression " + Shown(pattern) + " does not compile: " + e.what());
        return true;  // reported already
    }
}

}  // namespace

std::vector<PreparedCall> PrepareScript(const std::vector<Step>& steps, CallSession& session, bool admin,
                                        const std::string& adminUri)
{
    std::vector<PreparedCall> prepared(steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto* call = std::get_if<CallLine>(&steps[i]);
        if (!call)
            continue;
        const std::string at = "line " + std::to_string(call->line) + ": ";
        try {
            PreparedCall& p = prepared[i];
            p.iface = InterfaceOf(call->operation, admin);
            if (!session.Loaded(p.iface))
                session.Load(p.iface, adminUri);
            p.names = session.Parameters(p.iface, call->operation);
            std::vector<std::pair<std::string, std::string>> given;
            for (const auto& [name, value] : call->params)
                given.emplace_back(name, "");
            OrderParameters(call->operation, p.names, given);
        } catch (const CallError& e) {
            throw CallError(e.status(), at + e.what());
        }
    }
    return prepared;
}

std::vector<std::string> CheckExpectations(const CallLine& call, const CallReport& report,
                                           const std::map<std::string, std::string>& values)
{
    using K = Expectation::Kind;
    std::vector<std::string> failures;
    if (report.outcome == Outcome::Transport || report.outcome == Outcome::NotSent) {
        failures.push_back(report.error);
        return failures;
    }
    const bool faulted = report.outcome != Outcome::Result;
    const auto has = [&](std::initializer_list<K> kinds) {
        return std::any_of(call.expects.begin(), call.expects.end(), [&](const Expectation& e) {
            return std::find(kinds.begin(), kinds.end(), e.kind) != kinds.end();
        });
    };
    if (faulted && !has({K::Fault, K::FaultMatches}))
        failures.push_back("unexpected fault: " + report.Problem());
    if (!faulted && !has({K::TokenValid, K::TokenRejected}) && report.verdict != 0)
        failures.push_back("reply token " + client::DescribeVerdict(report.verdict));

    for (const Expectation& e : call.expects) {
        const std::string value = Expand(e.value, values);
        switch (e.kind) {
        case K::ResultEquals:
            if (faulted)
                failures.push_back("expected result = " + Shown(value) + ", got a fault");
            else if (report.result != value)
                failures.push_back("expected result = " + Shown(value) + ", got " + Shown(report.result));
            break;
        case K::ResultMatches:
            if (faulted)
                failures.push_back("expected result ~ " + Shown(value) + ", got a fault");
            else if (!Matches(value, report.result, failures))
                failures.push_back("expected result ~ " + Shown(value) + ", got " + Shown(report.result));
            break;
        case K::Fault:
            if (!faulted)
                failures.push_back("expected a fault, got the result " + Shown(report.result));
            break;
        case K::FaultMatches:
            if (!faulted)
                failures.push_back("expected a fault ~ " + Shown(value) + ", got the result " + Shown(report.result));
            else if (!Matches(value, report.Problem(), failures))
                failures.push_back("expected a fault ~ " + Shown(value) + ", got " + Shown(report.Problem()));
            break;
        case K::TokenValid:
            if (faulted)
                failures.push_back("expected a valid reply token, got a fault");
            else if (report.verdict != 0)
                failures.push_back("reply token " + client::DescribeVerdict(report.verdict));
            break;
        case K::TokenRejected:
            if (faulted)
                failures.push_back("expected a rejected reply token, got a fault");
            else if (report.verdict == 0)
                failures.push_back("expected the reply token to be rejected, and it is valid");
            break;
        }
    }
    return failures;
}

std::vector<CaseResult> RunScript(const std::vector<Step>& steps, const std::vector<PreparedCall>& prepared,
                                  CallSession& session, const std::function<void(const CaseResult&)>& each)
{
    std::map<std::string, std::string> values;
    std::vector<CaseResult> results;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (const auto* set = std::get_if<SetLine>(&steps[i])) {
            values[set->name] = Expand(set->value, values);
            continue;
        }
        const CallLine& call = std::get<CallLine>(steps[i]);
        std::vector<std::pair<std::string, std::string>> given;
        for (const auto& [name, word] : call.params)
            given.emplace_back(name, Expand(word, values));
        CaseResult c;
        c.name = call.operation + " (line " + std::to_string(call.line) + ")";
        c.line = call.line;
        c.report = session.Call(prepared[i].iface, call.operation,
                                OrderParameters(call.operation, prepared[i].names, given));
        values[kResultVariable] = c.report.outcome == Outcome::Result ? c.report.result : std::string();
        c.failures = CheckExpectations(call, c.report, values);
        c.passed = c.failures.empty();
        c.error = c.report.outcome == Outcome::Transport || c.report.outcome == Outcome::NotSent;
        if (each)
            each(c);
        results.push_back(std::move(c));
    }
    return results;
}

}  // namespace tessel::call

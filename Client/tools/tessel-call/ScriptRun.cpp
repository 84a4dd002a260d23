#include "ScriptRun.h"

#include <algorithm>
#include <new>

#include "Client/TextRules.h"
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
    } catch (const ScriptLimit& e) {
        throw ScriptLimit("the regular expression " + Shown(pattern) + " is too large: " + e.what());
    }
}

std::string WithNewline(const std::string& text)
{
    return !text.empty() && text.back() == '\n' ? text : text + "\n";
}

// A text as the report keeps it: whole up to kMaxReportText bytes, else its
// first bytes up to a character's start and a note, ending in a newline.
std::string ForReport(const std::string& text)
{
    if (text.size() <= kMaxReportText)
        return WithNewline(text);
    std::size_t keep = kMaxReportText;
    while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80)
        --keep;
    return WithNewline(text.substr(0, keep)) + "[... shown " + client::Grouped(keep) + " of " +
           client::Grouped(text.size()) + " bytes]\n";
}

const char* FailureType(const CaseResult& c)
{
    if (c.stopStatus == kExitUsage)
        return "script";
    if (c.error)
        return "transport";
    if (c.report.outcome == Outcome::Fault || c.report.outcome == Outcome::ErrorPage)
        return "fault";
    if (c.report.verdict != 0)
        return "token";
    return "expectation";
}

// The case of a line where the run stops.
CaseResult Stopped(const std::string& name, int line, int status, const std::string& why)
{
    CaseResult c;
    c.name = name;
    c.line = line;
    c.error = true;
    c.stopStatus = status;
    c.failures = {why};
    c.report.outcome = Outcome::NotSent;
    c.report.error = why;
    return c;
}

// One expectation; what fails goes into `failures`.
void CheckExpectation(const Expectation& e, const CallReport& report, const std::map<std::string, std::string>& values,
                      std::vector<std::string>& failures)
{
    using K = Expectation::Kind;
    const bool faulted = report.outcome != Outcome::Result;
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

    for (const Expectation& e : call.expects)
        try {
            CheckExpectation(e, report, values, failures);
        } catch (const ScriptLimit& big) {
            throw ScriptError(e.line, std::string("expect: ") + big.what());
        }
    return failures;
}

void RunScript(const std::vector<Step>& steps, const std::vector<PreparedCall>& prepared, CallSession& session,
               const std::function<void(const CaseResult&)>& each)
{
    std::map<std::string, std::string> values;
    std::size_t variableBytes = 0;  // of the set variables
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto* set = std::get_if<SetLine>(&steps[i]);
        const auto* call = std::get_if<CallLine>(&steps[i]);
        const int line = set ? set->line : call->line;
        const std::string name =
            (set ? "set " + set->name : call->operation) + " (line " + std::to_string(line) + ")";
        CaseResult c;
        try {
            if (set) {
                std::string value;
                try {
                    value = Expand(set->value, values);
                } catch (const ScriptLimit& big) {
                    throw ScriptError(line, "set " + set->name + ": " + big.what());
                }
                const auto old = values.find(set->name);
                const std::size_t before = old == values.end() ? 0 : old->second.size();
                const std::size_t total = variableBytes - before + value.size();
                if (total > kMaxVariableBytes)
                    throw ScriptError(line, "set " + set->name + ": the variables would hold " +
                                                client::Grouped(total) + " bytes together, and they hold at most " +
                                                client::Grouped(kMaxVariableBytes) + " bytes");
                variableBytes = total;
                values[set->name] = std::move(value);
                continue;
            }
            std::vector<std::pair<std::string, std::string>> given;
            for (const auto& [param, word] : call->params)
                try {
                    given.emplace_back(param, Expand(word, values));
                } catch (const ScriptLimit& big) {
                    throw ScriptError(line, call->operation + " " + param + ": " + big.what());
                }
            c.name = name;
            c.line = line;
            c.report = session.Call(prepared[i].iface, call->operation,
                                    OrderParameters(call->operation, prepared[i].names, given));
            given.clear();
            values[kResultVariable] = c.report.outcome == Outcome::Result ? c.report.result : std::string();
            c.failures = CheckExpectations(*call, c.report, values);
            c.passed = c.failures.empty();
            c.error = c.report.outcome == Outcome::Transport || c.report.outcome == Outcome::NotSent;
        } catch (const ScriptError& e) {
            c = Stopped(name, line, kExitUsage, e.what());
        } catch (const std::bad_alloc&) {
            values.clear();
            c = Stopped(name, line, kExitTransport,
                        "line " + std::to_string(line) + ": memory ran out; the run stops here");
        }
        if (each)
            each(c);
        if (c.stopStatus != 0)
            return;
    }
}

JunitCase ReportCase(const CaseResult& c, const std::string& classname, std::size_t& budget)
{
    JunitCase j;
    j.name = c.name;
    j.classname = classname;
    j.seconds = c.report.elapsedMs / 1000;
    if (!c.passed) {
        j.status = c.error ? JunitCase::Status::Error : JunitCase::Status::Failed;
        j.type = FailureType(c);
        for (const std::string& f : c.failures)
            j.details += ForReport(f);
        const std::string first = c.failures.empty() ? std::string() : c.failures.front();
        j.message = client::FirstCharacters(first.substr(0, first.find('\n')), 200);
    }
    const CallReport& r = c.report;
    if (!r.request.empty())
        j.systemOut += "> request\n" + ForReport(r.request);
    if (!r.reply.empty())
        j.systemOut += "< HTTP " + std::to_string(r.httpStatus) + "\n" + ForReport(r.reply);
    if (r.outcome == Outcome::Result)
        j.systemOut += "decoded result (" + client::DescribeKind(r.kind) + "): " + ForReport(r.result) +
                       "reply token: " + client::DescribeVerdict(r.verdict) + "\n";
    if (j.systemOut.size() > budget) {
        j.systemOut = kEnvelopesLeftOut;
        budget = 0;
    } else {
        budget -= j.systemOut.size();
    }
    return j;
}

}  // namespace tessel::call

#include "ScriptRun.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <filesystem>
#include <fstream>
#include <new>

#include "Client/TextRules.h"
#include "Client/Verdict.h"
#include "XmlQuery.h"

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
            failures.push_back("reply token " + client::DescribeVerdict(report.verdict, report.failedCheck));
        break;
    case K::TokenRejected:
        if (faulted)
            failures.push_back("expected a rejected reply token, got a fault");
        else if (report.verdict == 0)
            failures.push_back("expected the reply token to be rejected, and it is valid");
        break;
    case K::XPathEquals:
    case K::XPathMatches:
    case K::XPathCount: {
        const std::string path = Expand(e.path, values);
        const std::string op = e.kind == K::XPathEquals ? " = " + Shown(value)
                               : e.kind == K::XPathMatches ? " ~ " + Shown(value)
                                                           : " count " + std::to_string(e.number);
        const std::string expected = "expected xpath " + Shown(path) + op;
        if (faulted) {
            failures.push_back(expected + ", got a fault");
            break;
        }
        const XPathValue v = EvaluateXPath(report.result, path);
        if (!v.error.empty())
            failures.push_back(expected + ", but " + v.error + "; the result is " + Shown(report.result));
        else if (e.kind == K::XPathEquals && v.text != value)
            failures.push_back(expected + ", got " + Shown(v.text));
        else if (e.kind == K::XPathMatches && !Matches(value, v.text, failures))
            failures.push_back(expected + ", got " + Shown(v.text));
        else if (e.kind == K::XPathCount && !v.count)
            failures.push_back(expected + ", but the expression gives the value " + Shown(v.text) + ", not nodes");
        else if (e.kind == K::XPathCount && static_cast<long long>(*v.count) != e.number)
            failures.push_back(expected + ", got " + std::to_string(*v.count) + (*v.count == 1 ? " node" : " nodes"));
        break;
    }
    case K::Status:
        if (report.httpStatus != e.number)
            failures.push_back("expected status " + std::to_string(e.number) + ", got " +
                               (report.httpStatus == 0 ? std::string("no reply") : std::to_string(report.httpStatus)));
        break;
    case K::TimeBelow:
        if (!(report.elapsedMs < static_cast<double>(e.number)))
            failures.push_back("expected time < " + std::to_string(e.number) + " ms, took " +
                               std::to_string(std::lround(report.elapsedMs)) + " ms");
        break;
    case K::ResultLength:
        if (faulted)
            failures.push_back("expected result length " + std::to_string(e.number) + ", got a fault");
        else if (static_cast<long long>(report.result.size()) != e.number)
            failures.push_back("expected result length " + std::to_string(e.number) + ", got " +
                               client::Grouped(report.result.size()) + " bytes");
        break;
    }
}

// Whether the call got no reply at all, so sending it again cannot repeat what the service did.
bool NoReply(const CallReport& r)
{
    return r.outcome == Outcome::Transport && r.httpStatus == 0 && r.reply.empty() && !r.request.empty();
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
                                           const std::map<std::string, std::string>& values,
                                           std::vector<ExpectationResult>* verdicts)
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
        failures.push_back("reply token " + client::DescribeVerdict(report.verdict, report.failedCheck));

    for (const Expectation& e : call.expects)
        try {
            const std::size_t before = failures.size();
            CheckExpectation(e, report, values, failures);
            if (verdicts)
                verdicts->push_back({e.line, e.source, failures.size() == before,
                                     failures.size() == before ? std::string() : failures.back()});
        } catch (const ScriptLimit& big) {
            throw ScriptError(e.line, std::string("expect: ") + big.what());
        }
    return failures;
}

std::string ReadValueFile(const std::string& path)
{
    const auto fail = [&](const std::string& why) { return std::runtime_error(why); };
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        throw fail("cannot read " + path + ": " + ec.message());
    if (size > kMaxValueBytes)
        throw fail(path + " is " + client::Grouped(size) + " bytes long, and a value holds at most " +
                   client::Grouped(kMaxValueBytes) + " bytes");
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!in || static_cast<std::size_t>(in.gcount()) != text.size())
        throw fail("cannot read " + path + " whole");
    if (client::ValidUtf8(text) != text)
        throw fail(path + " is not UTF-8 text");
    return text;
}

void RunScript(const std::vector<Step>& steps, const std::vector<PreparedCall>& prepared, CallSession& session,
               const std::function<void(const CaseResult&)>& each)
{
    RunScript(steps, prepared, session, RunOptions{}, each);
}

void RunScript(const std::vector<Step>& steps, const std::vector<PreparedCall>& prepared, CallSession& session,
               const RunOptions& options, const std::function<void(const CaseResult&)>& each)
{
    std::map<std::string, std::string> values = options.values;
    std::optional<std::string> input;  // standard input, once read
    const auto fileValue = [&](const std::string& name, int line) -> std::string {
        if (name == "-") {
            if (!input)
                input = options.standardInput ? options.standardInput() : std::string();
            if (input->size() > kMaxValueBytes)
                throw ScriptError(line, "standard input holds more than " + client::Grouped(kMaxValueBytes) +
                                            " bytes, the most a value holds");
            return *input;
        }
        const std::filesystem::path p(name);
        try {
            return ReadValueFile(p.is_absolute() ? name : (std::filesystem::path(options.folder) / p).string());
        } catch (const std::runtime_error& e) {
            throw ScriptError(line, e.what());
        }
    };
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
                if (set->xpath) {
                    const auto result = values.find(kResultVariable);
                    XPathValue v = EvaluateXPath(result == values.end() ? std::string() : result->second, value);
                    if (v.error.empty() && v.count && *v.count == 0)
                        v.error = "it selects no node";
                    if (!v.error.empty()) {
                        c.name = name;
                        c.line = line;
                        c.report.outcome = Outcome::NotSent;
                        c.failures = {"set " + set->name + " = xpath " + Shown(value) + ": " + v.error};
                        value.clear();
                    } else {
                        value = v.text;
                    }
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
                if (c.failures.empty())
                    continue;
                if (each)
                    each(c);
                continue;
            }
            std::vector<std::pair<std::string, std::string>> given;
            for (std::size_t k = 0; k < call->params.size(); ++k) {
                const auto& [param, word] = call->params[k];
                try {
                    std::string value = Expand(word, values);
                    if (k < call->fromFile.size() && call->fromFile[k])
                        value = fileValue(value, line);
                    given.emplace_back(param, std::move(value));
                } catch (const ScriptLimit& big) {
                    throw ScriptError(line, call->operation + " " + param + ": " + big.what());
                } catch (const ScriptError& bad) {
                    throw ScriptError(line, call->operation + " " + param + ": " +
                                                std::string(bad.what()).substr(std::string(bad.what()).find(": ") + 2));
                }
            }
            c.name = name;
            c.line = line;
            const std::vector<client::Slot> slots = OrderParameters(call->operation, prepared[i].names, given);
            given.clear();
            if (options.beforeCall)
                options.beforeCall();
            c.report = session.Call(prepared[i].iface, call->operation, slots);
            while (NoReply(c.report) && c.attempts <= options.retries) {
                ++c.attempts;
                c.report = session.Call(prepared[i].iface, call->operation, slots);
            }
            if (c.attempts > 1 && c.report.outcome == Outcome::Transport)
                c.report.error += " (sent " + std::to_string(c.attempts) + " times)";
            values[kResultVariable] = c.report.outcome == Outcome::Result ? c.report.result : std::string();
            c.failures = CheckExpectations(*call, c.report, values, &c.expectations);
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
                       "reply token: " + client::DescribeVerdict(r.verdict, r.failedCheck) + "\n";
    if (j.systemOut.size() > budget) {
        j.systemOut = kEnvelopesLeftOut;
        budget = 0;
    } else {
        budget -= j.systemOut.size();
    }
    return j;
}

}  // namespace tessel::call

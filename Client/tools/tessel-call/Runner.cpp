#include "Runner.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "Client/Inspection.h"
#include "Client/Masking.h"
#include "Client/TextRules.h"
#include "Client/Verdict.h"

namespace tessel::call {

namespace {

const char* OutcomeName(Outcome o)
{
    switch (o) {
    case Outcome::Result: return "result";
    case Outcome::Fault: return "fault";
    case Outcome::ErrorPage: return "error page";
    case Outcome::Transport: return "transport";
    case Outcome::NotSent: return "not sent";
    }
    return "transport";
}

bool Secret(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* word : {"password", "secret", "token"})
        if (name.find(word) != std::string::npos)
            return true;
    return false;
}

}  // namespace

std::optional<std::string> VariableSources::Find(const std::string& name, const DataRow* row) const
{
    if (row)
        for (const auto& [n, v] : row->values)
            if (n == name)
                return v;
    if (const auto it = vars_.find(name); it != vars_.end())
        return it->second;
    if (const auto it = envFile_.find(name); it != envFile_.end())
        return it->second;
    if (environment_)
        if (const char* v = std::getenv(name.c_str()))
            return std::string(v);
    return std::nullopt;
}

bool VariableSources::Gives(const std::string& name, const std::vector<DataRow>& rows) const
{
    if (Find(name, nullptr))
        return true;
    return std::any_of(rows.begin(), rows.end(), [&](const DataRow& r) {
        return std::any_of(r.values.begin(), r.values.end(), [&](const auto& v) { return v.first == name; });
    });
}

std::map<std::string, std::string> VariableSources::ValuesFor(const std::set<std::string>& names, const DataRow* row,
                                                              const std::string& file) const
{
    std::map<std::string, std::string> values;
    for (const std::string& name : names) {
        std::optional<std::string> v = Find(name, row);
        if (!v)
            throw DataError(file, row ? row->line : 0,
                            "the row gives no value for ${" + name + "}, and neither --var, an env file nor the "
                                                                      "environment does");
        values[name] = std::move(*v);
    }
    return values;
}

std::string ArgumentValue(const std::string& text, const std::function<std::string()>& input)
{
    if (text.empty() || text[0] != '@')
        return text;
    if (text.size() > 1 && text[1] == '@')
        return text.substr(1);
    if (text == "@-") {
        std::string in = input ? input() : std::string();
        if (in.size() > kMaxValueBytes)
            throw std::runtime_error("standard input holds more than " + client::Grouped(kMaxValueBytes) +
                                     " bytes, the most a value holds");
        return in;
    }
    if (text.size() == 1)
        throw std::runtime_error("@ names no file (write @FILE, @- for standard input or @@ for a value that begins "
                                 "with @)");
    return ReadValueFile(text.substr(1));
}

std::string RowSuiteName(const std::string& script, std::size_t index, const DataRow& row)
{
    std::string list;
    for (const auto& [name, value] : row.values) {
        std::string shown = Secret(name) ? std::string(client::kPasswordMask) : client::FirstCharacters(value, 24);
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20)
                c = ' ';
        if (shown.size() < value.size() && !Secret(name))
            shown += "…";
        list += (list.empty() ? "" : ", ") + name + "=" + shown;
    }
    if (client::Characters(list) > 120)
        list = client::FirstCharacters(list, 120) + "…";
    return script + " [row " + std::to_string(index) + (list.empty() ? "" : ": " + list) + "]";
}

nlohmann::ordered_json CaseJson(const CaseResult& c)
{
    const CallReport& r = c.report;
    nlohmann::ordered_json j;
    j["name"] = c.name;
    j["line"] = c.line;
    j["operation"] = r.operation;
    j["httpStatus"] = r.httpStatus;
    j["elapsedMs"] = std::round(r.elapsedMs * 1000) / 1000;
    j["outcome"] = OutcomeName(r.outcome);
    if (r.outcome == Outcome::Result) {
        j["token"] = client::DescribeVerdict(r.verdict, r.failedCheck);
        j["resultBytes"] = r.result.size();
    }
    if (!r.tokens.empty())
        j["inspection"] = client::InspectionText(r.tokens);
    if (r.outcome == Outcome::Fault || r.outcome == Outcome::ErrorPage)
        j["fault"] = {{"code", r.faultCode}, {"string", client::FirstCharacters(r.faultString, 2000)}};
    if (!r.error.empty())
        j["error"] = client::FirstCharacters(r.error, 2000);
    j["attempts"] = c.attempts;
    j["passed"] = c.passed;
    j["verdict"] = c.passed ? "passed" : c.error ? "error" : "failed";
    nlohmann::ordered_json failures = nlohmann::ordered_json::array();
    for (const std::string& f : c.failures)
        failures.push_back(client::FirstCharacters(f, 2000));
    j["failures"] = failures;
    nlohmann::ordered_json expectations = nlohmann::ordered_json::array();
    for (const ExpectationResult& e : c.expectations) {
        nlohmann::ordered_json x;
        x["line"] = e.line;
        x["expect"] = e.source;
        x["passed"] = e.passed;
        if (!e.passed)
            x["failure"] = client::FirstCharacters(e.failure, 2000);
        expectations.push_back(x);
    }
    j["expectations"] = expectations;
    return j;
}

void MaskCase(CaseResult& c, const std::string& secret)
{
    if (secret.empty())
        return;
    for (std::string& f : c.failures)
        f = client::Masked(f, secret);
    for (ExpectationResult& e : c.expectations)
        e.failure = client::Masked(e.failure, secret);
    CallReport& r = c.report;
    for (std::string* t : {&r.request, &r.reply, &r.result, &r.faultString, &r.faultDetail, &r.error, &r.faultCode})
        *t = client::Masked(std::move(*t), secret);
}

}  // namespace tessel::call

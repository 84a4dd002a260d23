// What a CI run of tessel-call adds around the scripts: where a ${NAME}
// takes its value from, the names of a data row's suite, values given as
// @FILE on the command line, and the JSON report of a run.
#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "DataFile.h"
#include "ScriptRun.h"

namespace tessel::call {

// The values a script's ${NAME} takes from outside it, looked up in this
// order: the data row, --var (the last one given for a name), the env files
// (the last line for a name, the last file first), the process environment.
class VariableSources {
public:
    void AddVar(std::string name, std::string value) { vars_[std::move(name)] = std::move(value); }
    void AddEnvFile(const std::vector<std::pair<std::string, std::string>>& values)
    {
        for (const auto& [name, value] : values)
            envFile_[name] = value;
    }
    // Off: the process environment gives nothing (for tests).
    void UseEnvironment(bool use) { environment_ = use; }

    // The value of `name` for `row` (which may be null), or nothing.
    std::optional<std::string> Find(const std::string& name, const DataRow* row) const;
    // Whether some row of `rows`, or the sources without a row, give `name`.
    bool Gives(const std::string& name, const std::vector<DataRow>& rows) const;

    // The values of `names` for `row`. Raises DataError at the row's line
    // when it lacks one that nothing else gives (`file` names the data file).
    std::map<std::string, std::string> ValuesFor(const std::set<std::string>& names, const DataRow* row,
                                                 const std::string& file) const;

private:
    std::map<std::string, std::string> vars_, envFile_;
    bool environment_ = true;
};

// A value as the command line gives it: "@FILE" the file's text, "@-"
// standard input (read through `input`), "@@text" the text "@text", anything
// else as it is. Raises std::runtime_error naming the file.
std::string ArgumentValue(const std::string& text, const std::function<std::string()>& input);

// The name of a data row's suite: "SCRIPT [row N: a=1, b=two]", each value
// cut to 24 characters and the whole list to 120; values of names that hold
// "password", "secret" or "token" (in any case) show as the mask.
std::string RowSuiteName(const std::string& script, std::size_t index, const DataRow& row);

// One call as the JSON report lists it: name, line, operation, HTTP status,
// time, outcome, token verdict, attempts, passed, failures and each
// expectation with its verdict.
nlohmann::ordered_json CaseJson(const CaseResult& c);

// The case with every text that may hold `secret` masked.
void MaskCase(CaseResult& c, const std::string& secret);

}  // namespace tessel::call

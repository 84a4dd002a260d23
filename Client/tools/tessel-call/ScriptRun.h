// Running a parsed script in one session: each call with its values
// expanded, its expectations checked, ${result} and the set variables kept.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CallSession.h"
#include "Script.h"

namespace tessel::call {

// Where a call line goes and its parameters in the description's order.
struct PreparedCall {
    Interface iface = Interface::Main;
    std::vector<std::string> names;
};

// Checks every call line against the descriptions before anything is sent,
// loading the admin description from `adminUri` when a call needs it. One
// entry per step (a set line's is empty). Raises CallError whose message
// begins "line N: ": kExitTransport for an operation a description lacks or
// a description that cannot be loaded, kExitUsage for parameters that do not
// fit the operation.
std::vector<PreparedCall> PrepareScript(const std::vector<Step>& steps, CallSession& session, bool admin,
                                        const std::string& adminUri);

struct CaseResult {
    std::string name;  // "GetLog (line 4)"
    int line = 0;
    bool passed = false;
    bool error = false;  // no usable reply, or nothing sent: an error rather than a failure
    std::vector<std::string> failures;
    CallReport report;
};

// What failed of a call's expectations (empty when it passed). Without an
// "expect fault" line a fault fails the call; without an "expect token" line
// a rejected reply token does.
std::vector<std::string> CheckExpectations(const CallLine& call, const CallReport& report,
                                           const std::map<std::string, std::string>& values);

// Runs the steps in the logged-in session, in order; `each` sees each call's
// result as soon as it is known.
std::vector<CaseResult> RunScript(const std::vector<Step>& steps, const std::vector<PreparedCall>& prepared,
                                  CallSession& session, const std::function<void(const CaseResult&)>& each);

}  // namespace tessel::call

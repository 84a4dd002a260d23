// Running a parsed script in one session: each call with its values
// expanded, its expectations checked, ${result} and the set variables kept.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CallSession.h"
#include "Junit.h"
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

// One expectation's verdict, as the JSON report lists it.
struct ExpectationResult {
    int line = 0;
    std::string source;   // the expect line as written
    bool passed = false;
    std::string failure;  // what was expected and what came, when it failed
};

struct CaseResult {
    std::string name;  // "GetLog (line 4)"
    int line = 0;
    bool passed = false;
    bool error = false;  // no usable reply, or nothing sent: an error rather than a failure
    std::vector<std::string> failures;
    CallReport report;
    std::vector<ExpectationResult> expectations;
    int attempts = 1;  // sends of the call: more than one when a transport failure was retried
    // The run stops at this line with this exit status: kExitUsage for a value
    // or a pattern over its bound, kExitTransport when memory ran out; 0 when
    // it goes on.
    int stopStatus = 0;
};

// What failed of a call's expectations (empty when it passed). Without an
// "expect fault" line a fault fails the call; without an "expect token" line
// a rejected reply token does. Raises ScriptError naming the expectation's
// line when its text or pattern is over its bound.
// `verdicts`, when given, gets each expectation's verdict in the script's order.
std::vector<std::string> CheckExpectations(const CallLine& call, const CallReport& report,
                                           const std::map<std::string, std::string>& values,
                                           std::vector<ExpectationResult>* verdicts = nullptr);

// How a run goes beyond the steps themselves.
struct RunOptions {
    // The variables given from outside the script (--var, a data row, an env
    // file, the environment); set lines replace them.
    std::map<std::string, std::string> values;
    // The folder a parameter's @FILE is relative to.
    std::string folder = ".";
    // How often a call that got no reply at all (refused, timed out, cut) is
    // sent again; a fault, an error page or any reply is never sent again.
    int retries = 0;
    // Standard input's text, for @-; called at most once a run.
    std::function<std::string()> standardInput;
    // Runs just before each call is first sent (not before a resend), once
    // its values are expanded; a load paces its calls and takes their start
    // here. What it raises ends the run and reaches RunScript's caller.
    std::function<void()> beforeCall;
};

// A value read from a file for name=@FILE: its bytes, which must be UTF-8.
// Raises std::runtime_error naming the file when it cannot be read, is no
// UTF-8 or is over kMaxValueBytes.
std::string ReadValueFile(const std::string& path);

// Runs the steps in the logged-in session, in order; `each` sees each call's
// result as soon as it is known, and nothing of it is kept afterwards but
// ${result}. A set line or a call whose value or pattern is over its bound,
// or that runs out of memory, is one last case (stopStatus set) and the run
// ends there; nothing raises but what `each` raises.
void RunScript(const std::vector<Step>& steps, const std::vector<PreparedCall>& prepared, CallSession& session,
               const std::function<void(const CaseResult&)>& each);
// The same with the given variables, the folder of @FILE and retries. A set
// line whose XPath finds nothing usable is a failed case of its own and the
// variable is empty; the run goes on.
void RunScript(const std::vector<Step>& steps, const std::vector<PreparedCall>& prepared, CallSession& session,
               const RunOptions& options, const std::function<void(const CaseResult&)>& each);

// The most bytes of one envelope, decoded result or failure text a report keeps.
inline constexpr std::size_t kMaxReportText = 64u << 10;

// A case as the JUnit report shows it: a failure (an expectation, a fault, a
// rejected token) or an error (no usable reply, a stopped run) with its
// reasons, and in system-out the request, the reply with its HTTP status and
// the decoded result with the verdict on the reply token. Each text is cut to
// its first kMaxReportText bytes, at a character, with the note
// "[... shown N of M bytes]". `budget` is what the report may still take of
// system-out; it shrinks by what this case takes, and a case it cannot hold
// whole keeps only the note kEnvelopesLeftOut.
JunitCase ReportCase(const CaseResult& c, const std::string& classname, std::size_t& budget);

// The most bytes of system-out one report holds, all cases together.
inline constexpr std::size_t kMaxReportSystemOut = 64u << 20;
inline constexpr char kEnvelopesLeftOut[] = "[... envelopes left out: the report holds 64 MiB of them already]\n";

}  // namespace tessel::call

// tessel-call load: a script's calls in a loop from many clients at once,
// each its own session (login, token handler, connection) on its own thread,
// with the counts, the error classes and the latencies of every operation
// kept in per-client histograms and merged each second and at the end.
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CallSession.h"
#include "Histogram.h"
#include "ScriptRun.h"

namespace tessel::call {

// How a call of a load counts when it did not pass.
enum class ErrorClass : std::size_t {
    Fault,          // a fault or an error page the script did not expect
    TokenRejected,  // a result whose reply token the library rejects
    Transport,      // no reply, an unreadable reply, nothing sent
    Expectation,    // a reply that fails one of the call's expectations
};
inline constexpr std::size_t kErrorClasses = 4;
// "fault", "token", "transport", "expectation": the names the reports use.
const char* ErrorClassName(ErrorClass c);
// The class of a case that did not pass.
ErrorClass ClassOf(const CaseResult& c);

// The counts and latencies of one operation (or of all).
struct OperationStats {
    std::uint64_t calls = 0;
    std::array<std::uint64_t, kErrorClasses> errors{};
    Histogram latency{3};

    std::uint64_t failed() const;
    void Merge(const OperationStats& other);
};

// One second of the load, from its start.
struct SecondStats {
    double end = 0;  // seconds since the load started: the second's end (the last may be shorter)
    std::uint64_t calls = 0, errors = 0;
    std::uint64_t p50 = 0, p99 = 0;  // microseconds
};

struct LoadSettings {
    int clients = 1;
    std::optional<double> duration;        // seconds; with neither, one iteration each
    std::optional<long long> iterations;   // of the script, per client
    std::optional<double> rate;            // calls a second of the whole load: the open model
    double rampUp = 0;                     // seconds over which the clients start
    bool liveLine = false;                 // a line on standard error, redrawn each second
    int shownFailures = 5;                 // failures printed as they come; the rest are counted
};

// What each client needs to run the script: a new session with the
// descriptions loaded, not logged in; the login values; the steps and their
// values (one set of values per data row, taken in turn).
struct LoadScript {
    std::function<std::unique_ptr<CallSession>(client::TokenLibrary&)> newSession;
    LoginValues login;
    bool admin = false;
    std::string adminUri;
    std::vector<Step> steps;
    std::vector<std::map<std::string, std::string>> rowValues;  // at least one
    std::string folder = ".";
    int retries = 0;       // resends of a call that got no reply at all (--retries)
    std::string password;  // masked in what is shown
};

struct LoadResult {
    std::map<std::string, OperationStats> operations;
    OperationStats total;
    std::vector<SecondStats> seconds;
    double elapsed = 0;                // seconds from the first call's start to the last one's end
    std::uint64_t lateStarts = 0;      // open model: calls that started more than 1 ms after their time
    std::uint64_t iterations = 0;      // of the script, all clients together
    int clients = 0, loggedIn = 0;
    std::vector<std::string> loginFailures;  // one per client that could not log in (the first few)
    int loginStatus = 0;                     // the exit status of the first login failure
    std::vector<std::string> firstFailures;  // the first few failures, "GetLog (line 4): why"
    bool interrupted = false;                // SIGINT or SIGTERM ended it
    double cpuSeconds = 0;                   // the load generator's own (user and system)
    std::vector<std::string> logoutFailures;  // the first few

    double callsPerSecond() const { return elapsed > 0 ? static_cast<double>(total.calls) / elapsed : 0; }
};

// Runs the load: every client logs in, then (after its share of the ramp-up)
// runs the script in a loop until the duration ends, its iterations are done
// or SIGINT/SIGTERM come (blocked in every thread while it runs, taken by the
// calling thread), and logs out. A client that cannot log in is counted and
// the others go on. A call in flight when the load ends is waited for (up to
// the session's time limit) and counted. Raises only what a script step
// raises that is no call's failure.
LoadResult RunLoad(const LoadSettings& settings, const LoadScript& script);

// The warning on --clients that the local service cannot serve at once, or
// empty: it serves max(8, processors) calls at once (the others wait for a
// worker, and the wait is in their latency) and keeps each connection's
// descriptor; `descriptors` is this process's own limit.
std::string ClientsWarning(int clients, unsigned processors, unsigned long descriptors);

// The table of the end: a row per operation and one in total.
std::string LoadTable(const LoadResult& r);
// The JSON report: settings, totals, operations, per-second series,
// expectations given as `checks`.
struct LoadCheck {
    std::string name;  // "p99 <= 50 ms"
    bool passed = false;
    std::string failure;
};
nlohmann::ordered_json LoadJson(const LoadResult& r, const LoadSettings& s, const std::string& script,
                                const std::vector<LoadCheck>& checks);

}  // namespace tessel::call

#include "Load.h"

#include <signal.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>
#include <stop_token>
#include <thread>

#include "Client/Masking.h"
#include "Junit.h"
#include "ScriptRun.h"
#include "TesselKitVersion.h"

namespace tessel::call {

namespace {

using Clock = std::chrono::steady_clock;

// A call of the open model that starts later than this after its time is a late start.
constexpr auto kLate = std::chrono::milliseconds(1);
// How often the collecting thread looks at the signals, the clients and the clock.
constexpr long kTickNanos = 50'000'000;

// Thrown by a client's pacing when the load ends, to leave its script where it is.
struct LoadStopped {};

// Waits until `t` or until a stop is requested; true when `t` came.
bool SleepUntil(Clock::time_point t, const std::stop_token& stop)
{
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait_until(lock, stop, t, [] { return false; });
    return !stop.stop_requested();
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

// What one client counts, under its own lock; the collecting thread takes
// the second's window each second and everything at the end.
struct ClientCounts {
    std::mutex m;
    std::map<std::string, OperationStats> operations;
    Histogram window{2};
    std::uint64_t windowCalls = 0, windowErrors = 0;
    std::uint64_t late = 0, iterations = 0;
    Clock::time_point lastEnd{};
};

// What the clients share: the start, the schedule of the open model, the
// failures to show.
class LoadState {
public:
    LoadState(const LoadSettings& s, const LoadScript& script) : settings(s), script(script), waiting_(s.clients) {}

    const LoadSettings& settings;
    const LoadScript& script;
    std::atomic<std::uint64_t> nextCall{0};
    std::atomic<int> finished{0};

    // A client has logged in (or given up): the last one starts the load.
    // Returns its start, or nothing when the load ended first.
    std::optional<Clock::time_point> Arrive(const std::stop_token& stop)
    {
        std::unique_lock lock(m_);
        if (--waiting_ == 0) {
            t0_ = Clock::now();
            cv_.notify_all();
        }
        cv_.wait(lock, stop, [&] { return t0_.has_value(); });
        return t0_;
    }
    std::optional<Clock::time_point> start()
    {
        std::lock_guard lock(m_);
        return t0_;
    }

    void LoginFailed(int status, const std::string& why)
    {
        std::lock_guard lock(m_);
        if (loginStatus_ == 0)
            loginStatus_ = status;
        if (loginFailures_.size() < static_cast<std::size_t>(settings.shownFailures))
            loginFailures_.push_back(Shown(why));
        ++loginFailed_;
    }
    void LogoutFailed(const std::string& why)
    {
        std::lock_guard lock(m_);
        if (logoutFailures_.size() < static_cast<std::size_t>(settings.shownFailures))
            logoutFailures_.push_back(Shown(why));
    }
    void Failure(const CaseResult& c)
    {
        std::lock_guard lock(m_);
        if (failures_.size() >= static_cast<std::size_t>(settings.shownFailures))
            return;
        std::string text = c.name + " [" + ErrorClassName(ClassOf(c)) + "]";
        for (const std::string& f : c.failures)
            text += ": " + f.substr(0, f.find('\n'));
        failures_.push_back(Shown(text.substr(0, 400)));
        toShow_.push_back(failures_.back());
    }
    // The failures not yet shown.
    std::vector<std::string> TakeToShow()
    {
        std::lock_guard lock(m_);
        return std::exchange(toShow_, {});
    }
    void Into(LoadResult& r)
    {
        std::lock_guard lock(m_);
        r.loginFailures = loginFailures_;
        r.loginStatus = loginStatus_;
        r.loggedIn = settings.clients - loginFailed_;
        r.firstFailures = failures_;
        r.logoutFailures = logoutFailures_;
    }

private:
    std::string Shown(const std::string& text) const { return client::Masked(text, script.password); }

    std::mutex m_;
    std::condition_variable_any cv_;
    int waiting_;
    std::optional<Clock::time_point> t0_;
    int loginStatus_ = 0, loginFailed_ = 0;
    std::vector<std::string> loginFailures_, logoutFailures_, failures_, toShow_;
};

// The operation a case counts under: the call's, or the set line's name.
std::string OperationOf(const CaseResult& c)
{
    if (!c.report.operation.empty())
        return c.report.operation;
    return c.name.substr(0, c.name.find(" (line "));
}

void RunClient(const std::stop_token& stop, LoadState& load, ClientCounts& counts, int index)
{
    const LoadSettings& s = load.settings;
    const LoadScript& script = load.script;
    client::TokenLibrary library;
    std::unique_ptr<CallSession> session;
    std::vector<PreparedCall> prepared;
    bool loggedIn = false;
    try {
        session = script.newSession(library);
        prepared = PrepareScript(script.steps, *session, script.admin, script.adminUri);
        session->LogIn(script.login);
        loggedIn = true;
    } catch (const CallError& e) {
        load.LoginFailed(e.status(), e.what());
    } catch (const std::exception& e) {
        load.LoginFailed(kExitTransport, e.what());
    }
    const std::optional<Clock::time_point> t0 = load.Arrive(stop);
    const auto logOut = [&] {
        if (session && loggedIn)
            if (const std::string problem = session->LogOut(); !problem.empty())
                load.LogoutFailed(problem);
    };
    if (!loggedIn || !t0) {
        logOut();
        return;
    }
    const auto ramp = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
        s.rampUp * index / std::max(1, s.clients)));
    if (ramp.count() > 0 && !SleepUntil(*t0 + ramp, stop)) {
        logOut();
        return;
    }

    Clock::time_point callStart{};
    RunOptions run;
    run.folder = script.folder;
    run.retries = script.retries;
    run.beforeCall = [&] {
        if (stop.stop_requested())
            throw LoadStopped{};
        if (!s.rate) {
            callStart = Clock::now();
            return;
        }
        const std::uint64_t k = load.nextCall.fetch_add(1, std::memory_order_relaxed);
        const Clock::time_point due =
            *t0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(k / *s.rate));
        const Clock::time_point now = Clock::now();
        if (now < due) {
            if (!SleepUntil(due, stop))
                throw LoadStopped{};
        } else if (now - due > kLate) {
            std::lock_guard lock(counts.m);
            ++counts.late;
        }
        // The open model's latency runs from the call's time, so that a late start is in it.
        callStart = due;
    };
    const auto each = [&](const CaseResult& c) {
        const bool sent = !c.report.operation.empty();
        const Clock::time_point end = Clock::now();
        const std::uint64_t micros =
            sent ? static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                  std::max(end - callStart, Clock::duration::zero()))
                                                  .count())
                 : 0;
        const bool error = !c.passed;
        const ErrorClass errorClass = error ? ClassOf(c) : ErrorClass::Expectation;
        {
            std::lock_guard lock(counts.m);
            OperationStats& o = counts.operations[OperationOf(c)];
            ++o.calls;
            if (error)
                ++o.errors[static_cast<std::size_t>(errorClass)];
            if (sent) {
                o.latency.Record(micros);
                counts.window.Record(micros);
                counts.lastEnd = end;
            }
            ++counts.windowCalls;
            counts.windowErrors += error ? 1 : 0;
        }
        if (error)
            load.Failure(c);
    };
    try {
        for (long long i = 0; !s.iterations || i < *s.iterations; ++i) {
            if (stop.stop_requested())
                break;
            run.values = script.rowValues[static_cast<std::size_t>(index + i) % script.rowValues.size()];
            RunScript(script.steps, prepared, *session, run, each);
            std::lock_guard lock(counts.m);
            ++counts.iterations;
        }
    } catch (const LoadStopped&) {
        // the load ended within the script
    }
    logOut();
}

// Signals that end the load, blocked in every thread while it runs and
// taken by the collecting thread; the old mask comes back at the end.
class BlockedSignals {
public:
    BlockedSignals()
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
    }
    ~BlockedSignals() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;
    // Waits up to `nanos` for one; true when it came.
    bool Wait(long nanos) const
    {
        const timespec ts{0, nanos};
        return sigtimedwait(&set_, nullptr, &ts) > 0;
    }

private:
    sigset_t set_{}, old_{};
};

std::string Ms(std::uint64_t micros)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(micros) / 1000);
    return text;
}

double MsValue(std::uint64_t micros)
{
    return static_cast<double>(micros) / 1000;
}

nlohmann::ordered_json StatsJson(const OperationStats& o, double elapsed)
{
    nlohmann::ordered_json j;
    j["calls"] = o.calls;
    nlohmann::ordered_json errors;
    for (std::size_t k = 0; k < kErrorClasses; ++k)
        errors[ErrorClassName(static_cast<ErrorClass>(k))] = o.errors[k];
    errors["total"] = o.failed();
    j["errors"] = errors;
    j["callsPerSecond"] = elapsed > 0 ? std::round(static_cast<double>(o.calls) / elapsed * 10) / 10 : 0.0;
    const Histogram& h = o.latency;
    j["latencyMs"] = {{"min", MsValue(h.min())},
                      {"p50", MsValue(h.Percentile(50))},
                      {"p90", MsValue(h.Percentile(90))},
                      {"p99", MsValue(h.Percentile(99))},
                      {"p99.9", MsValue(h.Percentile(99.9))},
                      {"max", MsValue(h.max())}};
    return j;
}

}  // namespace

const char* ErrorClassName(ErrorClass c)
{
    switch (c) {
    case ErrorClass::Fault: return "fault";
    case ErrorClass::TokenRejected: return "token";
    case ErrorClass::Transport: return "transport";
    case ErrorClass::Expectation: return "expectation";
    }
    return "expectation";
}

ErrorClass ClassOf(const CaseResult& c)
{
    if (c.error)
        return ErrorClass::Transport;
    if (c.report.outcome == Outcome::Fault || c.report.outcome == Outcome::ErrorPage)
        return ErrorClass::Fault;
    if (c.report.outcome == Outcome::Result && c.report.verdict != 0)
        return ErrorClass::TokenRejected;
    return ErrorClass::Expectation;
}

std::uint64_t OperationStats::failed() const
{
    std::uint64_t n = 0;
    for (const std::uint64_t e : errors)
        n += e;
    return n;
}

void OperationStats::Merge(const OperationStats& other)
{
    calls += other.calls;
    for (std::size_t k = 0; k < kErrorClasses; ++k)
        errors[k] += other.errors[k];
    latency.Merge(other.latency);
}

LoadResult RunLoad(const LoadSettings& settings, const LoadScript& script)
{
    const double cpuBefore = CpuSeconds();
    LoadState load(settings, script);
    std::vector<std::unique_ptr<ClientCounts>> counts;
    for (int i = 0; i < settings.clients; ++i)
        counts.push_back(std::make_unique<ClientCounts>());
    LoadResult r;
    r.clients = settings.clients;

    const BlockedSignals signals;
    std::vector<std::jthread> clients;
    for (int i = 0; i < settings.clients; ++i)
        clients.emplace_back([&load, &counts, i](const std::stop_token& stop) {
            RunClient(stop, load, *counts[static_cast<std::size_t>(i)], i);
            load.finished.fetch_add(1);
        });
    const auto stopAll = [&] {
        for (std::jthread& t : clients)
            t.request_stop();
    };

    Histogram cumulative(2), second(2);
    std::uint64_t errorsSoFar = 0;
    // Takes every client's window: the second that ends `end` seconds after
    // the start; or, `joinLast`, more of the last second.
    const auto sweep = [&](double end, bool joinLast) {
        SecondStats ss;
        if (joinLast) {
            ss = r.seconds.back();
            r.seconds.pop_back();
        } else {
            second.Reset();
        }
        ss.end = end;
        std::uint64_t errors = 0;
        for (const auto& c : counts) {
            std::lock_guard lock(c->m);
            second.Merge(c->window);
            cumulative.Merge(c->window);
            c->window.Reset();
            ss.calls += std::exchange(c->windowCalls, 0);
            errors += std::exchange(c->windowErrors, 0);
        }
        ss.errors += errors;
        ss.p50 = second.Percentile(50);
        ss.p99 = second.Percentile(99);
        errorsSoFar += errors;
        r.seconds.push_back(ss);
        return ss;
    };
    const auto clearLine = [&] {
        if (settings.liveLine)
            std::cerr << "\r\033[K";
    };
    bool stopping = false;
    while (load.finished.load() < settings.clients) {
        if (signals.Wait(kTickNanos) && !stopping) {
            r.interrupted = stopping = true;
            stopAll();
        }
        if (const std::vector<std::string> shown = load.TakeToShow(); !shown.empty()) {
            clearLine();
            for (const std::string& f : shown)
                std::cerr << "tessel-call: " << f << "\n";
        }
        const std::optional<Clock::time_point> t0 = load.start();
        if (!t0)
            continue;
        const Clock::time_point now = Clock::now();
        if (settings.duration && !stopping && now >= *t0 + std::chrono::duration<double>(*settings.duration)) {
            stopping = true;
            stopAll();
        }
        const double at = Seconds(now - *t0);
        if (at >= static_cast<double>(r.seconds.size() + 1)) {
            const SecondStats ss = sweep(static_cast<double>(r.seconds.size() + 1), false);
            if (settings.liveLine) {
                char line[160];
                std::snprintf(line, sizeof line, "\r\033[K%6.1f s  %8llu calls/s  %6llu errors  p99 %s ms", at,
                              static_cast<unsigned long long>(ss.calls), static_cast<unsigned long long>(errorsSoFar),
                              Ms(cumulative.Percentile(99)).c_str());
                std::cerr << line << std::flush;
            }
        }
    }
    clients.clear();  // joined
    clearLine();
    for (const std::string& f : load.TakeToShow())
        std::cerr << "tessel-call: " << f << "\n";

    const std::optional<Clock::time_point> t0 = load.start();
    Clock::time_point lastEnd{};
    for (const auto& c : counts) {
        for (const auto& [name, o] : c->operations) {
            r.operations[name].Merge(o);
            r.total.Merge(o);
        }
        r.lateStarts += c->late;
        r.iterations += c->iterations;
        lastEnd = std::max(lastEnd, c->lastEnd);
    }
    if (t0 && lastEnd > *t0)
        r.elapsed = Seconds(lastEnd - *t0);
    bool pending = false;
    for (const auto& c : counts)
        pending = pending || c->windowCalls != 0;
    // What ended since the last look: a last, shorter second, or (under half
    // a second, the calls in flight at the end) more of the last one.
    if (pending) {
        const double last = r.seconds.empty() ? 0 : r.seconds.back().end;
        const double end = std::max(r.elapsed, last + 0.001);
        sweep(end, !r.seconds.empty() && end - last < 0.5);
    }
    load.Into(r);
    r.cpuSeconds = CpuSeconds() - cpuBefore;
    return r;
}

std::string ClientsWarning(int clients, unsigned processors, unsigned long descriptors)
{
    std::string warning;
    const unsigned workers = std::max(8u, processors);
    if (static_cast<unsigned>(clients) > workers)
        warning += "--clients " + std::to_string(clients) + " is more than the local service serves at once (max(8, " +
                   "processors) = " + std::to_string(workers) + " calls on this machine): the other clients wait " +
                   "for a worker, and the wait is in their latency\n";
    // Each client holds a connection; this process needs a few descriptors more.
    if (descriptors != RLIM_INFINITY && static_cast<unsigned long>(clients) + 64 > descriptors)
        warning += "--clients " + std::to_string(clients) + " is more connections than this process may open (" +
                   std::to_string(descriptors) + " descriptors, ulimit -n): some clients will fail to connect\n";
    return warning;
}

std::string LoadTable(const LoadResult& r)
{
    std::ostringstream out;
    char line[256];
    const char* head = "%-28s %9s %7s %7s %9s %7s %9s %9s %9s %9s %9s %9s %9s\n";
    std::snprintf(line, sizeof line, head, "operation", "calls", "fault", "token", "transport", "expect", "calls/s",
                  "min ms", "p50 ms", "p90 ms", "p99 ms", "p99.9 ms", "max ms");
    out << line;
    const auto row = [&](const std::string& name, const OperationStats& o) {
        const Histogram& h = o.latency;
        std::snprintf(line, sizeof line, "%-28s %9llu %7llu %7llu %9llu %7llu %9.1f %9s %9s %9s %9s %9s %9s\n",
                      name.substr(0, 28).c_str(), static_cast<unsigned long long>(o.calls),
                      static_cast<unsigned long long>(o.errors[0]), static_cast<unsigned long long>(o.errors[1]),
                      static_cast<unsigned long long>(o.errors[2]), static_cast<unsigned long long>(o.errors[3]),
                      r.elapsed > 0 ? static_cast<double>(o.calls) / r.elapsed : 0.0, Ms(h.min()).c_str(),
                      Ms(h.Percentile(50)).c_str(), Ms(h.Percentile(90)).c_str(), Ms(h.Percentile(99)).c_str(),
                      Ms(h.Percentile(99.9)).c_str(), Ms(h.max()).c_str());
        out << line;
    };
    for (const auto& [name, o] : r.operations)
        row(name, o);
    row("total", r.total);
    return out.str();
}

nlohmann::ordered_json LoadJson(const LoadResult& r, const LoadSettings& s, const std::string& script,
                                const std::vector<LoadCheck>& checks)
{
    nlohmann::ordered_json j;
    j["tool"] = "tessel-call";
    j["mode"] = "load";
    j["version"] = tessel::kKitVersion;
    j["timestamp"] = UtcTimestamp();
    j["script"] = script;
    nlohmann::ordered_json settings;
    settings["clients"] = s.clients;
    settings["model"] = s.rate ? "open" : "closed";
    settings["duration"] = s.duration ? nlohmann::ordered_json(*s.duration) : nlohmann::ordered_json();
    settings["iterations"] = s.iterations ? nlohmann::ordered_json(*s.iterations) : nlohmann::ordered_json();
    settings["rate"] = s.rate ? nlohmann::ordered_json(*s.rate) : nlohmann::ordered_json();
    settings["rampUp"] = s.rampUp;
    j["settings"] = settings;
    j["seconds"] = std::round(r.elapsed * 1000) / 1000;
    j["interrupted"] = r.interrupted;
    j["clients"] = {{"started", r.clients}, {"loggedIn", r.loggedIn}, {"loginFailures", r.loginFailures},
                    {"logoutFailures", r.logoutFailures}};
    j["iterations"] = r.iterations;
    j["lateStarts"] = r.lateStarts;
    j["cpuSeconds"] = std::round(r.cpuSeconds * 1e4) / 1e4;
    j["cpuMicrosPerCall"] =
        r.total.calls ? std::round(r.cpuSeconds * 1e6 / static_cast<double>(r.total.calls) * 10) / 10 : 0.0;
    j["total"] = StatsJson(r.total, r.elapsed);
    nlohmann::ordered_json ops = nlohmann::ordered_json::array();
    for (const auto& [name, o] : r.operations) {
        nlohmann::ordered_json op = {{"operation", name}};
        op.update(StatsJson(o, r.elapsed));
        ops.push_back(op);
    }
    j["operations"] = ops;
    nlohmann::ordered_json series = nlohmann::ordered_json::array();
    double from = 0;
    for (const SecondStats& ss : r.seconds) {
        const double span = ss.end - from;
        series.push_back({{"end", std::round(ss.end * 1000) / 1000},
                          {"calls", ss.calls},
                          {"errors", ss.errors},
                          {"callsPerSecond", span > 0 ? std::round(static_cast<double>(ss.calls) / span * 10) / 10 : 0.0},
                          {"p50Ms", MsValue(ss.p50)},
                          {"p99Ms", MsValue(ss.p99)}});
        from = ss.end;
    }
    j["perSecond"] = series;
    nlohmann::ordered_json buckets = nlohmann::ordered_json::array();
    for (const Histogram::Bucket& b : r.total.latency.Buckets())
        buckets.push_back({{"lowMs", MsValue(b.low)}, {"highMs", MsValue(b.high)}, {"count", b.count}});
    j["histogram"] = buckets;
    j["firstFailures"] = r.firstFailures;
    nlohmann::ordered_json cs = nlohmann::ordered_json::array();
    bool passed = true;
    for (const LoadCheck& c : checks) {
        cs.push_back({{"name", c.name}, {"passed", c.passed}, {"failure", c.failure}});
        passed = passed && c.passed;
    }
    j["checks"] = cs;
    j["passed"] = passed;
    return j;
}

}  // namespace tessel::call

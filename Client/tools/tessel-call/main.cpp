// tessel-call: the service's authenticated operations from a shell or a CI
// job, sent exactly as the tools send them.
#include <nlohmann/json.hpp>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "CallSession.h"
#include "Client/Inspection.h"
#include "Client/StatusLines.h"
#include "Client/Verdict.h"
#include "DataFile.h"
#include "Junit.h"
#include "Load.h"
#include "LoadPlot.h"
#include "Runner.h"
#include "Script.h"
#include "ScriptRun.h"
#include "Soap/Transport.h"
#include "TesselKitVersion.h"

using namespace tessel::call;
using tessel::client::DescribeKind;
using tessel::client::DescribeVerdict;
using tessel::client::Masked;

namespace {

constexpr char kDefaultUri[] = "http://localhost:8080/TesselService/TesselServiceCore.xml";
constexpr char kPasswordVariable[] = "TESSEL_PASSWORD";
constexpr std::size_t kMaxPasswordFile = 4096;
constexpr std::size_t kMaxScript = 16u << 20;

constexpr char kUsage[] =
    "usage: tessel-call [options] OPERATION [name=value ...]\n"
    "       tessel-call [options] list\n"
    "       tessel-call [options] run [--data FILE.csv|FILE.json] [--junit FILE] [--report-json FILE] SCRIPT...\n"
    "       tessel-call [options] load SCRIPT [--clients N] [--duration S | --iterations K] [--rate CALLS_PER_S]\n"
    "                           [--ramp-up S] [--report-json FILE] [--junit FILE] [--plot FILE.png|FILE.svg]\n"
    "                           [--expect-p99 MS] [--expect-errors N]\n"
    "       tessel-call inspect seed=S sessionKey=K method=M request=TOKEN [scheme=S] [verifier=V]\n"
    "                           [slot.NAME=VALUE ...] [reply=TOKEN result=TEXT]\n"
    "\n"
    "Logs in, sends one authenticated call (or every call of SCRIPT in one session), validates\n"
    "the reply token, prints the decoded result and logs out. `list` prints the operations of\n"
    "the description with their parameters. `load` runs SCRIPT in a loop from N clients at\n"
    "once (each its own session) and prints calls, errors and latencies per operation.\n"
    "`inspect` decodes a request token (and a reply's) with the session values -v prints;\n"
    "each VALUE may be @FILE or @- (standard input).\n"
    "\n"
    "options:\n"
    "  --uri DESCRIPTION        the service description\n"
    "                           (default http://localhost:8080/TesselService/TesselServiceCore.xml)\n"
    "  --admin                  use the admin description (admin operations go there anyway)\n"
    "  --admin-uri DESCRIPTION  the admin description (default: beside --uri, \"Admin\" before the extension)\n"
    "  --user NAME              the user who logs in\n"
    "  --password-file FILE     the password is the first line of FILE\n"
    "  --password PW            the password (other users of the machine can see it: prefer\n"
    "                           --password-file or the environment variable TESSEL_PASSWORD)\n"
    "  --authority A            (default LDAP://ldap.example.test)\n"
    "  --realm R                (default example.test)\n"
    "  --service S              (default tsc)\n"
    "  -v, --verbose            print every request and reply envelope and the HTTP status on standard error,\n"
    "                           and both tokens of each call decoded\n"
    "  --json                   print the call as one JSON object on standard output\n"
    "  --junit FILE             (run) write a JUnit XML report to FILE\n"
    "  --report-json FILE       (run) write every call, its time, status, verdict and expectations to FILE\n"
    "  --var NAME=VALUE         (run) ${NAME} is VALUE; repeatable\n"
    "  --env-file FILE          (run) NAME=VALUE lines, one a variable; repeatable\n"
    "  --data FILE              (run) run each script once per row of FILE.csv (a header of names) or\n"
    "                           FILE.json (an array of objects)\n"
    "  --bail                   (run) stop at the first call that fails\n"
    "  --clients N              (load) sessions at once, each on its own thread (default 1)\n"
    "  --duration S             (load) run for S seconds (default: one iteration of the script each)\n"
    "  --iterations K           (load) run the script K times in each client\n"
    "  --rate CALLS_PER_S       (load) start calls on this schedule, whole load (open model); without it\n"
    "                           each client calls back to back\n"
    "  --ramp-up S              (load) start the clients evenly over S seconds\n"
    "  --plot FILE              (load) draw latency and calls per second over time and the latency\n"
    "                           histogram into FILE.png or FILE.svg\n"
    "  --expect-p99 MS          (load) fail (exit 1) when the p99 latency of all calls is above MS ms\n"
    "  --expect-errors N        (load) fail (exit 1) when more than N calls fail\n"
    "  --retries N              send a call again, up to N times, when no reply came at all\n"
    "  --timeout S              give up an exchange after S seconds (default TESSEL_TIMEOUT, else 120)\n"
    "  --allow-import-origin ORIGIN\n"
    "                           fetch the description's imports from ORIGIN (such as http://host:8081)\n"
    "                           too; repeatable, and added to those of TESSEL_IMPORT_ORIGINS\n"
    "  -h, --help               print this text\n"
    "  --version                print the kit's version\n"
    "\n"
    "\n"
    "A value name=@FILE is FILE's text, name=@- standard input, name=@@text the text @text.\n"
    "A ${NAME} takes its value from the script's set lines, the data row, --var, --env-file,\n"
    "then the environment.\n"
    "\n"
    "exit status: 0 a result with a valid reply token; 1 a fault or a refused login (run: a call failed);\n"
    "2 the reply token is rejected; 3 transport, description or token library error; 4 usage.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Mode { Call, List, Run, Load };

// What only load takes.
struct LoadOptions {
    int clients = 1;
    std::optional<double> duration, rate, expectP99;
    std::optional<long long> iterations, expectErrors;
    double rampUp = 0;
    std::optional<std::string> plot;
    bool given = false;  // some option of load was given
};

struct Options {
    Mode mode = Mode::Call;
    std::string uri = kDefaultUri;
    std::optional<std::string> adminUri;
    bool admin = false;
    LoginValues login;
    bool userGiven = false;
    std::optional<std::string> password, passwordFile;
    bool verbose = false, json = false, help = false, version = false;
    std::optional<std::string> junit, reportJson, data;
    std::vector<std::string> vars, envFiles;  // Run: NAME=VALUE, files
    bool bail = false;
    int retries = 0;
    std::optional<long> timeout;
    std::vector<std::string> importOrigins;  // besides the description's own
    std::string operation;           // Call
    std::vector<std::string> params;  // Call: name=value
    std::vector<std::string> scripts;  // Run, Load (one)
    LoadOptions load;

    std::string AdminUri() const { return adminUri ? *adminUri : AdminUriBeside(uri); }
};

// A number of an option within [low, high]; `whole` when it takes no fraction.
double OptionNumber(const std::string& option, const std::string& v, double low, double high, bool whole)
{
    char* end = nullptr;
    const double n = std::strtod(v.c_str(), &end);
    const bool fits = !v.empty() && end && *end == '\0' && std::isfinite(n) && n >= low && n <= high &&
                      (!whole || n == std::floor(n)) && v.find_first_of("xXpPnN") == std::string::npos;
    if (!fits) {
        std::ostringstream range;
        range << low << " to " << high;
        throw UsageError(option + " takes " + (whole ? "a whole number" : "a number") + " from " + range.str() +
                         ", not \"" + v.substr(0, 40) + "\"");
    }
    return n;
}

Options ParseArguments(const std::vector<std::string>& args)
{
    Options o;
    std::vector<std::string> positional;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        std::optional<std::string> inline_;
        if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_ = a.substr(eq + 1);
            a.resize(eq);
        }
        const auto value = [&]() -> std::string {
            if (inline_)
                return *inline_;
            if (i + 1 >= args.size())
                throw UsageError(a + " needs a value");
            return args[++i];
        };
        const auto flag = [&](bool& f) {
            if (inline_)
                throw UsageError(a + " takes no value");
            f = true;
        };
        if (a == "--uri")
            o.uri = value();
        else if (a == "--admin-uri")
            o.adminUri = value();
        else if (a == "--admin")
            flag(o.admin);
        else if (a == "--user") {
            o.login.user = value();
            o.userGiven = true;
        } else if (a == "--password")
            o.password = value();
        else if (a == "--password-file")
            o.passwordFile = value();
        else if (a == "--authority")
            o.login.authority = value();
        else if (a == "--realm")
            o.login.realm = value();
        else if (a == "--service")
            o.login.service = value();
        else if (a == "-v" || a == "--verbose")
            flag(o.verbose);
        else if (a == "--json")
            flag(o.json);
        else if (a == "--junit")
            o.junit = value();
        else if (a == "--report-json")
            o.reportJson = value();
        else if (a == "--data")
            o.data = value();
        else if (a == "--var") {
            const std::string v = value();
            const auto eq = v.find('=');
            if (eq == std::string::npos || !IsVariableName(v.substr(0, eq)) || v.substr(0, eq) == "result")
                throw UsageError("--var takes NAME=VALUE with a NAME of letters, digits and _ other than result, "
                                 "not \"" + v.substr(0, 40) + "\"");
            o.vars.push_back(v);
        } else if (a == "--env-file")
            o.envFiles.push_back(value());
        else if (a == "--bail")
            flag(o.bail);
        else if (a == "--clients") {
            o.load.clients = static_cast<int>(OptionNumber(a, value(), 1, 4096, true));
            o.load.given = true;
        } else if (a == "--duration") {
            o.load.duration = OptionNumber(a, value(), 0.001, 86400 * 7, false);
            o.load.given = true;
        } else if (a == "--iterations") {
            o.load.iterations = static_cast<long long>(OptionNumber(a, value(), 1, 1e12, true));
            o.load.given = true;
        } else if (a == "--rate") {
            o.load.rate = OptionNumber(a, value(), 0.001, 1e7, false);
            o.load.given = true;
        } else if (a == "--ramp-up") {
            o.load.rampUp = OptionNumber(a, value(), 0, 86400, false);
            o.load.given = true;
        } else if (a == "--plot") {
            o.load.plot = value();
            if (PlotDevice(*o.load.plot).empty())
                throw UsageError("--plot takes a FILE.png or FILE.svg, not \"" + *o.load.plot + "\"");
            o.load.given = true;
        } else if (a == "--expect-p99") {
            o.load.expectP99 = OptionNumber(a, value(), 0, 3.6e6, false);
            o.load.given = true;
        } else if (a == "--expect-errors") {
            o.load.expectErrors = static_cast<long long>(OptionNumber(a, value(), 0, 1e15, true));
            o.load.given = true;
        }
        else if (a == "--retries" || a == "--timeout") {
            const std::string v = value();
            const long limit = a == "--retries" ? 100 : 86400;
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || !end || *end != '\0' || n < (a == "--retries" ? 0 : 1) || n > limit)
                throw UsageError(a + " takes a whole number from " + (a == "--retries" ? "0" : "1") + " to " +
                                 std::to_string(limit) + (a == "--timeout" ? " (seconds)" : "") + ", not \"" + v +
                                 "\"");
            if (a == "--retries")
                o.retries = static_cast<int>(n);
            else
                o.timeout = n;
        }
        else if (a == "--allow-import-origin") {
            const std::string origin = value();
            if (tessel::soap::OriginOf(origin).empty())
                throw UsageError("--allow-import-origin " + origin +
                                 " names no origin (give a scheme, a host and perhaps a port, such as "
                                 "http://host:8081)");
            o.importOrigins.push_back(tessel::soap::OriginOf(origin));
        }
        else if (a == "-h" || a == "--help")
            flag(o.help);
        else if (a == "--version")
            flag(o.version);
        else
            throw UsageError("unknown option " + a);
    }
    if (o.help || o.version)
        return o;
    if (positional.empty())
        throw UsageError("name an OPERATION, list, run or load");
    const std::string first = positional.front();
    if (first == "list") {
        o.mode = Mode::List;
        if (positional.size() > 1)
            throw UsageError("list takes no further arguments");
    } else if (first == "run") {
        o.mode = Mode::Run;
        if (positional.size() < 2)
            throw UsageError("run takes one SCRIPT file or more");
        o.scripts.assign(positional.begin() + 1, positional.end());
    } else if (first == "load") {
        o.mode = Mode::Load;
        if (positional.size() != 2)
            throw UsageError("load takes one SCRIPT file");
        o.scripts.assign(positional.begin() + 1, positional.end());
        if (o.load.duration && o.load.iterations)
            throw UsageError("give either --duration or --iterations");
        if (o.bail)
            throw UsageError("--bail goes with run");
    } else {
        o.operation = first;
        o.params.assign(positional.begin() + 1, positional.end());
    }
    if (o.junit && o.mode != Mode::Run && o.mode != Mode::Load)
        throw UsageError("--junit goes with run or load");
    if (o.load.given && o.mode != Mode::Load)
        throw UsageError("--clients, --duration, --iterations, --rate, --ramp-up, --plot and --expect-* go with load");
    if (o.mode != Mode::Run && o.mode != Mode::Load) {
        const std::pair<bool, const char*> runOnly[] = {{o.reportJson.has_value(), "--report-json"},
                                                        {o.data.has_value(), "--data"},
                                                        {!o.vars.empty(), "--var"},
                                                        {!o.envFiles.empty(), "--env-file"},
                                                        {o.bail, "--bail"}};
        for (const auto& [given, name] : runOnly)
            if (given)
                throw UsageError(std::string(name) + " goes with run");
    }
    if (o.json && o.mode != Mode::Call)
        throw UsageError("--json goes with a single call");
    if (o.mode != Mode::List && !o.userGiven)
        throw UsageError("--user NAME is needed to log in");
    if (o.password && o.passwordFile)
        throw UsageError("give either --password or --password-file");
    return o;
}

// The password from --password, --password-file or TESSEL_PASSWORD, in that order.
std::string Password(const Options& o)
{
    if (o.password)
        return *o.password;
    if (o.passwordFile) {
        std::ifstream in(*o.passwordFile, std::ios::binary);
        if (!in)
            throw UsageError("cannot read the password file " + *o.passwordFile);
        std::string text(kMaxPasswordFile + 1, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxPasswordFile)
            throw UsageError("the password file " + *o.passwordFile + " is longer than " +
                             std::to_string(kMaxPasswordFile) + " bytes");
        text = text.substr(0, text.find('\n'));
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        return text;
    }
    if (const char* env = std::getenv(kPasswordVariable))
        return env;
    throw UsageError("no password: give --password-file FILE, set TESSEL_PASSWORD, or give --password PW");
}

std::string WithNewline(const std::string& text)
{
    return !text.empty() && text.back() == '\n' ? text : text + "\n";
}

void Trace(const Exchange& ex)
{
    std::cerr << "> POST " << ex.url << " (" << ex.method << ")\n";
    if (!ex.request.empty())
        std::cerr << WithNewline(ex.request);
    if (!ex.error.empty())
        std::cerr << "< no reply: " << ex.error << "\n";
    else
        std::cerr << "< HTTP " << ex.status << "\n" << WithNewline(ex.response);
    std::cerr.flush();
}

// The token inspector's reading of a call, after its exchange.
void TraceTokens(const CallReport& r, const std::string& password)
{
    const tessel::client::TokenTrace& t = r.tokens;
    std::cerr << "= tokens of " << r.operation << "\n"
              << WithNewline(Masked(tessel::client::InspectionText(t), password))
              << "  (tessel-call inspect takes them as scheme=, seed=, sessionKey=, verifier=, method=, request=, "
                 "slot.NAME=, reply=, result=; these are the session's)\n"
              << "  scheme=" << t.scheme << "\n  seed=" << t.seed << "\n  sessionKey=" << t.sessionKey
              << "\n  verifier=" << t.verifier << "\n  request=" << t.requestToken << "\n";
    if (t.validated)
        std::cerr << "  reply=" << t.replyToken << "\n";
    std::cerr.flush();
}

double Rounded(double ms)
{
    return std::round(ms * 1000) / 1000;
}

nlohmann::ordered_json ReportJson(const CallReport& r, Interface iface)
{
    nlohmann::ordered_json j;
    j["operation"] = r.operation;
    j["interface"] = iface == Interface::Admin ? "admin" : "main";
    j["httpStatus"] = r.httpStatus;
    j["elapsedMs"] = Rounded(r.elapsedMs);
    switch (r.outcome) {
    case Outcome::Result:
        j["result"] = r.result;
        j["kind"] = r.kind;
        j["kindName"] = DescribeKind(r.kind);
        j["token"] = DescribeVerdict(r.verdict, r.failedCheck);
        j["tokenHResult"] = r.verdict;
        break;
    case Outcome::Fault:
    case Outcome::ErrorPage:
        j["fault"] = {{"code", r.faultCode}, {"string", r.faultString}, {"detail", r.faultDetail}};
        break;
    case Outcome::Transport:
    case Outcome::NotSent: j["error"] = r.error; break;
    }
    if (!r.tokens.empty())
        j["inspection"] = tessel::client::InspectionText(r.tokens);
    j["exitStatus"] = r.exitStatus();
    return j;
}

void PrintJson(const nlohmann::ordered_json& j)
{
    std::cout << j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

void PrintReport(const CallReport& r)
{
    switch (r.outcome) {
    case Outcome::Result:
        std::cout << r.result << "\n";
        std::cerr << tessel::client::ReportResultLine(r.operation, r.httpStatus, std::lround(r.elapsedMs), r.kind,
                                                      r.verdict, r.failedCheck)
                  << "\n";
        break;
    case Outcome::Fault:
        std::cerr << tessel::client::ReportFaultLine(r.operation, r.faultCode, r.faultString) << "\n";
        if (!r.faultDetail.empty())
            std::cerr << WithNewline(r.faultDetail);
        break;
    case Outcome::ErrorPage: std::cerr << r.operation << ": " << r.faultString << "\n"; break;
    case Outcome::Transport:
    case Outcome::NotSent: std::cerr << "tessel-call: " << r.operation << ": " << r.error << "\n"; break;
    }
}

std::string StandardInput()
{
    std::ostringstream text;
    text << std::cin.rdbuf();
    return text.str();
}

// The time limits: TESSEL_CONNECT_TIMEOUT and TESSEL_TIMEOUT as the windows read them, then --timeout.
void ApplyTimeouts(CallSession& session, const Options& o)
{
    const tessel::soap::HttpOptions env = tessel::soap::HttpOptions::FromEnvironment();
    const long total = o.timeout ? *o.timeout : env.totalTimeoutSeconds;
    session.SetTimeouts(std::min(env.connectTimeoutSeconds, total), total);
}

// Runs `step` again while it fails on the transport, up to `retries` more times.
template <typename F>
void WithRetries(int retries, const F& step, const std::function<void()>& between = {})
{
    for (int attempt = 0;; ++attempt) {
        try {
            step();
            return;
        } catch (const CallError& e) {
            if (e.status() != kExitTransport || attempt >= retries)
                throw attempt == 0 ? e
                                   : CallError(e.status(), std::string(e.what()) + " (tried " +
                                                               std::to_string(attempt + 1) + " times)");
            if (between)
                between();
        }
    }
}

std::vector<std::pair<std::string, std::string>> NamedValues(const std::vector<std::string>& params)
{
    std::vector<std::pair<std::string, std::string>> given;
    for (const std::string& p : params) {
        const auto eq = p.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("a parameter is given as name=value, not \"" + p + "\"");
        try {
            given.emplace_back(p.substr(0, eq), ArgumentValue(p.substr(eq + 1), StandardInput));
        } catch (const std::runtime_error& e) {
            throw UsageError(p.substr(0, eq) + ": " + e.what());
        }
    }
    return given;
}

int RunCall(const Options& o)
{
    const auto given = NamedValues(o.params);
    LoginValues login = o.login;
    login.password = Password(o);
    tessel::client::TokenLibrary library;
    CallSession session(library, o.verbose ? Tracer(Trace) : Tracer());
    if (o.verbose)
        session.OnCall([&login](const CallReport& r) { TraceTokens(r, login.password); });
    session.AllowImportOrigins(o.importOrigins);
    ApplyTimeouts(session, o);
    const Interface iface = InterfaceOf(o.operation, o.admin);
    CallReport report;
    try {
        WithRetries(o.retries, [&] { session.Load(Interface::Main, o.uri); });
        if (iface == Interface::Admin)
            WithRetries(o.retries, [&] { session.Load(Interface::Admin, o.AdminUri()); });
        const auto slots = OrderParameters(o.operation, session.Parameters(iface, o.operation), given);
        WithRetries(o.retries, [&] { session.LogIn(login); }, [&] { session.LogOut(); });
        report = session.Call(iface, o.operation, slots);
        for (int attempt = 0; attempt < o.retries && report.outcome == Outcome::Transport && report.httpStatus == 0 &&
                              report.reply.empty() && !report.request.empty();
             ++attempt)
            report = session.Call(iface, o.operation, slots);
    } catch (const CallError& e) {
        session.LogOut();
        std::cerr << "tessel-call: " << e.what() << "\n";
        if (o.json && e.status() != kExitUsage)
            PrintJson({{"operation", o.operation}, {"error", e.what()}, {"exitStatus", e.status()}});
        return e.status();
    }
    if (const std::string problem = session.LogOut(); !problem.empty())
        std::cerr << "tessel-call: the logout failed: " << problem << "\n";
    if (o.json)
        PrintJson(ReportJson(report, iface));
    else
        PrintReport(report);
    return report.exitStatus();
}

int RunList(const Options& o)
{
    tessel::client::TokenLibrary library;  // not loaded: list sends nothing that carries a token
    CallSession session(library);
    session.AllowImportOrigins(o.importOrigins);
    ApplyTimeouts(session, o);
    const Interface iface = o.admin ? Interface::Admin : Interface::Main;
    try {
        session.Load(iface, iface == Interface::Admin ? o.AdminUri() : o.uri);
    } catch (const CallError& e) {
        std::cerr << "tessel-call: " << e.what() << "\n";
        return e.status();
    }
    for (const auto& [name, params] : session.Operations(iface)) {
        std::cout << name;
        for (const std::string& p : params)
            std::cout << ' ' << p;
        std::cout << '\n';
    }
    return kExitResult;
}

// The text of an input file ("the script", "the env file") of at most kMaxScript bytes.
std::string ReadInputFile(const std::string& what, const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        throw UsageError("cannot read " + what + " " + path + ": " + ec.message());
    if (size > kMaxScript)
        throw UsageError(what + " " + path + " is larger than " + std::to_string(kMaxScript) + " bytes");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof())
        throw UsageError("cannot read " + what + " " + path);
    return text.str();
}

// One script of a run, parsed, with the names it takes from outside.
struct ScriptUnit {
    std::string path, name, classname, folder;
    std::vector<Step> steps;
    std::vector<PreparedCall> prepared;
    std::set<std::string> given;  // the ${NAME}s it takes from outside
};

// The run stops at the first failed call (--bail).
struct Bailed {};

// The env files, the --var values, the data rows and the scripts, read and
// parsed; each row gives what each script takes from outside. Raises
// ScriptError, DataError, UsageError or std::runtime_error; `current` names
// the file being read when it raised.
void ReadInputs(const Options& o, VariableSources& sources, std::vector<DataRow>& rows, std::vector<ScriptUnit>& units,
                std::string& current)
{
    for (const std::string& file : o.envFiles) {
        current = file;
        sources.AddEnvFile(ParseEnvFile(ReadInputFile("the env file", file), file));
    }
    current.clear();
    for (const std::string& v : o.vars) {
        const auto eq = v.find('=');
        sources.AddVar(v.substr(0, eq), ArgumentValue(v.substr(eq + 1), StandardInput));
    }
    if (o.data) {
        rows = ReadDataFile(*o.data);
        if (rows.empty())
            throw DataError(*o.data, 1, "the file holds no rows");
    }
    for (const std::string& path : o.scripts) {
        current = path;
        ScriptUnit u;
        u.path = path;
        u.name = std::filesystem::path(path).filename().string();
        u.classname = "tessel-call." + std::filesystem::path(path).stem().string();
        u.folder = std::filesystem::path(path).parent_path().string();
        if (u.folder.empty())
            u.folder = ".";
        u.steps = ParseScript(ReadInputFile("the script", path), [&](const std::string& name) {
            if (!sources.Gives(name, rows))
                return false;
            u.given.insert(name);
            return true;
        });
        // Each row gives what the script takes, or the run does not start.
        if (rows.empty())
            sources.ValuesFor(u.given, nullptr, "");
        for (const DataRow& row : rows)
            sources.ValuesFor(u.given, &row, *o.data);
        units.push_back(std::move(u));
    }
}

int RunScripts(const Options& o)
{
    const auto started = std::chrono::steady_clock::now();
    const std::string startedAt = UtcTimestamp();
    std::vector<JunitSuite> suites;
    nlohmann::ordered_json jsonSuites = nlohmann::ordered_json::array();
    std::string password;
    int passed = 0, failed = 0;
    const std::string reportName =
        o.scripts.size() == 1 ? std::filesystem::path(o.scripts[0]).filename().string() : std::string("tessel-call");
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    // The reports, as far as the run went.
    const auto report = [&](int status) {
        if (o.junit) {
            try {
                WriteFileReplacing(*o.junit, JunitXml(reportName, suites));
            } catch (const std::exception& e) {
                std::cerr << "tessel-call: the JUnit report: " << e.what() << "\n";
                status = status == kExitResult ? kExitTransport : status;
            }
        }
        if (o.reportJson) {
            nlohmann::ordered_json j;
            j["tool"] = "tessel-call";
            j["version"] = tessel::kKitVersion;
            j["timestamp"] = startedAt;
            j["seconds"] = std::round(elapsed() * 1000) / 1000;
            j["passed"] = passed;
            j["failed"] = failed;
            j["exitStatus"] = status;
            j["suites"] = jsonSuites;
            try {
                WriteFileReplacing(*o.reportJson,
                                   j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
            } catch (const std::exception& e) {
                std::cerr << "tessel-call: the JSON report: " << e.what() << "\n";
                status = status == kExitResult ? kExitTransport : status;
            }
        }
        return status;
    };
    // A failure outside any call is one test case "setup" in the reports, so a CI server sees it.
    const auto setupFailed = [&](const std::string& script, int status, std::string message) {
        message = tessel::client::Masked(message, password);
        if (!script.empty() && message.rfind("line ", 0) == 0)
            message = std::filesystem::path(script).filename().string() + ": " + message;
        std::cerr << "tessel-call: " << message << "\n";
        JunitSuite suite;
        suite.name = script.empty() ? reportName : std::filesystem::path(script).filename().string();
        suite.timestamp = UtcTimestamp();
        JunitCase c;
        c.name = "setup";
        c.classname = "tessel-call." + std::filesystem::path(suite.name).stem().string();
        c.status = JunitCase::Status::Error;
        c.type = status == kExitUsage ? "script" : status == kExitFault ? "login" : "transport";
        c.message = c.details = message;
        suite.cases.push_back(c);
        suites.push_back(suite);
        CaseResult r;
        r.name = "setup";
        r.error = true;
        r.failures = {message};
        r.report.outcome = Outcome::NotSent;
        r.report.error = message;
        jsonSuites.push_back({{"name", suite.name}, {"script", script}, {"cases", {CaseJson(r)}}});
        return report(status);
    };

    // Everything is read and parsed before anything is sent.
    VariableSources sources;
    std::vector<DataRow> rows;
    std::vector<ScriptUnit> units;
    LoginValues login = o.login;
    std::string current;  // the script being read, for its errors
    try {
        login.password = password = Password(o);
        ReadInputs(o, sources, rows, units, current);
        current.clear();
    } catch (const ScriptError& e) {
        return setupFailed(current, kExitUsage, e.what());
    } catch (const DataError& e) {
        return setupFailed("", kExitUsage, e.what());
    } catch (const UsageError& e) {
        return setupFailed(current, kExitUsage, e.what());
    } catch (const std::runtime_error& e) {
        return setupFailed(current, kExitUsage, e.what());
    }

    tessel::client::TokenLibrary library;
    // The session masks the password where it sends it; a script may send it as any value.
    const Tracer tracer = !o.verbose ? Tracer() : Tracer([&password](const Exchange& ex) {
        Exchange shown = ex;
        for (std::string* t : {&shown.request, &shown.response, &shown.error})
            *t = Masked(std::move(*t), password);
        Trace(shown);
    });
    CallSession session(library, tracer);
    if (o.verbose)
        session.OnCall([&password](const CallReport& r) { TraceTokens(r, password); });
    session.AllowImportOrigins(o.importOrigins);
    ApplyTimeouts(session, o);
    int stopStatus = 0;
    bool transport = false;
    const bool headers = units.size() > 1 || !rows.empty();
    try {
        const Interface first = o.admin ? Interface::Admin : Interface::Main;
        WithRetries(o.retries, [&] { session.Load(first, o.admin ? o.AdminUri() : o.uri); });
        if (!session.Loaded(Interface::Main))
            WithRetries(o.retries, [&] { session.Load(Interface::Main, o.uri); });
        for (ScriptUnit& u : units) {
            current = u.path;
            WithRetries(o.retries, [&] { u.prepared = PrepareScript(u.steps, session, o.admin, o.AdminUri()); });
        }
        current.clear();
        WithRetries(o.retries, [&] { session.LogIn(login); }, [&] { session.LogOut(); });
    } catch (const CallError& e) {
        session.LogOut();
        return setupFailed(current, e.status(), e.what());
    } catch (const std::bad_alloc&) {
        session.LogOut();
        return setupFailed(current, kExitTransport, "memory ran out");
    }

    // Each case goes into the reports as it ends; only what they show of it is kept.
    std::size_t systemOutLeft = kMaxReportSystemOut;
    try {
        for (const ScriptUnit& u : units) {
            const std::size_t runs = rows.empty() ? 1 : rows.size();
            for (std::size_t k = 0; k < runs; ++k) {
                const DataRow* row = rows.empty() ? nullptr : &rows[k];
                const auto suiteStarted = std::chrono::steady_clock::now();
                JunitSuite suite;
                suite.name = Masked(row ? RowSuiteName(u.name, k + 1, *row) : u.name, password);
                suite.timestamp = UtcTimestamp();
                nlohmann::ordered_json jsonCases = nlohmann::ordered_json::array();
                if (headers)
                    std::cout << "== " << Masked(suite.name, password) << "\n";
                RunOptions run;
                run.values = sources.ValuesFor(u.given, row, o.data ? *o.data : "");
                run.folder = u.folder;
                run.retries = o.retries;
                run.standardInput = StandardInput;
                const auto each = [&](const CaseResult& result) {
                    CaseResult c = result;
                    MaskCase(c, password);
                    std::cout << (c.passed ? "PASS  " : "FAIL  ") << c.name << "  " << std::lround(c.report.elapsedMs)
                              << " ms\n";
                    for (const std::string& f : c.failures) {
                        std::istringstream lines(f);
                        for (std::string line; std::getline(lines, line);)
                            std::cout << "      " << line << "\n";
                    }
                    std::cout.flush();
                    if (c.stopStatus != 0)
                        std::cerr << "tessel-call: " << u.path << ": " << c.failures.front() << "\n";
                    (c.passed ? passed : failed) += 1;
                    transport = transport || c.error;
                    stopStatus = c.stopStatus;
                    suite.cases.push_back(ReportCase(c, u.classname, systemOutLeft));
                    jsonCases.push_back(CaseJson(c));
                    if (result.report.outcome == Outcome::Result)
                        jsonCases.back()["resultBytes"] = result.report.result.size();
                };
                const auto close = [&] {
                    suite.seconds =
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - suiteStarted).count();
                    nlohmann::ordered_json js;
                    js["name"] = Masked(suite.name, password);
                    js["script"] = u.path;
                    if (row) {
                        js["row"] = k + 1;
                        js["dataLine"] = row->line;
                    }
                    js["timestamp"] = suite.timestamp;
                    js["seconds"] = std::round(suite.seconds * 1000) / 1000;
                    js["cases"] = std::move(jsonCases);
                    jsonSuites.push_back(std::move(js));
                    suites.push_back(std::move(suite));
                };
                try {
                    RunScript(u.steps, u.prepared, session, run, [&](const CaseResult& c) {
                        each(c);
                        if (o.bail && !c.passed)
                            throw Bailed{};
                    });
                } catch (const Bailed&) {
                    close();
                    throw;
                }
                close();
                if (stopStatus != 0)
                    break;
            }
            if (stopStatus != 0)
                break;
        }
    } catch (const Bailed&) {
        std::cout << "stopped at the first failed call (--bail)\n";
    }
    if (const std::string problem = session.LogOut(); !problem.empty())
        std::cerr << "tessel-call: the logout failed: " << problem << "\n";
    std::cout << passed << " passed, " << failed << " failed\n";
    return report(stopStatus != 0 ? stopStatus : transport ? kExitTransport : failed ? kExitFault : kExitResult);
}

// tessel-call load SCRIPT: everything is read, parsed and checked against
// the descriptions before the first client logs in; then the load, the table,
// the reports and the chart. Exit 0, or 1 when an --expect-* fails; no client
// that could log in: the login's status.
int RunLoadMode(const Options& o)
{
    VariableSources sources;
    std::vector<DataRow> rows;
    std::vector<ScriptUnit> units;
    std::string current;
    LoadScript script;
    script.login = o.login;
    try {
        script.login.password = script.password = Password(o);
        ReadInputs(o, sources, rows, units, current);
    } catch (const ScriptError& e) {
        throw UsageError(std::filesystem::path(current).filename().string() + ": " + e.what());
    } catch (const DataError& e) {
        throw UsageError(e.what());
    } catch (const UsageError&) {
        throw;
    } catch (const std::runtime_error& e) {
        throw UsageError(e.what());
    }
    const ScriptUnit& unit = units.front();
    if (std::none_of(unit.steps.begin(), unit.steps.end(),
                     [](const Step& s) { return std::holds_alternative<CallLine>(s); }))
        throw UsageError(unit.name + " has no call to make");
    script.steps = unit.steps;
    script.folder = unit.folder;
    script.retries = o.retries;
    script.admin = o.admin;
    script.adminUri = o.AdminUri();
    if (rows.empty())
        script.rowValues.push_back(sources.ValuesFor(unit.given, nullptr, ""));
    for (const DataRow& row : rows)
        script.rowValues.push_back(sources.ValuesFor(unit.given, &row, *o.data));
    script.newSession = [&o](tessel::client::TokenLibrary& library) {
        auto session = std::make_unique<CallSession>(library);
        session->AllowImportOrigins(o.importOrigins);
        ApplyTimeouts(*session, o);
        // A service that stops answering must not hold the load past its time.
        if (o.load.duration && !o.timeout) {
            const tessel::soap::HttpOptions env = tessel::soap::HttpOptions::FromEnvironment();
            const long total = std::min(env.totalTimeoutSeconds, static_cast<long>(std::ceil(*o.load.duration)) + 10);
            session->SetTimeouts(std::min(env.connectTimeoutSeconds, total), total);
        }
        session->Load(o.admin ? Interface::Admin : Interface::Main, o.admin ? o.AdminUri() : o.uri);
        if (!session->Loaded(Interface::Main))
            session->Load(Interface::Main, o.uri);
        return session;
    };
    // The script against the descriptions, once, before any login.
    {
        tessel::client::TokenLibrary library;
        try {
            const std::unique_ptr<CallSession> probe = script.newSession(library);
            PrepareScript(script.steps, *probe, o.admin, o.AdminUri());
        } catch (const CallError& e) {
            throw CallError(e.status(), unit.name + ": " + e.what());
        }
    }

    LoadSettings settings;
    settings.clients = o.load.clients;
    settings.duration = o.load.duration;
    settings.iterations = o.load.iterations;
    if (!settings.duration && !settings.iterations)
        settings.iterations = 1;
    settings.rate = o.load.rate;
    settings.rampUp = o.load.rampUp;
    settings.liveLine = isatty(STDERR_FILENO) == 1;
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    std::cerr << ClientsWarning(settings.clients, std::thread::hardware_concurrency(), files.rlim_cur);

    const LoadResult r = RunLoad(settings, script);

    for (const std::string& f : r.loginFailures)
        std::cerr << "tessel-call: a client could not log in: " << f << "\n";
    if (r.loggedIn < r.clients - static_cast<int>(r.loginFailures.size()))
        std::cerr << "tessel-call: " << r.clients - r.loggedIn << " clients could not log in\n";
    for (const std::string& f : r.logoutFailures)
        std::cerr << "tessel-call: a logout failed: " << f << "\n";
    if (r.total.failed() > r.firstFailures.size())
        std::cerr << "tessel-call: " << r.total.failed() << " calls failed; the first " << r.firstFailures.size()
                  << " are shown\n";
    std::cout << LoadTable(r);
    std::ostringstream summary;
    summary.setf(std::ios::fixed);
    summary.precision(1);
    summary << r.total.calls << " calls in " << r.elapsed << " s (" << r.callsPerSecond() << " calls/s) from "
            << r.loggedIn << " of " << r.clients << " clients, " << r.total.failed() << " failed";
    if (settings.rate)
        summary << ", " << r.lateStarts << " started late";
    if (r.interrupted)
        summary << "; interrupted";
    std::cout << summary.str() << "\n";

    // The expectations, each a test case of the JUnit report.
    std::vector<LoadCheck> checks;
    const double p99 = static_cast<double>(r.total.latency.Percentile(99)) / 1000;
    if (o.load.expectP99) {
        std::ostringstream name, why;
        name << "p99 <= " << *o.load.expectP99 << " ms";
        why << "p99 is " << p99 << " ms";
        checks.push_back({name.str(), r.total.calls > 0 && p99 <= *o.load.expectP99,
                          r.total.calls == 0 ? "no call was made" : why.str()});
    }
    if (o.load.expectErrors)
        checks.push_back({"errors <= " + std::to_string(*o.load.expectErrors),
                          static_cast<long long>(r.total.failed()) <= *o.load.expectErrors,
                          std::to_string(r.total.failed()) + " calls failed"});
    for (LoadCheck& c : checks) {
        if (c.passed)
            c.failure.clear();
        std::cout << (c.passed ? "PASS  " : "FAIL  ") << c.name << (c.passed ? "" : "  (" + c.failure + ")") << "\n";
    }
    int status = kExitResult;
    if (r.loggedIn == 0)
        status = r.loginStatus != 0 ? r.loginStatus : kExitTransport;
    else if (std::any_of(checks.begin(), checks.end(), [](const LoadCheck& c) { return !c.passed; }))
        status = kExitFault;

    const auto written = [&](const char* what, const std::function<void()>& write) {
        try {
            write();
        } catch (const std::exception& e) {
            std::cerr << "tessel-call: " << what << ": " << e.what() << "\n";
            status = status == kExitResult ? kExitTransport : status;
        }
    };
    if (o.load.plot)
        written("the chart", [&] { PlotLoad(r, unit.name, *o.load.plot); });
    if (o.junit)
        written("the JUnit report", [&] {
            JunitSuite suite;
            suite.name = unit.name + " (load)";
            suite.timestamp = UtcTimestamp();
            suite.seconds = r.elapsed;
            JunitCase load;
            load.name = "load";
            load.classname = unit.classname;
            load.seconds = r.elapsed;
            load.systemOut = LoadTable(r) + summary.str() + "\n";
            if (r.loggedIn == 0) {
                load.status = JunitCase::Status::Error;
                load.type = "login";
                load.message = load.details =
                    r.loginFailures.empty() ? std::string("no client logged in") : r.loginFailures.front();
            }
            suite.cases.push_back(load);
            for (const LoadCheck& c : checks) {
                JunitCase j;
                j.name = c.name;
                j.classname = unit.classname;
                if (!c.passed) {
                    j.status = JunitCase::Status::Failed;
                    j.type = "expectation";
                    j.message = j.details = c.failure;
                }
                suite.cases.push_back(j);
            }
            WriteFileReplacing(*o.junit, JunitXml(unit.name, {suite}));
        });
    if (o.reportJson)
        written("the JSON report", [&] {
            nlohmann::ordered_json j = LoadJson(r, settings, unit.path, checks);
            j["exitStatus"] = status;
            WriteFileReplacing(*o.reportJson, j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
                                                  "\n");
        });
    return status;
}

// tessel-call inspect NAME=VALUE...: a token decoded with the session values
// that -v prints, as a developer pastes them from what a server logged.
int RunInspect(const std::vector<std::string>& args)
{
    const std::set<std::string> known = {"scheme", "seed", "sessionKey", "verifier", "method",
                                         "request", "reply", "result"};
    std::map<std::string, std::string> values;
    std::vector<tessel::client::Slot> slots;
    for (const std::string& a : args) {
        const std::size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("inspect takes NAME=VALUE arguments; " + a + " is none");
        const std::string name = a.substr(0, eq);
        std::string value = ArgumentValue(a.substr(eq + 1), StandardInput);
        if (!value.empty() && value.back() == '\n' && name != "result")
            value.pop_back();  // a value pasted into a file ends its line
        if (name.rfind("slot.", 0) == 0 && name.size() > 5)
            slots.emplace_back(name.substr(5), std::move(value));
        else if (known.count(name) && !values.count(name))
            values[name] = std::move(value);
        else
            throw UsageError("inspect: " + name + (known.count(name) ? " is given twice" : " is not a value it takes") +
                             " (it takes scheme, seed, sessionKey, verifier, method, request, slot.NAME, reply, result)");
    }
    for (const char* needed : {"seed", "sessionKey", "method", "request"})
        if (!values.count(needed))
            throw UsageError(std::string("inspect needs ") + needed + "=VALUE");
    tessel::client::TokenTrace trace{.scheme = values["scheme"],
                                     .seed = values["seed"],
                                     .sessionKey = values["sessionKey"],
                                     .verifier = values["verifier"],
                                     .requestToken = values["request"],
                                     .requestSlots = {{values["method"], ""}}};
    trace.requestSlots.insert(trace.requestSlots.end(), slots.begin(), slots.end());
    if (values.count("reply")) {
        trace.validated = true;
        trace.replyToken = values["reply"];
        trace.replySlots = {{values["method"], ""}, {tessel::catalog::kResult, values["result"]}};
    }
    const tessel::inspect::Inspection in = tessel::client::Inspect(trace);
    std::cout << tessel::inspect::Describe(in);
    if (!in.problem.empty() || in.request.reached != tessel::inspect::Check::Done)
        return kExitTransport;
    return in.replyInspected && in.reply.reached != tessel::inspect::Check::Done ? kExitTokenRejected : kExitResult;
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    try {
        if (argc > 1 && std::string(argv[1]) == "inspect")
            return RunInspect(std::vector<std::string>(argv + 2, argv + argc));
        o = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
        if (o.help) {
            std::cout << kUsage;
            return kExitResult;
        }
        if (o.version) {
            std::cout << tessel::KitVersionLine("tessel-call");
            return kExitResult;
        }
        switch (o.mode) {
        case Mode::List: return RunList(o);
        case Mode::Run: return RunScripts(o);
        case Mode::Load: return RunLoadMode(o);
        case Mode::Call: return RunCall(o);
        }
    } catch (const UsageError& e) {
        std::cerr << "tessel-call: " << e.what() << "\n(tessel-call --help prints the usage)\n";
        return kExitUsage;
    } catch (const CallError& e) {
        std::cerr << "tessel-call: " << e.what() << "\n";
        return e.status();
    } catch (const std::exception& e) {
        std::cerr << "tessel-call: " << e.what() << "\n";
        return kExitTransport;
    }
    return kExitUsage;
}

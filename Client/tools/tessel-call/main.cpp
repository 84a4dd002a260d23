// tessel-call: the service's authenticated operations from a shell or a CI
// job, sent exactly as the tools send them.
#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "CallSession.h"
#include "Client/StatusLines.h"
#include "Client/Verdict.h"
#include "Junit.h"
#include "Script.h"
#include "ScriptRun.h"
#include "Soap/Transport.h"
#include "TesselKitVersion.h"

using namespace tessel::call;
using tessel::client::DescribeKind;
using tessel::client::DescribeVerdict;

namespace {

constexpr char kDefaultUri[] = "http://localhost:8080/TesselService/TesselServiceCore.xml";
constexpr char kPasswordVariable[] = "TESSEL_PASSWORD";
constexpr std::size_t kMaxPasswordFile = 4096;
constexpr std::size_t kMaxScript = 16u << 20;

constexpr char kUsage[] =
    "usage: tessel-call [options] OPERATION [name=value ...]\n"
    "       tessel-call [options] list\n"
    "       tessel-call [options] run [--junit FILE] SCRIPT\n"
    "\n"
    "Logs in, sends one authenticated call (or every call of SCRIPT in one session), validates\n"
    "the reply token, prints the decoded result and logs out. `list` prints the operations of\n"
    "the description with their parameters.\n"
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
    "  -v, --verbose            print every request and reply envelope and the HTTP status on standard error\n"
    "  --json                   print the call as one JSON object on standard output\n"
    "  --junit FILE             (run) write a JUnit XML report to FILE\n"
    "  --allow-import-origin ORIGIN\n"
    "                           fetch the description's imports from ORIGIN (such as http://host:8081)\n"
    "                           too; repeatable, and added to those of TESSEL_IMPORT_ORIGINS\n"
    "  -h, --help               print this text\n"
    "  --version                print the kit's version\n"
    "\n"
    "exit status: 0 a result with a valid reply token; 1 a fault or a refused login (run: a call failed);\n"
    "2 the reply token is rejected; 3 transport, description or token library error; 4 usage.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Mode { Call, List, Run };

struct Options {
    Mode mode = Mode::Call;
    std::string uri = kDefaultUri;
    std::optional<std::string> adminUri;
    bool admin = false;
    LoginValues login;
    bool userGiven = false;
    std::optional<std::string> password, passwordFile;
    bool verbose = false, json = false, help = false, version = false;
    std::optional<std::string> junit;
    std::vector<std::string> importOrigins;  // besides the description's own
    std::string operation;           // Call
    std::vector<std::string> params;  // Call: name=value
    std::string script;              // Run

    std::string AdminUri() const { return adminUri ? *adminUri : AdminUriBeside(uri); }
};

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
        throw UsageError("name an OPERATION, list or run");
    const std::string first = positional.front();
    if (first == "list") {
        o.mode = Mode::List;
        if (positional.size() > 1)
            throw UsageError("list takes no further arguments");
    } else if (first == "run") {
        o.mode = Mode::Run;
        if (positional.size() != 2)
            throw UsageError("run takes one SCRIPT file");
        o.script = positional[1];
    } else {
        o.operation = first;
        o.params.assign(positional.begin() + 1, positional.end());
    }
    if (o.junit && o.mode != Mode::Run)
        throw UsageError("--junit goes with run");
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
        j["token"] = DescribeVerdict(r.verdict);
        j["tokenHResult"] = r.verdict;
        break;
    case Outcome::Fault:
    case Outcome::ErrorPage:
        j["fault"] = {{"code", r.faultCode}, {"string", r.faultString}, {"detail", r.faultDetail}};
        break;
    case Outcome::Transport:
    case Outcome::NotSent: j["error"] = r.error; break;
    }
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
        std::cerr << tessel::client::ReportResultLine(r.operation, r.httpStatus, std::lround(r.elapsedMs), r.kind, r.verdict)
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

std::vector<std::pair<std::string, std::string>> NamedValues(const std::vector<std::string>& params)
{
    std::vector<std::pair<std::string, std::string>> given;
    for (const std::string& p : params) {
        const auto eq = p.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("a parameter is given as name=value, not \"" + p + "\"");
        given.emplace_back(p.substr(0, eq), p.substr(eq + 1));
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
    session.AllowImportOrigins(o.importOrigins);
    const Interface iface = InterfaceOf(o.operation, o.admin);
    CallReport report;
    try {
        session.Load(Interface::Main, o.uri);
        if (iface == Interface::Admin)
            session.Load(Interface::Admin, o.AdminUri());
        const auto slots = OrderParameters(o.operation, session.Parameters(iface, o.operation), given);
        session.LogIn(login);
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

std::string ReadScript(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        throw UsageError("cannot read the script " + path + ": " + ec.message());
    if (size > kMaxScript)
        throw UsageError("the script " + path + " is larger than " + std::to_string(kMaxScript) + " bytes");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof())
        throw UsageError("cannot read the script " + path);
    return text.str();
}

int RunScriptFile(const Options& o)
{
    const auto started = std::chrono::steady_clock::now();
    JunitSuite suite;
    suite.name = std::filesystem::path(o.script).filename().string();
    suite.timestamp = UtcTimestamp();
    const std::string classname = "tessel-call." + std::filesystem::path(o.script).stem().string();
    const auto report = [&](int status) {
        if (!o.junit)
            return status;
        suite.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        try {
            WriteFileReplacing(*o.junit, JunitXml(suite));
        } catch (const std::exception& e) {
            std::cerr << "tessel-call: the JUnit report: " << e.what() << "\n";
            return status == kExitResult ? kExitTransport : status;
        }
        return status;
    };
    // A failure before the first call is one test case in the report, so a CI server sees it.
    const auto setupFailed = [&](int status, const std::string& message) {
        std::cerr << "tessel-call: " << o.script << ": " << message << "\n";
        JunitCase c;
        c.name = "setup";
        c.classname = classname;
        c.status = JunitCase::Status::Error;
        c.type = status == kExitUsage ? "script" : status == kExitFault ? "login" : "transport";
        c.message = c.details = message;
        suite.cases.push_back(c);
        return report(status);
    };

    std::vector<Step> steps;
    LoginValues login = o.login;
    try {
        steps = ParseScript(ReadScript(o.script));
        login.password = Password(o);
    } catch (const ScriptError& e) {
        return setupFailed(kExitUsage, e.what());
    } catch (const UsageError& e) {
        return setupFailed(kExitUsage, e.what());
    }

    tessel::client::TokenLibrary library;
    CallSession session(library, o.verbose ? Tracer(Trace) : Tracer());
    session.AllowImportOrigins(o.importOrigins);
    // Each case goes into the report as it ends; only what the report shows of it is kept.
    int passed = 0, failed = 0, stopStatus = 0;
    bool transport = false;
    std::size_t systemOutLeft = kMaxReportSystemOut;
    const auto each = [&](const CaseResult& c) {
        std::cout << (c.passed ? "PASS  " : "FAIL  ") << c.name << "  " << std::lround(c.report.elapsedMs) << " ms\n";
        for (const std::string& f : c.failures) {
            std::istringstream lines(f);
            for (std::string line; std::getline(lines, line);)
                std::cout << "      " << line << "\n";
        }
        std::cout.flush();
        if (c.stopStatus != 0)
            std::cerr << "tessel-call: " << o.script << ": " << c.failures.front() << "\n";
        (c.passed ? passed : failed) += 1;
        transport = transport || c.error;
        stopStatus = c.stopStatus;
        suite.cases.push_back(ReportCase(c, classname, systemOutLeft));
    };
    try {
        session.Load(o.admin ? Interface::Admin : Interface::Main, o.admin ? o.AdminUri() : o.uri);
        if (!session.Loaded(Interface::Main))
            session.Load(Interface::Main, o.uri);
        const std::vector<PreparedCall> prepared = PrepareScript(steps, session, o.admin, o.AdminUri());
        session.LogIn(login);
        RunScript(steps, prepared, session, each);
    } catch (const CallError& e) {
        session.LogOut();
        return setupFailed(e.status(), e.what());
    } catch (const std::bad_alloc&) {
        session.LogOut();
        return setupFailed(kExitTransport, "memory ran out");
    }
    if (const std::string problem = session.LogOut(); !problem.empty())
        std::cerr << "tessel-call: the logout failed: " << problem << "\n";
    std::cout << passed << " passed, " << failed << " failed\n";
    return report(stopStatus != 0 ? stopStatus : transport ? kExitTransport : failed ? kExitFault : kExitResult);
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    try {
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
        case Mode::Run: return RunScriptFile(o);
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

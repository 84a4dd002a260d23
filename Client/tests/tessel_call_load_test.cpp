// tessel-call load against the local service: a closed and an open load with
// their counts and percentiles read back from the JSON report, the error
// classes, --expect-* passing and failing in the JUnit report, bad input that
// stops before the first call, SIGINT and a service that stops mid-run, the
// chart read back as an image, and no write lost.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ProgramRun.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "TempHome.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string TextOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// tessel-call started in the background, its output into files.
class Background {
public:
    Background(const std::vector<std::string>& argv, const std::string& dir) : out_(dir + "/bg.out"), err_(dir + "/bg.err")
    {
        pid_ = fork();
        if (pid_ == 0) {
            const int o = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int e = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(o, STDOUT_FILENO);
            dup2(e, STDERR_FILENO);
            setenv("TESSEL_PASSWORD", "tester", 1);
            std::vector<std::string> copy = argv;
            std::vector<char*> args;
            for (std::string& a : copy)
                args.push_back(a.data());
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~Background()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    void Signal(int sig) const { kill(pid_, sig); }
    // The exit status; -1 when it did not exit by itself within a minute (then it is killed).
    int Wait()
    {
        int status = 0;
        for (int i = 0; i < 6000; ++i)
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            } else {
                usleep(10000);
            }
        return -1;
    }
    std::string out() const { return TextOf(out_); }
    std::string err() const { return TextOf(err_); }

private:
    pid_t pid_ = 0;
    std::string out_, err_;
};

class Load : public ::testing::Test {
protected:
    std::vector<std::string> Args(std::vector<std::string> args, const std::string& uri = "") const
    {
        args.insert(args.begin(), {TESSEL_CALL_EXE, "--uri", uri.empty() ? svc.MainDescription() : uri, "--user",
                                   "tester"});
        return args;
    }
    ProgramResult Call(std::vector<std::string> args) const
    {
        return RunProgram(Args(std::move(args)), {"TESSEL_PASSWORD=tester"});
    }
    std::string File(const std::string& name, const std::string& text) const
    {
        const std::string path = home.dir() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    json Report() const { return json::parse(TextOf(report)); }
    // How many requests of `operation` the service has logged (in `file`, or the fixture's service's log).
    int Logged(const std::string& operation, const std::string& file = "") const
    {
        const std::string& path = file.empty() ? log : file;
        if (!fs::exists(path))
            return 0;
        int n = 0;
        for (const json& r : ReadLog(path))
            n += r["operation"] == operation ? 1 : 0;
        return n;
    }
    long long LogCount() const
    {
        const ProgramResult r = Call({"GetLogCount"});
        EXPECT_EQ(r.status, 0) << r.err;
        return std::stoll(r.out);
    }

    TempHome home;
    std::string log = home.dir() + "/requests.log";
    ServiceProcess svc{{"--log", log}};
    std::string report = home.dir() + "/load.json";
    std::string junit = home.dir() + "/load.xml";
    std::string counting = File("count.tcall", "GetLogCount\nexpect result ~ ^[0-9]+$\nexpect token valid\n");
};

// Percentiles in order, and the per-second series adding up to the calls.
void ExpectConsistent(const json& stats, const json& report)
{
    const json& l = stats["latencyMs"];
    EXPECT_LE(l["min"].get<double>(), l["p50"].get<double>());
    EXPECT_LE(l["p50"].get<double>(), l["p90"].get<double>());
    EXPECT_LE(l["p90"].get<double>(), l["p99"].get<double>());
    EXPECT_LE(l["p99"].get<double>(), l["p99.9"].get<double>());
    EXPECT_LE(l["p99.9"].get<double>(), l["max"].get<double>());
    EXPECT_GT(l["min"].get<double>(), 0);
    std::uint64_t calls = 0, inHistogram = 0;
    for (const json& s : report["perSecond"])
        calls += s["calls"].get<std::uint64_t>();
    for (const json& b : report["histogram"])
        inHistogram += b["count"].get<std::uint64_t>();
    EXPECT_EQ(calls, report["total"]["calls"].get<std::uint64_t>());
    EXPECT_EQ(inHistogram, report["total"]["calls"].get<std::uint64_t>());
}

TEST_F(Load, AClosedLoadRunsEveryIterationOfEveryClientAndReportsItsPercentiles)
{
    const ProgramResult r = Call({"load", counting, "--clients", "3", "--iterations", "40", "--report-json", report});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "GetLogCount")) << r.out;
    EXPECT_TRUE(Has(r.out, "total")) << r.out;
    EXPECT_TRUE(Has(r.out, "120 calls in ")) << r.out;
    EXPECT_EQ(r.err, "");  // no terminal: no live line
    const json j = Report();
    EXPECT_EQ(j["mode"], "load");
    EXPECT_EQ(j["settings"]["model"], "closed");
    EXPECT_EQ(j["clients"]["loggedIn"], 3);
    EXPECT_EQ(j["iterations"], 120);
    EXPECT_EQ(j["total"]["calls"], 120);
    EXPECT_EQ(j["total"]["errors"]["total"], 0);
    ASSERT_EQ(j["operations"].size(), 1u);
    EXPECT_EQ(j["operations"][0]["operation"], "GetLogCount");
    EXPECT_EQ(j["operations"][0]["calls"], 120);
    ExpectConsistent(j["total"], j);
    EXPECT_GT(j["cpuMicrosPerCall"].get<double>(), 0);
    // Each client its own session: three logins, three logouts, the calls between.
    EXPECT_EQ(Logged("OpenSession"), 3 + 0);
    EXPECT_EQ(Logged("CloseSession"), 3);
    EXPECT_EQ(Logged("GetLogCount"), 120);
}

TEST_F(Load, AnOpenLoadStartsCallsOnTheScheduleAndCountsTheLateOnes)
{
    const ProgramResult r = Call({"load", counting, "--clients", "2", "--iterations", "10", "--rate", "100",
                                  "--report-json", report});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = Report();
    EXPECT_EQ(j["settings"]["model"], "open");
    EXPECT_EQ(j["settings"]["rate"], 100.0);
    EXPECT_EQ(j["total"]["calls"], 20);
    EXPECT_GE(j["lateStarts"].get<int>(), 0);
    EXPECT_TRUE(Has(r.out, "started late")) << r.out;
    ExpectConsistent(j["total"], j);

    // By duration, with a ramp-up: every call counted once.
    const ProgramResult d = Call({"load", counting, "--clients", "2", "--duration", "0.6", "--rate", "50",
                                  "--ramp-up", "0.2", "--report-json", report});
    ASSERT_EQ(d.status, 0) << d.err;
    const json k = Report();
    EXPECT_GT(k["total"]["calls"].get<int>(), 0);
    EXPECT_EQ(k["total"]["calls"].get<int>(), Logged("GetLogCount") - 20);
    ExpectConsistent(k["total"], k);
}

TEST_F(Load, FailedCallsCountByClassAndTheExpectationsPassOrFailAsJunitCases)
{
    const std::string mixed = File("mixed.tcall",
                                   "GetLogCount\nexpect result ~ ^[0-9]+$\n"
                                   "GetLog logID=latest\n"             // an unexpected fault
                                   "GetLogCount\nexpect result = none\n");  // a failed expectation
    ProgramResult r = Call({"load", mixed, "--clients", "2", "--iterations", "30", "--report-json", report, "--junit",
                            junit, "--expect-errors", "0", "--expect-p99", "0"});
    EXPECT_EQ(r.status, 1) << r.err;
    json j = Report();
    EXPECT_EQ(j["total"]["calls"], 180);
    EXPECT_EQ(j["total"]["errors"]["fault"], 60);
    EXPECT_EQ(j["total"]["errors"]["expectation"], 60);
    EXPECT_EQ(j["total"]["errors"]["transport"], 0);
    EXPECT_EQ(j["total"]["errors"]["total"], 120);
    EXPECT_EQ(j["passed"], false);
    EXPECT_EQ(j["exitStatus"], 1);
    // Thousands of failures or a hundred: the first five are shown, the rest counted.
    EXPECT_EQ(j["firstFailures"].size(), 5u);
    int shown = 0;
    for (std::size_t at = r.err.find("tessel-call: GetLog"); at != std::string::npos;
         at = r.err.find("tessel-call: GetLog", at + 1))
        ++shown;
    EXPECT_EQ(shown, 5) << r.err;
    EXPECT_TRUE(Has(r.err, "120 calls failed; the first 5 are shown")) << r.err;
    EXPECT_TRUE(Has(r.out, "FAIL  errors <= 0")) << r.out;

    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(xmlReadFile(junit.c_str(), nullptr, XML_PARSE_NONET),
                                                     xmlFreeDoc);
    ASSERT_TRUE(doc);
    const std::string xml = TextOf(junit);
    EXPECT_TRUE(Has(xml, "tests=\"3\"")) << xml;
    EXPECT_TRUE(Has(xml, "failures=\"2\"")) << xml;
    EXPECT_TRUE(Has(xml, "name=\"p99 &lt;= 0 ms\"")) << xml;
    EXPECT_TRUE(Has(xml, "120 calls failed")) << xml;

    r = Call({"load", counting, "--iterations", "5", "--report-json", report, "--junit", junit, "--expect-errors", "0",
              "--expect-p99", "3600000"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "PASS  errors <= 0")) << r.out;
    EXPECT_TRUE(Has(r.out, "PASS  p99 <= 3.6e+06 ms") || Has(r.out, "PASS  p99 <= 3600000 ms")) << r.out;
    j = Report();
    EXPECT_EQ(j["passed"], true);
    EXPECT_TRUE(Has(TextOf(junit), "failures=\"0\""));
}

TEST_F(Load, BadScriptsAndOptionsStopBeforeTheFirstCall)
{
    const std::string broken = File("broken.tcall", "GetLogCount\nexpect result ~\n");
    const std::string unknown = File("unknown.tcall", "GetLogCount\nNoSuchOperation a=1\n");
    const std::string wrong = File("wrong.tcall", "GetLog id=1\n");
    const std::string empty = File("empty.tcall", "# nothing\n");
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{"load", broken}, 4},
        {{"load", unknown}, 3},
        {{"load", wrong}, 4},
        {{"load", empty}, 4},
        {{"load", home.dir() + "/missing.tcall"}, 4},
        {{"load", counting, "--clients", "0"}, 4},
        {{"load", counting, "--clients", "many"}, 4},
        {{"load", counting, "--duration", "1", "--iterations", "2"}, 4},
        {{"load", counting, "--rate", "-5"}, 4},
        {{"load", counting, "--plot", home.dir() + "/chart.jpg"}, 4},
        {{"load", counting, counting}, 4},
        {{"run", counting, "--clients", "2"}, 4},
        {{"load", counting, "--bail"}, 4},
    };
    for (const auto& [args, status] : cases) {
        const ProgramResult r = Call(args);
        EXPECT_EQ(r.status, status) << args.back() << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "tessel-call: ")) << args.back();
    }
    EXPECT_EQ(Logged("CreateTicket"), 0);
    EXPECT_TRUE(Has(Call({"load", wrong}).err, "line 1")) << "the line is named";
}

TEST_F(Load, SigintEndsTheLoadLogsEveryClientOutAndStillWritesTheReports)
{
    Background load(Args({"load", counting, "--clients", "3", "--duration", "60", "--report-json", report, "--plot",
                          home.dir() + "/chart.png"}),
                    home.dir());
    for (int i = 0; i < 3000 && Logged("GetLogCount") < 30; ++i)
        usleep(10000);
    load.Signal(SIGINT);
    EXPECT_EQ(load.Wait(), 0) << load.err();
    const json j = Report();
    EXPECT_EQ(j["interrupted"], true);
    EXPECT_GE(j["total"]["calls"].get<int>(), 30);
    EXPECT_EQ(j["total"]["errors"]["total"], 0);
    EXPECT_EQ(Logged("CloseSession"), 3);
    EXPECT_TRUE(Has(load.out(), "interrupted")) << load.out();
    EXPECT_TRUE(fs::exists(home.dir() + "/chart.png"));
}

TEST_F(Load, AServiceThatStopsMidRunIsCountedAsTransportFailuresAndTheRunEnds)
{
    const std::string otherLog = home.dir() + "/other.log";
    ServiceProcess other{{"--log", otherLog}};
    Background load(Args({"load", counting, "--clients", "2", "--duration", "3", "--report-json", report},
                         other.MainDescription()),
                    home.dir());
    // Stopped once the clients are calling, however long their logins take on a slow machine.
    for (int i = 0; i < 3000 && Logged("GetLogCount", otherLog) < 2; ++i)
        usleep(10000);
    ASSERT_GE(Logged("GetLogCount", otherLog), 2) << load.err();
    other.Stop(SIGKILL);
    EXPECT_EQ(load.Wait(), 0) << load.err();
    const json j = Report();
    EXPECT_EQ(j["interrupted"], false);
    EXPECT_GT(j["total"]["errors"]["transport"].get<long long>(), 0);
    EXPECT_EQ(j["total"]["errors"]["fault"], 0);
    EXPECT_TRUE(Has(load.err(), "[transport]")) << load.err();

    // Nobody there from the start: no client logs in, and the run says so.
    const ProgramResult r = RunProgram(Args({"load", counting, "--clients", "2", "--report-json", report},
                                            other.MainDescription()),
                                       {"TESSEL_PASSWORD=tester"});
    EXPECT_EQ(r.status, 3) << r.err;
}

// The width and height in a PNG's IHDR chunk, after its signature.
std::pair<std::uint32_t, std::uint32_t> PngSize(const std::string& png)
{
    const auto word = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 4; ++k)
            v = (v << 8) | static_cast<unsigned char>(png.at(at + k));
        return v;
    };
    return {word(16), word(20)};
}

TEST_F(Load, TheChartIsAPngOrAnSvgImage)
{
    const std::string png = home.dir() + "/load.png", svg = home.dir() + "/load.svg";
    ProgramResult r = Call({"load", counting, "--clients", "2", "--duration", "1.2", "--plot", png});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string image = TextOf(png);
    ASSERT_GT(image.size(), 24u);
    EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(image.substr(12, 4), "IHDR");
    EXPECT_EQ(PngSize(image), std::make_pair(1000u, 1250u));

    r = Call({"load", counting, "--iterations", "3", "--plot", svg});
    ASSERT_EQ(r.status, 0) << r.err;
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(xmlReadFile(svg.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR),
                                                     xmlFreeDoc);
    ASSERT_TRUE(doc) << "the SVG parses as XML";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(xmlDocGetRootElement(doc.get())->name)), "svg");

    // A chart that cannot be written is said, and the load's status says so.
    r = Call({"load", counting, "--iterations", "1", "--plot", home.dir() + "/no/such/folder/x.png"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, "the chart")) << r.err;
}

TEST_F(Load, NoWriteIsLost)
{
    const long long before = LogCount();
    const std::string put = File("put.tcall", "PutLog log=\"<log>load</log>\"\nexpect result ~ ^[0-9]+$\n");
    const ProgramResult r = Call({"load", put, "--clients", "4", "--iterations", "40", "--report-json", report});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = Report();
    const long long puts = j["total"]["calls"].get<long long>() - j["total"]["errors"]["total"].get<long long>();
    EXPECT_EQ(puts, 160);
    EXPECT_EQ(LogCount(), before + puts);
}

}  // namespace

// tessel-call as a CI runner, against the local service: variables from the
// command line, env files and the environment, data rows from CSV and JSON,
// the XPath, status, time and length expectations, values from files,
// several scripts, --bail, --timeout, --retries, and both reports read back
// with an XML parser and a JSON parser.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "Descriptions.h"
#include "FrontServer.h"
#include "ProgramRun.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "SilentListener.h"
#include "Soap/Transport.h"
#include "TempHome.h"
#include "TestHttpServer.h"

namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string TextOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A JUnit report for XPath expressions over it.
class XmlReport {
public:
    explicit XmlReport(const std::string& path)
        : doc_(xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR),
               xmlFreeDoc)
    {
    }
    bool parsed() const { return doc_ != nullptr; }
    std::string Text(const std::string& xpath) const
    {
        std::unique_ptr<xmlXPathContext, void (*)(xmlXPathContextPtr)> ctx(xmlXPathNewContext(doc_.get()),
                                                                            xmlXPathFreeContext);
        std::unique_ptr<xmlXPathObject, void (*)(xmlXPathObjectPtr)> obj(
            xmlXPathEvalExpression(BAD_CAST("string(" + xpath + ")").c_str(), ctx.get()), xmlXPathFreeObject);
        return obj && obj->stringval ? reinterpret_cast<const char*>(obj->stringval) : "";
    }

private:
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc_;
};

class Runner : public ::testing::Test {
protected:
    explicit Runner(std::vector<std::string> serviceArgs = {}) : svc(WithLog(std::move(serviceArgs))) {}

    std::vector<std::string> WithLog(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--log", log});
        return args;
    }
    // tessel-call logged in as tester, the password in the environment.
    ProgramResult Call(std::vector<std::string> args, std::vector<std::string> env = {})
    {
        return CallAt(svc.MainDescription(), std::move(args), std::move(env));
    }
    ProgramResult CallAt(const std::string& uri, std::vector<std::string> args, std::vector<std::string> env = {})
    {
        args.insert(args.begin(), {TESSEL_CALL_EXE, "--uri", uri, "--user", "tester"});
        env.push_back("TESSEL_PASSWORD=tester");
        return RunProgram(args, env);
    }
    std::string File(const std::string& name, const std::string& text)
    {
        const std::string path = home.dir() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::vector<nlohmann::json> Operations()
    {
        std::vector<nlohmann::json> ops;
        if (!fs::exists(log))
            return ops;
        for (const nlohmann::json& r : ReadLog(log))
            if (r["operation"] != "CreateTicket" && r["operation"] != "OpenSession" && r["operation"] != "CloseSession")
                ops.push_back(r);
        return ops;
    }
    static std::string Value(const nlohmann::json& request, const std::string& name)
    {
        for (const auto& p : request["parameters"])
            if (p[0] == name)
                return p[1];
        return "(absent)";
    }

    TempHome home;
    std::string log = home.dir() + "/requests.log";
    ServiceProcess svc;
    std::string junit = home.dir() + "/report.xml";
    std::string json = home.dir() + "/run.json";
};

// ---------------------------------------------------------------------------
// The CI job of the README: data rows, a variable, both reports

TEST_F(Runner, RunsAScriptPerDataRowAndWritesBothReports)
{
    const std::string script = File("smoke.tcall", "GetVOContent name=${name}\n"
                                                   "expect xpath /content = \"sample ${n}\"\n"
                                                   "PutMessage uri=${env}/${user} message=${user}\n");
    const std::string csv = File("users.csv", "user,name,n\nalice,Name1,1\n\"bob, jr\",Name3,3\ncarol,Name4,9\n");
    const ProgramResult r =
        Call({"run", "--data", csv, "--var", "env=staging", "--junit", junit, "--report-json", json, script});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "== smoke.tcall [row 2: user=bob, jr, name=Name3, n=3]\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "expected xpath \"/content\" = \"sample 9\", got \"sample 4\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "\n5 passed, 1 failed\n")) << r.out;
    const std::vector<nlohmann::json> ops = Operations();
    ASSERT_EQ(ops.size(), 6u);
    EXPECT_EQ(Value(ops[3], "message"), "bob, jr");
    EXPECT_EQ(Value(ops[3], "uri"), "staging/bob, jr");

    const XmlReport report(junit);
    ASSERT_TRUE(report.parsed()) << TextOf(junit);
    EXPECT_EQ(report.Text("count(/testsuites/testsuite)"), "3");
    EXPECT_EQ(report.Text("/testsuites/@tests"), "6");
    EXPECT_EQ(report.Text("/testsuites/@failures"), "1");
    EXPECT_EQ(report.Text("/testsuites/testsuite[1]/@name"), "smoke.tcall [row 1: user=alice, name=Name1, n=1]");
    EXPECT_EQ(report.Text("/testsuites/testsuite[3]/@failures"), "1");
    EXPECT_EQ(report.Text("/testsuites/testsuite[3]/testcase[1]/failure/@type"), "expectation");

    const nlohmann::json j = nlohmann::json::parse(TextOf(json));
    EXPECT_EQ(j["exitStatus"], 1);
    EXPECT_EQ(j["passed"], 5);
    EXPECT_EQ(j["failed"], 1);
    ASSERT_EQ(j["suites"].size(), 3u);
    EXPECT_EQ(j["suites"][1]["row"], 2);
    EXPECT_EQ(j["suites"][1]["dataLine"], 3);
    const nlohmann::json& c = j["suites"][2]["cases"][0];
    EXPECT_EQ(c["operation"], "GetVOContent");
    EXPECT_EQ(c["httpStatus"], 200);
    EXPECT_TRUE(c["elapsedMs"].is_number());
    EXPECT_EQ(c["token"], "valid");
    EXPECT_EQ(c["verdict"], "failed");
    EXPECT_EQ(c["expectations"][0]["expect"], "expect xpath /content = \"sample ${n}\"");
    EXPECT_EQ(c["expectations"][0]["passed"], false);
    EXPECT_TRUE(Has(c["expectations"][0]["failure"], "got \"sample 4\""));
    EXPECT_EQ(j["suites"][0]["cases"][1]["verdict"], "passed");
}

TEST_F(Runner, TakesRowsFromJsonAndVariablesFromEnvFilesAndTheEnvironment)
{
    const std::string script = File("j.tcall", "GetLog logID=${id}\nexpect xpath /log/@category = ${category}\n"
                                               "PutMessage uri=${where}-${category} message=${FROM_ENV}\n");
    const std::string rows = File("rows.json", "[{\"id\": 1, \"category\": \"general\"},\n {\"id\": 1, \"category\": \"x\"}]");
    const std::string env = File("ci.env", "# where the messages go\nwhere=from-file\ncategory=overridden\n");
    const ProgramResult r = Call({"run", "--data", rows, "--env-file", env, script}, {"FROM_ENV=hello"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "expected xpath \"/log/@category\" = \"x\", got \"general\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "3 passed, 1 failed")) << r.out;
    const std::vector<nlohmann::json> ops = Operations();
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(Value(ops[1], "uri"), "from-file-general");
    EXPECT_EQ(Value(ops[1], "message"), "hello");

    // --var wins over the env file, and a name nothing gives is an error that names it and its line.
    const std::string one = File("one.tcall", "PutMessage uri=${where} message=m\nGetMessage uri=${missing}\n");
    const ProgramResult var = Call({"run", "--env-file", env, "--var", "where=from-var", one});
    EXPECT_EQ(var.status, 4);
    EXPECT_TRUE(Has(var.err, "one.tcall: line 2: ${missing} has no value here")) << var.err;
    EXPECT_EQ(Operations().size(), 4u);
    const ProgramResult given = Call({"run", "--env-file", env, "--var", "where=from-var", "--var", "missing=from-var", one});
    EXPECT_EQ(given.status, 0) << given.out << given.err;
    EXPECT_EQ(Value(Operations().at(4), "uri"), "from-var");
}

TEST_F(Runner, BadDataEnvFilesAndScriptsNameTheirFileAndLineAndSendNothing)
{
    const std::string script = File("s.tcall", "GetLog logID=${id}\n");
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--data", File("a.csv", "id\n1\n\"2\n"), script}, home.dir() + "/a.csv:3: a quoted field is not closed"},
        {{"--data", File("b.csv", "id,x\n1,2\n3\n"), script}, home.dir() + "/b.csv:3: the record has 1 fields"},
        {{"--data", File("c.json", "[{\"id\": 1},\n{\"id\": 2,}]"), script}, home.dir() + "/c.json:2: not JSON"},
        {{"--data", File("d.json", "[{\"id\": 1},\n{\"other\": 2}]"), script},
         home.dir() + "/d.json:2: the row gives no value for ${id}"},
        {{"--data", File("e.txt", "id\n1\n"), script}, "a data file is FILE.csv or FILE.json"},
        {{"--env-file", File("x.env", "id=1\n\nnot a line\n"), script}, home.dir() + "/x.env:3: a line is NAME=VALUE"},
        {{"--var", "id=1", File("bad.tcall", "GetLog logID=${id}\nexpect xpath /a count many\n")},
         "bad.tcall: line 2: expect xpath EXPR count takes a whole number"},
        {{"--var", "id=1", script, File("later.tcall", "GetLogCount\nexpect status\n")},
         "later.tcall: line 2: expect takes one of"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"run", "--junit", junit, "--report-json", json};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramResult r = Call(args);
        EXPECT_EQ(r.status, 4) << c.says << "\n" << r.err;
        EXPECT_TRUE(Has(r.err, c.says)) << c.says << "\n" << r.err;
        EXPECT_TRUE(Operations().empty()) << c.says;
        const XmlReport report(junit);
        ASSERT_TRUE(report.parsed());
        EXPECT_TRUE(Has(report.Text("//testcase[@name='setup']/error/@message"), c.says)) << TextOf(junit);
        const nlohmann::json j = nlohmann::json::parse(TextOf(json));
        EXPECT_EQ(j["exitStatus"], 4);
        EXPECT_TRUE(Has(j["suites"][0]["cases"][0]["failures"][0], c.says)) << j.dump();
    }
    EXPECT_EQ(Call({"--var", "id=1", "GetLog", "logID=1"}).status, 4);
    EXPECT_TRUE(Has(Call({"run", "--var", "1x=2", script}).err, "--var takes NAME=VALUE"));
}

TEST_F(Runner, AHundredThousandRowsAndA32MiBValueRun)
{
    std::string csv = "id,name\n";
    for (int i = 0; i < 100'000; ++i)
        csv += std::to_string(i) + ",user" + std::to_string(i) + "\n";
    const ProgramResult many = Call({"run", "--data", File("many.csv", csv), "--junit", junit,
                                     File("rows.tcall", "set who = \"${name} ${id}\"\n")});
    EXPECT_EQ(many.status, 0) << many.err;
    EXPECT_TRUE(Has(many.out, "== rows.tcall [row 100000: id=99999, name=user99999]\n"));
    const XmlReport report(junit);
    ASSERT_TRUE(report.parsed());
    EXPECT_EQ(report.Text("count(/testsuites/testsuite)"), "100000");

    // 32 MiB in a row, within the script's bound for a value; the service takes what it holds.
    const std::string big = std::string(32u << 20, 'v');
    const ProgramResult large = Call({"run", "--data", File("big.csv", "v\n" + big + "\n"),
                                      File("big.tcall", "set copy = ${v}\nGetLogCount\n")});
    EXPECT_EQ(large.status, 0) << large.err;
    EXPECT_TRUE(Has(large.out, "1 passed, 0 failed")) << large.out.substr(0, 300);
}

// ---------------------------------------------------------------------------
// Expectations and captures

TEST_F(Runner, EachNewExpectationPassesAndFails)
{
    const std::string script = File("x.tcall", R"(GetLog logID=1
expect xpath /log/@id = 1
expect xpath //log ~ "service started"
expect xpath /log count 1
expect status 200
expect time < 600000 ms
expect result length 89
set who = xpath /log/@user
set whole = ${result}
GetLog logID=1
expect xpath /log/@id = 2
expect xpath //log ~ ^stopped
expect xpath //nothing count 1
expect status 201
expect time < 0 ms
expect result length 3
GetLogCount
expect xpath /a = 1
PutMessage uri=${who} message=${whole}
GetLog logID=1
set none = xpath /x/y
)");
    const ProgramResult r = Call({"run", "--report-json", json, script});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (const char* says : {"PASS  GetLog (line 1)", "FAIL  GetLog (line 10)",
                             "expected xpath \"/log/@id\" = \"2\", got \"1\"",
                             "expected xpath \"//log\" ~ \"^stopped\", got \"<log>service started</log>\"",
                             "expected xpath \"//nothing\" count 1, got 0 nodes", "expected status 201, got 200",
                             "expected time < 0 ms, took ", "expected result length 3, got 89 bytes",
                             "FAIL  GetLogCount (line 17)",
                             "expected xpath \"/a\" = \"1\", but the result is not XML: ", "PASS  PutMessage (line 19)"})
        EXPECT_TRUE(Has(r.out, says)) << says << "\n" << r.out;
    const std::vector<nlohmann::json> ops = Operations();
    ASSERT_EQ(ops.size(), 5u);
    EXPECT_EQ(Value(ops[3], "uri"), "tester");
    EXPECT_TRUE(Has(Value(ops[3], "message"), "<log id=\"1\"")) << Value(ops[3], "message");
    const nlohmann::json j = nlohmann::json::parse(TextOf(json));
    const nlohmann::json& failed = j["suites"][0]["cases"][1];
    ASSERT_EQ(failed["expectations"].size(), 6u);
    for (const auto& e : failed["expectations"])
        EXPECT_EQ(e["passed"], false) << e.dump();
    EXPECT_EQ(j["suites"][0]["cases"][0]["expectations"].size(), 6u);
    // A capture that selects no node is a failed case of its own.
    EXPECT_TRUE(Has(r.out, "FAIL  set none (line 21)")) << r.out;
}

TEST_F(Runner, ValuesComeFromFilesInScriptsAndOnTheCommandLine)
{
    std::string mib;
    for (std::size_t i = 0; mib.size() < (1u << 20); ++i)
        mib += "line " + std::to_string(i) + " <&>\n";
    mib.resize(1u << 20);
    File("content.txt", mib);
    const std::string script = File("files.tcall", "PutVOContent name=FromFile content=@content.txt\n"
                                                   "GetVOContent name=FromFile\n"
                                                   "expect result length 1048576\n"
                                                   "PutMessage uri=u message=@@literal\n"
                                                   "GetMessage uri=u\nexpect result = @literal\n");
    const ProgramResult r = Call({"run", script});
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 2000) << r.err.substr(0, 2000);
    EXPECT_TRUE(Has(r.out, "4 passed, 0 failed")) << r.out.substr(0, 2000);

    // On the command line, and through --var.
    const ProgramResult one = Call({"PutVOContent", "name=Direct", "content=@" + home.dir() + "/content.txt"});
    EXPECT_EQ(one.status, 0) << one.err;
    ProgramResult back = Call({"GetVOContent", "name=Direct"});
    EXPECT_TRUE(back.out == mib + "\n") << back.out.size();
    const ProgramResult var = Call({"run", "--var", "body=@" + home.dir() + "/content.txt",
                                    File("var.tcall", "PutVOContent name=Var content=${body}\n")});
    EXPECT_EQ(var.status, 0) << var.err;
    back = Call({"GetVOContent", "name=Var"});
    EXPECT_TRUE(back.out == mib + "\n") << back.out.size();

    // A file that is not there stops the run at its line.
    const ProgramResult missing = Call({"run", File("missing.tcall", "GetLogCount\nPutVOContent name=x content=@gone.txt\n")});
    EXPECT_EQ(missing.status, 4);
    EXPECT_TRUE(Has(missing.err, "line 2: PutVOContent content: cannot read " + home.dir() + "/gone.txt")) << missing.err;
    const ProgramResult gone = Call({"GetLog", "logID=@/nonexistent/id"});
    EXPECT_EQ(gone.status, 4);
    EXPECT_TRUE(Has(gone.err, "logID: cannot read /nonexistent/id")) << gone.err;
}

// ---------------------------------------------------------------------------
// Several scripts, --bail

TEST_F(Runner, SeveralScriptsAreOneSuiteEachAndBailStopsAtTheFirstFailure)
{
    const std::string a = File("a.tcall", "GetLogCount\nGetLog logID=99\nGetLogCount\n");
    const std::string b = File("b.tcall", "GetVOList\nexpect result ~ ByURI\n");
    ProgramResult r = Call({"run", "--junit", junit, a, b});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "== a.tcall\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "== b.tcall\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "3 passed, 1 failed")) << r.out;
    XmlReport report(junit);
    ASSERT_TRUE(report.parsed());
    EXPECT_EQ(report.Text("/testsuites/@name"), "tessel-call");
    EXPECT_EQ(report.Text("/testsuites/testsuite[1]/@name"), "a.tcall");
    EXPECT_EQ(report.Text("/testsuites/testsuite[2]/@name"), "b.tcall");
    EXPECT_EQ(report.Text("/testsuites/testsuite[2]/testcase/@classname"), "tessel-call.b");
    EXPECT_EQ(Operations().size(), 4u);

    r = Call({"run", "--bail", "--junit", junit, a, b});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "stopped at the first failed call (--bail)")) << r.out;
    EXPECT_TRUE(Has(r.out, "1 passed, 1 failed")) << r.out;
    EXPECT_EQ(Operations().size(), 4u + 2u);
    report = XmlReport(junit);
    EXPECT_EQ(report.Text("count(//testcase)"), "2");
}

// ---------------------------------------------------------------------------
// Time limits and retries

TEST_F(Runner, TimeoutsGiveUpOnAServerThatNeverAnswers)
{
    const SilentListener silent;
    const std::string uri = silent.Url("/TesselService/TesselServiceCore.xml");
    for (const auto& [args, env] : std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>>{
             {{"--timeout", "1", "GetLogCount"}, {}},
             {{"GetLogCount"}, {"TESSEL_TIMEOUT=1"}},
             {{"--timeout", "1", "run", "--junit", junit, File("t.tcall", "GetLogCount\n")}, {"TESSEL_TIMEOUT=300"}},
         }) {
        const ProgramResult r = CallAt(uri, args, env);
        EXPECT_EQ(r.status, 3) << r.err;
        EXPECT_TRUE(Has(r.err, "did not answer within 1 s")) << r.err;
    }
    EXPECT_TRUE(Has(XmlReport(junit).Text("//testcase[@name='setup']/error/@message"), "within 1 s"));
    EXPECT_TRUE(Has(Call({"--timeout", "0", "GetLogCount"}).err, "--timeout takes a whole number from 1"));
}

// A front that serves the service's description with itself as the endpoint,
// passes every message on, and lets the first `stalls` operation calls wait
// past the client's time limit without an answer.
class StallingFront {
public:
    StallingFront(const ServiceProcess& svc, int stalls)
        : backend_(svc.Url("/TesselService/TesselServiceCore.asmx")), stalls_(stalls), server_([this](httplib::Server& s) {
              description_ = tessel::server::Description(tessel::server::Interface::Main,
                                                         tessel::server::DescriptionStyle::RpcEncoded, server_.Url("/soap"));
              s.Get("/front.xml", [this](const httplib::Request&, httplib::Response& res) {
                  res.set_content(description_, "text/xml");
              });
              s.Post("/soap", [this](const httplib::Request& req, httplib::Response& res) {
                  const bool session = Has(req.body, "CreateTicket") || Has(req.body, "OpenSession") ||
                                       Has(req.body, "CloseSession");
                  if (!session && stalls_.fetch_sub(1) > 0) {
                      std::this_thread::sleep_for(std::chrono::milliseconds(2500));
                      res.status = 500;
                      return;
                  }
                  res.set_content(tessel::soap::HttpPost(backend_, req.body, req.get_header_value("SOAPAction")).body,
                                  "text/xml");
              });
          })
    {
    }
    std::string Url() const { return server_.Url("/front.xml"); }

private:
    const std::string backend_;
    std::atomic<int> stalls_;
    std::string description_;
    TestHttpServer server_;
};

TEST_F(Runner, RetriesSendACallAgainOnlyWhenNoReplyCame)
{
    {
        const StallingFront front(svc, 1);
        const ProgramResult r = CallAt(front.Url(), {"--timeout", "1", "--retries", "1", "run", "--report-json", json,
                                                     File("r.tcall", "GetLogCount\nexpect result = 1\n")});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        const nlohmann::json j = nlohmann::json::parse(TextOf(json));
        EXPECT_EQ(j["suites"][0]["cases"][0]["attempts"], 2);
    }
    {
        const StallingFront front(svc, 1);
        const ProgramResult r = CallAt(front.Url(), {"--timeout", "1", "run", File("r.tcall", "GetLogCount\n")});
        EXPECT_EQ(r.status, 3) << r.out << r.err;
    }
    {
        const StallingFront front(svc, 1);
        const ProgramResult r = CallAt(front.Url(), {"--timeout", "1", "--retries", "2", "GetLogCount"});
        EXPECT_EQ(r.status, 0) << r.err;
    }
    // A fault is an answer: sent once, whatever --retries says.
    const std::size_t before = Operations().size();
    const ProgramResult fault = Call({"--retries", "3", "run", File("f.tcall", "GetLog logID=99\n")});
    EXPECT_EQ(fault.status, 1);
    EXPECT_EQ(Operations().size(), before + 1);

    // A description that refuses every connection is tried 1 + N times, and says so.
    const std::string gone = svc.MainDescription();
    svc.Stop();
    const ProgramResult refused = CallAt(gone, {"--retries", "2", "GetLogCount"});
    EXPECT_EQ(refused.status, 3);
    EXPECT_TRUE(Has(refused.err, "Connection refused")) << refused.err;
    EXPECT_TRUE(Has(refused.err, "(tried 3 times)")) << refused.err;
}

// ---------------------------------------------------------------------------
// Passwords and hostile texts in the reports

class RunnerPasswords : public Runner {
protected:
    RunnerPasswords() : Runner({"--user", "tester:s3cr<et&pw"}) {}
};

TEST_F(RunnerPasswords, NeverReachAReportOrStandardError)
{
    const std::string secret = "s3cr<et&pw";
    const std::string pw = File("pw", secret + "\n");
    const std::string script = File("p.tcall", "PutMessage uri=u message=${leak}\nGetMessage uri=u\nexpect result = x\n"
                                               "GetLog logID=${leak}\n");
    const std::string csv = File("d.csv", "leak\n\"" + secret + "\"\n");
    const ProgramResult r = RunProgram({TESSEL_CALL_EXE, "--uri", svc.MainDescription(), "--user", "tester",
                                        "--password-file", pw, "-v", "run", "--data", csv, "--junit", junit,
                                        "--report-json", json, script});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(Value(Operations().at(0), "message"), secret);
    for (const std::string& text : {r.err, r.out, TextOf(junit), TextOf(json)}) {
        EXPECT_FALSE(Has(text, secret)) << text.substr(0, 2000);
        EXPECT_FALSE(Has(text, "s3cr&lt;et&amp;pw"));
        EXPECT_FALSE(Has(text, "s3cr\\u003cet"));
    }
    EXPECT_TRUE(Has(TextOf(junit), "********"));
}

TEST_F(Runner, HostileTextsInResultsStillGiveAWellFormedReport)
{
    // A fault that echoes what it was given, and a reply no XML can carry.
    FrontServer front(svc);
    front.Reply(std::string("<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                            "<SOAP-ENV:Body><m:GetLogCountResponse xmlns:m=\"urn:tessel:TesselServiceCore\"><result>ctl \x01\x02\x1B"
                            " ]]> \xFF\xFE \xEF\xBF\xBF</result><reskey>AAAA:V0</reskey></m:GetLogCountResponse>"
                            "</SOAP-ENV:Body></SOAP-ENV:Envelope>"));
    const std::string script = File("c.tcall", "GetLogCount\n");
    ProgramResult r = CallAt(front.Url("/front.xml"), {"run", "--junit", junit, "--report-json", json, script});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    XmlReport report(junit);
    ASSERT_TRUE(report.parsed()) << TextOf(junit);
    EXPECT_TRUE(Has(report.Text("//testcase[1]/system-out"), "ctl ")) << TextOf(junit);
    EXPECT_TRUE(nlohmann::json::accept(TextOf(json)));

    const std::string hostile = "end ]]> <![CDATA[ x &amp; <\" \xEF\xBF\xBD";
    const std::string echo = File("h.tcall", "GetMessage uri=\"${hostile}\"\nexpect result = \"${hostile}\"\n");
    r = Call({"run", "--var", "hostile=" + hostile, "--junit", junit, "--report-json", json, echo});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    report = XmlReport(junit);
    ASSERT_TRUE(report.parsed()) << TextOf(junit);
    EXPECT_TRUE(Has(report.Text("//testcase[1]/failure"), "end ]]> <![CDATA[")) << TextOf(junit);
    EXPECT_TRUE(nlohmann::json::accept(TextOf(json)));
}

}  // namespace

// tessel-call as a program, against the local service: one call of each
// interface group, every exit status, the password kept out of every output,
// --json, scripts with expectations and captures, JUnit reports read back
// with an XML parser, and the example scripts.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <memory>

#include "FrontServer.h"
#include "ProgramRun.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "TempHome.h"

namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The names of a logged request's parameters, in the order received.
std::vector<std::string> ParamNames(const nlohmann::json& request)
{
    std::vector<std::string> names;
    for (const auto& p : request["parameters"])
        names.push_back(p[0]);
    return names;
}

std::string Value(const nlohmann::json& request, const std::string& name)
{
    for (const auto& p : request["parameters"])
        if (p[0] == name)
            return p[1];
    return "(absent)";
}

class TesselCall : public ::testing::Test {
protected:
    explicit TesselCall(std::vector<std::string> serviceArgs = {}) : svc(WithLog(std::move(serviceArgs))) {}

    std::vector<std::string> WithLog(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--log", log});
        return args;
    }
    // tessel-call logged in as tester on the local service, the password in the environment.
    ProgramResult Call(std::vector<std::string> args, std::vector<std::string> env = {"TESSEL_PASSWORD=tester"})
    {
        args.insert(args.begin(), {TESSEL_CALL_EXE, "--uri", svc.MainDescription(), "--user", "tester"});
        return RunProgram(args, env);
    }
    ProgramResult Bare(std::vector<std::string> args, std::vector<std::string> env = {})
    {
        args.insert(args.begin(), TESSEL_CALL_EXE);
        return RunProgram(args, env);
    }
    std::string Script(const std::string& name, const std::string& text)
    {
        const std::string path = home.dir() + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    std::vector<nlohmann::json> Requests() { return fs::exists(log) ? ReadLog(log) : std::vector<nlohmann::json>(); }
    std::vector<nlohmann::json> Operations()
    {
        std::vector<nlohmann::json> ops;
        for (const nlohmann::json& r : Requests())
            if (r["operation"] != "CreateTicket" && r["operation"] != "OpenSession" && r["operation"] != "CloseSession")
                ops.push_back(r);
        return ops;
    }

    TempHome home;
    std::string log = home.dir() + "/requests.log";
    ServiceProcess svc;
};

// ---------------------------------------------------------------------------
// One call of each interface group

struct GroupCall {
    const char* group;
    std::vector<std::string> args;
    const char* result;
};

void PrintTo(const GroupCall& g, std::ostream* os)
{
    *os << g.group;
}

class TesselCallGroups : public TesselCall, public ::testing::WithParamInterface<GroupCall> {};

TEST_P(TesselCallGroups, PrintsTheDecodedResultAndAValidToken)
{
    const GroupCall& g = GetParam();
    const ProgramResult r = Call(g.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(g.result) + "\n");
    EXPECT_TRUE(Has(r.err, g.args[0] + ": HTTP 200, ")) << r.err;
    EXPECT_TRUE(Has(r.err, "plain result, reply token valid")) << r.err;

    // Logged in, the one call with "user" first and "reskey" last, logged out.
    const std::vector<nlohmann::json> requests = Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0]["operation"], "CreateTicket");
    EXPECT_EQ(requests[1]["operation"], "OpenSession");
    EXPECT_EQ(requests[3]["operation"], "CloseSession");
    EXPECT_EQ(requests[2]["operation"], g.args[0]);
    EXPECT_EQ(requests[2]["token"], "valid");
    const std::vector<std::string> names = ParamNames(requests[2]);
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names.front(), "user");
    EXPECT_EQ(names.back(), "reskey");
    EXPECT_EQ(Value(requests[2], "reskey"), "");
}

INSTANTIATE_TEST_SUITE_P(
    EachGroup, TesselCallGroups,
    ::testing::Values(
        GroupCall{"LogDatabase", {"GetLog", "logID=1"},
                  "<log id=\"1\" user=\"tester\" category=\"general\">&lt;log&gt;service started&lt;/log&gt;</log>"},
        GroupCall{"AclsAndMessages", {"GetACLEntry", "uri=uri", "acluser=user"}, "acc"},
        GroupCall{"ContentAndQuery", {"GetVOContentbyURI", "uri=URI3"}, "<content>sample 3</content>"},
        GroupCall{"Collaboration", {"StartSharing", "uri=tessel://tester/m", "ipaddress=10.0.0.1"},
                  "<sharing uri=\"tessel://tester/m\" owner=\"tester\" ipaddress=\"10.0.0.1\"/>"},
        GroupCall{"SettingsAndAdmin", {"ReLoadTransform"}, "OK: Transform reloaded (1)"},
        GroupCall{"VoUris", {"GetVOURI", "vouser=tester", "name=ByURI"}, "URI2"},
        GroupCall{"FolioResources", {"GetVOResourceModuleNameList"}, "modulename"}),
    [](const ::testing::TestParamInfo<GroupCall>& info) { return std::string(info.param.group); });

TEST_F(TesselCall, TakesParametersByNameInTheDescriptionsOrder)
{
    const ProgramResult r = Call({"GetLogs", "count=5", "logID=1"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<nlohmann::json> ops = Operations();
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ParamNames(ops[0]), (std::vector<std::string>{"user", "logID", "count", "reskey"}));
    EXPECT_EQ(Value(ops[0], "count"), "5");

    // The login the tools make: the five CreateTicket values, then OpenSession with scheme and seed.
    const std::vector<nlohmann::json> all = Requests();
    EXPECT_EQ(ParamNames(all[0]),
              (std::vector<std::string>{"authority", "realm", "principal", "credential", "fullPrincipal"}));
    EXPECT_EQ(Value(all[0], "authority"), "LDAP://ldap.example.test");
    EXPECT_EQ(Value(all[0], "realm"), "example.test");
    EXPECT_EQ(Value(all[0], "credential"), "********");  // the service's log masks it
    EXPECT_EQ(Value(all[1], "service"), "tsc");
    EXPECT_NE(Value(all[1], "tokenSeed"), "");
}

TEST_F(TesselCall, ListsTheOperationsOfEachDescription)
{
    const ProgramResult main = Bare({"list", "--uri", svc.MainDescription()});
    EXPECT_EQ(main.status, 0) << main.err;
    EXPECT_TRUE(Has(main.out, "\nGetLogs logID count\n")) << main.out;
    EXPECT_TRUE(Has(main.out, "\nGetLogCount\n"));
    EXPECT_FALSE(Has(main.out, "CreateTicket"));
    EXPECT_FALSE(Has(main.out, "ReLoadConfig"));
    const ProgramResult admin = Bare({"list", "--admin", "--uri", svc.MainDescription()});
    EXPECT_EQ(admin.status, 0) << admin.err;
    EXPECT_EQ(admin.out, "ReLoadConfig\nReLoadTransform\nReLoadUnifyTable\n");
    EXPECT_TRUE(Requests().empty());
}

// ---------------------------------------------------------------------------
// Exit statuses and bad input

TEST_F(TesselCall, AFaultExitsWithOneAndSaysWhatWentWrong)
{
    const ProgramResult r = Call({"GetLog", "logID=999"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Has(r.err, "GetLog: fault")) << r.err;
    EXPECT_TRUE(Has(r.err, "No log with the ID 999")) << r.err;
}

TEST_F(TesselCall, ARefusedLoginExitsWithOneAndSendsNoCall)
{
    const ProgramResult r = Call({"GetLogCount"}, {"TESSEL_PASSWORD=wrong"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "the login was refused")) << r.err;
    EXPECT_TRUE(Operations().empty());
}

class TesselCallErrorPages : public TesselCall {
protected:
    TesselCallErrorPages() : TesselCall({"--html-error", "GetLog"}) {}
};

TEST_F(TesselCallErrorPages, AnErrorPageExitsWithOne)
{
    const ProgramResult r = Call({"GetLog", "logID=1", "--json"});
    EXPECT_EQ(r.status, 1) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["httpStatus"], 500);
    EXPECT_TRUE(Has(j["fault"]["string"], "HTML page")) << j.dump();
    EXPECT_FALSE(j.contains("result"));
}

TEST_F(TesselCall, ARejectedReplyTokenExitsWithTwo)
{
    FrontServer front(svc);
    front.Reply("<?xml version=\"1.0\"?>"
                "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body>"
                "<m:GetLogCountResponse xmlns:m=\"urn:tessel:TesselServiceCore\"><result>12</result>"
                "<reskey>AAAAAAAAAAAAAAAAAAAAAA==:V0</reskey></m:GetLogCountResponse></SOAP-ENV:Body>"
                "</SOAP-ENV:Envelope>");
    ProgramResult r = Bare({"--uri", front.Url("/front.xml"), "--user", "tester", "GetLogCount"},
                           {"TESSEL_PASSWORD=tester"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(Has(r.err, "reply token rejected: the session key does not decrypt it (0x")) << r.err;

    // -v shows both tokens decoded and the check the reply failed.
    r = Bare({"-v", "--uri", front.Url("/front.xml"), "--user", "tester", "GetLogCount"}, {"TESSEL_PASSWORD=tester"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(Has(r.err, "= tokens of GetLogCount\nRequest token: decoded; it re-validates against the slots as sent"))
        << r.err;
    EXPECT_TRUE(Has(r.err, "Reply token: rejected: cannot decode: the reply token is not one this session's key "
                           "decrypts"))
        << r.err;

    r = Bare({"--json", "--uri", front.Url("/front.xml"), "--user", "tester", "GetLogCount"},
             {"TESSEL_PASSWORD=tester"});
    EXPECT_EQ(r.status, 2) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["token"].get<std::string>().rfind("rejected: the session key does not decrypt it (0x", 0), 0u)
        << j.dump();
    EXPECT_TRUE(Has(j["inspection"].get<std::string>(), "Reply token: rejected: ")) << j.dump();
    EXPECT_NE(j["tokenHResult"], 0);
    EXPECT_EQ(j["exitStatus"], 2);

    // A script can expect the rejection; without that expectation the call fails.
    const std::string script = Script("rejected.tcall", "GetLogCount\nexpect token rejected\nGetLogCount\n");
    r = Bare({"--uri", front.Url("/front.xml"), "--user", "tester", "run", script}, {"TESSEL_PASSWORD=tester"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.out, "PASS  GetLogCount (line 1)")) << r.out;
    EXPECT_TRUE(Has(r.out, "FAIL  GetLogCount (line 3)")) << r.out;
    EXPECT_TRUE(Has(r.out, "reply token rejected: the session key does not decrypt it (0x")) << r.out;

    // An empty reply is no reply.
    front.Reply("");
    r = Bare({"--uri", front.Url("/front.xml"), "--user", "tester", "GetLogCount"}, {"TESSEL_PASSWORD=tester"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, "empty reply")) << r.err;
}

TEST_F(TesselCall, AServerThatIsGoneExitsWithThreeAndTheTransportsMessage)
{
    FrontServer front(svc);
    const std::string description = svc.MainDescription();
    svc.Stop();
    ProgramResult r = Bare({"--uri", description, "--user", "tester", "GetLogCount"}, {"TESSEL_PASSWORD=tester"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, "Could not connect to " + description)) << r.err;
    EXPECT_TRUE(Has(r.err, "Connection refused")) << r.err;

    // The description still loads from the front, but its endpoint is gone.
    r = Bare({"--uri", front.Url("/partial.xml"), "--user", "tester", "--json", "GetLogCount"},
             {"TESSEL_PASSWORD=tester"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, "CreateTicket: Could not connect")) << r.err;
    EXPECT_TRUE(Has(nlohmann::json::parse(r.out)["error"], "Connection refused"));
}

TEST_F(TesselCall, ADescriptionThatLacksTheOperationSaysSo)
{
    ProgramResult r = Call({"GetEverything"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, "has no operation GetEverything")) << r.err;
    r = Call({"--admin", "GetLog", "logID=1"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, svc.AdminDescription() + " has no operation GetLog; it is an operation of the main "
                                                    "interface: leave out --admin"))
        << r.err;
    r = Call({"ReLoadConfig", "--admin-uri", svc.MainDescription()});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, svc.MainDescription() + " has no operation ReLoadConfig")) << r.err;
    r = Call({"OpenSession"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, "session message")) << r.err;
    EXPECT_TRUE(Requests().empty());
}

TEST_F(TesselCall, UsageErrorsExitWithFourAndSendNothing)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> env;
        const char* says;
    };
    const std::string uri = svc.MainDescription();
    const std::vector<Case> cases = {
        {{}, {}, "name an OPERATION, list, run or load"},
        {{"--uri", uri, "--user", "tester", "--frobnicate", "GetLogCount"}, {"TESSEL_PASSWORD=x"}, "unknown option"},
        {{"--uri", uri, "GetLogCount"}, {"TESSEL_PASSWORD=x"}, "--user NAME is needed"},
        {{"--uri", uri, "--user", "tester", "GetLogCount"}, {"TESSEL_PASSWORD"}, "no password"},
        {{"--uri", uri, "--user", "tester", "--password", "a", "--password-file", "f", "GetLogCount"}, {}, "either"},
        {{"--uri", uri, "--user", "tester", "--password-file", "/nonexistent/pw", "GetLogCount"}, {}, "password file"},
        {{"--uri", uri, "--user", "tester", "GetLog"},
         {"TESSEL_PASSWORD=x"},
         "missing parameter logID; GetLog takes logID"},
        {{"--uri", uri, "--user", "tester", "GetLogs", "logID=1", "size=2"},
         {"TESSEL_PASSWORD=x"},
         "\"size\" is not a parameter of GetLogs; GetLogs takes logID, count"},
        {{"--uri", uri, "--user", "tester", "GetLog", "logID=1", "logID=2"}, {"TESSEL_PASSWORD=x"}, "given twice"},
        {{"--uri", uri, "--user", "tester", "GetLog", "1"}, {"TESSEL_PASSWORD=x"}, "name=value"},
        {{"--uri", uri, "--junit", "r.xml", "list"}, {}, "--junit goes with run"},
        {{"--uri", uri, "--user", "tester", "--json", "run", "x.tcall"}, {}, "--json goes with a single call"},
        {{"--uri", uri, "--allow-import-origin", "host:8081", "list"}, {}, "names no origin"},
    };
    for (const Case& c : cases) {
        const ProgramResult r = Bare(c.args, c.env);
        EXPECT_EQ(r.status, 4) << c.says << "\n" << r.err;
        EXPECT_TRUE(Has(r.err, c.says)) << r.err;
        EXPECT_EQ(r.out, "") << c.says;
    }
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(Bare({"--help"}).status, 0);
}

TEST_F(TesselCall, ImportsComeFromTheDescriptionsOriginOrFromOnesTheUserAllows)
{
    // A local description that imports from a port nothing listens on: refused
    // before anything is asked, unless that origin is allowed, by the option or
    // by the environment; then the fetch itself is what fails.
    const std::string description =
        Script("main.wsdl",
               "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" targetNamespace=\"urn:t\">"
               "<import namespace=\"urn:t\" location=\"http://127.0.0.1:1/messages.wsdl\"/></definitions>");
    const std::string uri = "file://" + description;
    const ProgramResult refused = Bare({"--uri", uri, "list"});
    EXPECT_EQ(refused.status, 3) << refused.err;
    EXPECT_TRUE(Has(refused.err, "imports http://127.0.0.1:1/messages.wsdl, which is outside the description's "
                                 "origin file://"))
        << refused.err;
    for (const auto& [args, env] :
         std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>>{
             {{"--allow-import-origin", "http://127.0.0.1:1", "--uri", uri, "list"}, {}},
             {{"--allow-import-origin=http://example.test", "--allow-import-origin", "http://127.0.0.1:1/any/path",
               "--uri", uri, "list"},
              {}},
             {{"--uri", uri, "list"}, {"TESSEL_IMPORT_ORIGINS=http://127.0.0.1:1"}},
         }) {
        const ProgramResult allowed = Bare(args, env);
        EXPECT_EQ(allowed.status, 3) << allowed.err;
        EXPECT_FALSE(Has(allowed.err, "outside the description's origin")) << allowed.err;
        EXPECT_TRUE(Has(allowed.err, "127.0.0.1:1")) << allowed.err;
    }
}

// ---------------------------------------------------------------------------
// The password

class TesselCallPasswords : public TesselCall {
protected:
    TesselCallPasswords() : TesselCall({"--user", "tester:pa<ss&w\"rd"}) {}
};

TEST_F(TesselCallPasswords, IsNeverPrintedNotEvenWithVerbose)
{
    const std::string secret = "pa<ss&w\"rd";
    const std::string file = home.dir() + "/pw";
    std::ofstream(file) << secret << "\n";
    const ProgramResult r = Call({"-v", "--password-file", file, "GetMessage", "uri=URI"}, {});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Message\n");
    for (const std::string& text : {r.out, r.err}) {
        EXPECT_FALSE(Has(text, secret));
        EXPECT_FALSE(Has(text, "pa&lt;ss&amp;w"));
    }
    EXPECT_TRUE(Has(r.err, "<credential xsi:type=\"xsd:string\">********</credential>")) << r.err;
    // The envelopes and the status of each exchange, the call's among them.
    EXPECT_TRUE(Has(r.err, "> POST " + svc.Url("/TesselService/TesselServiceCore.asmx") + " (GetMessage)")) << r.err;
    EXPECT_TRUE(Has(r.err, "<SOAP-ENV:Envelope")) << r.err;
    EXPECT_TRUE(Has(r.err, "< HTTP 200\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "(CloseSession)")) << r.err;
    // The service had the real one (the login held), and its log does not show it either.
    EXPECT_EQ(Value(Requests().at(0), "credential"), "********");

    const ProgramResult env = Call({"-v", "--json", "GetMessage", "uri=URI"}, {"TESSEL_PASSWORD=" + secret});
    EXPECT_EQ(env.status, 0) << env.err;
    EXPECT_FALSE(Has(env.out + env.err, secret));
}

// ---------------------------------------------------------------------------
// --json and the decoded kinds

class TesselCallCompressed : public TesselCall {
protected:
    TesselCallCompressed() : TesselCall({"--compress-threshold", "10"}) {}
};

TEST_F(TesselCallCompressed, JsonNamesTheDecodedKind)
{
    ProgramResult r = Call({"--json", "GetVOContent", "name=Name1"});
    EXPECT_EQ(r.status, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["operation"], "GetVOContent");
    EXPECT_EQ(j["interface"], "main");
    EXPECT_EQ(j["httpStatus"], 200);
    EXPECT_TRUE(j["elapsedMs"].is_number());
    EXPECT_GE(j["elapsedMs"].get<double>(), 0.0);
    EXPECT_EQ(j["result"], "<content>sample 1</content>");
    EXPECT_EQ(j["kind"], 1);
    EXPECT_EQ(j["kindName"], "compressed");
    EXPECT_EQ(j["token"], "valid");
    EXPECT_EQ(j["exitStatus"], 0);
    EXPECT_EQ(Requests().at(2)["encoding"], "compressed");

    r = Call({"--json", "GetLog", "logID=7"});
    EXPECT_EQ(r.status, 1);
    j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["fault"]["string"], "No log with the ID 7");
    EXPECT_FALSE(j.contains("token"));
}

class TesselCallEncrypted : public TesselCall {
protected:
    TesselCallEncrypted() : TesselCall({"--encrypt-results"}) {}
};

TEST_F(TesselCallEncrypted, JsonNamesTheDecodedKind)
{
    const ProgramResult r = Call({"--json", "ReLoadConfig"});
    EXPECT_EQ(r.status, 0) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["result"], "OK: Config reloaded (1)");
    EXPECT_EQ(j["interface"], "admin");
    EXPECT_EQ(j["kind"], 2);
    EXPECT_EQ(j["kindName"], "encrypted");
}

TEST_F(TesselCall, ALongCompressedResultPrintsWhole)
{
    const std::string content(3'000'000, 'x');
    const ProgramResult put = Call({"run", Script("put.tcall", "PutVOContent name=Big content=" + content + "\n")});
    ASSERT_EQ(put.status, 0) << put.out << put.err;
    const ProgramResult r = Call({"GetVOContent", "name=Big"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), content.size() + 1);
    EXPECT_EQ(r.out, content + "\n");
    EXPECT_TRUE(Has(r.err, "compressed result, reply token valid")) << r.err;
}

// ---------------------------------------------------------------------------
// Scripts

TEST_F(TesselCall, ScriptExpectationsPassAndFail)
{
    const std::string script = Script("mixed.tcall", R"(# each kind of expectation, passing and failing
GetLogCount
expect result = 1
expect token valid
GetLogCount
expect result = 2
GetVOList
expect result ~ "^ByURI;Name1"
GetVOList
expect result ~ ^Other
GetLog logID=99
expect fault
GetLog logID=99
expect fault ~ "No log with the ID 99"
GetLog logID=1
expect fault
GetLog logID=99
)");
    const ProgramResult r = Call({"run", script});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.out, "PASS  GetLogCount (line 2)  ")) << r.out;
    EXPECT_TRUE(Has(r.out, "FAIL  GetLogCount (line 5)  ")) << r.out;
    EXPECT_TRUE(Has(r.out, "      expected result = \"2\", got \"1\"\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "PASS  GetVOList (line 7)"));
    EXPECT_TRUE(Has(r.out, "FAIL  GetVOList (line 9)"));
    EXPECT_TRUE(Has(r.out, "expected result ~ \"^Other\", got \"ByURI;Name1;Name3;Name4\""));
    EXPECT_TRUE(Has(r.out, "PASS  GetLog (line 11)"));
    EXPECT_TRUE(Has(r.out, "PASS  GetLog (line 13)"));
    EXPECT_TRUE(Has(r.out, "FAIL  GetLog (line 15)"));
    EXPECT_TRUE(Has(r.out, "expected a fault, got the result \"<log id="));
    EXPECT_TRUE(Has(r.out, "FAIL  GetLog (line 17)"));
    EXPECT_TRUE(Has(r.out, "unexpected fault: No log with the ID 99"));
    EXPECT_TRUE(Has(r.out, "\n4 passed, 4 failed\n")) << r.out;
    // One session for the whole script.
    EXPECT_EQ(Requests().size(), 8u + 3u);
}

TEST_F(TesselCall, ScriptsCaptureResultsAndExpandThem)
{
    const std::string script = Script("capture.tcall", R"(
PutVOContent name="My draft" content='<content a="1">two  blanks</content>'
set uri = ${result}
set copy = "${uri}"
GetVOContentbyURI uri=${copy}
expect result = '<content a="1">two  blanks</content>'
PutMessage uri=${uri} message="about ${uri}, \$5 and \"quotes\""   # a comment
GetMessage uri="${uri}"
expect result = "about tessel://tester/My draft, \$5 and \"quotes\""
GetMessage uri='${uri}'
expect fault
)");
    const ProgramResult r = Call({"run", script});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "5 passed, 0 failed")) << r.out;
    const std::vector<nlohmann::json> ops = Operations();
    ASSERT_EQ(ops.size(), 5u);
    EXPECT_EQ(Value(ops[0], "name"), "My draft");
    EXPECT_EQ(Value(ops[1], "uri"), "tessel://tester/My draft");
    EXPECT_EQ(Value(ops[2], "message"), "about tessel://tester/My draft, $5 and \"quotes\"");
    EXPECT_EQ(Value(ops[4], "uri"), "${uri}");
}

TEST_F(TesselCall, ABadScriptLineNamesItsNumberAndNothingIsSent)
{
    const struct {
        const char* script;
        int status;
        const char* says;
    } cases[] = {
        {"GetLogCount\n\nexpect result == 1\n", 4, "line 3: expect takes one of"},
        {"GetLogCount\nGetLog logID='1\n", 4, "line 2: a single quote is not closed"},
        {"# none yet\nexpect fault\n", 4, "line 2: an expect line belongs to a call"},
        {"GetLog logID=${id}\n", 4, "line 1: ${id} has no value here"},
        {"GetLogCount\nexpect result ~ \"(\"\n", 4, "line 2: the regular expression \"(\" does not compile"},
        {"GetLogCount\nGetLog id=1\n", 4, "line 2: \"id\" is not a parameter of GetLog; GetLog takes logID"},
        {"GetLogCount\nGetLogs logID=1\n", 4, "line 2: missing parameter count"},
        {"GetLogCount\n\nGetEverything\n", 3, "line 3: the service description"},
        {"set result = 1\n", 4, "line 1: set needs a variable name"},
    };
    for (const auto& c : cases) {
        const std::string junit = home.dir() + "/bad.xml";
        const ProgramResult r = Call({"run", "--junit", junit, Script("bad.tcall", c.script)});
        EXPECT_EQ(r.status, c.status) << c.script << r.err;
        EXPECT_TRUE(Has(r.err, c.says)) << c.script << "\n" << r.err;
        EXPECT_TRUE(Requests().empty()) << c.script;
        // The report holds the failure, for a CI server to show.
        std::ifstream in(junit);
        const std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(Has(report, "<testcase name=\"setup\"")) << report;
        EXPECT_TRUE(Has(report, "<error message=")) << report;
    }
}

// The report's text for an XPath expression over it.
class XmlReport {
public:
    explicit XmlReport(const std::string& path)
        : doc_(xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS), xmlFreeDoc)
    {
    }
    bool parsed() const { return doc_ != nullptr; }
    std::string Text(const std::string& xpath) const
    {
        std::unique_ptr<xmlXPathContext, void (*)(xmlXPathContextPtr)> ctx(xmlXPathNewContext(doc_.get()),
                                                                            xmlXPathFreeContext);
        std::unique_ptr<xmlXPathObject, void (*)(xmlXPathObjectPtr)> obj(
            xmlXPathEvalExpression(BAD_CAST ("string(" + xpath + ")").c_str(), ctx.get()), xmlXPathFreeObject);
        return obj && obj->stringval ? reinterpret_cast<const char*>(obj->stringval) : "";
    }

private:
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc_;
};

TEST_F(TesselCall, TheJunitReportIsXmlWithOneCasePerCall)
{
    const std::string junit = home.dir() + "/report.xml";
    const std::string script = Script("ci.tcall", "GetLogCount\nexpect result = 1\nGetLog logID=1\nexpect result = x\n"
                                                  "GetLog logID=99\n");
    const ProgramResult r = Call({"run", script, "--junit", junit});
    EXPECT_EQ(r.status, 1) << r.err;
    const XmlReport report(junit);
    ASSERT_TRUE(report.parsed());
    EXPECT_EQ(report.Text("count(/testsuites/testsuite/testcase)"), "3");
    EXPECT_EQ(report.Text("/testsuites/testsuite/@name"), "ci.tcall");
    EXPECT_EQ(report.Text("/testsuites/testsuite/@tests"), "3");
    EXPECT_EQ(report.Text("/testsuites/testsuite/@failures"), "2");
    EXPECT_EQ(report.Text("/testsuites/testsuite/@errors"), "0");
    EXPECT_EQ(report.Text("//testcase[1]/@name"), "GetLogCount (line 1)");
    EXPECT_EQ(report.Text("//testcase[1]/@classname"), "tessel-call.ci");
    EXPECT_EQ(report.Text("count(//testcase[1]/failure)"), "0");
    EXPECT_EQ(report.Text("//testcase[2]/failure/@type"), "expectation");
    EXPECT_TRUE(Has(report.Text("//testcase[2]/failure/@message"), "expected result = \"x\", got \"<log id="));
    EXPECT_EQ(report.Text("//testcase[3]/failure/@type"), "fault");
    EXPECT_EQ(report.Text("//testcase[3]/failure/@message"), "unexpected fault: No log with the ID 99");
    // The envelopes, in system-out.
    const std::string out = report.Text("//testcase[2]/system-out");
    EXPECT_TRUE(Has(out, "<m:GetLog ")) << out;
    EXPECT_TRUE(Has(out, "<m:GetLogResponse ")) << out;
    EXPECT_TRUE(Has(out, "reply token: valid")) << out;
    EXPECT_NE(report.Text("/testsuites/testsuite/@timestamp"), "");

    // A service that is gone is an error of the run, in the report too.
    svc.Stop();
    const ProgramResult gone = Call({"run", script, "--junit", junit});
    EXPECT_EQ(gone.status, 3);
    const XmlReport failed(junit);
    ASSERT_TRUE(failed.parsed());
    EXPECT_EQ(failed.Text("/testsuites/testsuite/@errors"), "1");
    EXPECT_TRUE(Has(failed.Text("//testcase[@name='setup']/error/@message"), "Connection refused"));
}

// ---------------------------------------------------------------------------
// Bounds of a script and of its report

// A script whose ${a} doubles from one byte to `bytes`, line by line (line 1 sets it, line k + 1 makes it 2^k).
std::string Doubling(std::size_t bytes)
{
    std::string script = "set a = x\n";
    for (std::size_t n = 1; n < bytes; n *= 2)
        script += "set a = \"${a}${a}\"\n";
    return script;
}

std::string TextOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Without the bounds the doubling took 2.1 GB and ended in std::bad_alloc (now it stops at 32 MiB); the pattern compiled
// into gigabytes.
constexpr long kBoundedPeakKiB = 320 * 1024;

TEST_F(TesselCall, AScriptOverItsBoundsStopsAtTheLineWithFourAndAReport)
{
    const struct {
        const char* name;
        std::string script;
        const char* says;
    } cases[] = {
        {"doubling", Doubling(1u << 30),
         "line 27: set a: the value would be 67,108,864 bytes long, and a value holds at most 33,554,432 bytes"},
        {"all variables", Doubling(1u << 24) + "set b = ${a}\nset c = ${a}\nset d = ${a}\nset e = ${a}\nGetLogCount\n",
         "line 29: set e: the variables would hold 83,886,080 bytes together, and they hold at most 67,108,864 bytes"},
        {"a parameter", Doubling(1u << 25) + "GetMessage uri=\"${a}!\"\n",
         "line 27: GetMessage uri: the value would be 33,554,433 bytes long"},
        {"a pattern in a variable", "set p = \"(a{1,100}){1,100}\"\nGetLogCount\nexpect result ~ ${p}\nGetLogCount\n",
         "line 3: expect: the regular expression \"(a{1,100}){1,100}\" is too large: it grows beyond 2,000 atoms"},
        {"a pattern", "GetLogCount\nexpect result ~ '((a{1,100}){1,100}){1,100}'\n",
         "line 2: the regular expression \"((a{1,100}){1,100}){1,100}\" is too large"},
    };
    for (const auto& c : cases) {
        const std::string junit = home.dir() + "/bounds.xml";
        const ProgramResult r = Call({"run", "--junit", junit, Script("bounds.tcall", c.script)});
        EXPECT_EQ(r.status, 4) << c.name << "\n" << r.err;
        EXPECT_TRUE(Has(r.err, c.says)) << c.name << "\n" << r.err;
        EXPECT_LT(r.peakRssKiB, kBoundedPeakKiB) << c.name;
        const XmlReport report(junit);
        ASSERT_TRUE(report.parsed()) << c.name;
        EXPECT_EQ(report.Text("//testcase[last()]/error/@type"), "script") << c.name;
        EXPECT_TRUE(Has(report.Text("//testcase[last()]/error/@message"), c.says)) << c.name;
    }
    // No line after a stop runs: of all these calls only the one above the stopped expect line was sent.
    EXPECT_EQ(Operations().size(), 1u);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(TesselCall, RunningOutOfMemoryStillWritesTheReport)
{
    // Within every bound, but not within the memory the program is given.
    const std::string junit = home.dir() + "/oom.xml";
    const std::string script =
        Script("oom.tcall", "GetLogCount\n" + Doubling(1u << 24) + "set b = ${a}\nset c = ${a}\nset d = ${a}\n");
    const ProgramResult r = RunProgram({"/bin/sh", "-c", "ulimit -d 40000 && exec \"$0\" \"$@\"", TESSEL_CALL_EXE,
                                        "--uri", svc.MainDescription(), "--user", "tester", "run", "--junit", junit,
                                        script},
                                       {"TESSEL_PASSWORD=tester"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(Has(r.err, "memory ran out; the run stops here")) << r.err;
    const XmlReport report(junit);
    ASSERT_TRUE(report.parsed());
    EXPECT_EQ(report.Text("//testcase[1]/@name"), "GetLogCount (line 1)");
    EXPECT_TRUE(Has(report.Text("//testcase[last()]/error/@message"), "memory ran out")) << TextOf(junit);
    EXPECT_EQ(Operations().size(), 1u);
}
#endif

TEST_F(TesselCall, RunKeepsOnlyTheFirst64KiBOfEachLargeReply)
{
    const std::string content(12'000'000, 'x');
    std::string script = "PutVOContent name=Big content=" + content + "\n";
    for (int i = 0; i < 6; ++i)
        script += "GetVOContent name=Big\n";
    const std::string junit = home.dir() + "/large.xml";
    const ProgramResult r = Call({"run", "--junit", junit, Script("large.tcall", script)});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "7 passed, 0 failed")) << r.out;
    // When every reply and result was kept, this took 437 MB and wrote a report of 84 MB (now 159 MB and
    // 0.7 MB). The address sanitizer keeps freed memory in quarantine, so the peak is not compared there.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(r.peakRssKiB, 300 * 1024);
#endif
    EXPECT_LT(TextOf(junit).size(), 1u << 20);
    const XmlReport report(junit);
    ASSERT_TRUE(report.parsed());
    EXPECT_EQ(report.Text("count(//testcase)"), "7");
    EXPECT_TRUE(Has(report.Text("//testcase[1]/system-out"), "xxx\n[... shown 65,536 of 12,00")) << TextOf(junit);
    const std::string out = report.Text("//testcase[7]/system-out");
    EXPECT_TRUE(Has(out, "xxx\n[... shown 65,536 of 12,00")) << out.substr(0, 300);
    EXPECT_TRUE(Has(out, "decoded result (compressed): xxx")) << out.substr(0, 300);
    EXPECT_TRUE(Has(out, "xxx\n[... shown 65,536 of 12,000,000 bytes]\nreply token: valid\n")) << out.substr(0, 300);
}

// ---------------------------------------------------------------------------
// The example scripts

class TesselCallExamples : public TesselCall, public ::testing::WithParamInterface<std::string> {};

TEST_P(TesselCallExamples, PassAgainstTheLocalService)
{
    const std::string script = std::string(TESSEL_CALL_EXAMPLES) + "/" + GetParam() + ".tcall";
    ASSERT_TRUE(fs::exists(script)) << script;
    const ProgramResult r = Call({"run", script});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, " passed, 0 failed\n")) << r.out;
    EXPECT_FALSE(Has(r.out, "FAIL")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(EachGroup, TesselCallExamples,
                         ::testing::Values("log", "acl", "content", "collab", "settings", "vouri", "resources"));

TEST(TesselCallExampleFiles, OneForEachInterfaceGroup)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(TESSEL_CALL_EXAMPLES))
        names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"acl", "collab", "content", "log", "resources", "settings", "vouri"}));
}

}  // namespace

TEST_F(TesselCall, InspectDecodesTokensWithTheSessionValuesThatVerbosePrints)
{
    const ProgramResult traced = Call({"-v", "GetLog", "logID=1"});
    ASSERT_EQ(traced.status, 0) << traced.err;
    // The values -v prints, one a line, each into a file as a developer would paste it.
    std::vector<std::string> args = {"inspect", "method=GetLog", "slot.logID=1"};
    for (const char* name : {"scheme", "seed", "sessionKey", "verifier", "request", "reply"}) {
        const std::string key = std::string("\n  ") + name + "=";
        const std::size_t at = traced.err.rfind(key);
        ASSERT_NE(at, std::string::npos) << name << "\n" << traced.err;
        const std::size_t start = at + key.size();
        const std::string value = traced.err.substr(start, traced.err.find('\n', start) - start);
        args.push_back(std::string(name) + "=@" + Script(std::string(name) + ".txt", value + "\n"));
    }
    const ProgramResult log = Call({"--json", "GetLog", "logID=1"});
    const std::string result = nlohmann::json::parse(log.out)["result"];
    // The same log entry, sent plain: the reply's result as it came.
    args.push_back("result=" + result);
    ProgramResult r = Bare(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "Request token: decoded; it re-validates against the slots as sent")) << r.out;
    EXPECT_TRUE(Has(r.out, "Reply token: valid")) << r.out;
    EXPECT_TRUE(Has(r.out, "  slot 1 \"logID\": plain")) << r.out;

    // A slot other than the one sent, and a value the inspector does not take.
    args[2] = "slot.logID=2";
    r = Bare(args);
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_TRUE(Has(r.out, "it does not re-validate against the slots as sent")) << r.out;
    r = Bare({"inspect", "nonsense=1"});
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(Has(r.err, "nonsense is not a value it takes")) << r.err;
}

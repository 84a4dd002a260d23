// The runner parts of tessel-call that need no service: data files, env
// files, the new expectation and set forms, XPath over results, the
// variables' sources, values from files, and reports of several suites.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <nlohmann/json.hpp>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "DataFile.h"
#include "Junit.h"
#include "Runner.h"
#include "Script.h"
#include "ScriptRun.h"
#include "TempHome.h"
#include "XmlQuery.h"

using namespace tessel::call;

namespace {

std::string DataErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const DataError& e) {
        return e.what();
    }
    return "(no error)";
}

std::string ScriptErrorOf(const std::string& script)
{
    try {
        ParseScript(script);
    } catch (const ScriptError& e) {
        return e.what();
    }
    return "(no error)";
}

using Values = std::vector<std::pair<std::string, std::string>>;

// ---------------------------------------------------------------------------
// CSV

TEST(CsvData, ReadsQuotedFieldsAsRfc4180SaysWithEachRowsLine)
{
    const std::vector<DataRow> rows =
        ParseCsv("\xEF\xBB\xBFuser,note\r\nalice,\"a, b\"\r\nbob,\"say \"\"hi\"\"\nover two lines\"\n,\n", "u.csv");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].values, (Values{{"user", "alice"}, {"note", "a, b"}}));
    EXPECT_EQ(rows[0].line, 2u);
    EXPECT_EQ(rows[1].values, (Values{{"user", "bob"}, {"note", "say \"hi\"\nover two lines"}}));
    EXPECT_EQ(rows[1].line, 3u);
    EXPECT_EQ(rows[2].values, (Values{{"user", ""}, {"note", ""}}));
    EXPECT_EQ(rows[2].line, 5u);
    EXPECT_TRUE(ParseCsv("a\n", "h.csv").empty());
}

TEST(CsvData, ABadFileNamesItsFileAndLine)
{
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"", "e.csv:1: the file is empty"},
        {"a,b\n1,2\n3\n", "e.csv:3: the record has 1 fields and the header 2"},
        {"a,b\n1,2\n\"3\n,4\n", "e.csv:3: a quoted field is not closed"},
        {"a,b\n\"1\"x,2\n", "e.csv:2: text after a closing quote"},
        {"a,b\n1\"2,3\n", "e.csv:2: a quote inside an unquoted field"},
        {"a,a\n1,2\n", "e.csv:1: the name a is given twice"},
        {"a,my name\n1,2\n", "e.csv:1: \"my name\" is not a variable name"},
        {"result\n1\n", "e.csv:1: \"result\" is not a variable name"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DataErrorOf([&] { ParseCsv(c.text, "e.csv"); }).rfind(c.says, 0), 0u)
            << c.text << "\n" << DataErrorOf([&] { ParseCsv(c.text, "e.csv"); });
}

TEST(CsvData, HoldsAHundredThousandRowsAndA32MiBValue)
{
    std::string text = "id,name\n";
    for (int i = 0; i < 100'000; ++i)
        text += std::to_string(i) + ",\"user " + std::to_string(i) + "\"\n";
    const std::vector<DataRow> rows = ParseCsv(text, "many.csv");
    ASSERT_EQ(rows.size(), 100'000u);
    EXPECT_EQ(rows.back().values[1].second, "user 99999");
    EXPECT_EQ(rows.back().line, 100'001u);

    const std::string big(kMaxValueBytes, 'v');
    const std::vector<DataRow> one = ParseCsv("v\n\"" + big + "\"\n", "big.csv");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].values[0].second.size(), kMaxValueBytes);
}

// ---------------------------------------------------------------------------
// JSON, env files

TEST(JsonData, ReadsAnArrayOfObjectsWithTheirValuesAsText)
{
    const std::vector<DataRow> rows = ParseJsonRows(
        "[\n {\"user\": \"alice\", \"id\": 7, \"ok\": true, \"none\": null},\n {\"user\": \"b \\\"q\\\"\"}\n]", "r.json");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].values, (Values{{"user", "alice"}, {"id", "7"}, {"ok", "true"}, {"none", ""}}));
    EXPECT_EQ(rows[0].line, 2u);
    EXPECT_EQ(rows[1].values, (Values{{"user", "b \"q\""}}));
    EXPECT_EQ(rows[1].line, 3u);
}

TEST(JsonData, ABadFileNamesItsFileAndLine)
{
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"{\"a\": 1}", "j.json:1: the data is a JSON array of objects"},
        {"[{\"a\": 1},\n\n 5]", "j.json:3: row 2 is not an object"},
        {"[{\"a\": 1},\n {\"a\": {\"b\": 1}}]", "j.json:2: the value of a is an object"},
        {"[{\"a\": 1},\n {\"a b\": 1}]", "j.json:2: \"a b\" is not a variable name"},
        {"[{\"a\": 1},\n {\"a\": 1,,}]", "j.json:2: not JSON"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DataErrorOf([&] { ParseJsonRows(c.text, "j.json"); }).rfind(c.says, 0), 0u)
            << DataErrorOf([&] { ParseJsonRows(c.text, "j.json"); });
    EXPECT_EQ(DataErrorOf([] { ReadDataFile("users.txt"); }).rfind("users.txt:1: a data file is FILE.csv", 0), 0u);
}

TEST(EnvFiles, TakeNameValueLinesAndNameABadOne)
{
    EXPECT_EQ(ParseEnvFile("# staging\n\nhost=h.test\r\nexport user=\"a b\"\n  empty=\nq='x=y'\n", "s.env"),
              (Values{{"host", "h.test"}, {"user", "a b"}, {"empty", ""}, {"q", "x=y"}}));
    EXPECT_EQ(DataErrorOf([] { ParseEnvFile("a=1\nb\n", "s.env"); }),
              "s.env:2: a line is NAME=VALUE, a # comment or blank");
    EXPECT_EQ(DataErrorOf([] { ParseEnvFile("a=1\n\n1a=2\n", "s.env"); }).rfind("s.env:3: \"1a\" is not", 0), 0u);
    EXPECT_EQ(DataErrorOf([] { ParseEnvFile("a=\"open\n", "s.env"); }), "s.env:1: a quote is not closed");
}

// ---------------------------------------------------------------------------
// Variables from outside a script, values from files

TEST(VariableSources, LookInTheRowThenVarsThenEnvFilesThenTheEnvironment)
{
    setenv("TESSEL_RUNNER_TEST_X", "from the environment", 1);
    VariableSources s;
    s.AddEnvFile({{"a", "env file"}, {"b", "env file"}, {"c", "env file"}});
    s.AddVar("a", "first var");
    s.AddVar("a", "var");
    s.AddVar("b", "var");
    DataRow row;
    row.line = 4;
    row.values = {{"a", "row"}};
    EXPECT_EQ(s.Find("a", &row), "row");
    EXPECT_EQ(s.Find("a", nullptr), "var");
    EXPECT_EQ(s.Find("c", &row), "env file");
    EXPECT_EQ(s.Find("TESSEL_RUNNER_TEST_X", &row), "from the environment");
    EXPECT_EQ(s.Find("none", &row), std::nullopt);
    EXPECT_TRUE(s.Gives("a", {}));
    EXPECT_TRUE(s.Gives("only_in_a_row", {DataRow{2, {{"only_in_a_row", "1"}}}}));
    EXPECT_EQ(s.ValuesFor({"a", "c"}, &row, "d.csv"), (std::map<std::string, std::string>{{"a", "row"}, {"c", "env file"}}));
    EXPECT_EQ(DataErrorOf([&] { s.ValuesFor({"none"}, &row, "d.csv"); }).rfind("d.csv:4: the row gives no value for ${none}", 0),
              0u);
    s.UseEnvironment(false);
    EXPECT_EQ(s.Find("TESSEL_RUNNER_TEST_X", nullptr), std::nullopt);
    unsetenv("TESSEL_RUNNER_TEST_X");
}

TEST(ArgumentValues, ComeFromAFileStandardInputOrAsWritten)
{
    TempHome home;
    const std::string file = home.dir() + "/value.txt";
    const std::string mib(1u << 20, 'm');
    std::ofstream(file, std::ios::binary) << mib;
    const auto input = [] { return std::string("typed"); };
    EXPECT_EQ(ArgumentValue("@" + file, input), mib);
    EXPECT_EQ(ArgumentValue("@-", input), "typed");
    EXPECT_EQ(ArgumentValue("@@at", input), "@at");
    EXPECT_EQ(ArgumentValue("plain@", input), "plain@");
    EXPECT_THROW(ArgumentValue("@", input), std::runtime_error);
    try {
        ArgumentValue("@" + home.dir() + "/missing", input);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot read " + home.dir() + "/missing: ", 0), 0u) << e.what();
    }
    std::ofstream(file, std::ios::binary) << "\xFF\xFE";
    EXPECT_THROW(ReadValueFile(file), std::runtime_error);
}

// ---------------------------------------------------------------------------
// Script forms

TEST(RunnerScriptLines, ParseTheNewExpectationsSetsAndFileValues)
{
    const std::vector<Step> steps = ParseScript("GetLog logID=${id} note=@body.txt lit=@@x\n"
                                                "expect xpath /log/@id = 1\n"
                                                "expect xpath '//log[@id]' ~ ^1$\n"
                                                "expect xpath //log count 2\n"
                                                "expect status 200\n"
                                                "expect time < 500 ms\n"
                                                "expect result length 12\n"
                                                "set who = xpath /log/@user\n"
                                                "set copy = ${result}\n",
                                                [](const std::string& name) { return name == "id"; });
    ASSERT_EQ(steps.size(), 3u);
    const auto& call = std::get<CallLine>(steps[0]);
    EXPECT_EQ(call.fromFile, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(Expand(call.params[1].second, {}), "body.txt");
    EXPECT_EQ(Expand(call.params[2].second, {}), "@x");
    using K = Expectation::Kind;
    ASSERT_EQ(call.expects.size(), 6u);
    EXPECT_EQ(call.expects[0].kind, K::XPathEquals);
    EXPECT_EQ(Expand(call.expects[0].path, {}), "/log/@id");
    EXPECT_EQ(call.expects[1].kind, K::XPathMatches);
    EXPECT_EQ(call.expects[2].kind, K::XPathCount);
    EXPECT_EQ(call.expects[2].number, 2);
    EXPECT_EQ(call.expects[3].kind, K::Status);
    EXPECT_EQ(call.expects[4].kind, K::TimeBelow);
    EXPECT_EQ(call.expects[4].number, 500);
    EXPECT_EQ(call.expects[5].kind, K::ResultLength);
    EXPECT_EQ(call.expects[5].source, "expect result length 12");
    EXPECT_TRUE(std::get<SetLine>(steps[1]).xpath);
    EXPECT_FALSE(std::get<SetLine>(steps[2]).xpath);
}

TEST(RunnerScriptLines, ABadNewFormNamesItsLine)
{
    const struct {
        const char* script;
        const char* says;
    } cases[] = {
        {"GetLogCount\nexpect status ok\n", "line 2: expect status takes a whole number, not \"ok\""},
        {"GetLogCount\nexpect time < 5\n", "line 2: expect takes one of"},
        {"GetLogCount\nexpect xpath '//[' = 1\n", "line 2: the XPath expression \"//[\" does not compile"},
        {"GetLogCount\nexpect xpath /a ~ '('\n", "line 2: the regular expression \"(\" does not compile"},
        {"set a = xpath /x\n", "line 1: set NAME = xpath EXPR reads the last call's result"},
        {"GetLogCount\nset a = xpath '!!'\n", "line 2: the XPath expression"},
        {"GetLog logID=@\n", "line 1: logID=@ names no file"},
        {"GetLog logID=${unknown}\n", "line 1: ${unknown} has no value here"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScriptErrorOf(c.script).rfind(c.says, 0), 0u) << c.script << "\n" << ScriptErrorOf(c.script);
}

// ---------------------------------------------------------------------------
// XPath and the expectations over it

TEST(XPathOverResults, GivesTextsAndCountsOrSaysWhyNot)
{
    const std::string xml = "<list xmlns:t=\"urn:t\"><item id=\"1\">one</item><item id=\"2\"/><t:x>n</t:x></list>";
    EXPECT_EQ(EvaluateXPath(xml, "/list/item[1]").text, "one");
    EXPECT_EQ(EvaluateXPath(xml, "//item").count, 2u);
    EXPECT_EQ(EvaluateXPath(xml, "count(//item)").text, "2");
    EXPECT_EQ(EvaluateXPath(xml, "count(//item)").count, std::nullopt);
    EXPECT_EQ(EvaluateXPath(xml, "//t:x").text, "n");
    EXPECT_EQ(EvaluateXPath(xml, "//none").count, 0u);
    EXPECT_EQ(EvaluateXPath("12", "/a").error.rfind("the result is not XML: ", 0), 0u) << EvaluateXPath("12", "/a").error;
    // No entity of a DTD is expanded, and nothing is fetched.
    const XPathValue ent = EvaluateXPath("<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><a>&e;</a>", "/a");
    EXPECT_EQ(ent.text.find("root:"), std::string::npos);
    EXPECT_EQ(XPathSyntaxError("/a/b"), "");
    EXPECT_NE(XPathSyntaxError("/a/["), "");
}

TEST(RunnerExpectations, PassAndFailSayingWhatWasExpectedAndWhatCame)
{
    using K = Expectation::Kind;
    CallReport r;
    r.outcome = Outcome::Result;
    r.httpStatus = 200;
    r.elapsedMs = 40;
    r.result = "<log id=\"1\" user=\"tester\">text</log>";
    const auto check = [&](Expectation e) {
        CallLine call;
        call.expects = {std::move(e)};
        std::vector<ExpectationResult> verdicts;
        const std::vector<std::string> failures = CheckExpectations(call, r, {}, &verdicts);
        EXPECT_EQ(verdicts.size(), 1u);
        EXPECT_EQ(verdicts.at(0).passed, failures.empty());
        return failures.empty() ? std::string("passed") : failures.front();
    };
    const auto xpath = [](K kind, const std::string& path, const std::string& value, long long n = 0) {
        Expectation e(kind, {{false, value}}, 3);
        e.path = {{false, path}};
        e.number = n;
        return e;
    };
    const auto number = [](K kind, long long n) {
        Expectation e(kind, {}, 3);
        e.number = n;
        return e;
    };
    EXPECT_EQ(check(xpath(K::XPathEquals, "/log/@id", "1")), "passed");
    EXPECT_EQ(check(xpath(K::XPathEquals, "/log/@id", "2")), "expected xpath \"/log/@id\" = \"2\", got \"1\"");
    EXPECT_EQ(check(xpath(K::XPathMatches, "/log", "^te")), "passed");
    EXPECT_EQ(check(xpath(K::XPathMatches, "/log", "^x")), "expected xpath \"/log\" ~ \"^x\", got \"text\"");
    EXPECT_EQ(check(xpath(K::XPathCount, "//log", "", 1)), "passed");
    EXPECT_EQ(check(xpath(K::XPathCount, "//log", "", 3)), "expected xpath \"//log\" count 3, got 1 node");
    EXPECT_EQ(check(xpath(K::XPathCount, "string(/log)", "", 1)),
              "expected xpath \"string(/log)\" count 1, but the expression gives the value \"text\", not nodes");
    EXPECT_EQ(check(number(K::Status, 200)), "passed");
    EXPECT_EQ(check(number(K::Status, 201)), "expected status 201, got 200");
    EXPECT_EQ(check(number(K::TimeBelow, 41)), "passed");
    EXPECT_EQ(check(number(K::TimeBelow, 40)), "expected time < 40 ms, took 40 ms");
    EXPECT_EQ(check(number(K::ResultLength, 36)), "passed");
    EXPECT_EQ(check(number(K::ResultLength, 5)), "expected result length 5, got 36 bytes");
    r.result = std::string(500, '<');
    const std::string notXml = check(xpath(K::XPathEquals, "/a", "1"));
    EXPECT_EQ(notXml.rfind("expected xpath \"/a\" = \"1\", but the result is not XML: ", 0), 0u) << notXml;
    EXPECT_LT(notXml.size(), 600u) << "the result is cut to a readable length";
}

// ---------------------------------------------------------------------------
// Reports

bool ParsesAsXml(const std::string& xml)
{
    const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "r.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    return doc != nullptr;
}

TEST(RunnerReports, SeveralSuitesWithHostileTextsAreWellFormedAndAddUp)
{
    const std::string hostile = std::string("a\x01\x1F]]><![CDATA[\xEF\xBF\xBF\xED\xA0\x80\xFF&<'\"") + '\0' + "z";
    std::vector<JunitSuite> suites(2);
    suites[0].name = "a.tcall [row 1: x=" + hostile + "]";
    suites[0].cases = {{"GetLog (line 1)", "c", 0.5, JunitCase::Status::Failed, "expectation", hostile, hostile, hostile}};
    suites[1].name = "b.tcall";
    suites[1].cases = {{"x", "c", 0.1, JunitCase::Status::Error, "transport", "m", "d", ""}, {"y", "c", 0, {}, "", "", "", ""}};
    const std::string xml = JunitXml("run", suites);
    EXPECT_TRUE(ParsesAsXml(xml)) << xml;
    EXPECT_NE(xml.find("<testsuites name=\"run\" tests=\"3\" failures=\"1\" errors=\"1\""), std::string::npos) << xml;

    CaseResult c;
    c.name = "GetLog (line 1)";
    c.report.outcome = Outcome::Result;
    c.report.result = "by " + hostile + " and pa55";
    c.failures = {"expected result = \"pa55\", got \"" + c.report.result + "\""};
    c.expectations = {{2, "expect result = ${pw}", false, c.failures[0]}};
    MaskCase(c, "pa55");
    const std::string json = CaseJson(c).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    EXPECT_EQ(json.find("pa55"), std::string::npos) << json;
    EXPECT_TRUE(nlohmann::json::accept(json));
}

TEST(RunnerReports, NameARowAfterItsValuesWithSecretsMasked)
{
    DataRow row;
    row.values = {{"user", "alice"}, {"Password", "hunter2"}, {"note", std::string(40, 'n') + "\nx"}};
    const std::string name = RowSuiteName("smoke.tcall", 3, row);
    EXPECT_EQ(name, "smoke.tcall [row 3: user=alice, Password=********, note=" + std::string(24, 'n') + "…]");
    EXPECT_EQ(RowSuiteName("s.tcall", 1, DataRow{}), "s.tcall [row 1]");
}

}  // namespace

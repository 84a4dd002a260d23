// The parts of tessel-call that need no service: words and lines of a
// script, the expectations, the parameters by name, the JUnit document.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "CallSession.h"
#include "Junit.h"
#include "Script.h"
#include "ScriptRun.h"

using namespace tessel::call;

namespace {

Word Lit(const std::string& s)
{
    return {{false, s}};
}

// The words of a line, variables written back as ${NAME}.
std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> out;
    for (const Word& w : SplitWords(line, 1)) {
        std::string s;
        for (const Piece& p : w)
            s += p.variable ? "${" + p.text + "}" : p.text;
        out.push_back(s);
    }
    return out;
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool ParsesAsXml(const std::string& xml)
{
    const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "report.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    return doc != nullptr;
}

std::string ErrorOf(const std::string& script)
{
    try {
        ParseScript(script);
    } catch (const ScriptError& e) {
        return e.what();
    }
    return "(parsed)";
}

}  // namespace

TEST(ScriptWords, SplitAsAShellSplitsThem)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Words("  GetLog   logID=1\t"), (V{"GetLog", "logID=1"}));
    EXPECT_EQ(Words("Put content='a  b' msg=\"c d\""), (V{"Put", "content=a  b", "msg=c d"}));
    EXPECT_EQ(Words("x=\"say \\\"hi\\\" \\$5 \\n\""), (V{"x=say \"hi\" $5 \\n"}));
    EXPECT_EQ(Words("x='${kept}' y=\"${id}\" z=${id}/s"), (V{"x=${kept}", "y=${id}", "z=${id}/s"}));
    EXPECT_EQ(Words("a\\ b c\\#d"), (V{"a b", "c#d"}));
    EXPECT_EQ(Words("GetLogCount # a comment"), (V{"GetLogCount"}));
    EXPECT_EQ(Words("uri=URI#1"), (V{"uri=URI#1"}));
    EXPECT_EQ(Words("x='' \"\""), (V{"x=", ""}));
    EXPECT_EQ(Words("cost=$5"), (V{"cost=$5"}));
    EXPECT_TRUE(Words("   # only a comment").empty());
    // A variable expands to one word, blanks and all.
    const std::vector<Word> w = SplitWords("a=${v}!", 1);
    EXPECT_EQ(Expand(w[0], {{"v", "x y"}}), "a=x y!");
    EXPECT_THROW(Expand(w[0], {}), std::out_of_range);
}

TEST(ScriptWords, UnclosedQuotesAndBadVariablesAreErrors)
{
    EXPECT_THROW(SplitWords("a='b", 1), ScriptError);
    EXPECT_THROW(SplitWords("a=\"b", 1), ScriptError);
    EXPECT_THROW(SplitWords("a=b\\", 1), ScriptError);
    EXPECT_THROW(SplitWords("a=${b", 1), ScriptError);
    EXPECT_THROW(SplitWords("a=${1b}", 1), ScriptError);
    try {
        SplitWords("a=${}", 7);
        FAIL();
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.line(), 7);
        EXPECT_EQ(std::string(e.what()).rfind("line 7: ", 0), 0u);
    }
}

TEST(ScriptLines, ParseIntoCallsWithTheirExpectationsAndSets)
{
    const std::vector<Step> steps = ParseScript("# head\r\n"
                                                "PutVOContent name=a content=\"x y\"\r\n"
                                                "expect result ~ ^tessel://\n"
                                                "set uri = ${result}\n"
                                                "\n"
                                                "GetVOContentbyURI uri=${uri}\n"
                                                "expect result = 'x y'\n"
                                                "expect token valid\n"
                                                "GetLog logID=0\n"
                                                "expect fault ~ \"No log\"\n"
                                                "expect token rejected\n"
                                                "expect fault");
    ASSERT_EQ(steps.size(), 4u);
    const auto& put = std::get<CallLine>(steps[0]);
    EXPECT_EQ(put.line, 2);
    EXPECT_EQ(put.operation, "PutVOContent");
    ASSERT_EQ(put.params.size(), 2u);
    EXPECT_EQ(put.params[1].first, "content");
    EXPECT_EQ(Expand(put.params[1].second, {}), "x y");
    ASSERT_EQ(put.expects.size(), 1u);
    EXPECT_EQ(put.expects[0].kind, Expectation::Kind::ResultMatches);
    EXPECT_EQ(put.expects[0].line, 3);
    const auto& set = std::get<SetLine>(steps[1]);
    EXPECT_EQ(set.name, "uri");
    EXPECT_EQ(set.value, (Word{{true, "result"}}));
    const auto& get = std::get<CallLine>(steps[2]);
    EXPECT_EQ(get.line, 6);
    EXPECT_EQ(get.params[0].second, (Word{{false, ""}, {true, "uri"}}));
    ASSERT_EQ(get.expects.size(), 2u);
    EXPECT_EQ(get.expects[0].kind, Expectation::Kind::ResultEquals);
    EXPECT_EQ(get.expects[1].kind, Expectation::Kind::TokenValid);
    const auto& log = std::get<CallLine>(steps[3]);
    ASSERT_EQ(log.expects.size(), 3u);
    EXPECT_EQ(log.expects[0].kind, Expectation::Kind::FaultMatches);
    EXPECT_EQ(log.expects[1].kind, Expectation::Kind::TokenRejected);
    EXPECT_EQ(log.expects[2].kind, Expectation::Kind::Fault);
    EXPECT_TRUE(ParseScript("").empty());
}

TEST(ScriptLines, ABackslashAtTheEndOfALineContinuesIt)
{
    const std::vector<Step> steps = ParseScript("A x=1 \\\r\n   y='2 3' \\\n z=4\nexpect fault\nB w=a\\\\\nC");
    ASSERT_EQ(steps.size(), 3u);
    const auto& a = std::get<CallLine>(steps[0]);
    EXPECT_EQ(a.line, 1);
    ASSERT_EQ(a.params.size(), 3u);
    EXPECT_EQ(Expand(a.params[1].second, {}), "2 3");
    EXPECT_EQ(a.expects.size(), 1u);
    const auto& b = std::get<CallLine>(steps[1]);
    EXPECT_EQ(b.line, 5);
    EXPECT_EQ(Expand(b.params[0].second, {}), "a\\");
    EXPECT_EQ(std::get<CallLine>(steps[2]).line, 6);
    EXPECT_EQ(ErrorOf("A\nB x=1 \\"), "line 2: a line cannot end in a backslash");
}

TEST(ScriptLines, ALineThatDoesNotParseIsNamedByItsNumber)
{
    const struct {
        const char* script;
        const char* error;
    } cases[] = {
        {"expect fault", "line 1: an expect line belongs to a call, and no call comes before it"},
        {"A\nexpect result = two words", "line 2: expect takes one of"},
        {"A\nexpect result", "line 2: expect takes one of"},
        {"A\nexpect token", "line 2: expect takes one of"},
        {"A\nexpect fault = x", "line 2: expect takes one of"},
        {"A\n\n\nexpect result ~ \"a[\"", "line 4: the regular expression \"a[\" does not compile"},
        {"A\nset x", "line 2: set takes NAME = VALUE"},
        {"A\nset x = a b", "line 2: set takes NAME = VALUE"},
        {"set 9x = 1", "line 1: set needs a variable name"},
        {"A b", "line 1: a parameter is written name=value, not \"b\""},
        {"A =b", "line 1: \"\" is not a parameter name"},
        {"A ${v}=1", "line 1: ${v} has no value here: set it on an earlier line"},
        {"A x=${result}", "line 1: ${result} has no value here: no call comes before it"},
        {"A x=1 x=2", "line 1: x is given twice"},
        {"'A B' x=1", "line 1: a line is a call"},
        {"A\nB x=\"unclosed", "line 2: a double quote is not closed"},
        {"set a = ${a}", "line 1: ${a} has no value here"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(c.script).rfind(c.error, 0), 0u) << c.script << " gave " << ErrorOf(c.script);
    // A pattern with a variable is compiled when it runs.
    EXPECT_EQ(ErrorOf("set p = \"(\"\nA\nexpect result ~ ${p}"), "(parsed)");
}

TEST(Expectations, AreCheckedAgainstTheReport)
{
    const auto call = [](std::vector<Expectation> expects) {
        CallLine c;
        c.operation = "Op";
        c.expects = std::move(expects);
        return c;
    };
    using K = Expectation::Kind;
    CallReport ok;
    ok.outcome = Outcome::Result;
    ok.result = "Name1;Name2";
    CallReport rejected = ok;
    rejected.verdict = static_cast<std::int32_t>(0x80004005u);
    CallReport fault;
    fault.outcome = Outcome::Fault;
    fault.faultString = "No log with the ID 9";
    fault.faultDetail = "The store holds none.";
    CallReport gone;
    gone.error = "Could not connect to x: Connection refused";
    const std::map<std::string, std::string> values = {{"n", "Name1"}};

    const auto failures = [&](const CallLine& c, const CallReport& r) { return CheckExpectations(c, r, values); };
    EXPECT_TRUE(failures(call({}), ok).empty());
    EXPECT_EQ(failures(call({}), rejected), std::vector<std::string>{"reply token rejected: 0x80004005 E_FAIL (time "
                                                                     "stamp, nonce proof or hash differs)"});
    EXPECT_TRUE(failures(call({{K::TokenRejected, {}, 1}}), rejected).empty());
    EXPECT_EQ(failures(call({{K::TokenRejected, {}, 1}}), ok).size(), 1u);
    EXPECT_EQ(failures(call({}), fault),
              std::vector<std::string>{"unexpected fault: No log with the ID 9\nThe store holds none."});
    EXPECT_TRUE(failures(call({{K::Fault, {}, 1}}), fault).empty());
    EXPECT_TRUE(failures(call({{K::FaultMatches, Lit("holds none"), 1}}), fault).empty());
    EXPECT_EQ(failures(call({{K::FaultMatches, Lit("^Other"), 1}}), fault).size(), 1u);
    EXPECT_EQ(failures(call({{K::Fault, {}, 1}}), ok),
              std::vector<std::string>{"expected a fault, got the result \"Name1;Name2\""});
    EXPECT_TRUE(failures(call({{K::ResultEquals, Lit("Name1;Name2"), 1}}), ok).empty());
    EXPECT_TRUE(failures(call({{K::ResultMatches, Word{{false, "^"}, {true, "n"}}, 1}}), ok).empty());
    EXPECT_EQ(failures(call({{K::ResultEquals, Lit("x"), 1}}), ok),
              std::vector<std::string>{"expected result = \"x\", got \"Name1;Name2\""});
    EXPECT_EQ(failures(call({{K::ResultEquals, Lit("x"), 1}, {K::Fault, {}, 2}}), fault),
              std::vector<std::string>{"expected result = \"x\", got a fault"});
    EXPECT_EQ(failures(call({{K::ResultMatches, Lit("("), 1}}), ok).size(), 1u);
    EXPECT_EQ(failures(call({{K::Fault, {}, 1}}), gone), std::vector<std::string>{gone.error});
    // A long result is cut in the message.
    CallReport longResult = ok;
    longResult.result = std::string(1000, 'y');
    const std::string message = failures(call({{K::ResultEquals, Lit("x"), 1}}), longResult).at(0);
    EXPECT_LT(message.size(), 300u);
}

TEST(Parameters, AreTakenByNameInTheDescriptionsOrder)
{
    const std::vector<std::string> names = {"logID", "count"};
    const auto slots = OrderParameters("GetLogs", names, {{"count", "5"}, {"logID", "1"}});
    EXPECT_EQ(slots, (std::vector<tessel::client::Slot>{{"logID", "1"}, {"count", "5"}}));
    const auto usage = [&](std::vector<std::pair<std::string, std::string>> given) {
        try {
            OrderParameters("GetLogs", names, given);
        } catch (const CallError& e) {
            EXPECT_EQ(e.status(), kExitUsage);
            return std::string(e.what());
        }
        return std::string("(ordered)");
    };
    EXPECT_EQ(usage({{"logID", "1"}}), "missing parameter count; GetLogs takes logID, count");
    EXPECT_EQ(usage({}), "missing parameters logID, count; GetLogs takes logID, count");
    EXPECT_EQ(usage({{"logID", "1"}, {"count", "1"}, {"size", "2"}}),
              "\"size\" is not a parameter of GetLogs; GetLogs takes logID, count");
    EXPECT_EQ(usage({{"logID", "1"}, {"logID", "1"}, {"count", "1"}}),
              "logID is given twice; GetLogs takes logID, count");
    EXPECT_EQ(DescribeParameters("GetLogCount", {}), "GetLogCount takes no parameters");
}

TEST(Interfaces, AdminOperationsGoToTheAdminDescriptionBesideTheMainOne)
{
    EXPECT_EQ(InterfaceOf("ReLoadConfig", false), Interface::Admin);
    EXPECT_EQ(InterfaceOf("GetLog", false), Interface::Main);
    EXPECT_EQ(InterfaceOf("Unknown", false), Interface::Main);
    EXPECT_EQ(InterfaceOf("GetLog", true), Interface::Admin);
    EXPECT_EQ(AdminUriBeside("http://localhost:8080/TesselService/TesselServiceCore.xml"),
              "http://localhost:8080/TesselService/TesselServiceCoreAdmin.xml");
    EXPECT_EQ(AdminUriBeside("http://h/s/Core.wsdl?x=1.2"), "http://h/s/CoreAdmin.wsdl?x=1.2");
    EXPECT_EQ(AdminUriBeside("http://h.example.test/s/Core"), "http://h.example.test/s/CoreAdmin");
}

TEST(Junit, IsWellFormedXmlWhateverTheTextHolds)
{
    JunitSuite suite;
    suite.name = "a&b.tcall";
    suite.timestamp = "2026-01-02T03:04:05";
    suite.seconds = 1.5;
    suite.cases.push_back({"GetLog (line 1)", "tessel-call.a", 0.25, JunitCase::Status::Passed, "", "", "",
                           "<SOAP-ENV:Envelope a=\"1\"/>\n]]>"});
    suite.cases.push_back({"GetLog (line 2)", "tessel-call.a", 0.001, JunitCase::Status::Failed, "expectation",
                           "expected result = \"<x>\"", "expected result = \"<x>\"\nmore", ""});
    suite.cases.push_back({"setup", "tessel-call.a", 0, JunitCase::Status::Error, "transport",
                           std::string("bad \x01 byte \xff and \xc3\x28"), "", ""});
    const std::string xml = JunitXml(suite);
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "report.xml", nullptr, XML_PARSE_NONET), xmlFreeDoc);
    ASSERT_NE(doc, nullptr) << xml;
    EXPECT_NE(xml.find("<testsuites name=\"a&amp;b.tcall\" tests=\"3\" failures=\"1\" errors=\"1\" time=\"1.500\">"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("time=\"0.250\""), std::string::npos);
    EXPECT_NE(xml.find("<failure message=\"expected result = &quot;&lt;x&gt;&quot;\" type=\"expectation\">"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<error message=\"bad \xEF\xBF\xBD byte \xEF\xBF\xBD and \xEF\xBF\xBD(\" type=\"transport\""),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("]]&gt;"), std::string::npos);
    EXPECT_EQ(xml.find("<system-out>", xml.find("GetLog (line 2)")), std::string::npos);  // none when empty
}

TEST(Junit, IsWellFormedForAnyBytes)
{
    // Sequences libxml2's own check lets through, then random bytes in every text of a report.
    const auto suiteOf = [](const std::vector<std::string>& texts) {
        JunitSuite suite;
        suite.name = texts.at(0);
        suite.timestamp = texts.at(1);
        for (std::size_t i = 2; i + 4 <= texts.size(); i += 4)
            suite.cases.push_back({texts[i], texts[i + 1], 0, JunitCase::Status::Failed, "expectation", texts[i + 2],
                                   texts[i + 2], texts[i + 3]});
        return suite;
    };
    for (const std::string bad :
         {"\xC0\xAF", "\xA3\x8B", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xEF\xBF\xBE", "\xF0\x9F"})
        EXPECT_TRUE(ParsesAsXml(JunitXml(suiteOf({bad, bad, bad, bad, bad, bad})))) << testing::PrintToString(bad);

    std::mt19937 random(21);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> texts(10);
        for (std::string& t : texts) {
            t.resize(random() % 64);
            for (char& c : t)  // mostly bytes above 0x7F, where UTF-8 goes wrong
                c = static_cast<char>(random() % 4 ? 0x80 + random() % 0x80 : random() % 0x80);
        }
        const std::string xml = JunitXml(suiteOf(texts));
        ASSERT_TRUE(ParsesAsXml(xml)) << "round " << round << ": " << testing::PrintToString(texts);
    }
}

class JunitFile : public ::testing::Test {
protected:
    JunitFile() { std::filesystem::create_directories(dir); }
    ~JunitFile() override { std::filesystem::remove_all(dir); }
    const std::string dir = ::testing::TempDir() + "/tessel-call-junit-" + std::to_string(getpid());
    const std::string path = dir + "/report.xml";
    const std::string victim = dir + "/victim";
};

TEST_F(JunitFile, ReplacesARegularFileWhole)
{
    WriteFileReplacing(path, "first");
    WriteFileReplacing(path, "second");
    EXPECT_EQ(FileText(path), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
    EXPECT_THROW(WriteFileReplacing("/nonexistent-folder/report.xml", "x"), std::runtime_error);
}

TEST_F(JunitFile, NeverFollowsALinkPlantedAtTheTemporaryName)
{
    std::ofstream(victim) << "precious";
    const std::string planted = path + ".tmp-" + std::to_string(getpid());
    std::filesystem::create_symlink(victim, planted);
    WriteFileReplacing(path, "report");
    EXPECT_EQ(FileText(victim), "precious");
    EXPECT_EQ(FileText(path), "report");
    EXPECT_TRUE(std::filesystem::is_symlink(planted));  // someone else's: left alone
}

TEST_F(JunitFile, LeavesALinkToAFileAsItIsAndSaysWhy)
{
    std::ofstream(victim) << "precious";
    std::filesystem::create_symlink(victim, path);
    try {
        WriteFileReplacing(path, "report");
        ADD_FAILURE() << "written";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot write " + path + ": it is a symbolic link; name the file it points to");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(FileText(victim), "precious");
    EXPECT_THROW(WriteFileReplacing(dir, "report"), std::runtime_error);  // a directory
    EXPECT_TRUE(std::filesystem::is_directory(dir));
}

TEST_F(JunitFile, WritesADeviceOrAFifoInPlace)
{
    // A FIFO stands for devices too: a test that got it wrong would replace /dev/null when run as root.
    const std::string fifo = dir + "/fifo", link = dir + "/fifo-link";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink(fifo, link);
    for (const std::string& target : {fifo, link}) {
        // The reader is there first, so the write neither waits nor blocks.
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        WriteFileReplacing(target, "<testsuites/>");
        char text[64] = {};
        const ssize_t n = read(reader, text, sizeof text);
        close(reader);
        EXPECT_EQ(std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0), "<testsuites/>") << target;
        EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(fifo))) << target;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

// ---------------------------------------------------------------------------
// Bounds of a script

TEST(ScriptBounds, ARegularExpressionIsSizedWithItsRepetitionsCountedOut)
{
    const std::size_t limit = 100000;
    const struct {
        const char* pattern;
        std::size_t size;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"a|bc|d", 4},
        {"(ab)", 3},
        {"a{1,100}", 100},
        {"a{100}", 100},
        {"a{,5}", 5},
        {"a{3,}", 4},
        {"(a{10}){10}", 110},
        {"(a|b)+", 6},
        {"a*b?", 2},
        {"[]a{]{5}", 5},
        {"[[:alpha:]{]{4}", 4},
        {"\\{{3}", 3},
        {"a{x}", 4},
        {"((a", 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RegexSize(c.pattern, limit), c.size) << c.pattern;
    // Nested repetitions multiply, and the count stops past the limit.
    EXPECT_EQ(RegexSize("((a{1,1000}){1,1000}){1,1000}", limit), limit + 1);
    EXPECT_EQ(RegexSize("(((((a{32767}){32767}){32767}){32767}){32767})", 10), 11u);
}

TEST(ScriptBounds, APatternOverItsBoundIsRefusedBeforeItCompiles)
{
    EXPECT_NO_THROW(Regex("^[0-9a-f]{32}$|x{1000}"));
    EXPECT_THROW(Regex("(a{1,100}){1,100}"), ScriptLimit);  // tens of MB once compiled
    EXPECT_EQ(ErrorOf("A\nexpect result ~ \"(a{1,100}){1,100}\""),
              "line 2: the regular expression \"(a{1,100}){1,100}\" is too large: it grows beyond 2,000 atoms once "
              "its repetitions are counted out, the most a pattern may ({m,n} repeats what it follows n times)");
    // One named by a variable stops the run at its expect line.
    CallLine call;
    call.expects.push_back({Expectation::Kind::ResultMatches, Word{{true, "p"}}, 5});
    CallReport ok;
    ok.outcome = Outcome::Result;
    try {
        CheckExpectations(call, ok, {{"p", "(a{1,100}){1,100}"}});
        ADD_FAILURE() << "checked";
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.line(), 5);
        EXPECT_EQ(std::string(e.what()).rfind("line 5: expect: the regular expression \"(a{1,100}){1,100}\" is too "
                                              "large",
                                              0),
                  0u)
            << e.what();
    }
}

TEST(ScriptBounds, AValueOverItsBoundIsRefusedBeforeItIsBuilt)
{
    const std::map<std::string, std::string> values = {{"a", std::string(kMaxValueBytes / 2, 'x')}};
    EXPECT_EQ(Expand(Word{{true, "a"}, {true, "a"}}, values).size(), kMaxValueBytes);
    try {
        Expand(Word{{true, "a"}, {true, "a"}, {false, "!"}}, values);
        ADD_FAILURE() << "expanded";
    } catch (const ScriptLimit& e) {
        EXPECT_EQ(std::string(e.what()),
                  "the value would be 33,554,433 bytes long, and a value holds at most 33,554,432 bytes");
    }
}

TEST(ReportCases, KeepTheFirst64KiBOfEachEnvelopeWithANote)
{
    CaseResult c;
    c.name = "GetLog (line 3)";
    c.report.outcome = Outcome::Result;
    c.report.httpStatus = 200;
    c.report.request = "<request/>";
    c.report.reply = std::string(kMaxReportText - 1, 'r') + "\xC3\xA9" + std::string(1'000'000, 'r');
    c.report.result = std::string(3'000'000, 's');
    c.failures = {"unexpected fault: " + std::string(200'000, 'f') + "\nmore"};
    std::size_t budget = kMaxReportSystemOut;
    const JunitCase j = ReportCase(c, "tessel-call.x", budget);
    EXPECT_EQ(j.status, JunitCase::Status::Failed);
    EXPECT_EQ(j.type, "expectation");
    EXPECT_LE(j.message.size(), 200u);
    EXPECT_LT(j.details.size(), kMaxReportText + 100);
    EXPECT_LT(j.systemOut.size(), 2 * kMaxReportText + 400);
    // Cut before the character that would be split, and said so.
    EXPECT_NE(j.systemOut.find("> request\n<request/>\n< HTTP 200\n"), std::string::npos) << j.systemOut.substr(0, 99);
    EXPECT_NE(j.systemOut.find(std::string(100, 'r') + "\n[... shown 65,535 of 1,065,537 bytes]\n"),
              std::string::npos);
    EXPECT_NE(j.systemOut.find("\n[... shown 65,536 of 3,000,000 bytes]\nreply token: valid\n"), std::string::npos);
    EXPECT_NE(j.details.find("[... shown 65,536 of 200,023 bytes]"), std::string::npos);
}

TEST(ReportCases, HoldAtMost64MiBOfEnvelopesTogether)
{
    CaseResult c;
    c.passed = true;
    c.report.request = std::string(40'000, 'q');
    c.report.reply = std::string(40'000, 'r');
    std::size_t unbounded = SIZE_MAX;
    const std::size_t each = ReportCase(c, "tessel-call.x", unbounded).systemOut.size();
    EXPECT_EQ(each, 80'021u);  // two envelopes, their headings and newlines
    std::size_t budget = kMaxReportSystemOut, total = 0, kept = 0;
    for (int i = 0; i < 1000; ++i) {
        const JunitCase j = ReportCase(c, "tessel-call.x", budget);
        total += j.systemOut.size();
        kept += j.systemOut != kEnvelopesLeftOut;
    }
    EXPECT_EQ(kept, kMaxReportSystemOut / each);
    EXPECT_LE(total, kMaxReportSystemOut + 1000 * sizeof kEnvelopesLeftOut);
}

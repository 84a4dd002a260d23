// The command line of every tool: what each line asks for.
#include <gtest/gtest.h>

#include "Client/ToolCommandLine.h"

using tessel::client::ParseToolCommandLine;
using tessel::client::ToolCommandLine;
using Action = ToolCommandLine::Action;

namespace {

struct Case {
    const char* name;
    std::vector<std::string> args;
    Action action;
    std::optional<std::string> uri;
    bool qtMayTake = true;
};

const Case kCases[] = {
    {"Nothing", {}, Action::Open, std::nullopt},
    {"Uri", {"--uri", "http://h:1/a.wsdl"}, Action::Open, "http://h:1/a.wsdl"},
    {"UriTakesADashedValue", {"--uri", "--help"}, Action::Open, "--help"},
    {"Help", {"--help"}, Action::Help, std::nullopt},
    {"ShortHelp", {"-h"}, Action::Help, std::nullopt},
    {"Version", {"--version"}, Action::Version, std::nullopt},
    {"HelpWinsOverVersion", {"--version", "--help"}, Action::Help, std::nullopt},
    {"HelpWinsOverAWrongWord", {"--bogus", "--help"}, Action::Help, std::nullopt, false},
    {"UriWithoutValue", {"--uri"}, Action::Wrong, std::nullopt, false},
    {"EmptyUri", {"--uri", ""}, Action::Wrong, std::nullopt, false},
    {"UriTwice", {"--uri", "a", "--uri", "b"}, Action::Wrong, "a", false},
    {"UnknownLongOption", {"--port", "8080"}, Action::Wrong, std::nullopt, false},
    // Qt takes these itself; only what is left after it counts.
    {"QtOption", {"-platform", "offscreen", "--uri", "u"}, Action::Wrong, "u", true},
    {"StrayWord", {"http://h/a.xml"}, Action::Wrong, std::nullopt, true},
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class ToolLine : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(ToolLine, AsksForWhatItSays)
{
    const Case& c = GetParam();
    const ToolCommandLine line = ParseToolCommandLine(c.args);
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(line.uri, c.uri);
    if (c.action == Action::Wrong) {
        EXPECT_FALSE(line.problem.empty());
        EXPECT_EQ(line.qtMayTake, c.qtMayTake) << line.problem;
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, ToolLine, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ToolLine, VersionIsTheBlockThenTheKitLine)
{
    const std::string text = tessel::client::ToolVersionText({.fileVersion = "1.00"}, "TSTestTool9");
    EXPECT_EQ(text.rfind("FileVersion: 1.00\nInternalName: TSTestTool9\nTSTestTool9 (Tessel test kit) ", 0), 0u)
        << text;
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(tessel::client::ToolUsage("TSTestTool9").find("usage: TSTestTool9 [--uri DESCRIPTION-URI]"),
              std::string::npos);
}

// Every installed program of the registry answers --help and --version on
// standard output without a display, and a tool says what is wrong with a
// line it cannot read, also without one.
#include <gtest/gtest.h>

#include <string>

#include "ProgramRun.h"
#include "TesselKitVersion.h"
#include "TesselRegistry.h"

namespace {

const std::vector<std::string> kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

std::string Bin(const std::string& program)
{
    return std::string(TESSEL_BIN_DIR "/") + program;
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(EveryProgram, AnswersHelpAndVersionWithoutADisplay)
{
    ASSERT_GT(std::size(tessel::registry::kPrograms), std::size(tessel::registry::kTools));
    const std::string kitLine = " (Tessel test kit) " + std::string(tessel::kKitVersion) + "\n";
    for (const std::string program : tessel::registry::kPrograms) {
        const ProgramResult help = RunProgram({Bin(program), "--help"}, kNoDisplay, 60);
        EXPECT_EQ(help.status, 0) << program << ": " << help.err;
        EXPECT_TRUE(Has(help.out, "usage: " + program)) << program << ": " << help.out;
        EXPECT_EQ(help.err, "") << program;

        const ProgramResult version = RunProgram({Bin(program), "--version"}, kNoDisplay, 60);
        EXPECT_EQ(version.status, 0) << program << ": " << version.err;
        EXPECT_TRUE(version.out.ends_with(program + kitLine)) << program << ": " << version.out;
    }
}

TEST(EveryTool, RefusesAWrongLineWithoutADisplay)
{
    for (const tessel::registry::Tool& tool : tessel::registry::kTools) {
        for (const std::vector<std::string>& wrong :
             {std::vector<std::string>{"--bogus"}, {"--uri"}, {"--uri", "a", "--uri", "b"}}) {
            std::vector<std::string> argv = {Bin(tool.program)};
            argv.insert(argv.end(), wrong.begin(), wrong.end());
            const ProgramResult r = RunProgram(argv, kNoDisplay, 60);
            EXPECT_EQ(r.status, 2) << tool.program << " " << wrong.back() << ": " << r.err;
            EXPECT_TRUE(Has(r.err, "usage: " + std::string(tool.program))) << tool.program << ": " << r.err;
            EXPECT_EQ(r.out, "") << tool.program;
        }
    }
}

// Without a display a window program says which variable to set and ends
// with status 1 (never an abort), also when DISPLAY names a display that
// does not answer.
TEST(EveryWindowProgram, SaysItNeedsADisplayAndEndsWithoutAnAbort)
{
    std::vector<std::vector<std::string>> lines;
    for (const tessel::registry::Tool& tool : tessel::registry::kTools)
        lines.push_back({Bin(tool.program)});
    lines.push_back({Bin("TSTestTool3"), "--uri", "http://localhost:1/x.xml"});
    lines.push_back({Bin("tessel-kit")});
    lines.push_back({Bin("tessel-kit"), "--port", "8081"});
    for (const std::vector<std::string>& line : lines) {
        const ProgramResult r = RunProgram(line, kNoDisplay, 60);
        EXPECT_EQ(r.status, 1) << line[0] << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "no display: set DISPLAY or WAYLAND_DISPLAY, or use QT_QPA_PLATFORM=offscreen"))
            << line[0] << ": " << r.err;
        EXPECT_EQ(r.out, "") << line[0];
    }
    for (const std::string program : {"TSTestTool3", "TSTestToolSP2", "tessel-kit"}) {
        const ProgramResult r = RunProgram({Bin(program)}, {"DISPLAY=:4711", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, 60);
        EXPECT_EQ(r.status, 1) << program << ": " << r.err;
        EXPECT_TRUE(Has(r.err, program + ": no display answers at DISPLAY=:4711")) << program << ": " << r.err;
    }
    const ProgramResult tour = RunProgram({Bin("tessel-tour"), "TSTestTool3"}, {"DISPLAY", "WAYLAND_DISPLAY",
                                                                                "QT_QPA_PLATFORM=xcb"}, 60);
    EXPECT_EQ(tour.status, 1) << tour.err;
    EXPECT_TRUE(Has(tour.err, "tessel-tour: no display:")) << tour.err;
}

TEST(Launcher, RefusesAWrongLineWithoutADisplay)
{
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--port"}, {"--port", "abc"},
                                                  {"--port", "70000"}, {"--port", "0"}, {"--bogus"}, {"-bogus"}}) {
        std::vector<std::string> argv = {Bin("tessel-kit")};
        argv.insert(argv.end(), wrong.begin(), wrong.end());
        const ProgramResult r = RunProgram(argv, kNoDisplay, 60);
        EXPECT_EQ(r.status, 2) << wrong.back() << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "usage: tessel-kit")) << wrong.back() << ": " << r.err;
    }
}

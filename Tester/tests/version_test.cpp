// Every tool program prints its version block for --version, without a
// display and without opening a window.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "ProgramRun.h"
#include "TesselKitVersion.h"
#include "TesselRegistry.h"

namespace {

// The tools with a version block of their own.
const std::map<std::string, std::string> kBlocks = {
    {"TSTestTool1",
     "Comments: TesselService SOAP TestTool #1\nFileDescription: TestTool #1 for TesselService\nFileVersion: 1.00\n"
     "ProductVersion: 1.00\nInternalName: TSTestTool1\n"},
    {"TSTestTool2",
     "Comments: TesselService Test Tool #2\nFileDescription: Test Tool # 2 for TesselService\nFileVersion: 1.00\n"
     "ProductVersion: 1.00\nInternalName: TSTestTool2\n"},
    {"TSTestTool5",
     "Comments: TesselService SOAP TestTool #5\nFileDescription: Test Tool #5 for TesselService\nFileVersion: 1.00\n"
     "ProductVersion: 1.00\nInternalName: TSTestTool5\n"},
    {"TSTestTool6",
     "Comments: TesselService V1.1 SOAP 1.0 TestTool #1\nFileDescription: TestTool #1 for TesselService V1.1\n"
     "FileVersion: 1.01\nProductVersion: 1.01\nInternalName: TSTestTool6\nProductName: TSTestToolV11_1\n"},
    {"TSTestTool8",
     "Comments: TesselService V1.1 SOAP 1.0 TestTool #1\nFileDescription: TestTool #1 for TesselService V1.1\n"
     "FileVersion: 1.01\nProductVersion: 1.01\nInternalName: TSTestTool8\nProductName: TSTestToolV11_1\n"},
    {"TSTestToolSP2",
     "Comments: TesselService V1.1 SOAP 2.0 TestTool\nFileDescription: TestTool SOAP 2.0 for TesselService V1.1\n"
     "FileVersion: 1.01\nProductVersion: 1.01\nInternalName: TSTestToolSP2\n"},
    {"TSTestTool2SP2",
     "Comments: TesselService V1.1 SOAP 2.0 TestTool\nFileDescription: TestTool SOAP 2.0 for TesselService V1.1\n"
     "FileVersion: 1.01\nProductVersion: 1.01\nInternalName: TSTestTool2SP2\n"},
};

}  // namespace

TEST(Version, EveryToolPrintsItsVersionBlockThenTheKitsWithoutADisplay)
{
    for (const auto& [program, block] : kBlocks)
        EXPECT_TRUE(std::any_of(std::begin(tessel::registry::kTools), std::end(tessel::registry::kTools),
                                [&](const tessel::registry::Tool& t) { return t.program == program; }))
            << program << " has a block here but is not a tool of the registry";
    for (const tessel::registry::Tool& tool : tessel::registry::kTools) {
        const std::string program = tool.program;
        const ProgramResult r = RunProgram({TESSEL_BIN_DIR "/" + program, "--version"},
                                           {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, 30);
        EXPECT_EQ(r.status, 0) << program << ": " << r.err;
        // A tool without a block of its own names itself.
        const auto block = kBlocks.find(program);
        EXPECT_EQ(r.out, (block == kBlocks.end() ? "InternalName: " + program + "\n" : block->second) +
                             program + " (Tessel test kit) " + tessel::kKitVersion + "\n");
    }
}

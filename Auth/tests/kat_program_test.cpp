// tessel-kat as a program: with no file it checks the kit's own vector file,
// and a run that checks nothing (a file with no case, not JSON, missing) is a
// failure with a message that names the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ProgramRun.h"
#include "TempHome.h"

namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The number N of the closing "N passed, M failed" line, or -1.
int Passed(const std::string& out)
{
    const std::size_t at = out.rfind(" passed, 0 failed\n");
    if (at == std::string::npos)
        return -1;
    const std::size_t start = out.rfind('\n', at);
    return std::stoi(out.substr(start == std::string::npos ? 0 : start + 1, at));
}

TEST(KatProgram, WithNoFileChecksTheKitsOwnVectorsAsTheGivenFileDoes)
{
    const ProgramResult byDefault = RunProgram({TESSEL_KAT_EXE});
    ASSERT_EQ(byDefault.status, 0) << byDefault.out << byDefault.err;
    const ProgramResult given = RunProgram({TESSEL_KAT_EXE, TESSEL_KAT_VECTORS});
    ASSERT_EQ(given.status, 0) << given.err;
    EXPECT_GT(Passed(byDefault.out), 50) << byDefault.out;
    EXPECT_EQ(byDefault.out, given.out);
}

struct BadFile {
    const char* name;
    const char* content;  // nullptr: the file is not there
    const char* message;
};

void PrintTo(const BadFile& f, std::ostream* os)
{
    *os << f.name;
}

class KatBadFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(KatBadFile, FailsWithAMessageNamingTheFile)
{
    const TempHome home;
    const std::string file = home.dir() + "/vectors.json";
    if (GetParam().content)
        std::ofstream(file) << GetParam().content;
    const ProgramResult r = RunProgram({TESSEL_KAT_EXE, file});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_TRUE(Has(r.err, "tessel-kat: " + file + GetParam().message)) << r.err;
    EXPECT_FALSE(Has(r.out, " passed, ")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Files, KatBadFile,
    ::testing::Values(BadFile{"EmptyObject", "{}\n", " holds no case"},
                      BadFile{"EmptySections", R"({"derive": [], "errors": [{"call": "end"}]})", " holds no case"},
                      BadFile{"OtherSectionsOnly", R"({"comment": "derive", "version": 2})", " holds no case"},
                      BadFile{"AnArray", "[1, 2, 3]", " holds no case"},
                      BadFile{"Empty", "", " is not a JSON vector file"},
                      BadFile{"CutShort", R"({"derive": [{"provider": )", " is not a JSON vector file"},
                      BadFile{"Missing", nullptr, " cannot be read"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KatProgram, AnEmptyFileAfterAGoodOneStillFails)
{
    const TempHome home;
    const std::string file = home.dir() + "/empty.json";
    std::ofstream(file) << "{}";
    const ProgramResult r = RunProgram({TESSEL_KAT_EXE, TESSEL_KAT_VECTORS, file});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, file + " holds no case")) << r.err;
}

}  // namespace

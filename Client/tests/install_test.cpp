// An installation into a temporary prefix: every file in its place, the
// programs' RUNPATH leading to the installed token library, and the
// installed tessel-call working against the local service.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ProgramRun.h"
#include "ServiceProcess.h"
#include "TempHome.h"
#include "TesselRegistry.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class Installation : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        home_ = std::make_unique<TempHome>();
        prefix_ = home_->dir() + "/prefix";
        const ProgramResult r = RunProgram({TESSEL_CMAKE, "--install", TESSEL_BUILD_DIR, "--prefix", prefix_});
        installed_ = r.status == 0;
        log_ = r.out + r.err;
    }
    static void TearDownTestSuite() { home_.reset(); }
    void SetUp() override { ASSERT_TRUE(installed_) << log_; }

    static fs::path Path(const std::string& relative) { return fs::path(prefix_) / relative; }
    static std::string Bin(const std::string& program) { return Path(TESSEL_BINDIR "/" + program).string(); }

    static inline std::unique_ptr<TempHome> home_;
    static inline std::string prefix_, log_;
    static inline bool installed_ = false;
};

TEST_F(Installation, PutsEachFileInItsPlace)
{
    for (const char* program : tessel::registry::kPrograms)
        EXPECT_TRUE(fs::exists(Bin(program))) << program;
    EXPECT_TRUE(fs::exists(Path(TESSEL_LIBDIR "/libTesselMACCDLL.so")));
    EXPECT_TRUE(fs::exists(Path(TESSEL_INCLUDEDIR "/TesselMACCDLL.h")));
    for (const char* page : {"tessel-call.1", "TesselServiceLocal.1"}) {
        const fs::path man = Path(std::string(TESSEL_MANDIR "/man1/") + page);
        EXPECT_TRUE(fs::exists(man) || fs::exists(man.string() + ".gz")) << man;
    }
    for (const char* script : {"log", "acl", "content", "collab", "settings", "vouri", "resources"})
        EXPECT_TRUE(fs::exists(Path(std::string(TESSEL_DATADIR "/doc/tessel-kit/examples/") + script + ".tcall")));
}

TEST_F(Installation, HasADesktopEntryForTheLauncherAndEachTool)
{
    // Each tool's entry carries its menu name and purpose line.
    std::vector<std::pair<std::string, std::string>> programs = {{"tessel-kit", "Name=Tessel test kit\n"}};
    for (const tessel::registry::Tool& tool : tessel::registry::kTools)
        programs.emplace_back(tool.program,
                              "Name=" + std::string(tool.menuName) + "\nGenericName=TesselService test tool\nComment=" +
                                  tool.purpose + "\n");
    const fs::path folder = Path(TESSEL_DATADIR "/applications");
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(folder))
        entries += e.path().extension() == ".desktop";
    EXPECT_EQ(entries, programs.size());
    for (const auto& [p, names] : programs) {
        const fs::path file = folder / (p == "tessel-kit" ? "tessel-kit.desktop" : "tessel-kit-" + p + ".desktop");
        const std::string text = Read(file);
        EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u) << file;
        EXPECT_TRUE(Has(text, "\nType=Application\n")) << file;
        EXPECT_TRUE(Has(text, "\nExec=" + p + "\n")) << file;
        EXPECT_TRUE(Has(text, "\nTryExec=" + p + "\n")) << file;
        EXPECT_TRUE(Has(text, "\n" + names)) << file << "\n" << text;
        EXPECT_FALSE(Has(text, "@")) << file;
    }
}

TEST_F(Installation, ProgramsFindTheInstalledTokenLibraryThroughTheirRunpath)
{
    for (const char* program : {"tessel-call", "TSTestTool3"}) {
        const ProgramResult r = RunProgram({TESSEL_READELF, "-d", Bin(program)});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Has(r.out, "Library runpath: [" TESSEL_INSTALL_RUNPATH "]")) << program << "\n" << r.out;
        EXPECT_FALSE(Has(r.out, TESSEL_BUILD_DIR)) << program;
    }
}

TEST_F(Installation, TesselCallRunsFromThePrefix)
{
    TempHome keys;
    ServiceProcess svc;
    ProgramResult r = RunProgram({Bin("tessel-call"), "list", "--uri", svc.MainDescription()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\nGetLogs logID count\n")) << r.out;

    const std::vector<std::string> call = {Bin("tessel-call"), "--uri", svc.MainDescription(), "--user", "tester",
                                           "GetVOContent", "name=Name1"};
    r = RunProgram(call, {"TESSEL_PASSWORD=tester", "LD_LIBRARY_PATH"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "<content>sample 1</content>\n");
    EXPECT_TRUE(Has(r.err, "reply token valid")) << r.err;

    // Without the installed library the call cannot log in: it was that one it loaded.
    const fs::path library = Path(TESSEL_LIBDIR "/libTesselMACCDLL.so");
    fs::rename(library, library.string() + ".away");
    r = RunProgram(call, {"TESSEL_PASSWORD=tester", "LD_LIBRARY_PATH"});
    fs::rename(library.string() + ".away", library);
    if (!fs::exists("/usr/lib/libTesselMACCDLL.so") && !fs::exists("/usr/local/lib/libTesselMACCDLL.so")) {
        EXPECT_EQ(r.status, 3) << r.out << r.err;
        EXPECT_TRUE(Has(r.err, "The token library libTesselMACCDLL.so could not be loaded")) << r.err;
    }
}

}  // namespace

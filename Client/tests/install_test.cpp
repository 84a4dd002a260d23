// An installation into a temporary prefix: every file in its place, the
// programs' RUNPATH leading to the installed token library, a man page for
// every program and an icon for every desktop entry, and the installed
// tessel-call and tessel-kat working from there.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

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

// A gzip-compressed file's text ("" when it cannot be read).
std::string ReadGzip(const fs::path& path)
{
    const std::unique_ptr<gzFile_s, int (*)(gzFile)> in(gzopen(path.c_str(), "rb"), gzclose);
    std::string text;
    char buf[16384];
    for (int n; in && (n = gzread(in.get(), buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    return text;
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
    // The token library in the kit's own folder, outside the loader's search, and nothing of it elsewhere.
    EXPECT_TRUE(fs::exists(Path(TESSEL_INSTALL_LIBDIR "/libTesselMACCDLL.so")));
    EXPECT_FALSE(fs::exists(Path(TESSEL_LIBDIR "/libTesselMACCDLL.so")));
    EXPECT_TRUE(fs::exists(Path(TESSEL_INCLUDEDIR "/TesselMACCDLL.h")));
    for (const char* script : {"log", "acl", "content", "collab", "settings", "vouri", "resources"})
        EXPECT_TRUE(fs::exists(Path(std::string(TESSEL_DATADIR "/doc/tessel-kit/examples/") + script + ".tcall")));
    EXPECT_TRUE(fs::exists(Path(TESSEL_DATADIR "/tessel-kit/cryptoapi-kat.json")));
    // The copyright file and the changelog name the same maintainer.
    const std::string copyright = Read(Path(TESSEL_DATADIR "/doc/tessel-kit/copyright"));
    const std::string changelog = ReadGzip(Path(TESSEL_DATADIR "/doc/tessel-kit/changelog.Debian.gz"));
    std::smatch contact, trailer;
    ASSERT_TRUE(std::regex_search(copyright, contact, std::regex("\nUpstream-Contact: ([^\n]+ <[^\n]+>)\n")))
        << copyright;
    ASSERT_TRUE(std::regex_search(changelog, trailer, std::regex("\n -- ([^\n]+ <[^\n]+>)  [A-Z][a-z]{2}, ")))
        << changelog;
    EXPECT_EQ(contact[1], trailer[1]);
}

TEST_F(Installation, GivesEveryProgramAManPageThatNamesEachOptionOfItsHelp)
{
    const std::regex option("--[a-z][a-z-]*");
    for (const char* program : tessel::registry::kPrograms) {
        std::string page = ReadGzip(Path(std::string(TESSEL_MANDIR "/man1/") + program + ".1.gz"));
        ASSERT_FALSE(page.empty()) << program;
        EXPECT_TRUE(Has(page, "\n.SH NAME\n" + std::string(program) + " \\- ")) << program;
        for (std::size_t at; (at = page.find("\\-")) != std::string::npos;)
            page.replace(at, 2, "-");
        const ProgramResult help = RunProgram({Bin(program), "--help"}, {"QT_QPA_PLATFORM=offscreen"});
        ASSERT_EQ(help.status, 0) << program << help.err;
        std::string missing;
        for (std::sregex_iterator o(help.out.begin(), help.out.end(), option), end; o != end; ++o)
            if (!Has(page, o->str()) && !Has(missing, " " + o->str()))
                missing += " " + o->str();
        EXPECT_EQ(missing, "") << program << "'s man page does not name these options of its --help";
    }
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
    std::set<std::string> icons;
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
        // Its icon, by name from the icon theme's scalable folder.
        const std::string icon = p == "tessel-kit" ? p : "tessel-kit-" + p;
        EXPECT_TRUE(Has(text, "\nIcon=" + icon + "\n")) << file;
        const std::string svg = Read(Path(TESSEL_DATADIR "/icons/hicolor/scalable/apps/" + icon + ".svg"));
        EXPECT_EQ(svg.rfind("<?xml", 0), 0u) << icon;
        EXPECT_TRUE(Has(svg, "<svg ") && Has(svg, "</svg>") && !Has(svg, "@")) << icon;
        icons.insert(svg);
    }
    EXPECT_EQ(icons.size(), programs.size()) << "two entries share an icon";
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
    const fs::path library = Path(TESSEL_INSTALL_LIBDIR "/libTesselMACCDLL.so");
    fs::rename(library, library.string() + ".away");
    r = RunProgram(call, {"TESSEL_PASSWORD=tester", "LD_LIBRARY_PATH"});
    fs::rename(library.string() + ".away", library);
    if (!fs::exists("/usr/lib/libTesselMACCDLL.so") && !fs::exists("/usr/local/lib/libTesselMACCDLL.so")) {
        EXPECT_EQ(r.status, 3) << r.out << r.err;
        EXPECT_TRUE(Has(r.err, "The token library libTesselMACCDLL.so could not be loaded")) << r.err;
    }
}

TEST_F(Installation, TesselKatChecksTheInstalledVectorFileWhenGivenNone)
{
    const ProgramResult r = RunProgram({Bin("tessel-kat")});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, " passed, 0 failed\n")) << r.out;
    EXPECT_FALSE(Has(r.out, "\n0 passed")) << r.out;
}

}  // namespace

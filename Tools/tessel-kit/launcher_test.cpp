// The launcher, offscreen: it lists the tools of the registry, starts one,
// and every tool it starts connects to the local service at the first press
// of Connect. The registry agrees with the tools' definitions and with the
// README's table.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "BoxCloser.h"
#include "Client/ToolCommandLine.h"
#include "Launcher.h"
#include "ServiceProcess.h"
#include "Soap2Window.h"
#include "TempHome.h"
#include "TesselRegistry.h"
#include "Tester/ToolRegistry.h"
#include "Tester2/Soap2ToolRegistry.h"
#include "ToolWindow.h"

using tessel::kit::Launcher;
using State = tessel::kit::Launcher::ServiceState;
using tessel::kit::ToolEntry;
using tessel::registry::Family;

namespace {

const ToolEntry& Entry(const std::string& program)
{
    for (const ToolEntry& tool : tessel::kit::Tools())
        if (tool.program == program)
            return tool;
    throw std::runtime_error("the launcher does not list " + program);
}

std::set<std::string> RegistryPrograms(Family family)
{
    std::set<std::string> programs;
    for (const tessel::registry::Tool& tool : tessel::registry::kTools)
        if (tool.family == family)
            programs.insert(tool.program);
    return programs;
}

template <class Definition>
std::set<std::string> DefinedPrograms(const std::vector<const Definition*>& tools)
{
    std::set<std::string> programs;
    for (const Definition* tool : tools)
        programs.insert(tool->program);
    return programs;
}

// Opens the tool's window on the command line the launcher starts it with,
// presses Connect once, and says whether the login button came on.
template <class Window>
bool ConnectsAtTheFirstPress(const Window& window, const std::string& loginButton)
{
    auto* connect = window.template findChild<QAbstractButton*>("btnConnect");
    if (!connect)
        return false;
    connect->click();
    auto* login = window.template findChild<QWidget*>(QString::fromStdString(loginButton));
    return login && login->isEnabled();
}

// Waits for the launcher's check of its service to end, and says what it found.
State Checked(const Launcher& launcher, int ms = 10000)
{
    (void)QTest::qWaitFor([&] { return launcher.serviceState() != State::Checking; }, ms);
    return launcher.serviceState();
}

std::string Heading(const Launcher& launcher)
{
    return launcher.findChild<QLabel*>("Service")->text().toStdString();
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// PATH set to `value` while it lives.
class PathSetTo {
public:
    explicit PathSetTo(const char* value) : saved_(qgetenv("PATH")) { qputenv("PATH", value); }
    ~PathSetTo() { qputenv("PATH", saved_); }
    PathSetTo(const PathSetTo&) = delete;
    PathSetTo& operator=(const PathSetTo&) = delete;

private:
    QByteArray saved_;
};

}  // namespace

TEST(Registry, NamesEachDefinitionOnceInItsFamily)
{
    EXPECT_EQ(RegistryPrograms(Family::Soap1), DefinedPrograms(tessel::tester::RegisteredTools()));
    EXPECT_EQ(RegistryPrograms(Family::Soap2), DefinedPrograms(tessel::tester2::RegisteredSoap2Tools()));
    std::set<std::string> programs;
    for (const char* program : tessel::registry::kPrograms)
        EXPECT_TRUE(programs.insert(program).second) << program << " is registered twice";
    for (const tessel::registry::Tool& tool : tessel::registry::kTools)
        EXPECT_TRUE(programs.count(tool.program)) << tool.program << " is not installed";
}

TEST(Registry, IsTheReadmesTableOfTheTools)
{
    std::ifstream in(TESSEL_SOURCE_DIR "/README.md");
    std::stringstream text;
    text << in.rdbuf();
    const std::string readme = text.str();
    const auto start = readme.find("## The tools\n");
    ASSERT_NE(start, std::string::npos);
    const std::string section = readme.substr(start, readme.find("\n\n", readme.find("| Program", start)) - start);
    std::vector<std::pair<std::string, std::string>> rows;
    const std::regex row(R"(\| `([^`]+)` \| ([^|]+) \|)");
    for (std::sregex_iterator it(section.begin(), section.end(), row), end; it != end; ++it)
        rows.emplace_back((*it)[1], (*it)[2]);
    std::vector<std::pair<std::string, std::string>> expected;
    for (const ToolEntry& tool : tessel::kit::Tools())
        expected.emplace_back(tool.program, tool.purpose);
    EXPECT_EQ(rows, expected) << "the README's table of the tools is not the launcher's list";
}

TEST(Launcher, ListsEveryToolOfTheRegistryAndTheLogin)
{
    Launcher launcher("http://localhost:8080", TESSEL_BIN_DIR);
    EXPECT_EQ(tessel::kit::Tools().size(), std::size(tessel::registry::kTools));
    for (const tessel::registry::Tool& tool : tessel::registry::kTools) {
        const ToolEntry& entry = Entry(tool.program);
        EXPECT_EQ(entry.purpose, tool.purpose);
        EXPECT_NE(launcher.findChild<QPushButton*>(QString::fromStdString("start_" + entry.program)), nullptr);
    }
    const QString service = launcher.findChild<QLabel*>("Service")->text();
    EXPECT_TRUE(service.contains("http://localhost:8080/"));
    EXPECT_TRUE(service.contains("tester"));
}

TEST(Launcher, StartsATool)
{
    Launcher launcher("http://localhost:1", TESSEL_BIN_DIR);
    const qint64 pid = launcher.Start(Entry("TSTestTool3"));
    ASSERT_GT(pid, 0) << launcher.findChild<QLabel*>("StatusLine")->text().toStdString();
    EXPECT_EQ(kill(static_cast<pid_t>(pid), 0), 0);  // it runs
    kill(static_cast<pid_t>(pid), SIGTERM);
    EXPECT_TRUE(launcher.findChild<QLabel*>("StatusLine")->text().startsWith("Started TSTestTool3"));
}

TEST(Launcher, SaysWhenAToolIsNotThere)
{
    Launcher launcher("http://localhost:8080", "/nonexistent");
    EXPECT_EQ(launcher.Start(tessel::kit::Tools()[0]), 0);
    EXPECT_TRUE(launcher.findChild<QLabel*>("StatusLine")->text().contains("is not built"));
}

TEST(Launcher, EveryToolItStartsConnectsToTheLocalServiceAtTheFirstPress)
{
    TempHome home;
    ServiceProcess svc;
    tessel::client::TokenLibrary library;
    BoxCloser closer;
    const Launcher launcher(svc.Url(""), TESSEL_BIN_DIR);
    for (const tessel::registry::Tool& tool : tessel::registry::kTools) {
        const tessel::client::ToolCommandLine line =
            tessel::client::ParseToolCommandLine(launcher.Arguments(Entry(tool.program)));
        ASSERT_EQ(line.action, tessel::client::ToolCommandLine::Action::Open) << tool.program << ": " << line.problem;
        ASSERT_TRUE(line.uri) << tool.program;
        if (tool.family == Family::Soap1) {
            tessel::tester::ToolWindow window(*tessel::tester::FindTool(tool.program), library);
            window.SetDescription(*line.uri);
            EXPECT_TRUE(ConnectsAtTheFirstPress(window, "CreateTicket")) << tool.program << " on " << *line.uri;
        } else {
            tessel::tester2::Soap2Window window(*tessel::tester2::FindSoap2Tool(tool.program), library);
            window.SetDescription(*line.uri);
            EXPECT_EQ(window.Text(tessel::tester2::kWsdlBox), *line.uri) << tool.program;
            EXPECT_TRUE(ConnectsAtTheFirstPress(window, tessel::tester2::kCreateTicketButton))
                << tool.program << " on " << *line.uri;
        }
    }
    EXPECT_TRUE(closer.seen.empty()) << closer.seen.front().title << ": " << closer.seen.front().text;
}

TEST(Launcher, ShowsTheDescriptionEachToolWillUse)
{
    const Launcher launcher("http://localhost:1", TESSEL_BIN_DIR);
    for (const ToolEntry& tool : tessel::kit::Tools()) {
        auto* uses = launcher.findChild<QLabel*>(QString::fromStdString("uses_" + tool.program));
        ASSERT_NE(uses, nullptr) << tool.program;
        EXPECT_EQ(uses->text().toStdString(), "http://localhost:1" + tool.descriptionPath);
    }
}

TEST(Launcher, SaysWhenTheServiceAnswers)
{
    TempHome home;
    ServiceProcess svc;
    const Launcher launcher(svc.Url(""), TESSEL_BIN_DIR);
    ASSERT_EQ(Checked(launcher), State::Answers) << Heading(launcher);
    EXPECT_TRUE(Has(Heading(launcher), "The TesselService at " + svc.Url("/") + " answers")) << Heading(launcher);
    EXPECT_TRUE(Has(Heading(launcher), "user name tester and password tester"));
    EXPECT_FALSE(launcher.findChild<QPushButton*>("btnStartService")->isVisibleTo(&launcher));
}

TEST(Launcher, SaysWhenNoServiceAnswersAndHowToStartOneWhereTheProgramIsNowhere)
{
    const PathSetTo path("/nonexistent");
    Launcher launcher("http://localhost:1", "/nonexistent");
    ASSERT_EQ(Checked(launcher), State::Silent);
    EXPECT_TRUE(Has(Heading(launcher), "No TesselService answers at http://localhost:1/")) << Heading(launcher);
    EXPECT_TRUE(Has(Heading(launcher), "TesselServiceLocal is neither next to tessel-kit nor on PATH"));
    EXPECT_TRUE(Has(Heading(launcher), "./scripts/run.sh"));
    EXPECT_FALSE(launcher.findChild<QPushButton*>("btnStartService")->isVisibleTo(&launcher));
    EXPECT_EQ(launcher.ServiceProgram(), "");
    EXPECT_FALSE(launcher.StartService());
}

TEST(Launcher, StartsTheLocalServiceWhereNothingAnswersAndChecksAgain)
{
    TempHome home;
    int port = 0;
    {
        const ServiceProcess probe;  // a port that was free a moment ago, and is again
        port = probe.port();
    }
    const std::string service = "http://localhost:" + std::to_string(port);
    {
        Launcher launcher(service, TESSEL_BIN_DIR);
        ASSERT_EQ(Checked(launcher), State::Silent);
        EXPECT_TRUE(Has(Heading(launcher), "No TesselService answers at " + service + "/")) << Heading(launcher);
        EXPECT_TRUE(Has(Heading(launcher), "Start TesselServiceLocal below")) << Heading(launcher);
        auto* start = launcher.findChild<QPushButton*>("btnStartService");
        ASSERT_TRUE(start->isVisibleTo(&launcher));
        start->click();
        (void)QTest::qWaitFor([&] { return launcher.serviceState() == State::Answers; }, 20000);
        ASSERT_EQ(launcher.serviceState(), State::Answers)
            << Heading(launcher) << " / " << launcher.findChild<QLabel*>("StatusLine")->text().toStdString();
        EXPECT_TRUE(launcher.findChild<QLabel*>("StatusLine")->text().startsWith("Started TesselServiceLocal"));
    }
    // The service the launcher started ended with it.
    const Launcher after(service, TESSEL_BIN_DIR);
    EXPECT_EQ(Checked(after), State::Silent) << Heading(after);
}

// tessel-kit [--port N]: the launcher of the kit's tools, for the local
// service on localhost:N (8080 unless given).
#include <QApplication>

#include <charconv>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Launcher.h"
#include "TesselKitVersion.h"
#include "Widgets/Display.h"

namespace {

constexpr char kUsage[] =
    "usage: tessel-kit [--port N]\n"
    "       tessel-kit --help | --version\n"
    "\n"
    "Opens the launcher of the kit's tools for the local TesselService on localhost:N (8080 unless\n"
    "given); each tool it starts opens on that service's description. When nothing answers there,\n"
    "the launcher offers to start TesselServiceLocal on that port.\n";

struct KitLine {
    std::string port = "8080";
    std::string problem;     // the first thing wrong; empty when nothing is
    bool qtMayTake = true;  // every wrong word may be one of Qt's options (one "-" or none)
};

KitLine ParseKitLine(const std::vector<std::string>& args)
{
    KitLine line;
    const auto wrong = [&line](const std::string& problem, bool qtMayTake) {
        line.qtMayTake = line.qtMayTake && qtMayTake;
        if (line.problem.empty())
            line.problem = problem;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--port") {
            wrong("unexpected argument \"" + args[i] + "\"", args[i].rfind("--", 0) != 0);
            continue;
        }
        if (i + 1 >= args.size()) {
            wrong("--port needs a port number", false);
            continue;
        }
        const std::string& value = args[++i];
        unsigned port = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
        if (ec != std::errc() || end != value.data() + value.size() || port == 0 || port > 65535)
            wrong("--port needs a port number from 1 to 65535, not \"" + value + "\"", false);
        else
            line.port = value;
    }
    return line;
}

int Wrong(const KitLine& line)
{
    std::cerr << "tessel-kit: " << line.problem << "\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // Read before Qt starts, so that --help, --version and a wrong line need
    // no display; a word that may be Qt's own waits for Qt when there is one.
    if (tessel::AnswersHelpOrVersion(argc, argv, "tessel-kit", kUsage))
        return 0;
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (const KitLine raw = ParseKitLine(words);
        !raw.problem.empty() && (!raw.qtMayTake || tessel::widgets::MissingDisplay(words)))
        return Wrong(raw);
    const std::unique_ptr<QApplication> app = tessel::widgets::StartApplication(argc, argv, "tessel-kit");
    if (!app)
        return tessel::widgets::kNoDisplayStatus;
    std::vector<std::string> left;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i)
        left.push_back(args[i].toStdString());
    const KitLine line = ParseKitLine(left);
    if (!line.problem.empty())
        return Wrong(line);
    tessel::kit::Launcher launcher("http://localhost:" + line.port,
                                   QCoreApplication::applicationDirPath().toStdString());
    launcher.show();
    return QApplication::exec();
}

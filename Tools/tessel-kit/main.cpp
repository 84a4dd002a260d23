// tessel-kit [--port N]: the launcher of the kit's tools, for the local
// service on localhost:N (8080 unless given).
#include <QApplication>

#include <iostream>
#include <string>
#include <string_view>

#include "Launcher.h"
#include "TesselKitVersion.h"

namespace {

constexpr char kUsage[] =
    "usage: tessel-kit [--port N]\n"
    "       tessel-kit --help | --version\n"
    "\n"
    "Opens the launcher of the kit's tools for the local TesselService on localhost:N (8080 unless\n"
    "given); each tool it starts opens on that service's description.\n";

}  // namespace

int main(int argc, char** argv)
{
    // Read before Qt starts, so that --help and --version need no display.
    if (tessel::AnswersHelpOrVersion(argc, argv, "tessel-kit", kUsage))
        return 0;
    std::string port = "8080";
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size()) {
            port = args[++i].toStdString();
        } else {
            std::cerr << "tessel-kit: unexpected argument \"" << args[i].toStdString() << "\"\n" << kUsage;
            return 2;
        }
    }
    tessel::kit::Launcher launcher("http://localhost:" + port, QCoreApplication::applicationDirPath().toStdString());
    launcher.show();
    return QApplication::exec();
}

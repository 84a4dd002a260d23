// The program of a SOAP 1.0 tool: one window, built from the one tool
// definition linked into the program.
//   TOOL [--uri DESCRIPTION-URI]
//   TOOL --version
// --uri replaces the description box's default text (the launcher starts a
// tool on the local service this way); --version prints the tool's version
// block and ends (no display needed).
#include <QApplication>

#include <iostream>
#include <string_view>

#include "Tester/ToolRegistry.h"
#include "ToolWindow.h"

int main(int argc, char** argv)
{
    const auto& tools = tessel::tester::RegisteredTools();
    if (tools.size() != 1) {
        std::cerr << "a tool program links exactly one tool definition; this one has " << tools.size() << "\n";
        return 2;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << tessel::client::VersionText(tools.front()->version, tools.front()->program);
        return 0;
    }
    QApplication app(argc, argv);
    tessel::client::TokenLibrary library;
    tessel::tester::ToolWindow window(*tools.front(), library);
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--uri" && i + 1 < args.size()) {
            window.SetText("txtURI", args[++i].toStdString());
        } else {
            std::cerr << "usage: " << tools.front()->program << " [--uri DESCRIPTION-URI] | --version\n";
            return 2;
        }
    }
    window.show();
    return QApplication::exec();
}

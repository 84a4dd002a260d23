// The program of a SOAP 2.0 tool: one window, built from the one tool
// definition linked into the program.
//   TOOL [--version]
// --version prints the tool's version block and ends (no display needed).
#include <QApplication>

#include <iostream>
#include <string_view>

#include "Soap2Window.h"
#include "Tester2/Soap2ToolRegistry.h"

int main(int argc, char** argv)
{
    const auto& tools = tessel::tester2::RegisteredSoap2Tools();
    if (tools.size() != 1) {
        std::cerr << "a tool program links exactly one tool definition; this one has " << tools.size() << "\n";
        return 2;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << tessel::client::VersionText(tools.front()->version, tools.front()->program);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(tools.front()->program));
    QApplication::setApplicationVersion(QString::fromStdString(tools.front()->version.fileVersion));
    tessel::client::TokenLibrary library;
    tessel::tester2::Soap2Window window(*tools.front(), library);
    window.show();
    return QApplication::exec();
}

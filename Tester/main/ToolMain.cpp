// The program of a SOAP 1.0 tool: one window, built from the one tool
// definition linked into the program.
#include <QApplication>

#include <iostream>

#include "Tester/ToolRegistry.h"
#include "ToolWindow.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const auto& tools = tessel::tester::RegisteredTools();
    if (tools.size() != 1) {
        std::cerr << "a tool program links exactly one tool definition; this one has " << tools.size() << "\n";
        return 2;
    }
    tessel::client::TokenLibrary library;
    tessel::tester::ToolWindow window(*tools.front(), library);
    window.show();
    return QApplication::exec();
}

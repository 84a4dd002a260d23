// The program of a SOAP 2.0 tool: one window, built from the one tool
// definition linked into the program.
#include <QApplication>

#include <iostream>

#include "Soap2Window.h"
#include "Tester2/Soap2ToolRegistry.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const auto& tools = tessel::tester2::RegisteredSoap2Tools();
    if (tools.size() != 1) {
        std::cerr << "a tool program links exactly one tool definition; this one has " << tools.size() << "\n";
        return 2;
    }
    QApplication::setApplicationName(QString::fromStdString(tools.front()->program));
    QApplication::setApplicationVersion(QStringLiteral("1.01"));
    tessel::client::TokenLibrary library;
    tessel::tester2::Soap2Window window(*tools.front(), library);
    window.show();
    return QApplication::exec();
}

// tessel-kit [--port N]: the launcher of the kit's tools, for the local
// service on localhost:N (8080 unless given).
#include <QApplication>

#include <iostream>

#include "Launcher.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString port = QStringLiteral("8080");
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size()) {
            port = args[++i];
        } else {
            std::cerr << "usage: tessel-kit [--port N]\n";
            return 2;
        }
    }
    tessel::kit::Launcher launcher("http://localhost:" + port.toStdString(),
                                   QCoreApplication::applicationDirPath().toStdString());
    launcher.show();
    return QApplication::exec();
}

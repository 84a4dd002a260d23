// TSTestTool3-tour: a short scripted session of TSTestTool3 for a machine
// without a display. It connects, logs in, sends a few rows and logs out,
// closing each message box as it comes, and saves screenshots as PNG files.
//   TSTestTool3-tour [--uri DESCRIPTION-URI] [--out FOLDER]
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

#include <iostream>

#include "Tool3.h"
#include "ToolWindow.h"

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString uri = "http://localhost:8080/TesselService/TesselServiceCore.xml";
    QString out = QDir::current().filePath("screenshots");
    const QStringList args = QApplication::arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--uri")
            uri = args[++i];
        else if (args[i] == "--out")
            out = args[++i];
    }
    QDir().mkpath(out);

    tessel::tester::TokenLibrary library;
    tessel::tester::ToolWindow window(tessel::tools::Tool3(), library);
    window.show();
    int shot = 0;
    const auto save = [&](QWidget* w, const QString& what) {
        const QString path = QDir(out).filePath(QString("%1-%2.png").arg(++shot, 2, 10, QChar('0')).arg(what));
        w->grab().save(path);
        std::cout << "saved " << path.toStdString() << "\n";
    };
    // Each message box is recorded, photographed and closed.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::cout << "message box \"" << box->windowTitle().toStdString() << "\": "
                      << box->text().left(120).replace('\n', ' ').toStdString() << "\n";
            QString name = box->windowTitle();
            name.replace(QRegularExpression("[^A-Za-z0-9]+"), "-");
            save(box, "box-" + name);
            box->accept();
        }
    });
    closer.start(30);

    QTimer::singleShot(0, [&] {
        auto& core = window.core();
        window.SetText("txtURI", uri.toStdString());
        save(&window, "start");
        core.Connect();
        save(&window, "connected");
        window.SetText("UserKey", "tester");
        window.SetText("Principal", "tester");
        core.CreateTicket();
        save(&window, "logged-in");
        for (const char* button : {"btnGAList", "btnLogCount", "btnGetResourceACL", "btnESAll", "btnPutResourceACL"})
            core.Send(button);
        save(&window, "after-calls");
        core.CloseSession();
        save(&window, "logged-out");
        QApplication::quit();
    });
    return QApplication::exec();
}

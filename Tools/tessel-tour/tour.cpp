// tessel-tour: a scripted session of one tool for a machine without a display.
// It connects, logs in, presses every row's button once and logs out, closing
// each message box as it comes, and saves screenshots of the window at each
// stage and of every message box (drawn with its title) as PNG files.
//
//   tessel-tour TOOL [--uri DESCRIPTION-URI | --port PORT] [--admin-uri URI] [--user NAME] [--password PW]
//               [--out FOLDER]
//   tessel-tour --list
//
// A tool with an admin interface connects it after the login, at --admin-uri,
// or else at the admin description on the host of --uri.
//
// --port PORT: the local service on that port, at its usual description path.
// It prints one line per step and a summary line; it exits with 1 when the
// connect or the login failed, or a row's call failed without a fault.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <iostream>

#include "Tester/ToolRegistry.h"
#include "ToolWindow.h"
#include "Widgets/MessageBox.h"

using namespace tessel;

namespace {

struct Options {
    QString tool, uri, adminUri, user = "tester", password = "tester", out;
};

// A picture of a box with its title above, as a window frame would show it.
QImage WithTitle(QWidget* w)
{
    const QPixmap body = w->grab();
    const int bar = w->fontMetrics().height() + 10;
    QImage image(body.width(), body.height() + bar, QImage::Format_ARGB32);
    image.fill(QColor(0x3c, 0x5a, 0x8c));
    QPainter p(&image);
    p.setPen(Qt::white);
    QFont bold = w->font();
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRect(8, 0, body.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft, w->windowTitle());
    p.drawPixmap(0, bar, body);
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options o;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--list") {
            for (const tester::ToolDefinition* t : tester::RegisteredTools())
                std::cout << t->program << "\n";
            return 0;
        }
        if (args[i] == "--uri" && hasValue)
            o.uri = args[++i];
        else if (args[i] == "--port" && hasValue)
            o.uri = "http://localhost:" + args[++i] + "/TesselService/TesselServiceCore.xml";
        else if (args[i] == "--admin-uri" && hasValue)
            o.adminUri = args[++i];
        else if (args[i] == "--out" && hasValue)
            o.out = args[++i];
        else if (args[i] == "--user" && hasValue)
            o.user = args[++i];
        else if (args[i] == "--password" && hasValue)
            o.password = args[++i];
        else if (!args[i].startsWith("--") && o.tool.isEmpty())
            o.tool = args[i];
        else {
            std::cerr << "usage: tessel-tour TOOL [--uri DESCRIPTION-URI | --port PORT] [--admin-uri URI] "
                         "[--user NAME] [--password PW] [--out FOLDER]\n       tessel-tour --list\n";
            return 2;
        }
    }
    const tester::ToolDefinition* tool = tester::FindTool(o.tool.toStdString());
    if (!tool) {
        std::cerr << "tessel-tour: no tool named \"" << o.tool.toStdString() << "\"; the tools are:";
        for (const tester::ToolDefinition* t : tester::RegisteredTools())
            std::cerr << " " << t->program;
        std::cerr << "\n";
        return 2;
    }
    if (o.out.isEmpty())
        o.out = QDir::current().filePath("screenshots/" + o.tool);
    QDir(o.out).removeRecursively();
    QDir().mkpath(o.out);

    client::TokenLibrary library;
    tester::ToolWindow window(*tool, library);
    window.show();
    int shot = 0;
    const auto save = [&](const QImage& image, const QString& what) {
        const QString path = QDir(o.out).filePath(QString("%1-%2.png").arg(++shot, 2, 10, QChar('0')).arg(what));
        image.save(path);
    };
    std::vector<std::pair<std::string, std::string>> boxes;  // title, text of each box since the last step
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<widgets::MessageDialog*>(QApplication::activeModalWidget())) {
            boxes.emplace_back(box->windowTitle().toStdString(), box->text().toStdString());
            QString name = box->windowTitle();
            name.replace(QRegularExpression("[^A-Za-z0-9]+"), "-");
            save(WithTitle(box), "box-" + name);
            box->accept();
        }
    });
    closer.start(20);

    int exitCode = 0;
    QTimer::singleShot(0, [&] {
        const auto say = [&](const std::string& step, const std::string& outcome) {
            std::cout << o.tool.toStdString() << ": " << step << ": " << outcome << "\n";
        };
        const auto lastBox = [&] { return boxes.empty() ? std::string() : boxes.back().first + ": " + boxes.back().second.substr(0, 160); };
        if (!o.uri.isEmpty())
            window.SetText("txtURI", o.uri.toStdString());
        if (tool->admin && o.adminUri.isEmpty() && !o.uri.isEmpty()) {
            QUrl admin(o.uri);
            admin.setPath("/TesselService/TesselServiceCoreAdmin.xml");
            o.adminUri = admin.toString();
        }
        if (tool->admin && !o.adminUri.isEmpty())
            window.SetText(tool->admin->uriBox, o.adminUri.toStdString());
        save(window.grab().toImage(), "start");
        boxes.clear();
        window.core().Connect();
        save(window.grab().toImage(), "connected");
        if (!window.Enabled("btnListWSDataMethods")) {
            say("connect", "failed " + lastBox());
            exitCode = 1;
            QApplication::quit();
            return;
        }
        say("connect", "ok");
        window.SetText("UserKey", o.user.toStdString());
        window.SetText(tool->passwordBox, o.password.toStdString());
        boxes.clear();
        window.core().CreateTicket();
        save(window.grab().toImage(), "logged-in");
        if (!window.Enabled("CloseSession")) {
            say("login", "failed " + lastBox());
            exitCode = 1;
            QApplication::quit();
            return;
        }
        say("login", "ok");
        if (tool->admin) {
            boxes.clear();
            window.core().ConnectAdmin();
            save(window.grab().toImage(), "admin-connected");
            say("admin connect", window.core().session().adminDescriptionText.empty() ? "failed " + lastBox() : "ok");
        }
        int answered = 0, faulted = 0, failed = 0;
        for (const tester::Row& row : tool->rows) {
            boxes.clear();
            window.core().Send(row.button);
            const bool error = !boxes.empty() && boxes.back().first.rfind("Error on ", 0) == 0;
            const bool fault = error && boxes.back().second.find("answered with a fault") != std::string::npos;
            if (!error) {
                ++answered;
                say(row.method, boxes.empty() ? "answered (empty result)" : "answered");
            } else if (fault) {
                ++faulted;
                say(row.method, "fault " + boxes.back().second.substr(0, 160));
            } else {
                ++failed;
                say(row.method, "failed " + boxes.back().second.substr(0, 160));
            }
        }
        save(window.grab().toImage(), "after-calls");
        boxes.clear();
        window.core().CloseSession();
        save(window.grab().toImage(), "logged-out");
        std::cout << o.tool.toStdString() << ": " << tool->rows.size() << " rows: " << answered << " answered, "
                  << faulted << " faulted, " << failed << " failed; screenshots in " << o.out.toStdString() << "\n";
        if (failed)
            exitCode = 1;
        QApplication::quit();
    });
    QApplication::exec();
    return exitCode;
}

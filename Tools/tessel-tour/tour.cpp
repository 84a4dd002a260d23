// tessel-tour: a scripted session of one tool for a machine without a display.
// It connects, logs in, presses every row's button once and logs out, closing
// each message box as it comes, and saves screenshots of the window at each
// stage and of every message box (drawn with its title) as PNG files. It
// drives the tools of both families: a SOAP 1.0 tool through its description
// URI box, a SOAP 2.0 tool through its WSDL box.
//
//   tessel-tour TOOL [--uri DESCRIPTION-URI | --port PORT] [--admin-uri URI] [--user NAME] [--password PW]
//               [--out FOLDER]
//   tessel-tour --list | --help | --version
//
// --port PORT: the local service on that port, at the description the tool's
// family uses. A tool with an admin interface connects it after the login, at
// --admin-uri, or else at the admin description on the host of the URI.
//
// It prints one line per step and a summary line; it exits with 1 when the
// connect or the login failed, or a row's call failed without a fault.
#include <QAbstractButton>
#include <QApplication>
#include <QTabWidget>
#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <iostream>
#include <string_view>

#include "Soap2Window.h"
#include "Tester/ToolRegistry.h"
#include "Tester2/Soap2ToolRegistry.h"
#include "TesselKitVersion.h"
#include "ToolWindow.h"
#include "Widgets/Display.h"
#include "Widgets/ExchangeView.h"
#include "Widgets/MessageBox.h"

using namespace tessel;

namespace {

constexpr char kUsage[] =
    "usage: tessel-tour TOOL [--uri DESCRIPTION-URI | --port PORT] [--admin-uri URI] [--user NAME] [--password PW]\n"
    "                   [--out FOLDER]\n"
    "       tessel-tour --list | --help | --version\n"
    "\n"
    "Runs a scripted session of TOOL offscreen (connect, login, every row once, logout) and saves\n"
    "screenshots of its window and message boxes in FOLDER (./screenshots/TOOL). --port: the local\n"
    "service on that port (8080), at the description of the tool's family. --list names the tools.\n";

struct Options {
    QString tool, uri, port = "8080", adminUri, user = "tester", password = "tester", out;
};

// The local service's descriptions, where a tour goes when no URI is given.
constexpr char kSoap1Description[] = "/TesselService/TesselServiceCore.xml";
constexpr char kSoap1AdminDescription[] = "/TesselService/TesselServiceCoreAdmin.xml";
constexpr char kSoap2Description[] = "/TesselService2/TesselServiceCore.wsdl";

std::string LocalService(const Options& o, const char* path)
{
    return ("http://localhost:" + o.port).toStdString() + path;
}

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

// What a tour keeps: its options, the screenshots taken, and the message
// boxes seen since the last step.
struct Tour {
    Options o;
    int shot = 0;
    std::vector<std::pair<std::string, std::string>> boxes;  // title, text

    void Save(const QImage& image, const QString& what)
    {
        const QString path = QDir(o.out).filePath(QString("%1-%2.png").arg(++shot, 2, 10, QChar('0')).arg(what));
        image.save(path);
    }
    void Say(const std::string& step, const std::string& outcome) const
    {
        std::cout << o.tool.toStdString() << ": " << step << ": " << outcome << "\n";
    }
    std::string LastBox() const
    {
        return boxes.empty() ? std::string() : boxes.back().first + ": " + boxes.back().second.substr(0, 160);
    }
    // Runs one step of the session, takes its picture and says how it went:
    // "ok" when `done` holds afterwards, else "failed" with the last box seen.
    bool Step(QWidget& window, const std::string& step, const QString& picture, const std::function<void()>& run,
              const std::function<bool()>& done)
    {
        boxes.clear();
        run();
        Save(window.grab().toImage(), picture);
        const bool ok = done();
        Say(step, ok ? "ok" : "failed " + LastBox());
        return ok;
    }
    void Summary(std::size_t rows, int answered, int faulted, int failed) const
    {
        std::cout << o.tool.toStdString() << ": " << rows << " rows: " << answered << " answered, " << faulted
                  << " faulted, " << failed << " failed; screenshots in " << o.out.toStdString() << "\n";
    }
};

// The view of the last exchange, open at its Tokens tab: both tokens of the
// last call decoded.
void SaveTokensView(QWidget& window, Tour& t)
{
    if (auto* button = window.findChild<QAbstractButton*>(QStringLiteral("btnView")))
        button->click();
    auto* view = window.findChild<widgets::ExchangeView*>(QStringLiteral("ExchangeView"));
    if (!view)
        return;
    if (auto* tabs = view->findChild<QTabWidget*>())
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == QStringLiteral("Tokens"))
                tabs->setCurrentIndex(i);
    QApplication::processEvents();
    t.Save(view->grab().toImage(), "view-tokens");
    view->close();
}

int TourSoap1(const tester::ToolDefinition& tool, Tour& t)
{
    client::TokenLibrary library;
    tester::ToolWindow window(tool, library);
    window.show();
    QApplication::processEvents();  // laid out before the first picture
    const std::string uri = t.o.uri.isEmpty() ? LocalService(t.o, kSoap1Description) : t.o.uri.toStdString();
    window.SetText("txtURI", uri);
    if (tool.admin) {
        QUrl admin(QString::fromStdString(uri));
        admin.setPath(kSoap1AdminDescription);
        window.SetText(tool.admin->uriBox, t.o.adminUri.isEmpty() ? admin.toString().toStdString()
                                                                  : t.o.adminUri.toStdString());
    }
    t.Save(window.grab().toImage(), "start");
    if (!t.Step(window, "connect", "connected", [&] { window.core().Connect(); },
                [&] { return window.Enabled("btnListWSDataMethods"); }))
        return 1;
    window.SetText("UserKey", t.o.user.toStdString());
    window.SetText(tool.passwordBox, t.o.password.toStdString());
    if (!t.Step(window, "login", "logged-in", [&] { window.core().CreateTicket(); },
                [&] { return window.Enabled("CloseSession"); }))
        return 1;
    if (tool.admin)
        t.Step(window, "admin connect", "admin-connected", [&] { window.core().ConnectAdmin(); },
               [&] { return !window.core().session().adminDescriptionText.empty(); });
    int answered = 0, faulted = 0, failed = 0;
    for (const tester::Row& row : tool.rows) {
        t.boxes.clear();
        window.core().Send(row.button);
        const bool error = !t.boxes.empty() && t.boxes.back().first.rfind("Error on ", 0) == 0;
        const bool fault = error && t.boxes.back().second.find("answered with a fault") != std::string::npos;
        if (!error) {
            ++answered;
            t.Say(row.method, t.boxes.empty() ? "answered (empty result)" : "answered");
        } else if (fault) {
            ++faulted;
            t.Say(row.method, "fault " + t.boxes.back().second.substr(0, 160));
        } else {
            ++failed;
            t.Say(row.method, "failed " + t.boxes.back().second.substr(0, 160));
        }
    }
    t.Save(window.grab().toImage(), "after-calls");
    SaveTokensView(window, t);
    t.boxes.clear();
    window.core().CloseSession();
    t.Save(window.grab().toImage(), "logged-out");
    t.Summary(tool.rows.size(), answered, faulted, failed);
    return failed ? 1 : 0;
}

int TourSoap2(const tester2::Soap2ToolDefinition& tool, Tour& t)
{
    client::TokenLibrary library;
    tester2::Soap2Window window(tool, library);
    window.show();
    QApplication::processEvents();  // laid out before the first picture
    window.SetText(tester2::kWsdlBox, t.o.uri.isEmpty() ? LocalService(t.o, kSoap2Description) : t.o.uri.toStdString());
    t.Save(window.grab().toImage(), "start");
    if (!t.Step(window, "connect", "connected", [&] { window.core().Connect(); },
                [&] { return window.Enabled(tester2::kCreateTicketButton); }))
        return 1;
    window.SetText(tester2::kUserNameBox, t.o.user.toStdString());
    window.SetText(tester2::kPasswordBox, t.o.password.toStdString());
    if (!t.Step(window, "login", "logged-in", [&] { window.core().CreateTicket(); },
                [&] { return window.Enabled(tester2::kCloseSessionButton); }))
        return 1;
    int answered = 0, faulted = 0, failed = 0;
    for (const tester2::Row& row : tool.rows) {
        t.boxes.clear();
        switch (window.core().Send(row.button)) {
        case tester2::Outcome::Completed:
            ++answered;
            t.Say(row.method, window.core().session().resultText.empty() ? "answered (empty result)" : "answered");
            break;
        case tester2::Outcome::Fault:
            ++faulted;
            t.Say(row.method, "fault " + t.LastBox());
            break;
        case tester2::Outcome::Failed:
            ++failed;
            t.Say(row.method, "failed " + t.LastBox());
            break;
        }
    }
    t.Save(window.grab().toImage(), "after-calls");
    SaveTokensView(window, t);
    t.boxes.clear();
    window.core().CloseSession();
    t.Save(window.grab().toImage(), "logged-out");
    t.Summary(tool.rows.size(), answered, faulted, failed);
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (AnswersHelpOrVersion(argc, argv, "tessel-tour", kUsage))
        return 0;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QApplication> app = widgets::StartApplication(argc, argv, "tessel-tour");
    if (!app)
        return widgets::kNoDisplayStatus;
    Tour t;
    Options& o = t.o;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--list") {
            for (const tester::ToolDefinition* tool : tester::RegisteredTools())
                std::cout << tool->program << "\n";
            for (const tester2::Soap2ToolDefinition* tool : tester2::RegisteredSoap2Tools())
                std::cout << tool->program << "\n";
            return 0;
        }
        if (args[i] == "--uri" && hasValue)
            o.uri = args[++i];
        else if (args[i] == "--port" && hasValue)
            o.port = args[++i];
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
            std::cerr << kUsage;
            return 2;
        }
    }
    const tester::ToolDefinition* soap1 = tester::FindTool(o.tool.toStdString());
    const tester2::Soap2ToolDefinition* soap2 = tester2::FindSoap2Tool(o.tool.toStdString());
    if (!soap1 && !soap2) {
        std::cerr << "tessel-tour: no tool named \"" << o.tool.toStdString() << "\"; the tools are:";
        for (const tester::ToolDefinition* tool : tester::RegisteredTools())
            std::cerr << " " << tool->program;
        for (const tester2::Soap2ToolDefinition* tool : tester2::RegisteredSoap2Tools())
            std::cerr << " " << tool->program;
        std::cerr << "\n";
        return 2;
    }
    if (o.out.isEmpty())
        o.out = QDir::current().filePath("screenshots/" + o.tool);
    QDir(o.out).removeRecursively();
    QDir().mkpath(o.out);

    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<widgets::MessageDialog*>(QApplication::activeModalWidget())) {
            t.boxes.emplace_back(box->windowTitle().toStdString(), box->text().toStdString());
            QString name = box->windowTitle();
            name.replace(QRegularExpression("[^A-Za-z0-9]+"), "-");
            t.Save(WithTitle(box), "box-" + name);
            box->accept();
        }
    });
    closer.start(20);

    int exitCode = 0;
    QTimer::singleShot(0, [&] {
        exitCode = soap1 ? TourSoap1(*soap1, t) : TourSoap2(*soap2, t);
        QApplication::quit();
    });
    QApplication::exec();
    return exitCode;
}

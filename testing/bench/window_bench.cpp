// window_bench: a SOAP 1.0 tool's window as a person clicks it, offscreen,
// against a local service started for it, each figure beside a baseline
// measured in the same run:
//   - Connect: the click on "btnConnect" until the window is updated (the
//     handler has returned and the events it posted are processed), beside
//     the toolkit's fetch of the same description
//   - a row's call (TSTestTool3, GetLogCount): the click until the result's
//     message box shows, beside the same authenticated call made by a client
//     of the token library without a window
//
//   window_bench [--rounds N] [--quick]
// --rounds: how many clicks each figure takes (default 60); --quick: two.
#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ServiceProcess.h"
#include "Soap/Transport.h"
#include "TempHome.h"
#include "TesselClient.h"
#include "Tester/ToolRegistry.h"
#include "ToolWindow.h"
#include "Widgets/MessageBox.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The median of `rounds` runs of f (after one to warm up), in milliseconds;
// f returns the time of its run.
double Median(int rounds, const std::function<double()>& f)
{
    f();
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i)
        times.push_back(f());
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Notes when a message box first shows after `armed` and closes every box
// once the event loop runs again, as a person would after reading it.
class BoxWatch : public QObject {
public:
    Clock::time_point shownAt{};
    std::string title;
    bool seen = false;
    void Arm() { seen = false, title.clear(); }

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Show)
            if (auto* box = qobject_cast<tessel::widgets::MessageDialog*>(o)) {
                if (!seen) {
                    shownAt = Clock::now();
                    title = box->windowTitle().toStdString();
                    seen = true;
                }
                QTimer::singleShot(0, box, [box] { box->accept(); });
            }
        return false;
    }
};

QAbstractButton& Button(QWidget& window, const char* name)
{
    auto* b = window.findChild<QAbstractButton*>(name);
    if (!b)
        throw std::runtime_error(std::string("the window has no button ") + name);
    return *b;
}

void Print(const char* what, double figure, const char* baseline, double base, const char* target)
{
    std::printf("%-44s %8.2f ms   %-46s %8.2f ms %6.2fx  %s\n", what, figure, baseline, base, figure / base, target);
}

int Run(int rounds)
{
    const TempHome home;
    const ServiceProcess svc;
    const std::string description = svc.MainDescription();
    const tessel::tester::ToolDefinition* tool = tessel::tester::FindTool("TSTestTool3");
    if (!tool)
        throw std::runtime_error("TSTestTool3 is not built in");

    BoxWatch watch;
    qApp->installEventFilter(&watch);
    tessel::client::TokenLibrary library;
    tessel::tester::ToolWindow window(*tool, library);
    window.show();
    QApplication::processEvents();
    window.SetDescription(description);

    // Connect: the click until the window is updated.
    QAbstractButton& connect = Button(window, "btnConnect");
    const double connectMs = Median(rounds, [&] {
        watch.Arm();
        const Clock::time_point start = Clock::now();
        connect.click();
        QApplication::processEvents();
        const double ms = MillisecondsSince(start);
        if (watch.seen)
            throw std::runtime_error("Connect showed \"" + watch.title + "\"");
        return ms;
    });
    const double fetchMs = Median(rounds, [&] {
        const Clock::time_point start = Clock::now();
        tessel::soap::HttpGet(description);
        return MillisecondsSince(start);
    });

    // A row's call: the click until its result box shows.
    window.SetText("UserKey", "tester");
    window.SetText(tool->passwordBox, "tester");
    Button(window, "CreateTicket").click();
    QApplication::processEvents();
    if (!window.Enabled("CloseSession"))
        throw std::runtime_error("the window could not log in");
    QAbstractButton& logCount = Button(window, "btnLogCount");
    std::string shown;
    const double callMs = Median(rounds, [&] {
        watch.Arm();
        const Clock::time_point start = Clock::now();
        logCount.click();
        QApplication::processEvents();
        if (!watch.seen)
            throw std::runtime_error("GetLogCount showed no box");
        if (watch.title.rfind("Error on ", 0) == 0)
            throw std::runtime_error("GetLogCount failed: \"" + watch.title + "\"");
        shown = watch.title;
        return std::chrono::duration<double, std::milli>(watch.shownAt - start).count();
    });
    Button(window, "CloseSession").click();
    QApplication::processEvents();

    TesselClient client(description);
    if (!client.Login("tester", "tester"))
        throw std::runtime_error("the client could not log in");
    const double clientMs = Median(rounds, [&] {
        const Clock::time_point start = Clock::now();
        if (client.Call("GetLogCount", {}).validation != 0)
            throw std::runtime_error("the client's GetLogCount reply token is not valid");
        return MillisecondsSince(start);
    });
    client.Logout();

    std::printf("window_bench: TSTestTool3 offscreen against TesselServiceLocal on port %d, medians of %d clicks\n",
                svc.port(), rounds);
    std::printf("%-44s %11s   %-46s %11s %7s  %s\n", "figure", "", "baseline (same run)", "", "ratio", "target");
    Print("Connect, click to window updated", connectMs, "toolkit HttpGet of the description", fetchMs, "< 10 ms");
    Print("GetLogCount, click to result box", callMs, "the same call by a client, no window", clientMs,
          "<= 15 ms");
    std::printf("the result box of GetLogCount: \"%s\"\n", shown.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 60;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick")
            rounds = 2;
        else if (a == "--rounds" && i + 1 < argc && std::atoi(argv[i + 1]) > 0 && std::atoi(argv[i + 1]) <= 10000)
            rounds = std::atoi(argv[++i]);
        else {
            std::cerr << "usage: window_bench [--rounds N (1 to 10000)] [--quick]\n";
            return 2;
        }
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int exitCode = 1;
    QTimer::singleShot(0, [&] {
        try {
            exitCode = Run(rounds);
        } catch (const std::exception& e) {
            std::cerr << "window_bench: " << e.what() << "\n";
        }
        QApplication::quit();
    });
    QApplication::exec();
    return exitCode;
}

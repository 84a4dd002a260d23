#include "Widgets/ToolProgram.h"

#include <QApplication>

#include <iostream>

#include "Widgets/Display.h"
#include "Widgets/ScreenFit.h"
#include <vector>

namespace tessel::widgets {

namespace {

// The line's answer when it ends the program before a window opens.
std::optional<int> Answer(const client::ToolCommandLine& line, const std::string& program,
                          const client::VersionBlock& version)
{
    using Action = client::ToolCommandLine::Action;
    switch (line.action) {
    case Action::Help:
        std::cout << client::ToolUsage(program);
        return 0;
    case Action::Version:
        std::cout << client::ToolVersionText(version, program);
        return 0;
    case Action::Wrong:
        std::cerr << program << ": " << line.problem << "\n" << client::ToolUsage(program);
        return 2;
    case Action::Open:
        break;
    }
    return std::nullopt;
}

}  // namespace

int RunToolProgram(int argc, char** argv, const std::string& program, const client::VersionBlock& version,
                   const OpenToolWindow& open)
{
    // Before Qt: a line with --help or --version ends here whatever else it
    // holds, and so does a wrong line that Qt's own options cannot explain,
    // or any wrong line when there is no display for Qt to start on; the rest
    // waits until Qt has taken its own.
    const std::vector<std::string> words(argv + 1, argv + argc);
    const client::ToolCommandLine raw = client::ParseToolCommandLine(words);
    if (raw.action != client::ToolCommandLine::Action::Open &&
        (raw.action != client::ToolCommandLine::Action::Wrong || !raw.qtMayTake || MissingDisplay(words)))
        return *Answer(raw, program, version);

    const std::unique_ptr<QApplication> started = StartApplication(argc, argv, program);
    if (!started)
        return kNoDisplayStatus;
    QApplication::setApplicationName(QString::fromStdString(program));
    QApplication::setApplicationVersion(QString::fromStdString(version.fileVersion));
    std::vector<std::string> args;
    const QStringList qtArgs = QApplication::arguments();
    for (qsizetype i = 1; i < qtArgs.size(); ++i)
        args.push_back(qtArgs[i].toStdString());
    const client::ToolCommandLine line = client::ParseToolCommandLine(args);
    if (const std::optional<int> status = Answer(line, program, version))
        return *status;
    const std::unique_ptr<QWidget> shown = FittedToScreen(open(line.uri));
    shown->show();
    return QApplication::exec();
}

}  // namespace tessel::widgets

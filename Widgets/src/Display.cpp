#include "Widgets/Display.h"

#include <cstdlib>
#include <iostream>
#include <string_view>

namespace tessel::widgets {

namespace {

// The value of Qt's option `name` ("-platform" or "--platform") among the words.
std::optional<std::string> QtOption(const std::vector<std::string>& args, std::string_view name)
{
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == std::string("-").append(name) || args[i] == std::string("--").append(name))
            return args[i + 1];
    return std::nullopt;
}

bool Usable(std::string_view platform, bool x11, bool wayland)
{
    platform = platform.substr(0, platform.find(':'));  // "offscreen:size=..." names offscreen
    if (platform.empty())
        return x11 || wayland;  // the desktop's default
    if (platform == "xcb")
        return x11;
    if (platform.rfind("wayland", 0) == 0)
        return wayland;
    return true;
}

// The program whose application is starting, for the fatal message handler.
std::string startingProgram;
QtMessageHandler previousHandler = nullptr;

// Qt's last word when its platform could not start: the program ends as it
// would, but with its own reason and status instead of an abort.
void StartFailed(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        if (previousHandler)
            previousHandler(type, context, message);
        else
            std::cerr << message.toStdString() << "\n";
        return;
    }
    const std::string display = FromEnvironment("DISPLAY");
    std::cerr << startingProgram << ": no display answers"
              << (display.empty() ? std::string() : " at DISPLAY=" + display) << " (" << kNoDisplay << ")\n";
    std::_Exit(kNoDisplayStatus);  // Qt aborts after this message: nothing of the program is left to end
}

}  // namespace

std::string FromEnvironment(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    return value ? value : "";
}

std::optional<std::string> MissingDisplay(const std::vector<std::string>& args, const EnvironmentLookup& env)
{
    const bool x11 = !env("DISPLAY").empty() || QtOption(args, "display");
    const bool wayland = !env("WAYLAND_DISPLAY").empty();
    const std::string platforms = QtOption(args, "platform").value_or(env("QT_QPA_PLATFORM"));
    std::string_view rest = platforms;
    do {
        const std::size_t end = rest.find(';');
        if (Usable(rest.substr(0, end), x11, wayland))
            return std::nullopt;
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    } while (!rest.empty());
    return std::string(kNoDisplay);
}

std::unique_ptr<QApplication> StartApplication(int& argc, char** argv, const std::string& program)
{
    if (const std::optional<std::string> problem = MissingDisplay(std::vector<std::string>(argv + 1, argv + argc))) {
        std::cerr << program << ": " << *problem << "\n";
        return nullptr;
    }
    startingProgram = program;
    previousHandler = qInstallMessageHandler(StartFailed);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    return app;
}

}  // namespace tessel::widgets

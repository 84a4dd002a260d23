#include "Client/ToolCommandLine.h"

#include "TesselKitVersion.h"

namespace tessel::client {

ToolCommandLine ParseToolCommandLine(const std::vector<std::string>& args)
{
    ToolCommandLine line;
    bool help = false, version = false;
    const auto wrong = [&line](std::string problem, bool qtMayTake = false) {
        line.qtMayTake = line.qtMayTake && qtMayTake;
        if (line.problem.empty())
            line.problem = std::move(problem);
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--version") {
            version = true;
        } else if (a == "--uri") {
            if (i + 1 >= args.size())
                wrong("--uri needs a DESCRIPTION-URI");
            else if (line.uri)
                wrong("--uri is given twice");
            else if (args[i + 1].empty())
                wrong("--uri needs a DESCRIPTION-URI, not an empty text");
            else
                line.uri = args[i + 1];
            ++i;
        } else {
            wrong("unknown argument \"" + a + "\"", a.rfind("--", 0) != 0);
        }
    }
    if (help)
        line.action = ToolCommandLine::Action::Help;
    else if (version)
        line.action = ToolCommandLine::Action::Version;
    else if (!line.problem.empty())
        line.action = ToolCommandLine::Action::Wrong;
    return line;
}

std::string ToolUsage(const std::string& program)
{
    return "usage: " + program + " [--uri DESCRIPTION-URI]\n" +
           "       " + program + " --help | --version\n"
           "\n"
           "Opens the tool's window. --uri DESCRIPTION-URI puts that service description in the\n"
           "description box instead of the default, ready for Connect. --version prints the tool's\n"
           "version block and the kit's version. Qt's own options (-platform NAME, ...) are taken too.\n";
}

std::string ToolVersionText(const VersionBlock& block, const std::string& program)
{
    return VersionText(block, program) + KitVersionLine(program);
}

}  // namespace tessel::client

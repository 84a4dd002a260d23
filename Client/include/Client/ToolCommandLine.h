// The command line every tool of both families takes:
//   TOOL [--uri DESCRIPTION-URI]
//   TOOL --help | --version
// --uri replaces the description box's default text (the launcher starts a
// tool on the local service this way).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Client/Version.h"

namespace tessel::client {

struct ToolCommandLine {
    enum class Action {
        Open,     // open the window (on `uri` when given)
        Help,     // print the usage on standard output and end
        Version,  // print the version and end
        Wrong,    // print `problem` and the usage on standard error and end with 2
    };
    Action action = Action::Open;
    std::optional<std::string> uri;
    std::string problem;  // the first thing wrong
    // Every wrong word may be one of Qt's own options or their values (it
    // begins with a single "-", or no "-"): Wrong only once Qt has taken its own.
    bool qtMayTake = true;
};

// Reads the arguments after the program's name. --help (-h) and --version
// win over anything else on the line, a wrong word included, so that they
// can be answered before Qt has seen the line; --uri takes the next
// argument whatever it is. A second --uri, an empty one or any other word is
// Wrong.
ToolCommandLine ParseToolCommandLine(const std::vector<std::string>& args);

// The usage text, for --help and after a Wrong line.
std::string ToolUsage(const std::string& program);

// What --version prints: the tool's version block, then the kit's version line.
std::string ToolVersionText(const VersionBlock& block, const std::string& program);

}  // namespace tessel::client

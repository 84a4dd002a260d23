// The program of a tool of either family, around its window: the command
// line is read before Qt starts, so --help and --version need no display.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Client/ToolCommandLine.h"

namespace tessel::widgets {

// Opens the tool's window, on `uri` when the command line gave one.
using OpenToolWindow = std::function<std::unique_ptr<QWidget>(const std::optional<std::string>& uri)>;

// Answers --help and --version (standard output, exit status 0) and a wrong
// line (standard error, 2) without a display; with no display to open, says
// so on standard error and ends with kNoDisplayStatus (Widgets/Display.h);
// otherwise starts Qt, reads the line again without Qt's own options, opens
// the window (inside a scroll area when it does not fit the screen,
// Widgets/ScreenFit.h) and runs until it is closed. `program` names the tool
// in the usage and for Qt.
int RunToolProgram(int argc, char** argv, const std::string& program, const client::VersionBlock& version,
                   const OpenToolWindow& open);

}  // namespace tessel::widgets

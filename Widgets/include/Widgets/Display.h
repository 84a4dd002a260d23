// Whether a window program can open its display, asked before Qt starts: Qt
// ends a program that finds no display with an abort, before the program can
// say why.
#pragma once

#include <QApplication>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessel::widgets {

// What a missing display is reported as (after the program's name).
inline constexpr char kNoDisplay[] = "no display: set DISPLAY or WAYLAND_DISPLAY, or use QT_QPA_PLATFORM=offscreen";
// The exit status of a window program that cannot open its display.
inline constexpr int kNoDisplayStatus = 1;

// Reads an environment variable; empty when it is not set.
using EnvironmentLookup = std::function<std::string(const std::string& name)>;
std::string FromEnvironment(const std::string& name);

// Why the platform Qt would start with cannot open a window, or nothing when
// it may: the platform is the one "-platform NAME" names among `args` (the
// words after the program's name), else QT_QPA_PLATFORM, else the desktop's
// default; a list "a;b" may start with any of its platforms. xcb needs
// DISPLAY (or "-display NAME"), a wayland platform WAYLAND_DISPLAY, the
// desktop's default either; any other platform (offscreen, minimal, vnc, a
// framebuffer) needs nothing. A display that is named but does not answer is
// found out only when Qt starts (StartApplication).
std::optional<std::string> MissingDisplay(const std::vector<std::string>& args,
                                          const EnvironmentLookup& env = FromEnvironment);

// Starts Qt's application for a window program, named `program` for Qt: when
// no window can open (MissingDisplay, or the display Qt tried does not
// answer), standard error says "PROGRAM: " and why, and the result is null;
// the caller ends with kNoDisplayStatus. `argc` must outlive the application.
std::unique_ptr<QApplication> StartApplication(int& argc, char** argv, const std::string& program);

}  // namespace tessel::widgets

// Whether a window program finds a display to open, before Qt starts: the
// platform named on the command line, else in QT_QPA_PLATFORM, else the
// desktop's default, against the display variables.
#include <gtest/gtest.h>

#include <map>

#include "Widgets/Display.h"

using tessel::widgets::MissingDisplay;

namespace {

struct Case {
    const char* name;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    bool opens;
};

bool Opens(const Case& c)
{
    return !MissingDisplay(c.args, [&](const std::string& name) {
        const auto it = c.env.find(name);
        return it == c.env.end() ? std::string() : it->second;
    });
}

}  // namespace

TEST(MissingDisplay, FollowsThePlatformQtWouldStartOn)
{
    const std::vector<Case> cases = {
        {"nothing set", {}, {}, false},
        {"an empty DISPLAY", {}, {{"DISPLAY", ""}}, false},
        {"an X display", {}, {{"DISPLAY", ":0"}}, true},
        {"a Wayland display", {}, {{"WAYLAND_DISPLAY", "wayland-0"}}, true},
        {"offscreen", {}, {{"QT_QPA_PLATFORM", "offscreen"}}, true},
        {"offscreen with options", {}, {{"QT_QPA_PLATFORM", "offscreen:configfile=/x.json"}}, true},
        {"minimal", {}, {{"QT_QPA_PLATFORM", "minimal"}}, true},
        {"xcb without DISPLAY", {}, {{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}}, false},
        {"wayland without WAYLAND_DISPLAY", {}, {{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":0"}}, false},
        {"a list with one that opens", {}, {{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":0"}}, true},
        {"a list with none that opens", {}, {{"QT_QPA_PLATFORM", "wayland;xcb"}}, false},
        {"-platform offscreen", {"-platform", "offscreen"}, {}, true},
        {"--platform offscreen", {"--uri", "u", "--platform", "offscreen"}, {}, true},
        {"-platform over QT_QPA_PLATFORM", {"-platform", "xcb"}, {{"QT_QPA_PLATFORM", "offscreen"}}, false},
        {"-display for xcb", {"-display", ":1"}, {{"QT_QPA_PLATFORM", "xcb"}}, true},
        {"-platform with no name", {"-platform"}, {}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Opens(c), c.opens) << c.name;
}

TEST(MissingDisplay, SaysWhichVariablesToSet)
{
    const auto problem = MissingDisplay({}, [](const std::string&) { return std::string(); });
    ASSERT_TRUE(problem);
    EXPECT_EQ(*problem, "no display: set DISPLAY or WAYLAND_DISPLAY, or use QT_QPA_PLATFORM=offscreen");
}

// The launcher, offscreen: it lists the nine tools and starts one.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include <signal.h>
#include <sys/wait.h>

#include "Launcher.h"

using tessel::kit::Launcher;

TEST(Launcher, ListsTheNineToolsAndTheLogin)
{
    Launcher launcher("http://localhost:8080", TESSEL_BIN_DIR);
    EXPECT_EQ(tessel::kit::Tools().size(), 9u);
    for (const auto& tool : tessel::kit::Tools())
        EXPECT_NE(launcher.findChild<QPushButton*>(QString::fromStdString("start_" + tool.program)), nullptr);
    const QString service = launcher.findChild<QLabel*>("Service")->text();
    EXPECT_TRUE(service.contains("http://localhost:8080/"));
    EXPECT_TRUE(service.contains("tester"));
}

TEST(Launcher, StartsATool)
{
    Launcher launcher("http://localhost:1", TESSEL_BIN_DIR);
    const qint64 pid = launcher.Start(tessel::kit::Tools()[2]);  // TSTestTool3
    ASSERT_GT(pid, 0) << launcher.findChild<QLabel*>("StatusLine")->text().toStdString();
    EXPECT_EQ(kill(static_cast<pid_t>(pid), 0), 0);  // it runs
    kill(static_cast<pid_t>(pid), SIGTERM);
    EXPECT_TRUE(launcher.findChild<QLabel*>("StatusLine")->text().startsWith("Started TSTestTool3"));
}

TEST(Launcher, SaysWhenAToolIsNotThere)
{
    Launcher launcher("http://localhost:8080", "/nonexistent");
    EXPECT_EQ(launcher.Start(tessel::kit::Tools()[0]), 0);
    EXPECT_TRUE(launcher.findChild<QLabel*>("StatusLine")->text().contains("is not built"));
}

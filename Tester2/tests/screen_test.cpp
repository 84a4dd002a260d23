// The tools' windows on offscreen screens (screens.json): an ordinary
// 1920 x 1080 one at scale factor 1, where a window is shown as it is; a
// 2560 x 1440 one at scale factor 2, too low for the SOAP 2.0 windows, and a
// 1024 x 600 one, too low for every window, where a window is shown inside a
// scroll area of the screen's size with every control in its place and the
// bottom of the window within reach.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>

#include <memory>

#include "Soap2Window.h"
#include "TempHome.h"
#include "Tester/ToolRegistry.h"
#include "Tester2/Soap2ToolRegistry.h"
#include "ToolWindow.h"
#include "Widgets/ScreenFit.h"

using tessel::widgets::FittedToScreen;
using tessel::widgets::ScreenFitArea;

namespace {

QScreen* Screen(const char* name)
{
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->name() == QLatin1String(name))
            return screen;
    return nullptr;
}

// One window of each tool of both families.
struct AnyTool {
    std::string program;
    std::function<std::unique_ptr<QWidget>(tessel::client::TokenLibrary&)> open;
};

std::vector<AnyTool> AllTools()
{
    std::vector<AnyTool> tools;
    for (const tessel::tester::ToolDefinition* tool : tessel::tester::RegisteredTools())
        tools.push_back({tool->program, [tool](tessel::client::TokenLibrary& library) -> std::unique_ptr<QWidget> {
                             return std::make_unique<tessel::tester::ToolWindow>(*tool, library);
                         }});
    for (const tessel::tester2::Soap2ToolDefinition* tool : tessel::tester2::RegisteredSoap2Tools())
        tools.push_back({tool->program, [tool](tessel::client::TokenLibrary& library) -> std::unique_ptr<QWidget> {
                             return std::make_unique<tessel::tester2::Soap2Window>(*tool, library);
                         }});
    return tools;
}

void PrintTo(const AnyTool& tool, std::ostream* out)
{
    *out << tool.program;
}

class OnScreen : public ::testing::TestWithParam<AnyTool> {
protected:
    TempHome home;
    tessel::client::TokenLibrary library;
};

std::string ToolName(const ::testing::TestParamInfo<AnyTool>& info)
{
    return info.param.program;
}

// Whether `control` can be scrolled into the area's view, whole.
bool Reachable(ScreenFitArea& area, QWidget* control)
{
    area.ensureWidgetVisible(control, 0, 0);
    const QRect inView(control->mapTo(area.viewport(), QPoint(0, 0)), control->size());
    return area.viewport()->rect().contains(inView);
}

}  // namespace

TEST(Screens, AreTheOnesTheTestsAreWrittenFor)
{
    ASSERT_NE(Screen("Desktop"), nullptr);
    ASSERT_NE(Screen("Scaled"), nullptr);
    EXPECT_EQ(Screen("Desktop")->availableGeometry().size(), QSize(1920, 1080));
    EXPECT_EQ(Screen("Scaled")->availableGeometry().size(), QSize(1280, 720));  // 2560 x 1440 at scale factor 2
    ASSERT_NE(Screen("Small"), nullptr);
    EXPECT_EQ(Screen("Small")->availableGeometry().size(), QSize(1024, 600));
}

TEST_P(OnScreen, AnOrdinaryScreenShowsTheWindowAsItIs)
{
    QScreen* desktop = Screen("Desktop");
    ASSERT_NE(desktop, nullptr);
    std::unique_ptr<QWidget> window = GetParam().open(library);
    QWidget* const created = window.get();
    const std::unique_ptr<QWidget> shown = FittedToScreen(std::move(window), desktop);
    EXPECT_EQ(shown.get(), created);
    EXPECT_TRUE(shown->isWindow());
    EXPECT_EQ(shown->findChildren<QScrollArea*>(QStringLiteral("ScreenFitArea")).size(), 0);
}

// Shows the window on `screen`, where it does not fit: it is inside a scroll
// area that fits the screen, the same window with every control in its
// place, and its bottom and top can be scrolled into view.
void ExpectInAScrollAreaWithTheBottomInReach(std::unique_ptr<QWidget> window, QScreen& screen)
{
    QWidget* const created = window.get();
    const QSize size = created->size();
    const QRect viewGeometry = created->findChild<QWidget*>(QStringLiteral("btnView"))->geometry();
    const std::unique_ptr<QWidget> shown = FittedToScreen(std::move(window), &screen);
    auto* area = dynamic_cast<ScreenFitArea*>(shown.get());
    ASSERT_NE(area, nullptr);
    area->show();
    QApplication::processEvents();

    EXPECT_EQ(area->widget(), created);
    EXPECT_EQ(created->size(), size);
    EXPECT_EQ(created->findChild<QWidget*>(QStringLiteral("btnView"))->geometry(), viewGeometry);
    EXPECT_TRUE(screen.availableGeometry().contains(area->frameGeometry()))
        << area->frameGeometry().x() << "," << area->frameGeometry().y() << " " << area->frameGeometry().width()
        << "x" << area->frameGeometry().height();
    EXPECT_EQ(area->windowTitle(), created->windowTitle());
    // Wide enough for the window and its vertical scroll bar: nothing scrolls sideways.
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(area->verticalScrollBar()->isVisible());

    for (const char* control : {"StatusLine", "btnView", "btnConnect"})
        EXPECT_TRUE(Reachable(*area, created->findChild<QWidget*>(QString::fromLatin1(control)))) << control;

    // The area follows the window's caption; closing it closes the window.
    created->setWindowTitle(QStringLiteral("connected"));
    EXPECT_EQ(area->windowTitle(), "connected");
    EXPECT_TRUE(area->close());
    EXPECT_FALSE(created->isVisible());
}

TEST_P(OnScreen, ASmallScreenShowsTheWindowInAScrollAreaWithTheBottomInReach)
{
    QScreen* small = Screen("Small");
    ASSERT_NE(small, nullptr);
    ExpectInAScrollAreaWithTheBottomInReach(GetParam().open(library), *small);
}

TEST(ScaledScreen, ShowsTheSoap2WindowsInAScrollAreaWithTheBottomInReach)
{
    TempHome home;
    tessel::client::TokenLibrary library;
    QScreen* scaled = Screen("Scaled");
    ASSERT_NE(scaled, nullptr);
    for (const tessel::tester2::Soap2ToolDefinition* tool : tessel::tester2::RegisteredSoap2Tools()) {
        SCOPED_TRACE(tool->program);
        ExpectInAScrollAreaWithTheBottomInReach(std::make_unique<tessel::tester2::Soap2Window>(*tool, library),
                                                *scaled);
    }
}

INSTANTIATE_TEST_SUITE_P(AllTools, OnScreen, ::testing::ValuesIn(AllTools()), ToolName);

#include "Widgets/ScreenFit.h"

#include <QCloseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace tessel::widgets {

bool FitsScreen(const QSize& size, const QScreen& screen)
{
    const QSize available = screen.availableGeometry().size();
    return size.width() + kFrameWidth <= available.width() && size.height() + kFrameHeight <= available.height();
}

ScreenFitArea::ScreenFitArea(std::unique_ptr<QWidget> window)
{
    setObjectName(QStringLiteral("ScreenFitArea"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);  // the window keeps its fixed size; the area scrolls over it
    setWindowTitle(window->windowTitle());
    setWindowIcon(window->windowIcon());
    connect(window.get(), &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
    setWidget(window.release());  // owned by the area from here on
}

void ScreenFitArea::closeEvent(QCloseEvent* event)
{
    if (QWidget* window = widget(); window && window->isVisible() && !window->close())
        event->ignore();
}

std::unique_ptr<QWidget> FittedToScreen(std::unique_ptr<QWidget> window, QScreen* screen)
{
    if (!screen)
        screen = window->screen();
    if (!screen || FitsScreen(window->size(), *screen))
        return window;
    const QRect screenArea = screen->availableGeometry();
    const QRect available(screenArea.topLeft(), screenArea.size() - QSize(kFrameWidth, kFrameHeight));
    const QSize content = window->size();
    auto area = std::make_unique<ScreenFitArea>(std::move(window));
    const int bar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area.get());
    // A scroll bar along one side takes room from the other direction.
    const bool tooTall = content.height() > available.height(), tooWide = content.width() > available.width();
    const QSize wanted(content.width() + (tooTall ? bar : 0), content.height() + (tooWide ? bar : 0));
    area->setMaximumSize(wanted);
    area->resize(wanted.boundedTo(available.size()));
    area->move(available.topLeft());
    return area;
}

}  // namespace tessel::widgets

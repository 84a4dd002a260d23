// A fixed-size window on a screen too small for it: shown inside a scroll
// area, so that every control (the status line and the View button at the
// bottom too) can still be reached, in its place.
#pragma once

#include <QScrollArea>

#include <memory>

class QScreen;

namespace tessel::widgets {

// The room a window manager's frame (title bar and borders) is taken to need
// around a window, in pixels across and down.
inline constexpr int kFrameWidth = 8, kFrameHeight = 32;

// Whether a window of `size`, in its frame, fits the available area of
// `screen` (the screen less its panels), in the screen's own (scaled) pixels.
bool FitsScreen(const QSize& size, const QScreen& screen);

// The scroll area a window too large for its screen is shown in: it owns the
// window, is captioned as the window is (and follows its caption), and
// closing it closes the window first (a window that refuses to close keeps
// the area open).
class ScreenFitArea : public QScrollArea {
public:
    explicit ScreenFitArea(std::unique_ptr<QWidget> window);

protected:
    void closeEvent(QCloseEvent* event) override;
};

// What to show for a top-level window on `screen` (the window's own screen
// when null): the window itself when it fits the screen's available area
// (FitsScreen); otherwise a ScreenFitArea holding it, as large as the window
// and its scroll bars need but no larger than that area less the frame,
// placed at the area's top left corner. The window's controls keep their places either way.
std::unique_ptr<QWidget> FittedToScreen(std::unique_ptr<QWidget> window, QScreen* screen = nullptr);

}  // namespace tessel::widgets

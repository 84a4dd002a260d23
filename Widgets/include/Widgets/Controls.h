// The control factory of the tool windows: every control is named (its
// objectName is the name the tools' definitions give it), placed in twips at
// 15 twips a pixel, and owned by its parent widget.
#pragma once

#include <QFont>
#include <QFrame>
#include <QPlainTextEdit>
#include <QString>

#include <string>
#include <vector>

#include "Client/Layout.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tessel::widgets {

using client::Rect;

inline constexpr int kTwipsPerPixel = 15;

int Px(int twips);
QRect PxRect(const Rect& r);
QString Q(const std::string& s);

// A text a box shows: the tools' texts break lines with CR LF, the widgets
// with LF. Texts longer than `cap` characters are shown cut, with a last line
// that says how much is shown.
inline constexpr qsizetype kShownCharacters = 1 << 20;  // a payload box's cap
// A message box's cap: the longest reply the transport takes (64 MiB).
inline constexpr qsizetype kMessageCharacters = qsizetype{64} << 20;
QString ForDisplay(const std::string& text, qsizetype cap = kShownCharacters);
std::string FromDisplay(const QString& text);

// The 8-point dialog font a window's layout in twips is measured for: a
// narrow sans serif (Liberation Sans where it is installed), so that captions
// fit the places their controls have.
QFont DialogFont();

// Where a box may break a line that has no blank for this many characters
// and more: anywhere. Breaking such a run at word boundaries costs time that
// grows with the square of its length.
inline constexpr qsizetype kLongestWord = 1024;
// The longest run of characters without a blank or line break in a text.
qsizetype LongestRun(const QString& text);

// A multi-line box of plain text: pasting takes the clipboard's plain text
// only (and nothing when the clipboard is empty). A text with a run longer
// than kLongestWord is not wrapped (it scrolls sideways), so that it shows at once.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;
    void SetText(const std::string& text);
    std::string Text() const;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void FitWrapToText();
};

// A read-only view of a text of any shape, up to kMessageCharacters: a line
// longer than kViewLineCharacters is laid out in pieces (after a blank near
// the cut where there is one), so that only what is on screen is laid out.
// The pieces are display only: Text() and a copy of any selection give the
// text as it was set, without the breaks between pieces.
// A long text is shown from its first kViewLoadCharacters at once and the
// rest is added at the end in pieces of that size while the window's loop
// runs, so that the view shows within a moment whatever the text's size.
inline constexpr qsizetype kViewLineCharacters = 4096;
inline constexpr qsizetype kViewLoadCharacters = qsizetype{2} << 20;
class TextView : public QPlainTextEdit {
    Q_OBJECT
public:
    // `wrap`: long lines wrap at the box's width (else they scroll sideways).
    explicit TextView(QWidget* parent, bool wrap = true);
    void SetDisplayText(const QString& text);
    const QString& Text() const { return text_; }
    // Whether part of the text is still to be added to the view.
    bool Loading() const { return loaded_ < shown_.size(); }

protected:
    QMimeData* createMimeDataFromSelection() const override;

private:
    // The position in text_ of a position in the document.
    qsizetype TextPosition(qsizetype documentPosition) const;

    // Adds the next piece of shown_ at the end, and asks for the one after.
    void LoadMore();

    QString text_;
    QString shown_;        // text_ with the breaks between pieces
    qsizetype loaded_ = 0;  // how much of shown_ the view holds
    unsigned generation_ = 0;  // counts the texts set, so that a piece asked for an earlier one is not added
    std::vector<qsizetype> breaks_;  // document positions of the breaks between pieces, ascending
    bool wrap_;
};

// Captions are shown whole: a label, button or check box narrower than its
// text grows to the right.
QLabel* MakeLabel(QWidget* parent, const std::string& name, const std::string& text, const Rect& r);
QPushButton* MakeButton(QWidget* parent, const std::string& name, const std::string& caption, const Rect& r,
                        const std::string& toolTip = {});
QCheckBox* MakeCheckBox(QWidget* parent, const std::string& name, const std::string& caption, const Rect& r);
QGroupBox* MakeFrame(QWidget* parent, const std::string& name, const std::string& caption, const Rect& r);
QLineEdit* MakeLineEdit(QWidget* parent, const std::string& name, const Rect& r, bool password = false);
// A multi-line box: `scrollBar` gives it a vertical scroll bar at all times;
// `payloadFont` sets the 9-point font of the payload boxes.
TextBox* MakeTextBox(QWidget* parent, const std::string& name, const Rect& r, bool scrollBar, bool payloadFont = false);
QComboBox* MakeComboBox(QWidget* parent, const std::string& name, const Rect& r);
// The status line along the bottom of a window: `top` and `width` in pixels.
inline constexpr int kStatusLineHeight = 20;
QLabel* MakeStatusLine(QWidget* window, int top, int width);

// A straight line from (x1, y1) to (x2, y2), `thickness` pixels wide.
QFrame* MakeLine(QWidget* parent, const std::string& name, int x1, int y1, int x2, int y2, int thickness);

// Return in a single-line box or an editable combo box clicks `button`; a
// click of a disabled button does nothing.
void ReturnPresses(QWidget* box, QAbstractButton* button);

// The controls of a window that Tab reaches (those drawn in the window or in
// its frames, not the parts of a composite control), in the order Tab takes
// them: top to bottom by their place in the window, left to right along a line.
std::vector<QWidget*> TabStops(QWidget& window);
// Sets the window's Tab order to TabStops' order.
void OrderFocusTopToBottom(QWidget& window);

// A control whose caption must show whole within `room` pixels from its left edge.
struct CaptionRoom {
    QWidget* control;
    int room;
};

// Shows every caption of one group (the row labels of a window, the options
// of a frame) whole in its room, in one face for the whole group. When every
// caption fits in the controls' font nothing changes; otherwise the group
// takes the first narrower face of that font in which every caption fits
// (semi-condensed, then half a point smaller at a time down to 7 points; the
// last of these when none fits), and each control takes the width its caption
// needs, but no more than its room unless the caption needs it.
void FitCaptionsInRooms(const std::vector<CaptionRoom>& group);

}  // namespace tessel::widgets

#include "Widgets/Controls.h"

#include <algorithm>
#include <limits>

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>

#include "Client/TextRules.h"

namespace tessel::widgets {

namespace {

// The smallest face a caption takes to show whole.
constexpr qreal kSmallestCaptionPoints = 7.0;

// What a single-line box keeps of a text typed, pasted or set: all of it.
constexpr int kLineEditLength = std::numeric_limits<int>::max();

template <typename W>
W* Make(QWidget* parent, const std::string& name, const Rect& r)
{
    auto* w = new W(parent);  // owned by its parent, as Qt's widgets are
    w->setObjectName(Q(name));
    w->setGeometry(PxRect(r));
    return w;
}

// A caption is shown whole: the control grows to the right when its text needs
// it. `wanted` is the width its text needs.
void FitCaption(QWidget* w, int wanted)
{
    if (wanted > w->width())
        w->resize(wanted, w->height());
}

// The width a control needs to show its caption whole in its font.
int CaptionWidth(const QWidget* w)
{
    if (const auto* b = qobject_cast<const QPushButton*>(w))
        return b->fontMetrics().horizontalAdvance(b->text()) + 8;
    return w->sizeHint().width();
}

void FitCaption(QWidget* w)
{
    FitCaption(w, CaptionWidth(w));
}

}  // namespace

int Px(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect PxRect(const Rect& r)
{
    return QRect(Px(r.left), Px(r.top), Px(r.width), Px(r.height));
}

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

QString ForDisplay(const std::string& text, qsizetype cap)
{
    std::string_view shown = text;
    if (shown.size() > static_cast<std::size_t>(cap)) {
        std::size_t cut = static_cast<std::size_t>(cap);
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;  // not inside a character
        shown = shown.substr(0, cut);
    }
    QString q = QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
    q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (shown.size() < text.size())
        q += Q("\n[... shown " + client::Grouped(client::Characters(shown)) + " of " +
               client::Grouped(client::Characters(text)) + " characters]");
    return q;
}

std::string FromDisplay(const QString& text)
{
    QString s = text;
    s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return s.toStdString();
}

QFont DialogFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

qsizetype LongestRun(const QString& text)
{
    qsizetype longest = 0, run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

void TextBox::SetText(const std::string& text)
{
    const QString shown = ForDisplay(text);
    clear();  // so that a change of the wrap mode lays out nothing of the old text
    setLineWrapMode(LongestRun(shown) > kLongestWord ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    setPlainText(shown);
}

void TextBox::FitWrapToText()
{
    if (lineWrapMode() != QPlainTextEdit::NoWrap && LongestRun(toPlainText()) > kLongestWord)
        setLineWrapMode(QPlainTextEdit::NoWrap);
}

std::string TextBox::Text() const
{
    return FromDisplay(toPlainText());
}

// Qt's own paste reads the clipboard's data without checking that there is
// any; with an empty clipboard on X11 that ends the program.
bool TextBox::canInsertFromMimeData(const QMimeData* source) const
{
    return source && source->hasText();
}

void TextBox::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText())
        return;
    const QString text = source->text();
    if (LongestRun(text) > kLongestWord)
        setLineWrapMode(QPlainTextEdit::NoWrap);  // before the text is laid out
    insertPlainText(text);
    FitWrapToText();  // a run may have grown around the cursor
}

TextView::TextView(QWidget* parent, bool wrap) : QPlainTextEdit(parent), wrap_(wrap)
{
    setReadOnly(true);
    setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TextView::SetDisplayText(const QString& text)
{
    text_ = text;
    breaks_.clear();
    QString shown;
    shown.reserve(text.size() + text.size() / kViewLineCharacters + 1);
    constexpr qsizetype kLookBack = 256;  // how far before a cut a blank is looked for
    qsizetype lineStart = 0;
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype newline = text.indexOf(QLatin1Char('\n'), at);
        const qsizetype lineEnd = newline < 0 ? text.size() : newline;
        while (lineEnd - lineStart > kViewLineCharacters) {
            qsizetype cut = lineStart + kViewLineCharacters;
            for (qsizetype i = cut; i > cut - kLookBack; --i)
                if (text[i - 1] == QLatin1Char(' ')) {
                    cut = i;
                    break;
                }
            shown += QStringView(text).mid(lineStart, cut - lineStart);
            breaks_.push_back(shown.size());
            shown += QLatin1Char('\n');
            lineStart = cut;
        }
        const qsizetype next = newline < 0 ? text.size() : newline + 1;
        shown += QStringView(text).mid(lineStart, next - lineStart);
        at = lineStart = next;
    }
    clear();  // so that a change of the wrap mode lays out nothing of the old text
    setWordWrapMode(wrap_ && LongestRun(shown) > kLongestWord ? QTextOption::WrapAnywhere
                                                              : QTextOption::WrapAtWordBoundaryOrAnywhere);
    shown_ = std::move(shown);
    loaded_ = 0;
    ++generation_;
    LoadMore();
}

void TextView::LoadMore()
{
    if (!Loading())
        return;
    // A piece ends after a line break where one is near, so that the first
    // piece lays out as the whole text would.
    qsizetype end = std::min(shown_.size(), loaded_ + kViewLoadCharacters);
    if (end < shown_.size())
        if (const qsizetype newline = shown_.lastIndexOf(QLatin1Char('\n'), end - 1); newline >= loaded_)
            end = newline + 1;
    const QStringView piece = QStringView(shown_).mid(loaded_, end - loaded_);
    if (loaded_ == 0) {
        setPlainText(piece.toString());
    } else {
        QTextCursor atEnd(document());
        atEnd.movePosition(QTextCursor::End);
        atEnd.insertText(piece.toString());
    }
    loaded_ = end;
    if (Loading())
        QTimer::singleShot(0, this, [this, generation = generation_] {
            if (generation == generation_)  // not set anew meanwhile
                LoadMore();
        });
    else
        shown_ = QString();
}

qsizetype TextView::TextPosition(qsizetype documentPosition) const
{
    const auto before = std::lower_bound(breaks_.begin(), breaks_.end(), documentPosition) - breaks_.begin();
    return documentPosition - before;
}

QMimeData* TextView::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    const qsizetype from = TextPosition(cursor.selectionStart());
    // A selection to the end of a view still loading goes to the text's end.
    const bool toEnd = Loading() && cursor.selectionEnd() >= document()->characterCount() - 1;
    const qsizetype to = toEnd ? text_.size() : TextPosition(cursor.selectionEnd());
    auto* data = new QMimeData;  // handed to the caller, as Qt's own copy does
    data->setText(text_.mid(from, to - from));
    return data;
}

void TextBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QPlainTextEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

QLabel* MakeStatusLine(QWidget* window, int top, int width)
{
    auto* status = new QLabel(window);
    status->setObjectName(QStringLiteral("StatusLine"));
    status->setGeometry(0, top, width, kStatusLineHeight);
    status->setFrameShape(QFrame::StyledPanel);
    status->setFrameShadow(QFrame::Sunken);
    status->setContentsMargins(4, 0, 4, 0);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return status;
}

QLabel* MakeLabel(QWidget* parent, const std::string& name, const std::string& text, const Rect& r)
{
    auto* l = Make<QLabel>(parent, name, {r.left, r.top, r.width ? r.width : 1500, r.height ? r.height : 255});
    l->setText(Q(text));
    if (!r.width)
        l->adjustSize();
    else
        FitCaption(l);
    return l;
}

QPushButton* MakeButton(QWidget* parent, const std::string& name, const std::string& caption, const Rect& r,
                        const std::string& toolTip)
{
    auto* b = Make<QPushButton>(parent, name, r);
    b->setText(Q(caption));
    if (!toolTip.empty())
        b->setToolTip(Q(toolTip));
    FitCaption(b);
    return b;
}

QCheckBox* MakeCheckBox(QWidget* parent, const std::string& name, const std::string& caption, const Rect& r)
{
    auto* c = Make<QCheckBox>(parent, name, r);
    c->setText(Q(caption));
    FitCaption(c);
    return c;
}

QGroupBox* MakeFrame(QWidget* parent, const std::string& name, const std::string& caption, const Rect& r)
{
    auto* g = Make<QGroupBox>(parent, name, r);
    g->setTitle(Q(caption));
    return g;
}

QLineEdit* MakeLineEdit(QWidget* parent, const std::string& name, const Rect& r, bool password)
{
    auto* e = Make<QLineEdit>(parent, name, r);
    e->setMaxLength(kLineEditLength);  // Qt's default keeps only 32,767 characters
    if (password) {
        e->setEchoMode(QLineEdit::Password);
        e->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // '*'
    }
    return e;
}

TextBox* MakeTextBox(QWidget* parent, const std::string& name, const Rect& r, bool scrollBar, bool payloadFont)
{
    auto* box = Make<TextBox>(parent, name, r);
    if (scrollBar)
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (payloadFont) {
        QFont nine = box->font();
        nine.setPointSize(9);
        box->setFont(nine);
    }
    return box;
}

QComboBox* MakeComboBox(QWidget* parent, const std::string& name, const Rect& r)
{
    auto* c = Make<QComboBox>(parent, name, r);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->lineEdit()->setMaxLength(kLineEditLength);
    return c;
}

QFrame* MakeLine(QWidget* parent, const std::string& name, int x1, int y1, int x2, int y2, int thickness)
{
    auto* line = new QFrame(parent);
    line->setObjectName(Q(name));
    const int t = std::max(thickness, 1);
    if (y1 == y2)
        line->setGeometry(Px(std::min(x1, x2)), Px(y1) - t / 2, std::max(Px(std::abs(x2 - x1)), 1), t);
    else
        line->setGeometry(Px(x1) - t / 2, Px(std::min(y1, y2)), t, std::max(Px(std::abs(y2 - y1)), 1));
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, Qt::black);
    line->setPalette(p);
    return line;
}

void ReturnPresses(QWidget* box, QAbstractButton* button)
{
    QLineEdit* edit = qobject_cast<QLineEdit*>(box);
    if (auto* combo = qobject_cast<QComboBox*>(box))
        edit = combo->lineEdit();
    if (edit && button)
        QObject::connect(edit, &QLineEdit::returnPressed, button, &QAbstractButton::click);
}

std::vector<QWidget*> TabStops(QWidget& window)
{
    std::vector<QWidget*> stops;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (w->window() != &window || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        bool drawn = true;  // in the window or its frames, not inside another control
        for (QWidget* p = w->parentWidget(); p && p != &window; p = p->parentWidget())
            drawn = drawn && qobject_cast<QGroupBox*>(p);
        if (drawn)
            stops.push_back(w);
    }
    const auto place = [&window](const QWidget* w) { return w->mapTo(&window, QPoint(0, 0)); };
    std::stable_sort(stops.begin(), stops.end(), [&](const QWidget* a, const QWidget* b) {
        const QPoint pa = place(a), pb = place(b);
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    return stops;
}

void OrderFocusTopToBottom(QWidget& window)
{
    const std::vector<QWidget*> stops = TabStops(window);
    for (std::size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1], stops[i]);
}

void FitCaptionsInRooms(const std::vector<CaptionRoom>& group)
{
    if (group.empty())
        return;
    const QFont base = group.front().control->font();
    const auto fits = [&](const QFont& face) {
        bool all = true;
        for (const auto& [control, room] : group) {
            control->setFont(face);
            all = all && CaptionWidth(control) <= room;
        }
        return all;
    };
    if (fits(base))
        return;
    QFont face = base;
    face.setStretch(QFont::SemiCondensed);
    for (qreal points = base.pointSizeF(); !fits(face) && points - 0.5 >= kSmallestCaptionPoints;) {
        points -= 0.5;
        face.setPointSizeF(points);
    }
    for (const auto& [control, room] : group)
        control->resize(std::max(CaptionWidth(control), std::min(control->width(), room)), control->height());
}

}  // namespace tessel::widgets

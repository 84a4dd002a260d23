// Long texts in the boxes and message boxes, offscreen: a line of any length
// shows laid out in bounded pieces and is copied as it was; message boxes
// show a result whole up to the transport's limit and stay within
// themselves on a small screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScreen>
#include <QTextBlock>

#include "Widgets/Controls.h"
#include "Widgets/MessageBox.h"

using namespace tessel;
using widgets::MessageDialog;
using widgets::TextView;

namespace {

// The longest block of a box's document: what one layout has to hold.
qsizetype LongestBlock(const QPlainTextEdit& box)
{
    qsizetype longest = 0;
    for (QTextBlock b = box.document()->begin(); b.isValid(); b = b.next())
        longest = std::max<qsizetype>(longest, b.length());
    return longest;
}

std::string LongLine(std::size_t n)
{
    std::string s(n, 'x');
    for (std::size_t i = 0; i < n; i += 7)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

}  // namespace

TEST(LongText, AMessageBoxShowsAOneLineResultWholeInBoundedPiecesAndCopiesItAsItWas)
{
    const std::string line = LongLine(std::size_t{3} << 20);  // beyond a payload box's 1 MiB
    MessageDialog box(nullptr, "Result of GetVOContent", line, client::Icon::None);
    auto* view = qobject_cast<TextView*>(box.textWidget());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->Text().toStdString(), line);
    EXPECT_LE(LongestBlock(*view), widgets::kViewLineCharacters + 1);
    // A selection across the pieces, and all of it, copy as the text was.
    QTextCursor c = view->textCursor();
    c.setPosition(4000);
    c.setPosition(4000 + 3 * widgets::kViewLineCharacters, QTextCursor::KeepAnchor);
    view->setTextCursor(c);
    view->copy();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied.size(), 3 * widgets::kViewLineCharacters - 3);  // three breaks between pieces left out
    EXPECT_FALSE(copied.contains(QLatin1Char('\n')));
    EXPECT_EQ(copied.toStdString(), line.substr(4000, copied.size()));
    view->selectAll();
    view->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text().size(), static_cast<qsizetype>(line.size()));
}

TEST(LongText, ALargeTextShowsItsBeginningAtOnceAndTheRestWhileTheLoopRuns)
{
    std::string lines;
    for (int i = 0; lines.size() < 3 * static_cast<std::size_t>(widgets::kViewLoadCharacters); ++i)
        lines += "line " + std::to_string(i) + " of the result\n";
    const std::string text = lines + LongLine(10000);
    TextView view(nullptr);
    view.SetDisplayText(QString::fromStdString(text));
    ASSERT_TRUE(view.Loading());
    EXPECT_LE(view.document()->characterCount(), widgets::kViewLoadCharacters + 1);
    EXPECT_TRUE(view.document()->firstBlock().text() == "line 0 of the result");
    // Select all and copy while it loads: the whole text.
    view.selectAll();
    view.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), text);
    // A new text set meanwhile replaces it, and what was asked for the old one adds nothing.
    view.SetDisplayText(QString::fromStdString(text));
    for (int turns = 0; view.Loading() && turns < 100; ++turns)
        QCoreApplication::processEvents();
    ASSERT_FALSE(view.Loading());
    QCoreApplication::processEvents();
    EXPECT_EQ(view.document()->characterCount(), static_cast<int>(text.size()) + 2 + 1);  // two breaks, and the end
    EXPECT_EQ(view.document()->lastBlock().text().size(), 10000 - 2 * widgets::kViewLineCharacters);
    view.selectAll();
    view.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), text);
}

TEST(LongText, APieceEndsAfterABlankNearItsCutAndLineBreaksStay)
{
    TextView view(nullptr);
    const std::string text = std::string(100, 'a') + "\n" + LongLine(4000) + " " + LongLine(6000);
    view.SetDisplayText(QString::fromStdString(text));
    EXPECT_EQ(view.Text().toStdString(), text);
    ASSERT_EQ(view.document()->blockCount(), 4);  // the short line, then the long one in three pieces
    EXPECT_EQ(view.document()->findBlockByNumber(1).text().size(), 4001);  // up to the blank
    EXPECT_TRUE(view.document()->findBlockByNumber(1).text().endsWith(QLatin1Char(' ')));
    EXPECT_EQ(view.document()->findBlockByNumber(2).text().size(), widgets::kViewLineCharacters);
    EXPECT_EQ(view.document()->findBlockByNumber(3).text().size(), 6000 - widgets::kViewLineCharacters);
}

TEST(LongText, AnEditableBoxWithALongRunScrollsInsteadOfWrapping)
{
    widgets::TextBox box;
    box.SetText("short words wrap as before");
    EXPECT_EQ(box.lineWrapMode(), QPlainTextEdit::WidgetWidth);
    box.SetText(LongLine(300000));
    EXPECT_EQ(box.lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(box.Text().size(), 300000u);
}

TEST(LongText, AMessageBoxOnASmallScreenLaysOutWithinItself)
{
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    ASSERT_LE(screen.width(), 800);  // the offscreen screen: 800 x 600
    for (const client::Icon icon : {client::Icon::None, client::Icon::Exclamation}) {
        std::string text;
        for (int i = 0; i < 200; ++i)
            text += "line " + std::to_string(i) + " of a long fault detail that goes on and on and on\r\n";
        MessageDialog box(nullptr, "Error on GetVOContentbyURIwithLock", text, icon);
        box.show();
        QApplication::processEvents();
        EXPECT_LE(box.width(), screen.width());
        EXPECT_LE(box.height(), screen.height());
        const QRect inside(QPoint(0, 0), box.size());
        EXPECT_TRUE(inside.contains(box.textWidget()->geometry()))
            << box.textWidget()->geometry().right() << " in a box " << box.width() << " wide";
    }
}

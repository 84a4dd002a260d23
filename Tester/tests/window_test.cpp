// TSTestTool3's real window, offscreen: controls, layout, and a session with
// real modal message boxes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <set>

#include "BoxCloser.h"
#include "Client/StatusLines.h"
#include "FocusChain.h"
#include "ServiceProcess.h"
#include "TempHome.h"
#include "Tester/ToolRegistry.h"
#include "Widgets/Controls.h"
#include "Widgets/MessageBox.h"
#include "ToolWindow.h"

using namespace tessel::tester;
using tessel::client::TokenLibrary;
using tessel::widgets::MessageDialog;
using tessel::widgets::TextBox;

const ToolDefinition& Tool3()
{
    return *FindTool("TSTestTool3");
}

namespace {


template <typename W = QWidget>
W* Find(QWidget& window, const char* name)
{
    W* w = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

class Tool3Window : public ::testing::Test {
protected:
    TempHome home;
    TokenLibrary library;
    ToolWindow window{Tool3(), library};
};

}  // namespace

TEST_F(Tool3Window, ControlsAreNamedPlacedAndCaptioned)
{
    EXPECT_EQ(window.size(), QSize(542, 709 + tessel::widgets::kStatusLineHeight));  // 8130 x 10635 twips
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.windowTitle(), "TesselService SOAP Interface TestTool #3 (LogDB & ResACL)");
    EXPECT_EQ(Find<QGroupBox>(window, "Frame1")->title(), " TesselService SOAP 1.0 Dec Interface Tester ");
    EXPECT_EQ(Find(window, "Frame1")->geometry(), QRect(0, 0, 537, 585));
    QLabel* title = Find<QLabel>(window, "Label2");
    EXPECT_EQ(title->text(), "LogDB Interface Test");
    EXPECT_TRUE(title->font().bold());
    EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 11.25);
    EXPECT_EQ(Find<QLabel>(window, "Label3")->text(), "SOAP / HTTP");
    EXPECT_EQ(Find<QLabel>(window, "Label11")->text(),
              "Enter full URI path of Service Description file below and click Connect");
    EXPECT_EQ(Find(window, "txtURI")->geometry(), QRect(8, 456, 433, 19));
    EXPECT_EQ(Find<QLineEdit>(window, "txtURI")->text(), "http://localhost:8080/TesselService/TesselServiceCore.xml");
    auto* connect = Find<QAbstractButton>(window, "btnConnect");
    EXPECT_EQ(connect->geometry(), QRect(464, 448, 65, 25));
    EXPECT_EQ(connect->text(), "Connect");
    EXPECT_EQ(connect->toolTip(), "Connect to SOAP Server and load Service Description file");
    auto* list = Find<QAbstractButton>(window, "btnListWSDataMethods");
    EXPECT_EQ(list->text(), "List");
    EXPECT_EQ(list->toolTip(), "List available methods.");
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(Find<QCheckBox>(window, "chkShowPackets")->text(), "Show SOAP  XML payload data");
    EXPECT_EQ(Find<QCheckBox>(window, "chkShowMethods")->text(), "Show methods when loading XML");
    EXPECT_EQ(Find<QGroupBox>(window, "Frame3")->title(), "Options");
    EXPECT_EQ(Find(window, "CreateTicket")->geometry(), QRect(8, 560, 113, 17));
    EXPECT_EQ(Find<QAbstractButton>(window, "btnExit")->text(), "Exit");
    EXPECT_EQ(Find<QLineEdit>(window, "Principal")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Find<QLineEdit>(window, "Service")->text(), "tsc");
    EXPECT_EQ(Find<QLineEdit>(window, "Authority")->text(), "LDAP://ldap.example.test");
    for (const auto& [name, rect, text] : {std::tuple{"Request", QRect(0, 600, 217, 49), "Request"},
                                           {"Result", QRect(0, 656, 217, 49), "Result"},
                                           {"Response", QRect(216, 600, 321, 105), "Response"}}) {
        auto* box = Find<TextBox>(window, name);
        EXPECT_EQ(box->geometry(), rect) << name;
        EXPECT_EQ(box->toPlainText(), text);
        EXPECT_EQ(box->font().pointSize(), 9);
    }
    EXPECT_EQ(Find<QLabel>(window, "Label14")->text(), "Request Content:");
    EXPECT_EQ(Find<QLabel>(window, "Label22")->text(), "Response Content:");
    // Every row: its label, boxes with their defaults, a disabled "Send" in the button column.
    for (const Row& row : Tool3().rows) {
        auto* send = Find<QAbstractButton>(window, row.button.c_str());
        ASSERT_NE(send, nullptr);
        EXPECT_EQ(send->text(), "Send");
        EXPECT_FALSE(send->isEnabled());
        EXPECT_EQ(send->x(), 464);
        EXPECT_EQ(Find<QLabel>(window, (row.button + "_Label").c_str())->text().toStdString(), row.label);
        for (const Param& p : row.params) {
            auto* box = Find<QLineEdit>(window, p.box.c_str());
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text().toStdString(), Tool3().BoxNamed(p.box)->text);
            EXPECT_EQ(box->y(), send->y());
            EXPECT_LT(box->geometry().right(), send->x());
        }
    }
}

TEST_F(Tool3Window, ASessionWithRealMessageBoxes)
{
    ServiceProcess svc;
    BoxCloser closer;
    Find<QLineEdit>(window, "txtURI")->setText(QString::fromStdString(svc.MainDescription()));
    Find<QAbstractButton>(window, "btnConnect")->click();
    EXPECT_TRUE(Find(window, "CreateTicket")->isEnabled());
    EXPECT_TRUE(closer.seen.empty());
    Find<QLineEdit>(window, "UserKey")->setText("tester");
    Find<QLineEdit>(window, "Principal")->setText("tester");
    Find<QAbstractButton>(window, "CreateTicket")->click();
    EXPECT_TRUE(Find(window, "btnLogCount")->isEnabled());
    EXPECT_TRUE(Find(window, "CloseSession")->isEnabled());

    Find<QAbstractButton>(window, "btnLogCount")->click();
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].title, "Result of GetLogCount");
    EXPECT_EQ(closer.seen[0].text, "1");
    EXPECT_EQ(closer.seen[0].icon, tessel::client::Icon::None);
    EXPECT_FALSE(closer.seen[0].waitCursor);
    EXPECT_EQ(Find<TextBox>(window, "Result")->toPlainText(), "1");
    EXPECT_TRUE(Find<TextBox>(window, "Request")->toPlainText().contains(":GetLogCount"));

    Find<QAbstractButton>(window, "btnSS")->click();  // GetLog with "logID": the server refuses it
    ASSERT_EQ(closer.seen.size(), 2u);
    EXPECT_EQ(closer.seen[1].title, "Error on GetLog");
    EXPECT_EQ(closer.seen[1].icon, tessel::client::Icon::Exclamation);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    Find<QCheckBox>(window, "chkShowPackets")->setChecked(true);
    Find<QAbstractButton>(window, "btnGAList")->click();
    ASSERT_EQ(closer.seen.size(), 5u);
    EXPECT_EQ(closer.seen[2].title, "SOAP XML Payload - Client to Server(GetLogIDList)");
    EXPECT_EQ(closer.seen[3].title, "SOAP XML Payload -  Server To Client(GetLogIDList)");
    EXPECT_EQ(closer.seen[4].title, "Result of GetLogIDList");

    Find<QAbstractButton>(window, "btnPutResourceACL")->click();
    EXPECT_NE(Find<QLineEdit>(window, "UserKey")->text(), "tester");

    Find<QAbstractButton>(window, "CloseSession")->click();
    EXPECT_FALSE(Find(window, "btnLogCount")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(window, "UserKey")->text(), "");
    EXPECT_EQ(Find<QLineEdit>(window, "Principal")->text(), "");

    window.show();
    Find<QAbstractButton>(window, "btnExit")->click();
    EXPECT_FALSE(window.isVisible());
}

class EveryWindow : public ::testing::TestWithParam<const ToolDefinition*> {
protected:
    const ToolDefinition& tool() const { return *GetParam(); }
    TempHome home;
    TokenLibrary library;
    ToolWindow window{tool(), library};
};

std::string ToolName(const ::testing::TestParamInfo<const ToolDefinition*>& info)
{
    return info.param->program;
}

TEST_P(EveryWindow, IsNamedSizedAndCaptioned)
{
    EXPECT_EQ(window.objectName().toStdString(), tool().WindowName());
    // The window is the tool's client area and the status line under it.
    EXPECT_EQ(window.size(), QSize(tessel::widgets::Px(tool().clientWidth),
                                   tessel::widgets::Px(tool().clientHeight) + tessel::widgets::kStatusLineHeight));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.windowTitle().toStdString(), tool().windowTitle);
    const auto titles = window.findChildren<QLabel*>("Label2");
    ASSERT_EQ(titles.size(), tool().titleLabel.empty() ? 0 : 1);
    if (!titles.empty()) {
        EXPECT_EQ(titles[0]->text().toStdString(), tool().titleLabel);
        EXPECT_EQ(titles[0]->pos(), tessel::widgets::PxRect(tool().titleLabelRect).topLeft());
        EXPECT_TRUE(titles[0]->font().bold());
    }
}

TEST_P(EveryWindow, EveryBoxIsOneWidgetInItsPlaceWithItsDefault)
{
    for (const Box& box : tool().boxes) {
        const auto widgets = window.findChildren<QWidget*>(QString::fromStdString(box.name));
        ASSERT_EQ(widgets.size(), 1) << box.name;
        const QRect expected = tessel::widgets::PxRect(box.rect);
        EXPECT_EQ(widgets[0]->geometry(), expected) << box.name;
        EXPECT_EQ(window.Text(box.name), box.text) << box.name;
    }
}

TEST_P(EveryWindow, EveryRowHasItsLabelAndADisabledButton)
{
    for (const Row& row : tool().rows) {
        const auto buttons = window.findChildren<QAbstractButton*>(QString::fromStdString(row.button));
        ASSERT_EQ(buttons.size(), 1) << row.button;
        EXPECT_EQ(buttons[0]->text().toStdString(), row.caption);
        EXPECT_FALSE(buttons[0]->isEnabled()) << row.button;
        EXPECT_EQ(buttons[0]->geometry().topLeft(), tessel::widgets::PxRect(row.buttonRect).topLeft()) << row.button;
        auto* label = Find<QLabel>(window, (row.button + "_Label").c_str());
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text().toStdString(), row.label);
        EXPECT_EQ(label->pos(), tessel::widgets::PxRect(row.labelRect).topLeft()) << row.label;
    }
    for (const Label& l : tool().labels) {
        auto* label = Find<QLabel>(window, l.name.c_str());
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text().toStdString(), l.text);
        EXPECT_EQ(label->pos(), tessel::widgets::PxRect(l.rect).topLeft()) << l.name;
    }
    for (const Line& l : tool().lines) {
        auto* line = Find(window, l.name.c_str());
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->x(), tessel::widgets::Px(l.x1)) << l.name;
        EXPECT_EQ(line->width(), tessel::widgets::Px(l.x2 - l.x1)) << l.name;
        EXPECT_EQ(line->height(), l.thickness) << l.name;
        EXPECT_NEAR(line->y(), tessel::widgets::Px(l.y1), 1) << l.name;
    }
}

TEST_P(EveryWindow, ShowsEveryCaptionWholeAndEveryControlInside)
{
    const QRect inside(QPoint(0, 0), window.size());
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->parentWidget() == nullptr || !w->isVisibleTo(&window))
            continue;
        const QRect placed(w->mapTo(&window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(inside.contains(placed)) << w->objectName().toStdString();
        EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()))
            << w->objectName().toStdString() << " is cut by " << w->parentWidget()->objectName().toStdString();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            EXPECT_GE(check->width(), check->sizeHint().width()) << check->text().toStdString();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()))
                << button->text().toStdString();
        }
    }
}

TEST_P(EveryWindow, ControlsOfTheFramesNeitherOverlapNorLeaveTheirFrame)
{
    for (const char* frameName : {"Frame1", "Frame3"}) {
        auto* frame = Find<QGroupBox>(window, frameName);
        ASSERT_NE(frame, nullptr);
        // Inside the frame's border; a title label may stand beside the frame's own title.
        QRect inside = frame->contentsRect();
        inside.setTop(0);
        std::vector<QWidget*> controls;
        for (QWidget* w : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!w->objectName().isEmpty() && w->isVisibleTo(&window))
                controls.push_back(w);
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const std::string name = controls[i]->objectName().toStdString();
            EXPECT_TRUE(inside.contains(controls[i]->geometry())) << name;
            for (std::size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                    << name << " and " << controls[j]->objectName().toStdString();
        }
    }
}

TEST_P(EveryWindow, NoTwoControlsOverlap)
{
    // Labels, buttons, check boxes and text boxes; frames hold the others.
    std::vector<QWidget*> controls;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || !w->isVisibleTo(&window) || qobject_cast<QGroupBox*>(w) ||
            w->objectName().startsWith("qt_") || !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                                                   qobject_cast<QLineEdit*>(w) || qobject_cast<TextBox*>(w)))
            continue;
        controls.push_back(w);
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const QRect a(controls[i]->mapTo(&window, QPoint(0, 0)), controls[i]->size());
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            const QRect b(controls[j]->mapTo(&window, QPoint(0, 0)), controls[j]->size());
            const QRect both = a.intersected(b);  // the payload boxes share a pixel column, as placed
            const auto where = [](QWidget* w, const QRect& r) {
                return w->objectName().toStdString() + " at " + std::to_string(r.x()) + "," + std::to_string(r.y()) +
                       " " + std::to_string(r.width()) + "x" + std::to_string(r.height());
            };
            EXPECT_FALSE(both.width() > 1 && both.height() > 1)
                << where(controls[i], a) << " and " << where(controls[j], b);
        }
    }
}

TEST_P(EveryWindow, LineBoxesShowTheStartOfTheirText)
{
    for (QLineEdit* e : window.findChildren<QLineEdit*>())
        EXPECT_EQ(e->cursorPosition(), 0) << e->objectName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(AllTools, EveryWindow, ::testing::ValuesIn(RegisteredTools()), ToolName);

TEST(MessageBoxes, ALongTextScrollsInsideABoxThatFitsTheScreen)
{
    std::string listing;
    for (int i = 1; i <= 400; ++i)
        listing += std::to_string(i) + ". Function Method" + std::to_string(i) + "(byval user as string) as string\r\n";
    MessageDialog box(nullptr, "Available methods - TesselServiceCore", listing, tessel::client::Icon::None);
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(box.sizeHint().height(), screen.height());
    EXPECT_LE(box.sizeHint().width(), screen.width());
    auto* text = qobject_cast<QPlainTextEdit*>(box.textWidget());
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_NE(text->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(text->toPlainText().startsWith("1. Function Method1(byval"));
    EXPECT_NE(box.findChild<QAbstractButton*>("OK"), nullptr);
}

TEST(MessageBoxes, AShortTextCanBeSelectedAndTheTitleShowsWhole)
{
    MessageDialog box(nullptr, "Result of GetVOResourceModuleNameList", "modulename", tessel::client::Icon::None);
    auto* label = qobject_cast<QLabel*>(box.textWidget());
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_GT(box.minimumWidth(), box.fontMetrics().horizontalAdvance(box.windowTitle()));
    box.adjustSize();
    EXPECT_GE(box.width(), box.minimumWidth());
}

TEST(PayloadBoxes, AVeryLongTextIsShownCutAndSaysSo)
{
    TextBox box;
    const std::string huge(50u << 20, 'x');
    box.SetText(huge);
    const QString shown = box.toPlainText();
    EXPECT_LT(shown.size(), 2 << 20);
    EXPECT_TRUE(shown.endsWith("[... shown 1,048,576 of 52,428,800 characters]")) << shown.right(80).toStdString();
    box.SetText("line one\r\nline two");
    EXPECT_EQ(box.Text(), "line one\r\nline two");
}

TEST_P(EveryWindow, TabTakesEveryControlTopToBottom)
{
    const std::vector<QWidget*> chain = FocusChain(window);
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(FirstOutOfOrder(window, chain), "");
    EXPECT_EQ(NotInChain(tool(), chain), std::vector<std::string>{});
    std::set<std::string> reached;
    for (QWidget* w : chain)
        reached.insert(w->objectName().toStdString());
    for (const std::string& name : {std::string("txtURI"), std::string("btnConnect"), tool().authorityBox,
                                    tool().realmBox, std::string("Service"), std::string("UserKey"), tool().passwordBox,
                                    std::string("chkShowPackets"), std::string("chkShowMethods"),
                                    std::string("CreateTicket"), std::string("CloseSession"), std::string("btnExit"),
                                    tool().requestBox, tool().resultBox, tool().responseBox, std::string("btnView")})
        EXPECT_TRUE(reached.count(name)) << name;
}

// Return in the description box connects; Return in a login box logs in once
// CreateTicket is enabled, and does nothing before.
TEST_P(EveryWindow, ReturnConnectsInTheDescriptionBoxAndLogsInFromALoginBox)
{
    ServiceProcess svc;
    BoxCloser closer;
    auto* ticket = Find<QAbstractButton>(window, "CreateTicket");
    QSignalSpy ticketPressed(ticket, &QAbstractButton::clicked);
    window.SetText("UserKey", "tester");
    window.SetText(tool().passwordBox, "tester");
    const std::vector<std::string> loginBoxes = {tool().authorityBox, tool().realmBox, "Service", "UserKey",
                                                 tool().passwordBox};
    for (const std::string& box : loginBoxes)
        QTest::keyClick(window.Control(box), Qt::Key_Return);
    EXPECT_EQ(ticketPressed.count(), 0);
    EXPECT_TRUE(closer.seen.empty());

    window.SetDescription(svc.MainDescription());
    QSignalSpy connectPressed(Find<QAbstractButton>(window, "btnConnect"), &QAbstractButton::clicked);
    QTest::keyClick(window.Control("txtURI"), Qt::Key_Return);
    EXPECT_EQ(connectPressed.count(), 1);
    ASSERT_TRUE(ticket->isEnabled()) << (closer.seen.empty() ? "" : closer.seen[0].text);

    QTest::keyClick(window.Control(tool().passwordBox), Qt::Key_Return);
    EXPECT_EQ(ticketPressed.count(), 1);
    EXPECT_TRUE(Find(window, "CloseSession")->isEnabled()) << (closer.seen.empty() ? "" : closer.seen[0].text);
    QTest::keyClick(window.Control("UserKey"), Qt::Key_Return);  // logged in: CreateTicket is off again
    EXPECT_EQ(ticketPressed.count(), 1);
}

// With no service at the description's host, the box says "Service is
// unavailable." and the status line, what was tried and how to start a
// local service: the hint shows whole however long the line.
TEST_F(Tool3Window, AConnectThatReachesNoServiceSaysHowToStartOne)
{
    BoxCloser closer;
    const std::string uri = "http://127.0.0.1:1/TesselService/TesselServiceCore.xml";
    window.SetDescription(uri);
    QTest::keyClick(window.Control("txtURI"), Qt::Key_Return);
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].title, "TSTestTool3");
    EXPECT_EQ(closer.seen[0].text, "Service is unavailable.");
    auto* status = Find<QLabel>(window, "StatusLine");
    const std::string whole = status->toolTip().toStdString();
    EXPECT_EQ(whole.rfind("Not connected to " + uri + ": Could not connect", 0), 0u) << whole;
    EXPECT_TRUE(whole.ends_with(tessel::client::kLocalServiceHint)) << whole;
    EXPECT_TRUE(status->text().endsWith(tessel::client::kLocalServiceHint)) << status->text().toStdString();
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->width());
}

TEST(Tool5Window, ReturnInTheAdminDescriptionBoxConnectsTheAdminInterface)
{
    TempHome home;
    TokenLibrary library;
    ServiceProcess svc;
    BoxCloser closer;
    ToolWindow window(*FindTool("TSTestTool5"), library);
    QSignalSpy pressed(Find<QAbstractButton>(window, "BtnConnectAdmin"), &QAbstractButton::clicked);
    window.SetText("txtAdminURI", svc.AdminDescription());
    QTest::keyClick(window.Control("txtAdminURI"), Qt::Key_Return);
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(window.core().session().adminDescriptionURI, svc.AdminDescription());
    EXPECT_FALSE(window.core().session().adminDescriptionText.empty())
        << (closer.seen.empty() ? "" : closer.seen[0].title + ": " + closer.seen[0].text);
}

// The SOAP 2.0 tools' real windows, offscreen: every control named and in its
// place, and a session of TSTestToolSP2 with real modal message boxes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <set>

#include "BoxCloser.h"
#include "Client/StatusLines.h"
#include "FocusChain.h"
#include "ServiceProcess.h"
#include "Soap2Window.h"
#include "TempHome.h"
#include "Tester2/Soap2ToolRegistry.h"
#include "Widgets/Controls.h"
#include "Widgets/MessageBox.h"

using namespace tessel::tester2;
using tessel::client::TokenLibrary;
using tessel::widgets::MessageDialog;
using tessel::widgets::Px;
using tessel::widgets::PxRect;
using tessel::widgets::TextBox;

namespace {


template <typename W = QWidget>
W* Find(QWidget& window, const std::string& name)
{
    W* w = window.findChild<W*>(QString::fromStdString(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// A control's place in the window, whatever it is drawn inside.
QRect Placed(QWidget& window, QWidget* w)
{
    return QRect(w->mapTo(&window, QPoint(0, 0)), w->size());
}

std::string ToolName(const ::testing::TestParamInfo<const Soap2ToolDefinition*>& info)
{
    return info.param->program;
}

class EveryWindow : public ::testing::TestWithParam<const Soap2ToolDefinition*> {
protected:
    const Soap2ToolDefinition& tool() const { return *GetParam(); }
    TempHome home;
    TokenLibrary library;
    Soap2Window window{tool(), library};
};

}  // namespace

TEST_P(EveryWindow, IsNamedSizedAndCaptioned)
{
    EXPECT_EQ(window.objectName(), "frmMain");
    // The window is the tool's client area and the status line under it.
    EXPECT_EQ(window.size(), QSize(Px(tool().clientWidth), Px(tool().clientHeight) + tessel::widgets::kStatusLineHeight));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.windowTitle().toStdString(), tool().caption);
}

TEST_P(EveryWindow, SharedControlsAreInTheirPlacesWithTheirTexts)
{
    EXPECT_EQ(Find<QLabel>(window, "Label1")->text(), "WSDL:");
    auto* wsdl = Find<QComboBox>(window, kWsdlBox);
    ASSERT_NE(wsdl, nullptr);
    EXPECT_TRUE(wsdl->isEditable());
    EXPECT_EQ(wsdl->geometry(), PxRect(tool().wsdlRect));
    ASSERT_EQ(wsdl->count(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(wsdl->itemText(i).toStdString(), DefaultDescriptionUrls()[static_cast<std::size_t>(i)]);
    EXPECT_EQ(wsdl->currentText().toStdString(), DefaultDescriptionUrls().front());
    EXPECT_EQ(wsdl->lineEdit()->cursorPosition(), 0);
    auto* connect = Find<QAbstractButton>(window, kConnectButton);
    EXPECT_EQ(connect->geometry(), PxRect(tool().connectRect));
    EXPECT_EQ(connect->text(), "Connect");
    EXPECT_TRUE(connect->isEnabled());

    // The session frame is a border around the login buttons, not their parent.
    auto* session = Find<QGroupBox>(window, "SessionFrame");
    EXPECT_EQ(session->title(), "Session");
    EXPECT_EQ(session->geometry(), PxRect({0, 480, 2895, 735}));
    for (const auto& [name, caption, rect] :
         {std::tuple{kCreateTicketButton, "CreateTicket", PxRect({120, 720, 1215, 375})},
          {kCloseSessionButton, "CloseSession", PxRect({1560, 720, 1215, 375})}}) {
        auto* button = Find<QAbstractButton>(window, name);
        EXPECT_EQ(button->text(), caption);
        EXPECT_EQ(button->geometry(), rect);
        EXPECT_EQ(button->parentWidget(), &window);
        EXPECT_TRUE(session->geometry().contains(button->geometry()));
        EXPECT_FALSE(button->isEnabled());
    }
    for (const auto& [name, text] : {std::pair{"Label8", "User Name"}, {"Label9", "Password"}, {"Label5", "Authority"},
                                     {"Label6", "realm"}, {"Label7", "Service"}})
        EXPECT_EQ(Find<QLabel>(window, name)->text(), text);
    EXPECT_EQ(Find(window, kUserNameBox)->geometry(), PxRect({5640, 570, 1815, 285}));
    auto* password = Find<QLineEdit>(window, kPasswordBox);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(password->geometry(), PxRect({5640, 960, 1815, 285}));
    EXPECT_EQ(Find<QLineEdit>(window, kAuthorityBox)->text(), "LDAP://ldap.example.test");
    EXPECT_EQ(Find<QLineEdit>(window, kRealmBox)->text(), "example.test");
    EXPECT_EQ(Find(window, kRealmBox)->geometry(), PxRect({5040, 1680, 2415, 375}));
    EXPECT_EQ(Find<QLineEdit>(window, kServiceBox)->text(), "tsc");

    auto* line = Find(window, "Line1");
    EXPECT_EQ(line->geometry(), QRect(0, Px(tool().separatorTop) - 1, Px(7560), 3));
    auto* result = Find<TextBox>(window, kResultBox);
    EXPECT_EQ(result->geometry(), PxRect(tool().resultRect));
    EXPECT_EQ(result->toPlainText(), "Result");
}

TEST_P(EveryWindow, EveryBoxIsOneWidgetInItsPlaceWithItsDefault)
{
    for (const Box& box : tool().boxes) {
        const auto widgets = window.findChildren<QWidget*>(QString::fromStdString(box.name));
        ASSERT_EQ(widgets.size(), 1) << box.name;
        QWidget* w = widgets[0];
        EXPECT_EQ(Placed(window, w), PxRect(box.rect)) << box.name;
        EXPECT_EQ(w->parentWidget()->objectName().toStdString(), box.container.empty() ? "frmMain" : box.container)
            << box.name;
        EXPECT_EQ(window.Text(box.name), box.text) << box.name;
        if (box.kind == BoxKind::Line) {
            EXPECT_NE(qobject_cast<QLineEdit*>(w), nullptr) << box.name;
        } else {
            auto* text = qobject_cast<TextBox*>(w);
            ASSERT_NE(text, nullptr) << box.name;
            EXPECT_EQ(text->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn, box.kind == BoxKind::MultiLine);
        }
    }
}

TEST_P(EveryWindow, EveryRowHasADisabledButtonCaptionedWithItsMethod)
{
    for (const Row& row : tool().rows) {
        const auto buttons = window.findChildren<QAbstractButton*>(QString::fromStdString(row.button));
        ASSERT_EQ(buttons.size(), 1) << row.button;
        QAbstractButton* b = buttons[0];
        EXPECT_EQ(b->text().toStdString(), row.method);
        EXPECT_FALSE(b->isEnabled()) << row.button;
        // In its place and of its size: a caption wider than its button takes
        // a narrower face (ShowsEveryCaptionWhole... checks that it fits).
        const QRect placed = Placed(window, b), declared = PxRect(row.rect);
        EXPECT_EQ(placed, declared) << row.button;
        EXPECT_EQ(b->parentWidget()->objectName().toStdString(), row.container.empty() ? "frmMain" : row.container)
            << row.button;
    }
}

TEST_P(EveryWindow, FramesAndLinesAreDrawnWhereTheToolSays)
{
    for (const Frame& f : tool().frames) {
        auto* frame = Find<QGroupBox>(window, f.name);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->title().toStdString(), f.caption);
        EXPECT_EQ(frame->geometry(), PxRect(f.rect));
    }
    for (const Line& l : tool().lines) {
        auto* line = Find(window, l.name);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->geometry(), QRect(Px(l.x1), Px(l.y1), Px(l.x2 - l.x1), 1)) << l.name;
    }
}

TEST_P(EveryWindow, ShowsEveryCaptionWholeWithNoControlOverAnother)
{
    const QRect inside(QPoint(0, 0), window.size());
    std::vector<std::pair<std::string, QRect>> placed;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || !w->isVisibleTo(&window))
            continue;
        const QRect r = Placed(window, w);
        EXPECT_TRUE(inside.contains(r)) << w->objectName().toStdString();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()) + 8)
                << button->text().toStdString();
        }
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<TextBox*>(w) ||
            qobject_cast<QComboBox*>(w))
            placed.emplace_back(w->objectName().toStdString(), r);
    }
    for (std::size_t i = 0; i < placed.size(); ++i)
        for (std::size_t j = i + 1; j < placed.size(); ++j)
            EXPECT_FALSE(placed[i].second.intersects(placed[j].second))
                << placed[i].first << " and " << placed[j].first;
}

INSTANTIATE_TEST_SUITE_P(AllTools, EveryWindow, ::testing::ValuesIn(RegisteredSoap2Tools()), ToolName);

TEST(ToolSP2Window, TheStarredControlsAreDrawnInsideTheV11Frame)
{
    TempHome home;
    TokenLibrary library;
    Soap2Window window(*FindSoap2Tool("TSTestToolSP2"), library);
    auto* v11 = Find<QGroupBox>(window, "V11Frame");
    ASSERT_NE(v11, nullptr);
    EXPECT_EQ(v11->title(), "V1.1 New Functions");
    for (const char* name : {"BtnPutVOURI", "BtnRemoveVOURI", "RemoveVOURIURI", "BtnLock", "UnlockURI",
                             "UpdateVOContent", "BtnGetCategoryLogbyUser", "GetCategoryLogbyUser_CATEGORY"})
        EXPECT_EQ(Find(window, name)->parentWidget(), v11) << name;
    for (const char* name :
         {"BtnGetVOURI", "vouser", "voname", "BtnGetAllVOList", "vouri", "BtnGetShareFIeldAttribute"})
        EXPECT_EQ(Find(window, name)->parentWidget(), &window) << name;
    EXPECT_TRUE(Find<QGroupBox>(window, "V10Frame")->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty());
    EXPECT_EQ(Find<QGroupBox>(window, "V10Frame")->title(), "V1.0 Functions");
    EXPECT_EQ(Find<QAbstractButton>(window, "BtnGetShareFIeldAttribute")->text(), "GetShareFieldAttribute");
    EXPECT_EQ(Find<QAbstractButton>(window, "BtnLock")->text(), "LockVO");
}

TEST(ToolSP2Window, ASessionWithRealMessageBoxes)
{
    TempHome home;
    TokenLibrary library;
    ServiceProcess svc;
    Soap2Window window(*FindSoap2Tool("TSTestToolSP2"), library);
    BoxCloser closer;
    auto* wsdl = Find<QComboBox>(window, kWsdlBox);
    wsdl->setCurrentIndex(5);
    EXPECT_EQ(wsdl->currentText(), "http://localhost:8080/TesselService2/TesselServiceCore.wsdl");
    wsdl->setEditText(QString::fromStdString(svc.Soap2Description()));
    Find<QAbstractButton>(window, kConnectButton)->click();
    EXPECT_TRUE(closer.seen.empty());
    EXPECT_TRUE(Find(window, kCreateTicketButton)->isEnabled());
    EXPECT_FALSE(Find(window, "BtnGetVOList")->isEnabled());

    Find<QLineEdit>(window, kUserNameBox)->setText("tester");
    Find<QLineEdit>(window, kPasswordBox)->setText("tester");
    Find<QAbstractButton>(window, kCreateTicketButton)->click();
    ASSERT_EQ(closer.Titles(), std::vector<std::string>{"AuthResult"});
    EXPECT_EQ(closer.seen[0].icon, tessel::client::Icon::None);
    EXPECT_TRUE(Find(window, "BtnGetVOList")->isEnabled());
    EXPECT_TRUE(Find(window, kCloseSessionButton)->isEnabled());
    EXPECT_FALSE(Find(window, kCreateTicketButton)->isEnabled());

    Find<QAbstractButton>(window, "BtnGetVOList")->click();
    ASSERT_EQ(closer.Titles(),
              (std::vector<std::string>{"AuthResult", "GetVOList Result", "result of GetVOList"}));
    EXPECT_EQ(closer.seen[1].text, "ByURI;Name1;Name3;Name4");
    EXPECT_FALSE(closer.seen[1].waitCursor);
    EXPECT_EQ(Find<TextBox>(window, kResultBox)->toPlainText(), "ByURI;Name1;Name3;Name4");

    Find<QAbstractButton>(window, "BtnQuery")->click();  // the box's trailing line break goes
    EXPECT_FALSE(Find<TextBox>(window, "Query")->toPlainText().endsWith("\n"));
    EXPECT_EQ(closer.seen.back().title, "result of Query");

    Find<QLineEdit>(window, "LockURI")->setText("nowhere");
    Find<QAbstractButton>(window, "BtnLock")->click();
    EXPECT_EQ(closer.seen.back().title, "Error on Lock");
    EXPECT_EQ(closer.seen.back().icon, tessel::client::Icon::Exclamation);
    EXPECT_EQ(Find<TextBox>(window, kResultBox)->toPlainText().toStdString(), closer.seen.back().text);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    Find<QAbstractButton>(window, kCloseSessionButton)->click();
    EXPECT_FALSE(Find(window, "BtnGetVOList")->isEnabled());
    EXPECT_FALSE(Find(window, kCloseSessionButton)->isEnabled());
    EXPECT_FALSE(Find(window, kCreateTicketButton)->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(window, kUserNameBox)->text(), "");
    EXPECT_EQ(Find<QLineEdit>(window, kPasswordBox)->text(), "");
    Find<QAbstractButton>(window, kConnectButton)->click();
    EXPECT_TRUE(Find(window, kCreateTicketButton)->isEnabled());
}

// A connect that reaches no service: "Error on Connection" as ever, and the
// status line ends with how to start a local service, shown whole.
TEST(ToolSP2Window, AConnectThatReachesNoServiceSaysHowToStartOne)
{
    TempHome home;
    TokenLibrary library;
    Soap2Window window(*FindSoap2Tool("TSTestToolSP2"), library);
    BoxCloser closer;
    const std::string uri = "http://127.0.0.1:1/TesselService2/TesselServiceCore.wsdl";
    Find<QComboBox>(window, kWsdlBox)->setEditText(QString::fromStdString(uri));
    Find<QAbstractButton>(window, kConnectButton)->click();
    ASSERT_EQ(closer.Titles(), std::vector<std::string>{"Error on Connection"});
    auto* status = Find<QLabel>(window, "StatusLine");
    const std::string whole = status->toolTip().toStdString();
    EXPECT_EQ(whole.rfind("Error on Connection: Could not connect to " + uri, 0), 0u) << whole;
    EXPECT_TRUE(whole.ends_with(tessel::client::kLocalServiceHint)) << whole;
    EXPECT_TRUE(status->text().endsWith(tessel::client::kLocalServiceHint)) << status->text().toStdString();
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->width());
}

TEST_P(EveryWindow, TabTakesEveryControlTopToBottom)
{
    const std::vector<QWidget*> chain = FocusChain(window);
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(chain.front()->objectName().toStdString(), kWsdlBox);
    EXPECT_EQ(FirstOutOfOrder(window, chain), "");
    EXPECT_EQ(NotInChain(tool(), chain), std::vector<std::string>{});
    std::set<std::string> reached;
    for (QWidget* w : chain)
        reached.insert(w->objectName().toStdString());
    for (const char* name : {kConnectButton, kCreateTicketButton, kCloseSessionButton, kUserNameBox, kPasswordBox,
                             kAuthorityBox, kRealmBox, kServiceBox, kResultBox, "btnView"})
        EXPECT_TRUE(reached.count(name)) << name;
}

// Return in the WSDL box connects; Return in a login box logs in once
// CreateTicket is enabled, and does nothing before.
TEST_P(EveryWindow, ReturnConnectsInTheWsdlBoxAndLogsInFromALoginBox)
{
    ServiceProcess svc;
    BoxCloser closer;
    auto* ticket = Find<QAbstractButton>(window, kCreateTicketButton);
    QSignalSpy ticketPressed(ticket, &QAbstractButton::clicked);
    Find<QLineEdit>(window, kUserNameBox)->setText("tester");
    Find<QLineEdit>(window, kPasswordBox)->setText("tester");
    for (const char* box : {kUserNameBox, kPasswordBox, kAuthorityBox, kRealmBox, kServiceBox})
        QTest::keyClick(Find(window, box), Qt::Key_Return);
    EXPECT_EQ(ticketPressed.count(), 0);
    EXPECT_TRUE(closer.seen.empty());

    auto* wsdl = Find<QComboBox>(window, kWsdlBox);
    wsdl->setEditText(QString::fromStdString(svc.Soap2Description()));
    QSignalSpy connectPressed(Find<QAbstractButton>(window, kConnectButton), &QAbstractButton::clicked);
    QTest::keyClick(wsdl, Qt::Key_Return);
    EXPECT_EQ(connectPressed.count(), 1);
    EXPECT_EQ(wsdl->currentText().toStdString(), svc.Soap2Description());
    ASSERT_TRUE(ticket->isEnabled()) << (closer.seen.empty() ? "" : closer.seen[0].text);

    QTest::keyClick(Find(window, kPasswordBox), Qt::Key_Return);
    EXPECT_EQ(ticketPressed.count(), 1);
    EXPECT_TRUE(Find(window, kCloseSessionButton)->isEnabled()) << (closer.seen.empty() ? "" : closer.seen[0].text);
    EXPECT_FALSE(ticket->isEnabled());
    QTest::keyClick(Find(window, kUserNameBox), Qt::Key_Return);  // logged in: CreateTicket is off again
    EXPECT_EQ(ticketPressed.count(), 1);
}

// TSTestTool3's real window, offscreen: controls, layout, and a session with
// real modal message boxes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

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

struct SeenBox {
    std::string title, text;
    tessel::client::Icon icon;
    bool waitCursor;
};

// Closes every modal message box as it opens, and remembers it.
class BoxCloser {
public:
    BoxCloser()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<MessageDialog*>(QApplication::activeModalWidget())) {
                seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                                QApplication::overrideCursor() != nullptr});
                box->accept();
            }
        });
        timer_.start(10);
    }
    std::vector<SeenBox> seen;

private:
    QTimer timer_;
};

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
    EXPECT_EQ(window.size(), QSize(542, 709));  // 8130 x 10635 twips
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

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The windows of TSTestTool1, TSTestTool2 and TSTestTool5, offscreen: what
// each has of its own, in the order a person reads it from the top.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>

#include "TempHome.h"
#include "Tester/ToolRegistry.h"
#include "ToolWindow.h"
#include "Widgets/Controls.h"

using namespace tessel::tester;
using tessel::widgets::TextBox;

namespace {

template <typename W = QWidget>
W* Find(QWidget& window, const char* name)
{
    W* w = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// The tops of the named controls, in window pixels, must rise down the list.
void ExpectTopToBottom(QWidget& window, const std::vector<const char*>& names)
{
    int last = -1;
    for (const char* name : names) {
        QWidget* w = Find(window, name);
        ASSERT_NE(w, nullptr);
        const int top = w->mapTo(&window, QPoint(0, 0)).y();
        EXPECT_GT(top, last) << name;
        last = top;
    }
}

class Windows : public ::testing::Test {
protected:
    TempHome home;
    tessel::client::TokenLibrary library;
};

}  // namespace

TEST_F(Windows, Tool1HasNoTitleLabelAndItsContentBoxesUnderTheirRows)
{
    ToolWindow window(*FindTool("TSTestTool1"), library);
    EXPECT_EQ(window.objectName(), "TSTestTool1frm");
    EXPECT_EQ(window.findChild<QLabel*>("Label2"), nullptr);
    EXPECT_EQ(Find<QLabel>(window, "Label6")->text(), "realm:");
    EXPECT_EQ(Find<QLineEdit>(window, "CredText")->echoMode(), QLineEdit::Password);
    for (const char* name : {"AuthorityText", "RealmText", "RequestText", "ResponseText", "Result"})
        Find(window, name);
    ExpectTopToBottom(window, {"btnQuery_SW", "txtSymbol", "btnGVOL_SW", "btnGVOC_SW", "btnPVOC_SW", "txtTranslate",
                               "btnRVOC", "btnUVOC", "UVOC_Content", "btnGVOURIList", "btnGVOCURI", "btnUVOCURI",
                               "UVOCURI_Content", "btnRemoveVOContentbyURI", "Label11"});
    for (const char* name : {"txtSymbol", "txtTranslate", "UVOC_Content", "UVOCURI_Content"}) {
        auto* box = Find<TextBox>(window, name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->x(), Find(window, "btnQuery_SW_Label")->x()) << name;  // across the window's width
        EXPECT_GE(box->geometry().right(), Find(window, "btnQuery_SW")->geometry().right()) << name;
    }
    EXPECT_EQ(window.Text("txtTranslate"), "<content>xxx</content>\r\n");
}

TEST_F(Windows, Tool2HasTheContentLabelInTheSaveSharingRowAndOneContentBoxUnderIt)
{
    ToolWindow window(*FindTool("TSTestTool2"), library);
    EXPECT_EQ(Find<QLabel>(window, "Label2")->text(), "Collaboration Interface Test");
    auto* label = Find<QLabel>(window, "SF_Content_Label");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "<<**Share Field Content>>");
    const QRect row = Find(window, "btnUASF")->geometry();
    EXPECT_LT(label->geometry().right(), row.left());
    EXPECT_LT(std::abs(label->y() - row.y()), row.height());
    EXPECT_GT(label->x(), Find(window, "UASF_Auth")->geometry().right());
    EXPECT_EQ(window.findChildren<QWidget*>("SF_Content").size(), 1);
    EXPECT_GT(Find(window, "SF_Content")->y(), row.bottom());
    EXPECT_EQ(Find<QLabel>(window, "btnGASF_Label")->text(), "[DeleteAttendee:]");
    EXPECT_EQ(Find<QLabel>(window, "btnPSF_Label")->text(), "[**PutShareField]");
}

TEST_F(Windows, Tool5HasTheAdminPartAboveTheSettingsRows)
{
    ToolWindow window(*FindTool("TSTestTool5"), library);
    EXPECT_EQ(Find<QLabel>(window, "Label11")->text(),
              "Enter full TesselService URI path of Service Description file below and click Connect");
    EXPECT_EQ(Find<QLabel>(window, "LabelAdminURI")->text(),
              "Enter full TesselServiceAdmin URI path of Service Description file below and click Connect");
    EXPECT_EQ(Find<QLabel>(window, "LabelAdmin")->text(), "Admin Interfaces Test");
    // The heading is the dialog font's face in bold, as the other dialog-font labels' face.
    const QFont heading = Find<QLabel>(window, "LabelAdmin")->font();
    EXPECT_TRUE(heading.bold());
    EXPECT_EQ(QFontInfo(heading).family(), QFontInfo(tessel::widgets::DialogFont()).family());
    EXPECT_EQ(heading.pointSizeF(), tessel::widgets::DialogFont().pointSizeF());
    EXPECT_EQ(Find<QLabel>(window, "Label2")->text(), "Setting Query Interface Test");
    auto* connectAdmin = Find<QAbstractButton>(window, "BtnConnectAdmin");
    EXPECT_TRUE(connectAdmin->isEnabled());
    EXPECT_EQ(connectAdmin->text(), "Connect");
    EXPECT_EQ(Find<QAbstractButton>(window, "btnGGL")->text(), "Send ");
    ExpectTopToBottom(window, {"LabelAdmin", "BtnReLoadConfig", "BtnReLoadUnifyTable", "BtnReLoadTransform",
                               "LabelAdminURI", "txtAdminURI", "Label2", "btnGCT", "btnGAL", "btnGGL", "btnGGUL",
                               "btnGetOwnGroupList", "GetConferenceManagerURLBtn", "Label11", "txtURI"});
    EXPECT_EQ(Find(window, "BtnConnectAdmin")->x(), Find(window, "btnConnect")->x());
}

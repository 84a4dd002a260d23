// Pasting into the tools' multi-line boxes, on a real X display (xvfb): with
// an empty clipboard nothing happens, with text the plain text goes in.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>

#include "TempHome.h"
#include "Tester/ToolRegistry.h"
#include "ToolWindow.h"
#include "Widgets/Controls.h"

using namespace tessel;

TEST(Paste, AnEmptyClipboardPastesNothingAndTextPastesAsPlainText)
{
    TempHome home;
    client::TokenLibrary library;
    tester::ToolWindow window(*tester::FindTool("TSTestTool3"), library);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const char* name : {"Request", "Response", "Result"}) {
        auto* box = window.findChild<widgets::TextBox*>(name);
        ASSERT_NE(box, nullptr) << name;
        box->setFocus();
        box->SetText("");
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);  // must not end the program
        EXPECT_EQ(box->Text(), "") << name;

        auto* rich = new QMimeData;  // the clipboard takes it
        rich->setHtml("<b>bold</b>");
        rich->setText("bold");
        QGuiApplication::clipboard()->setMimeData(rich);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(box->Text(), "bold") << name;
    }
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

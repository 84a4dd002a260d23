// A SOAP 1.0 window, offscreen: an exchange with a server that never answers
// can be given up with Cancel, and the view follows the last exchange.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "BoxCloser.h"
#include "FrontServer.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "SilentListener.h"
#include "TempHome.h"
#include "Tester/ToolRegistry.h"
#include "ToolWindow.h"
#include "Widgets/Controls.h"
#include "Widgets/ExchangeView.h"

using namespace tessel;

namespace {

class Tool3 : public ::testing::Test {
protected:
    Tool3() : svc({"--log", log}) {}
    void LogIn()
    {
        window.SetText("txtURI", svc.MainDescription());
        window.core().Connect();
        window.SetText("UserKey", "tester");
        window.SetText("Principal", "tester");
        window.core().CreateTicket();
        ASSERT_TRUE(window.Enabled("CloseSession"));
    }

    TempHome home;
    std::string log = home.dir() + "/requests.log";
    ServiceProcess svc;
    client::TokenLibrary library;
    tester::ToolWindow window{*tester::FindTool("TSTestTool3"), library};
};

// A window logged in to the service whose exchanges give up after 30 s unless
// cancelled, its next exchange bound for a server that never answers.
struct ClosingWindow {
    ClosingWindow(ServiceProcess& svc, client::TokenLibrary& library) : front(svc), owned(Make(library)), window(*owned)
    {
        window.SetText("txtURI", svc.MainDescription());
        window.core().Connect();
        window.SetText("UserKey", "tester");
        window.SetText("Principal", "tester");
        window.core().CreateTicket();
        front.ServeDocument("silent.xml", server::Description(server::Interface::Main,
                                                              server::DescriptionStyle::RpcEncoded, silent.Url("/soap")));
        window.SetText("txtURI", front.Url("/doc/silent.xml"));
        window.core().Connect();
        window.show();
    }
    static std::unique_ptr<tester::ToolWindow> Make(client::TokenLibrary& library)
    {
        setenv("TESSEL_TIMEOUT", "30", 1);
        auto made = std::make_unique<tester::ToolWindow>(*tester::FindTool("TSTestTool3"), library);
        unsetenv("TESSEL_TIMEOUT");
        return made;
    }
    std::string Status() const { return window.findChild<QLabel*>("StatusLine")->toolTip().toStdString(); }

    SilentListener silent;
    FrontServer front;
    std::unique_ptr<tester::ToolWindow> owned;
    tester::ToolWindow& window;
};

}  // namespace

TEST_F(Tool3, CancelGivesUpAnExchangeWithAServerThatNeverAnswers)
{
    BoxCloser closer;
    bool clickedMeanwhile = false;
    closer.beforeCancel = [&] {
        // A click on another row while the exchange waits is not taken.
        QTest::mouseClick(window.findChild<QAbstractButton*>("btnGAList"), Qt::LeftButton);
        clickedMeanwhile = true;
    };
    LogIn();
    window.core().Send("btnLogCount");  // answered: "1"
    SilentListener silent;
    FrontServer front(svc);
    front.ServeDocument("silent.xml", server::Description(server::Interface::Main, server::DescriptionStyle::RpcEncoded,
                                                          silent.Url("/soap")));
    window.SetText("txtURI", front.Url("/doc/silent.xml"));
    window.core().Connect();  // the session goes on
    window.SetWaitBoxDelay(200);
    closer.CancelWaitNaming(":" + std::to_string(silent.port()) + "...");
    closer.seen.clear();

    const std::size_t logged = ReadLog(log).size();
    window.core().Send("btnLogCount");
    EXPECT_EQ(closer.cancelledWait, "Waiting for 127.0.0.1:" + std::to_string(silent.port()) + "...");
    EXPECT_TRUE(clickedMeanwhile);
    ASSERT_EQ(closer.Titles(), std::vector<std::string>{"Error on GetLogCount"});
    EXPECT_EQ(closer.seen[0].text.rfind("Cancelled after ", 0), 0u) << closer.seen[0].text;
    // The window is as it was: the session open, the rows enabled, the old result kept.
    EXPECT_TRUE(window.core().session().loggedIn);
    EXPECT_TRUE(window.Enabled("btnLogCount"));
    EXPECT_EQ(window.Text("Result"), "1");
    EXPECT_EQ(ReadLog(log).size(), logged);  // nothing reached the service, the click neither
    const std::string status = window.findChild<QLabel*>("StatusLine")->toolTip().toStdString();
    EXPECT_NE(status.find("cancelled after"), std::string::npos) << status;
}

TEST_F(Tool3, TheViewShowsAndFollowsTheLastExchange)
{
    const BoxCloser closer;
    LogIn();
    window.core().Send("btnLogCount");
    window.findChild<QAbstractButton*>("btnView")->click();
    auto* view = window.findChild<widgets::ExchangeView*>("ExchangeView");
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_FALSE(view->isModal());
    EXPECT_EQ(widgets::FromDisplay(view->TabText("Response (raw)")), window.Text("Response"));
    EXPECT_EQ(view->TabText("Result"), "1");
    EXPECT_TRUE(view->TabText("HTTP").contains("HTTP/1.1 200"));
    EXPECT_TRUE(view->TabText("HTTP").contains("SOAPAction: \"urn:tessel:TesselServiceCore#GetLogCount\""));
    EXPECT_TRUE(view->TabText("Request").contains("\n  <SOAP-ENV:Body>"));
    EXPECT_TRUE(view->TabText("Tokens").contains("Request token: decoded; it re-validates against the slots as sent"));
    EXPECT_TRUE(view->TabText("Tokens").contains("Reply token: valid")) << view->TabText("Tokens").toStdString();
    // While open it follows the next exchange.
    window.core().Send("btnGetResourceACL");
    EXPECT_TRUE(view->TabText("Result").startsWith("<VOACL>"));
    EXPECT_TRUE(view->windowTitle().contains("GetResourceACL"));
}

TEST_F(Tool3, ClosingTheWindowDuringAWaitGivesTheExchangeUpAndShowsNothingMore)
{
    const BoxCloser closer;
    ClosingWindow closing(svc, library);
    ASSERT_TRUE(closing.window.core().session().loggedIn);
    QTimer::singleShot(300, &closing.window, [&] { closing.window.close(); });  // before the wait box shows
    closing.window.core().Send("btnLogCount");
    EXPECT_FALSE(closing.window.isVisible());
    // Cancelled, not timed out; and no error box after the window went.
    EXPECT_NE(closing.Status().find("cancelled after"), std::string::npos) << closing.Status();
    EXPECT_TRUE(closer.seen.empty()) << closer.seen.front().title;
    // Nothing more goes out once the window is closed.
    closing.window.core().Send("btnGAList");
    EXPECT_TRUE(closer.seen.empty());
}

TEST_F(Tool3, TheWaitBoxHoldsNoCloseOfTheWindowBehindIt)
{
    // The window manager's close of a window that a modal window blocks is
    // dropped; the wait box is not modal, so the window can be closed while it
    // shows, and closing it gives the exchange up.
    const BoxCloser closer;
    ClosingWindow closing(svc, library);
    closing.window.SetWaitBoxDelay(50);
    bool boxShown = false;
    QWidget* modal = &closing.window;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &closing.window, [&] {
        if (boxShown || !BoxCloser::WaitBox())
            return;
        boxShown = true;
        modal = QApplication::activeModalWidget();
        closing.window.close();
    });
    poll.start(20);
    closing.window.core().Send("btnLogCount");
    EXPECT_TRUE(boxShown);
    EXPECT_EQ(modal, nullptr);
    EXPECT_FALSE(closing.window.isVisible());
    EXPECT_NE(closing.Status().find("cancelled after"), std::string::npos) << closing.Status();
    EXPECT_TRUE(closer.seen.empty());
}

TEST_F(Tool3, ASingleLineBoxKeepsAHundredThousandCharactersTypedOrPasted)
{
    const BoxCloser closer;
    LogIn();
    const std::string value(100000, 'v');
    window.SetText("SS_Auth", value);
    window.core().Send("btnSS");
    nlohmann::json sent = ReadLog(log).back();
    ASSERT_EQ(sent["operation"], "GetLog");
    EXPECT_EQ(sent["parameters"][1][2], 100000);  // the length of the value as received
    // Pasted into the box: the same.
    auto* edit = window.findChild<QLineEdit*>("SS_Auth");
    edit->clear();
    edit->insert(QString(100000, QLatin1Char('p')));
    window.core().Send("btnSS");
    sent = ReadLog(log).back();
    EXPECT_EQ(sent["parameters"][1][2], 100000);
}

TEST_F(Tool3, TheViewShowsTheLoginsPasswordMaskedAndCopiesItMasked)
{
    const BoxCloser closer;
    window.SetText("txtURI", svc.MainDescription());
    window.core().Connect();
    window.SetText("UserKey", "tester");
    window.SetText("Principal", "not<the&password");  // refused: CreateTicket is the last exchange
    window.core().CreateTicket();
    window.findChild<QAbstractButton*>("btnView")->click();
    auto* view = window.findChild<widgets::ExchangeView*>("ExchangeView");
    ASSERT_NE(view, nullptr);
    for (const char* tab : {"Request", "Request (raw)"}) {
        const QString text = view->TabText(tab);
        EXPECT_TRUE(text.contains("CreateTicket")) << tab;
        EXPECT_TRUE(text.contains("********")) << tab;
        EXPECT_FALSE(text.contains("password")) << tab;
    }
    auto* tabs = view->findChild<QTabWidget*>();
    tabs->setCurrentIndex(2);  // the raw request
    view->findChild<QAbstractButton*>("Copy")->click();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains("********"));
    EXPECT_FALSE(copied.contains("password"));
}

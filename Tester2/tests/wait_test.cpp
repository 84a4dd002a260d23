// A SOAP 2.0 window, offscreen: the status line says what each step did, and
// an exchange with a server that never answers can be given up with Cancel.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>

#include <regex>

#include "BoxCloser.h"
#include "FrontServer.h"
#include "ServiceProcess.h"
#include "SilentListener.h"
#include "TempHome.h"
#include "Tester2/Soap2ToolRegistry.h"
#include "Soap2Window.h"
#include "Widgets/ExchangeView.h"

using namespace tessel;
using namespace tessel::tester2;

namespace {

class ToolSP2 : public ::testing::Test {
protected:
    std::string Status() const { return window.findChild<QLabel*>("StatusLine")->toolTip().toStdString(); }
    void LogIn()
    {
        window.SetText(kWsdlBox, svc.Soap2Description());
        window.core().Connect();
        EXPECT_EQ(Status(), "Connected to 127.0.0.1:" + std::to_string(svc.port()) + ", 89 methods");
        window.SetText(kUserNameBox, "tester");
        window.SetText(kPasswordBox, "tester");
        window.core().CreateTicket();
        ASSERT_TRUE(window.Enabled(kCloseSessionButton));
        EXPECT_EQ(Status(), "Logged in as tester (session key set)");
    }

    TempHome home;
    ServiceProcess svc;
    client::TokenLibrary library;
    Soap2Window window{*FindSoap2Tool("TSTestToolSP2"), library};
    BoxCloser closer;
};

}  // namespace

TEST_F(ToolSP2, TheStatusLineSaysWhatACallDidAndTheViewHoldsIt)
{
    LogIn();
    window.core().Send("BtnGetVOList");
    const std::string line = std::regex_replace(Status(), std::regex(", [0-9]+ ms, "), ", T ms, ");
    EXPECT_EQ(line, "GetVOList: HTTP 200, T ms, result 23 characters; reply token valid; slot 1 plain");
    window.findChild<QAbstractButton*>("btnView")->click();
    auto* view = window.findChild<widgets::ExchangeView*>("ExchangeView");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->TabText("Result"), "ByURI;Name1;Name3;Name4");
    EXPECT_TRUE(view->TabText("HTTP").contains("HTTP/1.1 200"));
    EXPECT_TRUE(view->TabText("Request (raw)").contains("GetVOList"));
}

TEST_F(ToolSP2, CancelGivesUpAnExchangeWithAServerThatNeverAnswers)
{
    LogIn();
    SilentListener silent;
    FrontServer front(svc);
    front.ServeDocument("silent.wsdl", server::Description(server::Interface::Main,
                                                           server::DescriptionStyle::DocumentLiteral,
                                                           silent.Url("/soap")));
    window.SetText(kWsdlBox, front.Url("/doc/silent.wsdl"));  // the next step builds a new client
    window.SetWaitBoxDelay(200);
    closer.CancelWaitNaming(":" + std::to_string(silent.port()) + "...");
    closer.seen.clear();
    window.core().Send("BtnGetVOList");
    EXPECT_EQ(closer.cancelledWait, "Waiting for 127.0.0.1:" + std::to_string(silent.port()) + "...");
    ASSERT_EQ(closer.Titles(), std::vector<std::string>{"Error on GetVOList"});
    const std::string error = closer.seen[0].text;
    EXPECT_NE(error.find("cancelled after "), std::string::npos) << error;
    EXPECT_EQ(window.Text(kResultBox), error);
    // The session and the buttons are as they were.
    EXPECT_TRUE(window.Enabled(kCloseSessionButton));
    EXPECT_TRUE(window.Enabled("BtnGetVOList"));
    EXPECT_FALSE(window.core().session().sessionKey.empty());
}

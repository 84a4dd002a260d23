// A SOAP 1.0 tool as data: its titles and captions, its boxes (each declared
// once), its operation rows (each naming the boxes it reads, in the order of
// the operation's parameters in the catalog), the named rules by which a row
// departs from the common authenticated call, and the hooks of the one-off
// steps. The core and the window are built from it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Client/CallPipeline.h"
#include "Client/CallRules.h"
#include "Client/Layout.h"
#include "Client/Version.h"

namespace tessel::tester {

using client::BoxKind;
using client::Rect;
class CallContext;

// A text box, declared once; every row that names it reads the same widget.
struct Box {
    std::string name{};
    std::string text{};  // the default text, as the tool shows it at start
    BoxKind kind = BoxKind::Line;
    // In twips. Empty: the box is laid out on the line of the first row that
    // reads it, between its label and its button.
    Rect rect{};
};

// How a value is taken and sent, and how the reply is read back: the rules
// of the common call.
using client::Param;
using client::Reply;
using client::Send;
using client::Take;

// The length handed to AddStandardHeaders, and when it is called.
enum class Headers {
    CharactersBeforePost,  // the request's length in characters, right before the post
    BytesAtOnce,           // twice the request's length, right after the request is built
};

// When the row shows the hourglass.
enum class Hourglass {
    DuringExchange,      // while the request is on its way and the reply comes back
    FromStartUntilPost,  // from the first step; back to normal right before the post when
                         // the payloads are not shown, else after the response payload is shown,
                         // and in any case when the call ends (an error page, an error)
};

// A step of its own that a row runs inside the common call. Its contract is
// written where it is attached.
using Hook = std::function<void(CallContext&)>;

struct Row {
    std::string label{};   // "[GetLog]"
    std::string button{};  // btnSS
    std::string method{};  // GetLog: also the operation's name in the catalog
    std::vector<Param> params{};
    std::string caption = "Send";
    Rect labelRect{}, buttonRect{};  // twips; empty: laid out from the row's place in the table
    Reply reply = Reply::ResultLength;
    Headers headers = Headers::CharactersBeforePost;
    Hourglass hourglass = Hourglass::DuringExchange;
    // Runs after the values are taken and before the token buffer is set up;
    // may change the context's values and the boxes.
    Hook beforeToken{};
    // Runs right after the token is built, before the request is filled; may
    // replace the context's token (`session.tokenText`) and change boxes.
    Hook afterToken{};
};

// What a connect does to the session buttons when the description declares
// "CreateTicket".
enum class ConnectRule {
    EnableLoginDisableLogout,  // CreateTicket disabled, then enabled; CloseSession disabled
    EnableLogin,               // CreateTicket disabled, then enabled; CloseSession kept
    EnableLoginWhileDisabled,  // CreateTicket looked at only while disabled; CloseSession kept
};

// Where a reply's error page test stands.
enum class ReplyOrder {
    TestAfterPayload,  // SetPayload, the server-to-client box, then the test
    TestFirst,         // the test right after the post; a reply that passes is given to SetPayload once
};

// The error page test of the CreateTicket reply.
enum class LoginErrorPage {
    LowerCaseHtml,      // longer than six characters, beginning with exactly "<html>"
    HtmlOrDocTypeStart, // longer than six characters, beginning with exactly "<html" or "<!DOC"
};

// What an extra button does.
enum class Action { ConnectAdmin };

struct Label {
    std::string name{};
    std::string text{};
    Rect rect{};  // width 0: as wide as its text
    bool bold = false;
};

struct Line {
    std::string name{};
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // twips
    int thickness = 1;                   // twips units of the original drawing, 1 to 3
};

struct Button {
    std::string name{};
    std::string caption{};
    Rect rect{};
    Action action = Action::ConnectAdmin;
};

// The second connection of a tool that also speaks to the admin interface.
struct AdminConnection {
    std::string uriBox{};                     // the box with the admin description's URI
    std::vector<std::string> enableOrder{};   // methods the admin connect enables, in its order
};

struct ToolDefinition {
    std::string program{};          // TSTestTool3
    // What `--version` prints; a tool without a block of its own prints its name.
    client::VersionBlock version{};
    std::string windowName{};       // the window's name; empty: program + "frm"
    std::string windowTitle{};      // at start
    std::string connectedPrefix{};  // followed by the description URI after a connect
    std::string titleLabel{};       // Label2's text; empty: no title label
    Rect titleLabelRect{120, 240, 0, 0};
    std::string descriptionLabel = "Enter full URI path of Service Description file below and click Connect";
    std::string defaultDescriptionUri = "http://localhost:8080/TesselService/TesselServiceCore.xml";
    // Names and captions of shared controls that differ between tools.
    std::string requestBox = "Request", responseBox = "Response", resultBox = "Result";
    std::string authorityBox = "Authority", realmBox = "Realm", passwordBox = "Principal";
    std::string realmLabel = "Realm:";
    std::string defaultAuthority = client::kDefaultAuthority;
    std::string defaultRealm = client::kDefaultRealm;
    int clientWidth = 8130, clientHeight = 10635;  // twips
    // Rows laid out without places of their own start here, one pitch apart.
    int firstRowTop = 480, rowPitch = 360;

    ConnectRule connectRule = ConnectRule::EnableLogin;
    ReplyOrder replyOrder = ReplyOrder::TestAfterPayload;
    LoginErrorPage loginErrorPage = LoginErrorPage::LowerCaseHtml;
    // "Result of " (most tools) or "result of " before the method's name.
    std::string resultTitlePrefix = "Result of ";

    std::vector<Box> boxes{};
    std::vector<Row> rows{};  // in the window's order, top to bottom
    std::vector<Label> labels{};
    std::vector<Line> lines{};
    std::vector<Button> buttons{};
    // Methods in the order login enables their rows; empty: the rows' order.
    std::vector<std::string> enableOrder{};
    // Buttons in the order logout disables them; empty: the rows' order.
    std::vector<std::string> closeOrder{};
    std::optional<AdminConnection> admin{};

    std::string WindowName() const { return windowName.empty() ? program + "frm" : windowName; }
    const Row* RowOfButton(const std::string& button) const { return client::FindBy(rows, &Row::button, button); }
    const Row* RowOfMethod(const std::string& method) const { return client::FindBy(rows, &Row::method, method); }
    const Box* BoxNamed(const std::string& name) const { return client::FindBy(boxes, &Box::name, name); }
};

// A definition whose rows all have places: rows stacked from `firstRowTop`,
// labels at the left edge, buttons in the column at 6960, and boxes without
// places of their own between the label and the button of the first row that
// reads them.
ToolDefinition LaidOut(ToolDefinition tool);

// What is wrong with a definition, one line each (empty when nothing is): a
// method the catalog does not list, a row whose parameter count differs from
// the catalog's, a box no row or declaration names, a name used twice.
std::vector<std::string> Problems(const ToolDefinition& tool);

}  // namespace tessel::tester

// A SOAP 1.0 tool as data: its titles, the names of its shared controls, its
// operation rows and their layout, and the hooks of the operations that
// depart from the common pipeline.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tessel::tester {

class CallContext;

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;  // twips
};

struct ParameterRow {
    std::string soapName;  // also the token slot name
    std::string box;       // the text box that supplies it
    std::string defaultText;
    Rect rect;
    bool multiLine = false;
};

// How many characters of slot 1 a call reads back after validation.
enum class ReplyBuffer {
    ResultLength,  // as long as the raw result; nothing shown for an empty result
    AtLeastOneMiB, // max(result length + 1, 1,048,576); shown also when empty
};

struct OperationRow {
    std::string label;   // "[GetLog]"
    std::string button;  // btnSS
    std::string method;  // GetLog
    std::vector<ParameterRow> params;
    Rect labelRect, buttonRect;
    ReplyBuffer replyBuffer = ReplyBuffer::ResultLength;
    // Special handling: before the token buffer is set up (step 3), and
    // right after the token is built (step 7).
    std::function<void(CallContext&)> beforeToken;
    std::function<void(CallContext&)> afterToken;
};

// Step 8 of the connect: what CreateTicket's presence does to the session buttons.
enum class ConnectRule { Tool3, Common, Tool5 };

struct ExtraControl {
    enum class Kind { Label, TextBox, MultiLineBox, Button, Frame };
    Kind kind;
    std::string name;
    std::string text;
    Rect rect;
    std::string toolTip;
};

struct ToolDefinition {
    std::string program;          // TSTestTool3
    std::string windowTitle;      // at start
    std::string connectedPrefix;  // followed by the description URI
    std::string titleLabel;       // Label2's text; empty: no title label
    std::string descriptionLabel = "Enter full URI path of Service Description file below and click Connect";
    std::string defaultDescriptionUri = "http://localhost:8080/TesselService/TesselServiceCore.xml";
    // Names that differ between tools.
    std::string requestBox = "Request", responseBox = "Response", resultBox = "Result";
    std::string authorityBox = "Authority", realmBox = "Realm", passwordBox = "Principal";
    std::string realmLabel = "Realm:";
    std::string defaultAuthority = "LDAP://ldap.example.test";
    std::string defaultRealm = "example.test";
    int clientWidth = 8130, clientHeight = 10635;  // twips
    ConnectRule connectRule = ConnectRule::Common;
    // "Result of " (most tools) or "result of " before the method name.
    std::string resultTitlePrefix = "Result of ";
    // The error page test of the CreateTicket reply (empty: the common one).
    std::function<bool(const std::string&)> createTicketErrorPage;
    std::vector<OperationRow> rows;  // in the tool's fixed order
    std::vector<ExtraControl> extras;
};

// The rows' and shared controls' positions when a definition leaves them out:
// rows stacked from the top, boxes between label and button column.
void LayOutRows(ToolDefinition& tool, int firstTop = 480, int rowPitch = 360);

}  // namespace tessel::tester

// A SOAP 2.0 tool as data: its window (caption, size, the places of the
// controls both tools share, frames and lines), its boxes (each declared
// once), and its operation rows, each naming the boxes it reads in the order
// of the operation's parameters in the catalog, with its button's place, its
// three message titles and the named rules by which it departs from the
// common authenticated call. The core and the window are built from it.
#pragma once

#include <string>
#include <vector>

#include "Client/CallRules.h"
#include "Client/Layout.h"
#include "Client/Version.h"

namespace tessel::tester2 {

using client::BoxKind;
using client::Rect;

// A text box, declared once; every row that names it reads the same widget.
struct Box {
    std::string name{};
    std::string text{};  // the default text, as the tool shows it at start
    BoxKind kind = BoxKind::Line;
    Rect rect{};                // twips, from the window's top left corner
    std::string container{};    // the frame it is drawn inside; empty: the window
};

// How a value is taken and sent: the rules of the common call.
using client::Param;
using client::Send;
using client::Take;

// The titles of the three boxes a row shows: the raw result before
// validation, the reply read back after it, and a failure.
struct Titles {
    std::string result{}, reply{}, error{};
};

struct Row {
    std::string button{};  // BtnGetVOList; its caption is the method's name
    std::string method{};  // GetVOList: also the operation's name in the catalog
    std::vector<Param> params{};
    Rect rect{};           // the button's place, twips from the window's top left corner
    Titles titles{};
    std::string container{};  // the frame it is drawn inside; empty: the window
};

// A captioned frame. Boxes and rows name it as their container to be drawn
// inside it; a frame no control names is a border drawn around what lies there.
struct Frame {
    std::string name{};
    std::string caption{};
    Rect rect{};
};

struct Line {
    std::string name{};
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // twips
    int thickness = 1;                   // units of the original drawing, 1 to 3
};

// When the pointer returns to the default after a failed login or logout.
enum class SessionFailurePointer {
    BeforeBox,  // before the failure box is shown, as after every other failure
    AfterBox,   // only after the failure box is closed (and, at login, after RResult is set)
};

struct Soap2ToolDefinition {
    std::string program{};     // TSTestToolSP2: also the title of the boxes that have none of their own
    client::VersionBlock version{};  // what `--version` prints
    std::string windowName = "frmMain";
    std::string caption{};
    int clientWidth = 7620, clientHeight = 0;  // twips
    // The shared controls whose places differ between tools.
    Rect wsdlRect{};     // cbWSDL
    Rect connectRect{};  // btnConnect
    int separatorTop = 0;  // Line1, across the window
    Rect resultRect{};   // RResult
    SessionFailurePointer sessionFailurePointer = SessionFailurePointer::BeforeBox;

    std::vector<Frame> frames{};  // besides SessionFrame
    std::vector<Line> lines{};    // besides Line1
    std::vector<Box> boxes{};
    // In the order login enables the buttons and logout disables them.
    std::vector<Row> rows{};

    const Row* RowOfButton(const std::string& button) const { return client::FindBy(rows, &Row::button, button); }
    const Box* BoxNamed(const std::string& name) const { return client::FindBy(boxes, &Box::name, name); }
    const Frame* FrameNamed(const std::string& name) const { return client::FindBy(frames, &Frame::name, name); }
};

// What is wrong with a definition, one line each (empty when nothing is): a
// method the catalog does not list, a row whose parameter count differs from
// the catalog's, a box or container that is not declared, a missing title or
// place, a name used twice.
std::vector<std::string> Problems(const Soap2ToolDefinition& tool);

}  // namespace tessel::tester2

// TSTestTool4: the access control lists of items addressed by URI, and the
// messages attached to such items.
#include "Tester/ToolRegistry.h"

namespace tessel::tools {

namespace {

using namespace tester;

// The rows stand one pitch apart from the first; the ACL content box and its
// label sit between the entry rows and the message rows, which follow it.
constexpr int kFirstRow = 600, kPitch = 345;
constexpr int kContentTop = kFirstRow + 8 * kPitch + 60;  // below the eighth row, DeleteACLEntry
constexpr int kContentHeight = 840;
constexpr int kMessageRows = kContentTop + kContentHeight + 120;

constexpr Rect MessageButton(int index)
{
    return {6960, kMessageRows + index * kPitch, 975, 255};
}

ToolDefinition Make()
{
    return {
        .program = "TSTestTool4",
        .windowTitle = "TesselService SOAP Interface TestTool #4 (ACL)",
        .connectedPrefix = "TesselService SOAP Interface TestTool #4 (ACL) - ",
        .titleLabel = "ACL Interface Test",
        .clientHeight = 9915,
        .firstRowTop = kFirstRow,
        .rowPitch = kPitch,
        .boxes =
            {
                {.name = "GetACL_uri", .text = "uri"},
                {.name = "PutACL_uri", .text = "uri"},
                {.name = "UpdateACL_uri", .text = "uri"},
                {.name = "DeleteACL_uri", .text = "uri"},
                {.name = "GetACLEntry_uri", .text = "uri"},
                {.name = "GetACLEntry_user", .text = "user"},
                {.name = "PutACLEntry_uri", .text = "uri"},
                {.name = "PutACLEntry_user", .text = "user"},
                {.name = "PutACLEntry_acc", .text = "acc"},
                {.name = "UpdateACLEntry_uri", .text = "uri"},
                {.name = "UpdateACLEntry_user", .text = "user"},
                {.name = "UpdateACLEntry_acc", .text = "acc"},
                {.name = "DeleteACLEntry_uri", .text = "uri"},
                {.name = "DeleteACLEntry_user", .text = "user"},
                // Shared by PutACL and UpdateACL.
                {.name = "ACL_Content",
                 .text = "<VOACL><control><user>xxx</user><access>rwdarawad</access></control></VOACL>\r\n",
                 .kind = BoxKind::MultiLine,
                 .rect = {2520, kContentTop, 5415, kContentHeight}},
                {.name = "PM_URI", .text = "URI"},
                {.name = "PM_MSG", .text = "Message"},
                {.name = "GM_URI", .text = "URI"},
                {.name = "UM_URI", .text = "URI"},
                {.name = "UM_MSG", .text = "Message"},
                {.name = "RM_URI", .text = "URI"},
            },
        .rows =
            {
                {.label = "[GetACL]", .button = "btnGetACL", .method = "GetACL", .params = {"GetACL_uri"}},
                {.label = "[PutACL]",
                 .button = "btnPutACL",
                 .method = "PutACL",
                 .params = {"PutACL_uri", {"ACL_Content", Take::CutTrailingCrLf}}},
                {.label = "[UpdateACL]",
                 .button = "btnUpdateACL",
                 .method = "UpdateACL",
                 .params = {"UpdateACL_uri", {"ACL_Content", Take::CutTrailingCrLf}}},
                {.label = "[DeleteACL]", .button = "btnDeleteACL", .method = "DeleteACL", .params = {"DeleteACL_uri"}},
                {.label = "[GetACLEntry]",
                 .button = "btnGetACLEntry",
                 .method = "GetACLEntry",
                 .params = {"GetACLEntry_uri", "GetACLEntry_user"}},
                {.label = "[PutACLEntry]",
                 .button = "btnPutACLEntry",
                 .method = "PutACLEntry",
                 .params = {"PutACLEntry_uri", "PutACLEntry_user", "PutACLEntry_acc"}},
                {.label = "[UpdateACLEntry]",
                 .button = "btnUpdateACLEntry",
                 .method = "UpdateACLEntry",
                 .params = {"UpdateACLEntry_uri", "UpdateACLEntry_user", "UpdateACLEntry_acc"}},
                {.label = "[DeleteACLEntry]",
                 .button = "btnDeleteACLEntry",
                 .method = "DeleteACLEntry",
                 .params = {"DeleteACLEntry_uri", "DeleteACLEntry_user"}},
                {.label = "[PutMessage:]",
                 .button = "PM_Button",
                 .method = "PutMessage",
                 .params = {"PM_URI", "PM_MSG"},
                 .buttonRect = MessageButton(0)},
                {.label = "[GetMessage:]",
                 .button = "GM_Button",
                 .method = "GetMessage",
                 .params = {"GM_URI"},
                 .buttonRect = MessageButton(1)},
                {.label = "[UpdateMessage:]",
                 .button = "UM_Button",
                 .method = "UpdateMessage",
                 .params = {"UM_URI", "UM_MSG"},
                 .buttonRect = MessageButton(2)},
                {.label = "[RemoveMessage:]",
                 .button = "RM_Button",
                 .method = "RemoveMessage",
                 .params = {"RM_URI"},
                 .buttonRect = MessageButton(3)},
            },
        .labels = {{.name = "ACL_Content_Label", .text = "<<**ACL >>", .rect = {120, kContentTop, 0, 0}}},
    };
}

[[maybe_unused]] const bool registered = RegisterTool(Make);

}  // namespace

}  // namespace tessel::tools

// TSTestTool6: the operations version 1.1 of the service added to its core
// interface: VO lists, VO URIs and attributes, share-field URIs and attributes.
#include "Tester/ToolRegistry.h"

namespace tessel::tools {

namespace {

using namespace tester;

// Each row at its own top: the label at the left edge, the first box at 1560,
// a second box at 3840, the button at 6960. The first three rows have no
// boxes; their labels stand 120 below their buttons.
constexpr int kFirstBox = 1560, kSecondBox = 3840, kBoxesEnd = 6840, kBoxHeight = 285;

constexpr Rect ButtonAt(int top, int width = 975)
{
    return {6960, top, width, 255};
}
constexpr Rect LabelAt(int top)
{
    return {120, top, 0, 255};
}
constexpr Rect OnlyBox(int top, int left = kFirstBox)
{
    return {left, top, kBoxesEnd - left, kBoxHeight};
}
constexpr Rect FirstBox(int top)
{
    return {kFirstBox, top, kSecondBox - 120 - kFirstBox, kBoxHeight};
}
constexpr Rect SecondBox(int top)
{
    return {kSecondBox, top, kBoxesEnd - kSecondBox, kBoxHeight};
}

ToolDefinition Make()
{
    return {
        .program = "TSTestTool6",
        .version = {.comments = "TesselService V1.1 SOAP 1.0 TestTool #1",
                    .fileDescription = "TestTool #1 for TesselService V1.1",
                    .fileVersion = "1.01",
                    .productVersion = "1.01",
                    .internalName = "TSTestTool6",
                    .productName = "TSTestToolV11_1"},
        .windowTitle = "TesselService SOAP Interface TestTool #6 (V1.1 #1)",
        .connectedPrefix = "TesselService SOAP Interface TestTool #6 (V1.1 #1) - ",
        .titleLabel = "TesselService V1.1 New Interfaces",
        .clientHeight = 9915,
        .boxes =
            {
                {.name = "PutVOURI_vouser", .text = "vouser", .rect = FirstBox(1680)},
                {.name = "PutVOURI_name", .text = "name", .rect = SecondBox(1680)},
                {.name = "RemoveVOURI_URI", .text = "uri", .rect = OnlyBox(2040)},
                {.name = "vouser", .text = "vouser", .rect = FirstBox(2400)},
                {.name = "voname", .text = "voname", .rect = SecondBox(2400)},
                {.name = "vouri", .text = "vouri", .rect = OnlyBox(2760)},
                {.name = "SFauthor", .text = "author", .rect = FirstBox(3120)},
                {.name = "SFname", .text = "name", .rect = SecondBox(3120)},
                {.name = "SFuri", .text = "uri", .rect = OnlyBox(3480, 1920)},
            },
        .rows =
            {
                {.label = "[GetAllVOList]",
                 .button = "btnGetAllVOList",
                 .method = "GetAllVOList",
                 .labelRect = LabelAt(600),
                 .buttonRect = ButtonAt(480, 972)},
                {.label = "[GetAllVOURIList]",
                 .button = "btnGetAllVOURIList",
                 .method = "GetAllVOURIList",
                 .labelRect = LabelAt(960),
                 .buttonRect = ButtonAt(840, 972)},
                {.label = "[GetAllVOUserList]",
                 .button = "btnGetAllVOUserList",
                 .method = "GetAllVOUserList",
                 .labelRect = LabelAt(1320),
                 .buttonRect = ButtonAt(1200, 972)},
                {.label = "[PutVOURI]",
                 .button = "BtnPutVOURI",
                 .method = "PutVOURI",
                 .params = {"PutVOURI_vouser", "PutVOURI_name"},
                 .buttonRect = ButtonAt(1680)},
                {.label = "[RemoveVOURI]",
                 .button = "BtnRemoveVOURI",
                 .method = "RemoveVOURI",
                 .params = {"RemoveVOURI_URI"},
                 .buttonRect = ButtonAt(2040)},
                {.label = "[GetVOURI]",
                 .button = "btnGetVOURI",
                 .method = "GetVOURI",
                 .params = {"vouser", "voname"},
                 .buttonRect = ButtonAt(2400)},
                {.label = "[GetVOAttribute]",
                 .button = "btnGetVOAttribute",
                 .method = "GetVOAttribute",
                 .params = {"vouri"},
                 .buttonRect = ButtonAt(2760)},
                {.label = "[GetShareFieldURI]",
                 .button = "btnGetShareFieldURI",
                 .method = "GetShareFieldURI",
                 .params = {"SFauthor", "SFname"},
                 .buttonRect = ButtonAt(3120)},
                {.label = "[GetShareFieldAttribute]",
                 .button = "btnGetShareFieldAttribute",
                 .method = "GetShareFieldAttribute",
                 .params = {"SFuri"},
                 .buttonRect = ButtonAt(3480)},
            },
        .enableOrder = {"GetAllVOList", "GetAllVOURIList", "GetAllVOUserList", "GetVOURI", "GetVOAttribute",
                        "GetShareFieldURI", "GetShareFieldAttribute", "PutVOURI", "RemoveVOURI"},
        .closeOrder = {"btnGetAllVOList", "btnGetAllVOURIList", "btnGetAllVOUserList", "btnGetVOURI",
                       "btnGetVOAttribute", "btnGetShareFieldURI", "btnGetShareFieldAttribute", "BtnPutVOURI",
                       "BtnRemoveVOURI"},
    };
}

[[maybe_unused]] const bool registered = RegisterTool(Make);

}  // namespace

}  // namespace tessel::tools

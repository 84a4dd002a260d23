// TSTestTool8: the Folio resources, addressed by name, with their URLs,
// property texts and attributes.
#include "Tester/ToolRegistry.h"

namespace tessel::tools {

namespace {

using namespace tester;

// Each row's label and button stand at the row's top; the attribute block's
// boxes have lines of their own between the three attribute rows.
constexpr int kBoxHeight = 270;

constexpr Rect ButtonAt(int top, int width = 975)
{
    return {6960, top, width, 255};
}
constexpr Rect BoxAt(int left, int top, int width)
{
    return {left, top, width, kBoxHeight};
}

// The attribute block, in the order the attribute operations send it; Update
// and Remove send the first seven.
const std::vector<Param> kAttributes9 = {"PVORAname",    "PVORAmodulename",  "PVORAcreator",
                                         "PVORAversion", "PVORAtype",        "PVORAid",
                                         "PVORAdescription", "PVORAurlleaf", "PVORAprops"};
const std::vector<Param> kAttributes7(kAttributes9.begin(), kAttributes9.begin() + 7);

ToolDefinition Make()
{
    return {
        .program = "TSTestTool8",
        .version = {.comments = "TesselService V1.1 SOAP 1.0 TestTool #1",
                    .fileDescription = "TestTool #1 for TesselService V1.1",
                    .fileVersion = "1.01",
                    .productVersion = "1.01",
                    .internalName = "TSTestTool8",
                    .productName = "TSTestToolV11_1"},
        .windowName = "TSTestTool8",
        .windowTitle = "TesselService SOAP Interface TestTool #8 ( FolioResource)",
        .connectedPrefix = "TesselService SOAP Interface TestTool V1.1 #8 (Folio Resource) - ",
        .titleLabel = "TesselService Folio Resource Interfaces",
        .clientHeight = 9915,
        .loginErrorPage = LoginErrorPage::HtmlOrDocTypeStart,
        .boxes =
            {
                {.name = "GVORURLname", .text = "name", .rect = BoxAt(2040, 600, 4815)},
                {.name = "RVORname", .text = "name", .rect = BoxAt(2040, 960, 4815)},
                {.name = "GVORAname", .text = "name", .rect = BoxAt(2280, 1320, 4575)},
                {.name = "GVORALmodulename", .text = "modulename", .rect = BoxAt(2520, 1680, 4335)},
                {.name = "UVORURLname", .text = "name", .rect = BoxAt(2160, 2880, 1935)},
                {.name = "UVORURLurlleaf", .text = "urlleaf", .rect = BoxAt(4200, 2880, 2655)},
                {.name = "UVORPname", .text = "name", .rect = BoxAt(2160, 3360, 1935)},
                {.name = "UVORPprops", .text = "props", .rect = BoxAt(4200, 3360, 2655)},
                // The attribute block, shared by the three attribute operations.
                {.name = "PVORAname", .text = "name", .rect = BoxAt(2640, 4080, 1455)},
                {.name = "PVORAmodulename", .text = "modulename", .rect = BoxAt(4200, 4080, 2655)},
                {.name = "PVORAcreator", .text = "creator", .rect = BoxAt(2640, 4440, 1455)},
                {.name = "PVORAversion", .text = "version", .rect = BoxAt(4200, 4440, 1335)},
                {.name = "PVORAtype", .text = "type", .rect = BoxAt(5640, 4440, 1215)},
                {.name = "PVORAid", .text = "id", .rect = BoxAt(2640, 4800, 1455)},
                {.name = "PVORAdescription", .text = "description", .rect = BoxAt(4200, 4800, 2655)},
                {.name = "PVORAurlleaf", .text = "urlleaf", .rect = BoxAt(2640, 5280, 1455)},
                {.name = "PVORAprops", .text = "props", .rect = BoxAt(4200, 5280, 2655)},
            },
        .rows =
            {
                {.label = "[GetVOResourceURL]",
                 .button = "btnGetVOResourceURL",
                 .method = "GetVOResourceURL",
                 .params = {"GVORURLname"},
                 .buttonRect = ButtonAt(600, 972)},
                {.label = "[RemoveVOResource]",
                 .button = "btnRemoveVOResource",
                 .method = "RemoveVOResource",
                 .params = {"RVORname"},
                 .buttonRect = ButtonAt(960, 972)},
                {.label = "[GetVOResourceAttribute]",
                 .button = "btnGetVOResourceAttribute",
                 .method = "GetVOResourceAttribute",
                 .params = {"GVORAname"},
                 .buttonRect = ButtonAt(1320, 972)},
                {.label = "[GetVOResourceAttributeList]",
                 .button = "BtnGetVOResourceAttributeList",
                 .method = "GetVOResourceAttributeList",
                 .params = {"GVORALmodulename"},
                 .buttonRect = ButtonAt(1680)},
                {.label = "[GetAllVOResourceAttributeList]",
                 .button = "BtnGetAllVOResourceAttributeList",
                 .method = "GetAllVOResourceAttributeList",
                 .buttonRect = ButtonAt(2040)},
                {.label = "[GetVOResourceModuleNameList]",
                 .button = "btnGetVOResourceModuleNameList",
                 .method = "GetVOResourceModuleNameList",
                 .buttonRect = ButtonAt(2520)},
                {.label = "[UpdateVOResourceURL]",
                 .button = "btnUpdateVOResourceURL",
                 .method = "UpdateVOResourceURL",
                 .params = {"UVORURLname", "UVORURLurlleaf"},
                 .buttonRect = ButtonAt(2880)},
                {.label = "[UpdateVOResourceProps]",
                 .button = "btnUpdateVOResourceProps",
                 .method = "UpdateVOResourceProps",
                 .params = {"UVORPname", "UVORPprops"},
                 .buttonRect = ButtonAt(3360)},
                {.label = "[PutVOResourcewithAttribute]",
                 .button = "btnPutVOResourcewithAttribute",
                 .method = "PutVOResourcewithAttribute",
                 .params = kAttributes9,
                 .buttonRect = ButtonAt(4080)},
                {.label = "[UpdateVOResourceAttribute]",
                 .button = "btnUpdateVOResourceAttribute",
                 .method = "UpdateVOResourceAttribute",
                 .params = kAttributes7,
                 .buttonRect = ButtonAt(4680)},
                {.label = "[RemoveVOResourceAttribute]",
                 .button = "btnRemoveVOResourceAttribute",
                 .method = "RemoveVOResourceAttribute",
                 .params = kAttributes7,
                 .buttonRect = ButtonAt(5160)},
            },
        // Between the first eight operations and the three attribute operations.
        .lines = {{.name = "Line1", .x1 = 120, .y1 = 3960, .x2 = 7920, .y2 = 3960, .thickness = 2}},
    };
}

[[maybe_unused]] const bool registered = RegisterTool(Make);

}  // namespace

}  // namespace tessel::tools

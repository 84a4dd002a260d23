// TSTestTool5: the settings queries of the main service, and the reload
// commands of the admin interface, which has a description of its own.
#include "Tester/ToolRegistry.h"

namespace tessel::tools {

namespace {

using namespace tester;

Rect ButtonAt(int top)
{
    return {6960, top, 975, 255};
}

ToolDefinition Make()
{
    // The admin part at the top: its heading, the three reload rows, its
    // prompt and description box; then the title label and the six rows of
    // the main service.
    constexpr int adminPitch = 360, mainPitch = 420;
    constexpr int reload = 600;
    // The admin prompt is long: it ends above the top of its connect button.
    constexpr int adminPrompt = reload + 3 * adminPitch + 60, adminUri = adminPrompt + 300;
    constexpr int title = adminUri + 660;
    constexpr int main = title + 420;
    constexpr int lastMain = main + 5 * mainPitch;
    static_assert(lastMain + 285 < 6600 - 720, "the rows end above the description box");
    return {
        .program = "TSTestTool5",
        .version = {.comments = "TesselService SOAP TestTool #5",
                    .fileDescription = "Test Tool #5 for TesselService",
                    .fileVersion = "1.00",
                    .productVersion = "1.00",
                    .internalName = "TSTestTool5"},
        .windowTitle = "TesselService SOAP Interface TestTool #5 (Others)",
        .connectedPrefix = "TesselService SOAP Interface TestTool #5 (Others) - ",
        .titleLabel = "Setting Query Interface Test",
        .titleLabelRect = {120, title, 0, 0},
        .descriptionLabel = "Enter full TesselService URI path of Service Description file below and click Connect",
        .clientHeight = 9915,
        .connectRule = ConnectRule::EnableLoginWhileDisabled,
        .boxes =
            {
                {.name = "GroupName", .text = "group"},
                {.name = "txtAdminURI",
                 .text = "http://localhost:8080/TesselService/TesselServiceCoreAdmin.xml",
                 .rect = {120, adminUri, 6495, 285}},
            },
        .rows =
            {
                // The admin interface: enabled by the admin connection, posted
                // to the admin endpoint (the catalog puts them on that interface).
                {.label = "[ReLoadConfig]",
                 .button = "BtnReLoadConfig",
                 .method = "ReLoadConfig",
                 .buttonRect = ButtonAt(reload)},
                {.label = "[ReLoadUnifyTable]",
                 .button = "BtnReLoadUnifyTable",
                 .method = "ReLoadUnifyTable",
                 .buttonRect = ButtonAt(reload + adminPitch)},
                {.label = "[ReLoadTransform]",
                 .button = "BtnReLoadTransform",
                 .method = "ReLoadTransform",
                 .buttonRect = ButtonAt(reload + 2 * adminPitch)},
                // The main service.
                {.label = "[GetCompressThreshold]",
                 .button = "btnGCT",
                 .method = "GetCompressThreshold",
                 .buttonRect = ButtonAt(main)},
                {.label = "[GetAdminUserList]",
                 .button = "btnGAL",
                 .method = "GetAdminUserList",
                 .buttonRect = ButtonAt(main + mainPitch)},
                {.label = "[GetGroupList]",
                 .button = "btnGGL",
                 .method = "GetGroupList",
                 .caption = "Send ",
                 .buttonRect = ButtonAt(main + 2 * mainPitch)},
                {.label = "[GetGroupUserList]",
                 .button = "btnGGUL",
                 .method = "GetGroupUserList",
                 .params = {"GroupName"},
                 .buttonRect = ButtonAt(main + 3 * mainPitch)},
                {.label = "[GetOwnGroupList]",
                 .button = "btnGetOwnGroupList",
                 .method = "GetOwnGroupList",
                 .buttonRect = ButtonAt(main + 4 * mainPitch)},
                {.label = "[GetConferenceManagerURL]",
                 .button = "GetConferenceManagerURLBtn",
                 .method = "GetConferenceManagerURL",
                 .buttonRect = ButtonAt(lastMain)},
            },
        .labels =
            {
                {.name = "LabelAdmin", .text = "Admin Interfaces Test", .rect = {120, 240, 0, 0}, .bold = true},
                {.name = "LabelAdminURI",
                 .text = "Enter full TesselServiceAdmin URI path of Service Description file below and click Connect",
                 .rect = {120, adminPrompt, 0, 0}},
            },
        .lines = {{.name = "LineAdmin", .x1 = 120, .y1 = title - 180, .x2 = 7935, .y2 = title - 180}},
        .buttons = {{.name = "BtnConnectAdmin",
                     .caption = "Connect",
                     .rect = {6960, adminUri - 60, 972, 372},
                     .action = Action::ConnectAdmin}},
        .enableOrder = {"GetCompressThreshold", "GetAdminUserList", "GetGroupList", "GetGroupUserList",
                        "GetConferenceManagerURL", "GetOwnGroupList"},
        .closeOrder = {"btnGCT", "btnGAL", "btnGGL", "btnGGUL", "BtnReLoadConfig", "BtnReLoadUnifyTable",
                       "BtnReLoadTransform", "btnGetOwnGroupList", "GetConferenceManagerURLBtn"},
        .admin = AdminConnection{.uriBox = "txtAdminURI",
                                 .enableOrder = {"ReLoadConfig", "ReLoadUnifyTable", "ReLoadTransform"}},
    };
}

[[maybe_unused]] const bool registered = RegisterTool(Make);

}  // namespace

}  // namespace tessel::tools

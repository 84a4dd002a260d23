// TSTestTool2: the collaboration interface: sharing, attendees, owners and
// share fields.
#include "Tester/ToolRegistry.h"

namespace tessel::tools {

namespace {

using namespace tester;

constexpr int kFirstRow = 600, kPitch = 360;

// The top of the row at `index` in the window, in twips.
constexpr int RowTop(int index)
{
    return kFirstRow + index * kPitch;
}

// The one share-field content box of PutShareField, UpdateShareField and
// SaveSharing: one trailing CR LF is cut from the box itself, and the rest is
// sent as it stands, line breaks and all.
const Param kField{"SF_Content", Take::CutTrailingCrLf};

ToolDefinition Make()
{
    constexpr int saveSharing = RowTop(12);
    constexpr int contentTop = saveSharing + 360;
    return {
        .program = "TSTestTool2",
        .version = {.comments = "TesselService Test Tool #2",
                    .fileDescription = "Test Tool # 2 for TesselService",
                    .fileVersion = "1.00",
                    .productVersion = "1.00",
                    .internalName = "TSTestTool2"},
        .windowTitle = "TesselService SOAP Interface TestTool #2 (CollabDB)",
        .connectedPrefix = "TesselService SOAP Interface TestTool#2 (CollabDB) - ",
        .titleLabel = "Collaboration Interface Test",
        .requestBox = "RequestText",
        .responseBox = "ResponseText",
        .clientHeight = 10740,
        .firstRowTop = kFirstRow,
        .rowPitch = kPitch,
        .boxes =
            {
                {.name = "GAList_Auth", .text = "URI"},
                {.name = "SS_Auth", .text = "IPADDRESS"},
                {.name = "SS_Name", .text = "URI"},
                {.name = "ES_Auth", .text = "URI"},
                {.name = "ESAll_Auth", .text = "URI"},
                {.name = "ESAll_Name", .text = "Attendee"},
                {.name = "GSF_Auth", .text = "URI"},
                {.name = "GASF_Auth", .text = "URI"},
                {.name = "GASF_Name", .text = "Attendee"},
                {.name = "RSF_Auth", .text = "URI"},
                {.name = "ChangeOwner_URI", .text = "URI"},
                {.name = "ChangeOwner_newowner", .text = "newowner"},
                {.name = "PSF_Auth", .text = "Author10"},
                {.name = "PSF_Name", .text = "Name10"},
                {.name = "USF_Auth", .text = "URI"},
                // Narrower than a lone box, to leave room for the content label.
                {.name = "UASF_Auth", .text = "URI", .rect = {2520, saveSharing, 1500, 285}},
                {.name = "SF_Content",
                 .text = "<content>xxx</content>\r\n",
                 .kind = BoxKind::MultiLine,
                 .rect = {120, contentTop, 7815, 1200}},
            },
        .rows =
            {
                {.label = "[GetAttendeesList]",
                 .button = "btnGAList",
                 .method = "GetAttendeesList",
                 .params = {"GAList_Auth"}},
                {.label = "[StartSharing]",
                 .button = "btnSS",
                 .method = "StartSharing",
                 .params = {"SS_Auth", "SS_Name"},
                 .reply = Reply::AtLeastOneMiB},
                {.label = "[EndSharing]", .button = "btnES", .method = "EndSharing", .params = {"ES_Auth"}},
                {.label = "[AddAttendee]",
                 .button = "btnESAll",
                 .method = "AddAttendee",
                 .params = {"ESAll_Auth", "ESAll_Name"}},
                {.label = "[GetShareField]",
                 .button = "btnGSF",
                 .method = "GetShareField",
                 .params = {"GSF_Auth"},
                 .reply = Reply::AtLeastOneMiB},
                {.label = "[DeleteAttendee:]",
                 .button = "btnGASF",
                 .method = "DeleteAttendee",
                 .params = {"GASF_Auth", "GASF_Name"}},
                {.label = "[GetShareFieldList]", .button = "btnGSFList", .method = "GetShareFieldList"},
                {.label = "[GetShareFieldURIList]", .button = "btnGASFList", .method = "GetShareFieldURIList"},
                {.label = "[RemoveShareField]",
                 .button = "btnRSF",
                 .method = "RemoveShareField",
                 .params = {"RSF_Auth"}},
                {.label = "[ChangeOwner]",
                 .button = "btnChangeOwner",
                 .method = "ChangeOwner",
                 .params = {"ChangeOwner_URI", "ChangeOwner_newowner"}},
                {.label = "[**PutShareField]",
                 .button = "btnPSF",
                 .method = "PutShareField",
                 .params = {"PSF_Auth", "PSF_Name", kField}},
                {.label = "[**UpdateShareField]",
                 .button = "btnUSF",
                 .method = "UpdateShareField",
                 .params = {"USF_Auth", kField}},
                {.label = "[**SaveSharing:]",
                 .button = "btnUASF",
                 .method = "SaveSharing",
                 .params = {"UASF_Auth", kField}},
            },
        .labels = {{.name = "SF_Content_Label",
                    .text = "<<**Share Field Content>>",
                    .rect = {4140, saveSharing + 30, 0, 0}}},
        .enableOrder = {"GetAttendeesList", "StartSharing", "EndSharing", "AddAttendee", "GetShareField",
                        "DeleteAttendee", "GetShareFieldList", "GetShareFieldURIList", "ChangeOwner", "PutShareField",
                        "UpdateShareField", "SaveSharing", "RemoveShareField"},
        .closeOrder = {"btnGAList", "btnSS", "btnES", "btnESAll", "btnGSF", "btnGASF", "btnGSFList", "btnGASFList",
                       "btnPSF", "btnUSF", "btnUASF", "btnRSF", "btnChangeOwner"},
    };
}

[[maybe_unused]] const bool registered = RegisterTool(Make);

}  // namespace

}  // namespace tessel::tools

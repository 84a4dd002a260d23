// TSTestTool1: queries and the Folio content database, by name and by URI.
#include "Tester/ToolRegistry.h"

namespace tessel::tools {

namespace {

using namespace tester;

// The rows stand one under the other; a row with a content box under it
// leaves room for the box. Positions in twips.
constexpr int kPitch = 330, kBoxLeft = 120, kBoxWidth = 7815, kContentHeight = 555;

Rect ButtonAt(int top)
{
    return {6960, top, 975, 255};
}

// The statement and content building, then the slot read back after the token.
Param Built(const char* box)
{
    return {box, Take::JoinTrimmedLines, Send::SlotReadBack};
}

ToolDefinition Make()
{
    constexpr int query = 480;
    constexpr int symbolTop = query + 300, symbolHeight = 705;
    constexpr int list = symbolTop + symbolHeight + 75;
    constexpr int get = list + kPitch;
    constexpr int put = get + kPitch, translate = put + 300;
    constexpr int remove = translate + kContentHeight + 75;
    constexpr int update = remove + kPitch, updateContent = update + 300;
    constexpr int uriList = updateContent + kContentHeight + 75;
    constexpr int getByUri = uriList + kPitch;
    constexpr int updateByUri = getByUri + kPitch, updateByUriContent = updateByUri + 300;
    constexpr int removeByUri = updateByUriContent + kContentHeight + 75;
    static_assert(removeByUri + 285 < 6600 - 195, "the rows end above the description box");
    return {
        .program = "TSTestTool1",
        .version = {.comments = "TesselService SOAP TestTool #1",
                    .fileDescription = "TestTool #1 for TesselService",
                    .fileVersion = "1.00",
                    .productVersion = "1.00",
                    .internalName = "TSTestTool1"},
        .windowTitle = "TesselService SOAP Interface TestTool #1 (Query&FolioDB)",
        .connectedPrefix = "TesselService SOAP Interface TestTool#1 (Query&FolioDB) - ",
        .requestBox = "RequestText",
        .responseBox = "ResponseText",
        .authorityBox = "AuthorityText",
        .realmBox = "RealmText",
        .passwordBox = "CredText",
        .realmLabel = "realm:",
        .clientHeight = 10440,
        .replyOrder = ReplyOrder::TestFirst,
        .resultTitlePrefix = "result of ",
        .boxes =
            {
                {.name = "txtSymbol",
                 .text = "<query><get><content>column</content><target><provider>SQLOLEDB.1</provider><dsn>localhost"
                         "</dsn><catalog>Northwind</catalog><table></table></target></get></query>\r\n",
                 .kind = BoxKind::MultiLine,
                 .rect = {kBoxLeft, symbolTop, kBoxWidth, symbolHeight}},
                {.name = "textName", .text = "Name1"},
                {.name = "PutName", .text = "Name2"},
                {.name = "txtTranslate",
                 .text = "<content>xxx</content>\r\n",
                 .kind = BoxKind::RichText,
                 .rect = {kBoxLeft, translate, kBoxWidth, kContentHeight}},
                {.name = "RVOC_Name", .text = "Name3"},
                {.name = "UVOC_Name", .text = "Name4"},
                {.name = "UVOC_Content",
                 .text = "<content>xxx</content>\r\n",
                 .kind = BoxKind::MultiLine,
                 .rect = {kBoxLeft, updateContent, kBoxWidth, kContentHeight}},
                {.name = "GVOCURI_uri", .text = "URI1"},
                {.name = "UVOCURI_uri", .text = "URI2"},
                {.name = "UVOCURI_Content",
                 .text = "<content>xxx</content>\r\n",
                 .kind = BoxKind::MultiLine,
                 .rect = {kBoxLeft, updateByUriContent, kBoxWidth, kContentHeight}},
                {.name = "RemoveVOContentbyURI_URI", .text = "URI3"},
            },
        .rows =
            {
                // The query: the hourglass from the first step, the headers
                // at once with the length in bytes, and the raw result shown.
                {.label = "[Query]",
                 .button = "btnQuery_SW",
                 .method = "Query",
                 .params = {Built("txtSymbol")},
                 .buttonRect = ButtonAt(query),
                 .reply = Reply::RawAfterFirstKiB,
                 .headers = Headers::BytesAtOnce,
                 .hourglass = Hourglass::FromStartUntilPost},
                {.label = "[GetVOList]", .button = "btnGVOL_SW", .method = "GetVOList", .buttonRect = ButtonAt(list)},
                {.label = "[GetVOContent]",
                 .button = "btnGVOC_SW",
                 .method = "GetVOContent",
                 .params = {"textName"},
                 .buttonRect = ButtonAt(get),
                 .reply = Reply::AtLeastOneMiBUnlessNoReplyToken},
                {.label = "[PutVOContent]",
                 .button = "btnPVOC_SW",
                 .method = "PutVOContent",
                 .params = {"PutName", {"txtTranslate", Take::JoinTrimmedLines}},
                 .buttonRect = ButtonAt(put)},
                {.label = "[RemoveVOContent]",
                 .button = "btnRVOC",
                 .method = "RemoveVOContent",
                 .params = {"RVOC_Name"},
                 .buttonRect = ButtonAt(remove)},
                {.label = "[UpdateVOContent]",
                 .button = "btnUVOC",
                 .method = "UpdateVOContent",
                 .params = {"UVOC_Name", Built("UVOC_Content")},
                 .buttonRect = ButtonAt(update)},
                {.label = "[GetVOURIList]",
                 .button = "btnGVOURIList",
                 .method = "GetVOURIList",
                 .buttonRect = ButtonAt(uriList)},
                {.label = "[GetVOContentbyURI]",
                 .button = "btnGVOCURI",
                 .method = "GetVOContentbyURI",
                 .params = {"GVOCURI_uri"},
                 .buttonRect = ButtonAt(getByUri),
                 .reply = Reply::AtLeastOneMiB},
                {.label = "[UpdateVOContentbyURI]",
                 .button = "btnUVOCURI",
                 .method = "UpdateVOContentbyURI",
                 .params = {"UVOCURI_uri", Built("UVOCURI_Content")},
                 .buttonRect = ButtonAt(updateByUri)},
                {.label = "[RemoveVOContentbyURI]",
                 .button = "btnRemoveVOContentbyURI",
                 .method = "RemoveVOContentbyURI",
                 .params = {"RemoveVOContentbyURI_URI"},
                 .buttonRect = ButtonAt(removeByUri)},
            },
        .enableOrder = {"Query", "GetVOContent", "GetVOList", "PutVOContent", "RemoveVOContent", "UpdateVOContent",
                        "GetVOContentbyURI", "GetVOURIList", "UpdateVOContentbyURI", "RemoveVOContentbyURI"},
        .closeOrder = {"btnQuery_SW", "btnGVOC_SW", "btnGVOL_SW", "btnPVOC_SW", "btnRVOC", "btnUVOC", "btnGVOCURI",
                       "btnGVOURIList", "btnUVOCURI", "btnRemoveVOContentbyURI"},
    };
}

[[maybe_unused]] const bool registered = RegisterTool(Make);

}  // namespace

}  // namespace tessel::tools

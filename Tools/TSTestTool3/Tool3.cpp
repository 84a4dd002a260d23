// TSTestTool3: the log database and the access control lists of resources.
#include "Client/TokenSession.h"
#include "Tester/TesterCore.h"
#include "Tester/ToolRegistry.h"

namespace tessel::tools {

namespace {

using namespace tester;

// PutResourceACL and PutResourceACLEntry send a second token, built at once on
// the same handler right after the first (afterToken): it replaces the token
// the request carries as "user", whole. The first token's length is no limit:
// a token's nonce has a random length, and a second token cut to the first
// one's length would lose its opaque value.
void SecondToken(CallContext& c)
{
    c.session.tokenText = c.tokens.library().ConstructToken(c.session.tokenHandler, client::kTokenCapacity).text;
}

// PutResourceACL also shows the second token in the user name box.
void SecondTokenIntoUserName(CallContext& c)
{
    SecondToken(c);
    c.ui.SetText("UserKey", c.session.tokenText);
}

ToolDefinition Make()
{
    return {
        .program = "TSTestTool3",
        .windowTitle = "TesselService SOAP Interface TestTool #3 (LogDB & ResACL)",
        .connectedPrefix = "TesselService SOAP Interface TestTool #3 (LogDB & ResACL) - ",
        .titleLabel = "LogDB Interface Test",
        .clientHeight = 10635,
        .firstRowTop = 600,
        .rowPitch = 345,
        .connectRule = ConnectRule::EnableLoginDisableLogout,
        .boxes =
            {
                {.name = "SS_Auth", .text = "logID"},
                {.name = "ES_Auth", .text = "logID"},
                {.name = "ES_Name", .text = "count"},
                {.name = "ESAll_Auth", .text = "log"},
                {.name = "URI", .text = "URI"},
                {.name = "Log", .text = "log"},
                {.name = "Category", .text = "Category"},
                {.name = "GSFName", .text = "name"},
                {.name = "GASF_Auth", .text = "resumeID"},
                {.name = "Flag", .text = "flag"},
                {.name = "GetResourceACL_name", .text = "name"},
                {.name = "GetResourceACLEntry_name", .text = "name"},
                {.name = "GetResourceACLEntry_acluser", .text = "acluser"},
                {.name = "PutResourceACL_name", .text = "name"},
                {.name = "PutResourceACL_acl", .text = "acl"},
                {.name = "PutResourceACLEntry_name", .text = "name"},
                {.name = "PutResourceACLEntry_acluser", .text = "acluser"},
                {.name = "PutResourceACLEntry_accright", .text = "accright"},
                {.name = "UpdateResourceACL_name", .text = "name"},
                {.name = "UpdateResourceACL_acl", .text = "acl"},
                {.name = "UpdateResourceACLEntry_name", .text = "name"},
                {.name = "UpdateResourceACLEntry_acluser", .text = "acluser"},
                {.name = "UpdateResourceACLEntry_accright", .text = "accright"},
                {.name = "DeleteResourceACL_name", .text = "name"},
                {.name = "DeleteResourceACLEntry_name", .text = "name"},
                {.name = "DeleteResourceACLEntry_acluser", .text = "acluser"},
            },
        .rows =
            {
                {.label = "[GetLogIDList]", .button = "btnGAList", .method = "GetLogIDList"},
                {.label = "[GetLog]", .button = "btnSS", .method = "GetLog", .params = {"SS_Auth"}},
                {.label = "[GetLogs]", .button = "btnES", .method = "GetLogs", .params = {"ES_Auth", "ES_Name"}},
                {.label = "[PutLog]", .button = "btnESAll", .method = "PutLog", .params = {"ESAll_Auth"}},
                {.label = "[GetLogCount]", .button = "btnLogCount", .method = "GetLogCount"},
                {.label = "[PutCollabLog:]", .button = "PCL_Button", .method = "PutCollabLog", .params = {"URI", "Log"}},
                {.label = "[GetCategoryLogIDList]",
                 .button = "GCLL_Button",
                 .method = "GetCategoryLogIDList",
                 .params = {"Category"}},
                {.label = "[GetResumeIDList]", .button = "btnGSF", .method = "GetResumeIDList", .params = {"GSFName"}},
                {.label = "[ResumeServiceProcess]",
                 .button = "btnGASF",
                 .method = "ResumeServiceProcess",
                 .params = {"GASF_Auth", "Flag"}},
                {.label = "[GetResourceACL]",
                 .button = "btnGetResourceACL",
                 .method = "GetResourceACL",
                 .params = {"GetResourceACL_name"}},
                {.label = "[GetResourceACLEntry]",
                 .button = "btnGetResourceACLEntry",
                 .method = "GetResourceACLEntry",
                 .params = {"GetResourceACLEntry_name", "GetResourceACLEntry_acluser"}},
                {.label = "[PutResourceACL]",
                 .button = "btnPutResourceACL",
                 .method = "PutResourceACL",
                 .params = {"PutResourceACL_name", "PutResourceACL_acl"},
                 .afterToken = SecondTokenIntoUserName},
                {.label = "[PutResourceACLEntry]",
                 .button = "btnPutResourceACLEntry",
                 .method = "PutResourceACLEntry",
                 .params = {"PutResourceACLEntry_name", "PutResourceACLEntry_acluser", "PutResourceACLEntry_accright"},
                 .afterToken = SecondToken},
                {.label = "[UpdateResourceACL]",
                 .button = "btnUpdateResourceACL",
                 .method = "UpdateResourceACL",
                 .params = {"UpdateResourceACL_name", "UpdateResourceACL_acl"}},
                {.label = "[UpdateResourceACLEntry]",
                 .button = "btnUpdateResourceACLEntry",
                 .method = "UpdateResourceACLEntry",
                 .params = {"UpdateResourceACLEntry_name", "UpdateResourceACLEntry_acluser",
                            "UpdateResourceACLEntry_accright"}},
                {.label = "[DeleteResourceACL]",
                 .button = "btnDeleteResourceACL",
                 .method = "DeleteResourceACL",
                 .params = {"DeleteResourceACL_name"}},
                {.label = "[DeleteResourceACLEntry]",
                 .button = "btnDeleteResourceACLEntry",
                 .method = "DeleteResourceACLEntry",
                 .params = {"DeleteResourceACLEntry_name", "DeleteResourceACLEntry_acluser"}},
            },
    };
}

[[maybe_unused]] const bool registered = RegisterTool(Make);

}  // namespace

}  // namespace tessel::tools

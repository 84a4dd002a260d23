#include "Tool3.h"

#include "Tester/TesterCore.h"

namespace tessel::tools {

namespace {

using tester::CallContext;
using tester::OperationRow;
using tester::ParameterRow;

ParameterRow P(const char* name, const char* box, const char* text = nullptr)
{
    return ParameterRow{name, box, text ? text : name, {}, false};
}

OperationRow Row(const char* method, const char* button, std::vector<ParameterRow> params)
{
    OperationRow row;
    row.label = std::string("[") + method + "]";
    row.button = button;
    row.method = method;
    row.params = std::move(params);
    return row;
}

// The two resource-ACL puts send a second token, built at once on the same
// handler into the first token's buffer with the first token's length as
// capacity; PutResourceACL also shows it in the user name box.
void SecondToken(CallContext& c, bool intoUserName)
{
    const auto length = static_cast<std::int32_t>(c.session.tokenText.size());
    c.session.tokenText = c.library.ConstructToken(c.session.tokenHandler, length, c.session.tokenText);
    if (intoUserName)
        c.ui.SetText("UserKey", c.session.tokenText);
}

tester::ToolDefinition Make()
{
    tester::ToolDefinition t;
    t.program = "TSTestTool3";
    t.windowTitle = "TesselService SOAP Interface TestTool #3 (LogDB & ResACL)";
    t.connectedPrefix = "TesselService SOAP Interface TestTool #3 (LogDB & ResACL) - ";
    t.titleLabel = "LogDB Interface Test";
    t.clientHeight = 10635;
    t.connectRule = tester::ConnectRule::Tool3;
    t.rows = {
        Row("GetLogIDList", "btnGAList", {}),
        Row("GetLog", "btnSS", {P("logID", "SS_Auth")}),
        Row("GetLogs", "btnES", {P("logID", "ES_Auth"), P("count", "ES_Name")}),
        Row("PutLog", "btnESAll", {P("log", "ESAll_Auth")}),
        Row("GetLogCount", "btnLogCount", {}),
        Row("PutCollabLog", "PCL_Button", {P("uri", "URI", "URI"), P("log", "Log")}),
        Row("GetCategoryLogIDList", "GCLL_Button", {P("category", "Category", "Category")}),
        Row("GetResumeIDList", "btnGSF", {P("name", "GSFName")}),
        Row("ResumeServiceProcess", "btnGASF", {P("resumeID", "GASF_Auth"), P("flag", "Flag")}),
        Row("GetResourceACL", "btnGetResourceACL", {P("name", "GetResourceACL_name")}),
        Row("GetResourceACLEntry", "btnGetResourceACLEntry",
            {P("name", "GetResourceACLEntry_name"), P("acluser", "GetResourceACLEntry_acluser")}),
        Row("PutResourceACL", "btnPutResourceACL", {P("name", "PutResourceACL_name"), P("acl", "PutResourceACL_acl")}),
        Row("PutResourceACLEntry", "btnPutResourceACLEntry",
            {P("name", "PutResourceACLEntry_name"), P("acluser", "PutResourceACLEntry_acluser"),
             P("accright", "PutResourceACLEntry_accright")}),
        Row("UpdateResourceACL", "btnUpdateResourceACL",
            {P("name", "UpdateResourceACL_name"), P("acl", "UpdateResourceACL_acl")}),
        Row("UpdateResourceACLEntry", "btnUpdateResourceACLEntry",
            {P("name", "UpdateResourceACLEntry_name"), P("acluser", "UpdateResourceACLEntry_acluser"),
             P("accright", "UpdateResourceACLEntry_accright")}),
        Row("DeleteResourceACL", "btnDeleteResourceACL", {P("name", "DeleteResourceACL_name")}),
        Row("DeleteResourceACLEntry", "btnDeleteResourceACLEntry",
            {P("name", "DeleteResourceACLEntry_name"), P("acluser", "DeleteResourceACLEntry_acluser")}),
    };
    // "[PutCollabLog:]" keeps its colon.
    t.rows[5].label = "[PutCollabLog:]";
    t.rows[11].afterToken = [](CallContext& c) { SecondToken(c, true); };
    t.rows[12].afterToken = [](CallContext& c) { SecondToken(c, false); };
    tester::LayOutRows(t, 600, 345);
    return t;
}

}  // namespace

const tester::ToolDefinition& Tool3()
{
    static const tester::ToolDefinition tool = Make();
    return tool;
}

}  // namespace tessel::tools

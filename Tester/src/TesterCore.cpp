#include "Tester/TesterCore.h"

#include <algorithm>
#include <variant>

#include "Soap/SoapError.h"
#include "Soap/Transport.h"

namespace tessel::tester {

namespace {

constexpr char kClientToServer[] = "SOAP XML Payload - Client to Server(";
constexpr char kServerToClient[] = "SOAP XML Payload -  Server To Client(";
constexpr char kErrorPage[] = "SOAP XML Payload - Error";
constexpr std::int32_t kTokenCapacity = 1024;
constexpr std::int32_t kSchemeCapacity = 255;
constexpr std::int32_t kOneMiB = 1048576;

// What went wrong, in a person's words.
std::string Describe(const std::exception& e)
{
    if (const auto* fault = dynamic_cast<const soap::SoapFault*>(&e)) {
        std::string text = "The server answered with a fault: " + fault->faultString();
        if (!fault->faultCode().empty())
            text += " (" + fault->faultCode() + ")";
        if (!fault->detail().empty())
            text += "\n\n" + fault->detail();
        return text;
    }
    std::string text = e.what();
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

}  // namespace

bool IsErrorPage(const std::string& reply)
{
    return reply.size() > 6 && reply.compare(0, 6, "<html>") == 0;
}

void LayOutRows(ToolDefinition& tool, int firstTop, int rowPitch)
{
    for (std::size_t i = 0; i < tool.rows.size(); ++i) {
        OperationRow& row = tool.rows[i];
        const int top = firstTop + static_cast<int>(i) * rowPitch;
        if (row.labelRect.width == 0)
            row.labelRect = {120, top, 2400, 255};
        if (row.buttonRect.width == 0)
            row.buttonRect = {6960, top, 975, 255};
        const int n = static_cast<int>(row.params.size());
        const int left = 2520, right = 6840, gap = 60;
        for (int k = 0; k < n; ++k) {
            ParameterRow& p = row.params[static_cast<std::size_t>(k)];
            if (p.rect.width == 0) {
                const int width = (right - left - gap * (n - 1)) / std::max(n, 1);
                p.rect = {left + k * (width + gap), top, width, 285};
            }
        }
    }
}

TesterCore::TesterCore(const ToolDefinition& tool, ToolUi& ui, TokenLibrary& library)
    : tool_(tool), ui_(ui), library_(library)
{
}

void TesterCore::Start()
{
    ui_.SetCaption(tool_.windowTitle);
    ui_.SetText("txtURI", tool_.defaultDescriptionUri);
    ui_.SetText(tool_.authorityBox, tool_.defaultAuthority);
    ui_.SetText(tool_.realmBox, tool_.defaultRealm);
    ui_.SetText("Service", "tsc");
    ui_.SetText("UserKey", "");
    ui_.SetText(tool_.passwordBox, "");
    ui_.SetText(tool_.requestBox, "Request");
    ui_.SetText(tool_.responseBox, "Response");
    ui_.SetText(tool_.resultBox, "Result");
    for (const OperationRow& row : tool_.rows) {
        for (const ParameterRow& p : row.params)
            ui_.SetText(p.box, p.defaultText);
        ui_.SetEnabled(row.button, false);
    }
    for (const char* b : {"btnListWSDataMethods", "CreateTicket", "CloseSession"})
        ui_.SetEnabled(b, false);
    ui_.SetEnabled("btnConnect", true);
    ui_.SetEnabled("btnExit", true);
}

void TesterCore::Trap(const std::string& what, const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        ui_.SetWaitCursor(false);
        ui_.ShowMessage("Error on " + what, Describe(e), Icon::Exclamation);
    }
}

const OperationRow* TesterCore::RowOf(const std::string& button) const
{
    for (const OperationRow& row : tool_.rows)
        if (row.button == button)
            return &row;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Connect and the method listing

void TesterCore::Connect()
{
    WaitCursor wait(ui_);
    bool showListing = false;
    try {
        session_.descriptionURI = ui_.Text("txtURI");
        session_.catalogPackager = std::make_unique<soap::Packager>();
        soap::Packager& packager = *session_.catalogPackager;
        if (!packager.LoadServicesDescription(1, session_.descriptionURI)) {
            wait.Restore();
            ui_.ShowMessage("LoadServicesDescription  FAILED", "LoadServicesDescription = False", Icon::None);
            return;
        }
        const soap::Catalog locations = packager.GetCatalog(0);
        if (locations.locations.empty())
            throw soap::SoapError("the description names no service location");
        const soap::LocationItem& item = locations.locations.front();
        session_.serviceURI = std::holds_alternative<std::string>(item) ? std::get<std::string>(item)
                                                                        : std::get<soap::ServiceLocation>(item).URI;
        ui_.SetCaption(tool_.connectedPrefix + session_.descriptionURI);
        const bool hasLogin = packager.HasMethod("CreateTicket");
        switch (tool_.connectRule) {
        case ConnectRule::Tool3:
            ui_.SetEnabled("CreateTicket", false);
            if (hasLogin) {
                ui_.SetEnabled("CreateTicket", true);
                ui_.SetEnabled("CloseSession", false);
            }
            break;
        case ConnectRule::Common:
            ui_.SetEnabled("CreateTicket", false);
            if (hasLogin)
                ui_.SetEnabled("CreateTicket", true);
            break;
        case ConnectRule::Tool5:
            if (!ui_.Enabled("CreateTicket") && hasLogin)
                ui_.SetEnabled("CreateTicket", true);
            break;
        }
        ui_.SetEnabled("btnListWSDataMethods", true);
        session_.descriptionText = packager.GetDescriptionText();
        showListing = ui_.Checked("chkShowMethods");
        wait.Restore();
        if (showListing)
            ShowListing(packager);
    } catch (const std::exception&) {
        wait.Restore();
        ui_.ShowMessage(tool_.program, "Service is unavailable.", Icon::None);
    }
}

void TesterCore::ShowListing(const soap::Packager& packager)
{
    const soap::MethodListing listing = soap::BuildMethodListing(packager.GetCatalog(1).methods);
    ui_.ShowMessage(listing.title, listing.text, Icon::None);
}

void TesterCore::ListMethods()
{
    Trap("List", [&] {
        if (!session_.catalogPackager)
            throw soap::SoapError("no service description is loaded; press Connect first");
        ShowListing(*session_.catalogPackager);
    });
}

// ---------------------------------------------------------------------------
// Exchanges

std::string TesterCore::PlainExchange(const std::string& method,
                                      const std::vector<std::pair<std::string, std::string>>& params, bool show)
{
    soap::Packager packager;
    soap::Transport transport;
    packager.LoadServicesDescription(2, session_.descriptionText);
    packager.SetMethodPayload(soap::kRequestPayload, "", method, packager.GetMethodTemplate(method, 0));
    for (const auto& [name, value] : params)
        packager.SetParameter(soap::kRequestPayload, name, value);
    const std::string request = packager.GetPayload(soap::kRequestPayload);
    if (show)
        ui_.ShowMessage(kClientToServer + method + ")", request, Icon::None);
    std::string reply;
    {
        WaitCursor wait(ui_);
        transport.AddStandardHeaders(session_.serviceURI, method, request.size(), packager.SoapAction(method));
        reply = transport.PostToURI(session_.serviceURI, request);
    }
    return reply;
}

void TesterCore::CreateTicket()
{
    Trap("CreateTicket", [&] {
        const bool show = ui_.Checked("chkShowPackets");
        const std::string reply = PlainExchange("CreateTicket",
                                                {{"authority", ui_.Text(tool_.authorityBox)},
                                                 {"realm", ui_.Text(tool_.realmBox)},
                                                 {"principal", ui_.Text("UserKey")},
                                                 {"credential", ui_.Text(tool_.passwordBox)},
                                                 {"fullPrincipal", ""}},
                                                show);
        const bool errorPage = tool_.createTicketErrorPage ? tool_.createTicketErrorPage(reply) : IsErrorPage(reply);
        if (errorPage) {
            ui_.ShowMessage(kErrorPage, reply, Icon::None);
            return;
        }
        soap::Packager response;
        response.SetPayload(soap::kResponsePayload, reply);
        if (show) {
            ui_.ShowMessage(std::string(kServerToClient) + "CreateTicket)", reply, Icon::None);
            ui_.SetText(tool_.responseBox, reply);
        }
        if (!reply.empty())
            session_.ticket = response.GetParameter(soap::kResponsePayload, "result");
        if (session_.ticket.empty())
            return;

        std::int32_t handle = 0;
        library_.AcquireTokenHandler("", handle);
        session_.tokenHandler = handle;
        session_.tokenScheme = library_.GetTokenScheme(handle, kSchemeCapacity);
        session_.tokenSeed = library_.GetTokenSeed(handle, kSchemeCapacity);
        library_.SetTokenSeed(handle, session_.tokenSeed);

        const std::string open = PlainExchange("OpenSession",
                                               {{"service", ui_.Text("Service")},
                                                {"ticket", session_.ticket},
                                                {"tokenScheme", session_.tokenScheme},
                                                {"tokenSeed", session_.tokenSeed},
                                                {"sessionKey", ""},
                                                {"verifier", ""}},
                                               false);
        if (IsErrorPage(open)) {
            ui_.ShowMessage(kErrorPage, open, Icon::None);
            return;
        }
        soap::Packager openReply;
        openReply.SetPayload(soap::kResponsePayload, open);
        if (!open.empty()) {
            session_.sessionKey = openReply.GetParameter(soap::kResponsePayload, "sessionKey");
            session_.verifier = openReply.GetParameter(soap::kResponsePayload, "verifier");
        }
        if (session_.sessionKey.empty())
            return;
        library_.SetTokenItem(handle, "SessionKey", session_.sessionKey);
        library_.SetTokenItem(handle, "Opaque", session_.verifier);
        ui_.SetEnabled("CreateTicket", false);
        ui_.SetEnabled("CloseSession", true);
        EnableOperations();
    });
}

void TesterCore::CloseSession()
{
    Trap("CloseSession", [&] {
        PlainExchange("CloseSession", {{"sessionKey", session_.sessionKey}, {"verifier", session_.verifier}},
                      ui_.Checked("chkShowPackets"));
        library_.ReleaseTokenHandler(session_.tokenHandler);
        ui_.SetEnabled("CloseSession", false);
        ui_.SetText("UserKey", "");
        ui_.SetText(tool_.passwordBox, "");
        for (const OperationRow& row : tool_.rows)
            ui_.SetEnabled(row.button, false);
        ui_.SetEnabled("CreateTicket", false);
    });
}

void TesterCore::EnableOperations()
{
    for (const OperationRow& row : tool_.rows) {
        ui_.SetEnabled(row.button, false);
        if (session_.catalogPackager && session_.catalogPackager->HasMethod(row.method))
            ui_.SetEnabled(row.button, true);
    }
}

void TesterCore::Send(const std::string& button)
{
    const OperationRow* row = RowOf(button);
    if (!row)
        return;
    Trap(row->method, [&] { AuthenticatedCall(*row); });
}

void TesterCore::Exit()
{
    ui_.Exit();
}

// The authenticated call of one row.
void TesterCore::AuthenticatedCall(const OperationRow& row)
{
    const std::string& m = row.method;
    const std::int32_t h = session_.tokenHandler;
    soap::Packager packager;
    soap::Transport transport;
    packager.LoadServicesDescription(2, session_.descriptionText);

    CallContext ctx(ui_, library_, session_, row);
    if (row.beforeToken)
        row.beforeToken(ctx);

    session_.tokenText.assign(kTokenCapacity + 1, '\0');
    packager.SetMethodPayload(soap::kRequestPayload, "", m, packager.GetMethodTemplate(m, soap::kRequestPayload));
    library_.SetTokenData(h, 0, 0, m, "");
    for (std::size_t i = 0; i < row.params.size(); ++i)
        library_.SetTokenData(h, static_cast<std::int32_t>(i + 1), 0, row.params[i].soapName,
                              ui_.Text(row.params[i].box));
    session_.tokenText = library_.ConstructToken(h, kTokenCapacity);
    if (row.afterToken)
        row.afterToken(ctx);

    packager.SetParameter(soap::kRequestPayload, "user", session_.tokenText);
    for (const ParameterRow& p : row.params)
        packager.SetParameter(soap::kRequestPayload, p.soapName, ui_.Text(p.box));
    packager.SetParameter(soap::kRequestPayload, "reskey", "");
    const std::string request = packager.GetPayload(soap::kRequestPayload);
    const bool show = ui_.Checked("chkShowPackets");
    if (show)
        ui_.ShowMessage(kClientToServer + m + ")", request, Icon::None);
    ui_.SetText(tool_.requestBox, request);
    session_.tokenText.clear();

    std::string reply;
    {
        WaitCursor wait(ui_);
        transport.AddStandardHeaders(session_.serviceURI, m, request.size(), packager.SoapAction(m));
        reply = transport.PostToURI(session_.serviceURI, request);
    }
    packager.SetPayload(soap::kResponsePayload, reply);
    if (show)
        ui_.ShowMessage(kServerToClient + m + ")", reply, Icon::None);
    if (IsErrorPage(reply)) {
        ui_.ShowMessage(kErrorPage, reply, Icon::None);
        return;
    }
    ui_.SetText(tool_.responseBox, reply);
    if (reply.empty())
        return;

    packager.SetPayload(soap::kResponsePayload, reply);
    const std::string result = packager.GetParameter(soap::kResponsePayload, "result");
    session_.tokenText = packager.GetParameter(soap::kResponsePayload, "reskey");
    library_.SetTokenData(h, 0, 0, m, "");
    library_.SetTokenData(h, 1, 0, "result", result);
    library_.ValidateToken(h, session_.tokenText);  // not examined; a failure shows as an empty result
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(result.size(), 0x7FFFFFFE));
    if (row.replyBuffer == ReplyBuffer::AtLeastOneMiB) {
        const std::string shown = library_.GetTokenData(h, 1, std::max(length + 1, kOneMiB));
        ui_.ShowMessage(tool_.resultTitlePrefix + m, shown, Icon::None);
        ui_.SetText(tool_.resultBox, shown);
        return;
    }
    const std::string shown = library_.GetTokenData(h, 1, length);
    if (!result.empty()) {
        ui_.ShowMessage(tool_.resultTitlePrefix + m, shown, Icon::None);
        ui_.SetText(tool_.resultBox, shown);
    }
}

}  // namespace tessel::tester

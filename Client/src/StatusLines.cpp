#include "Client/StatusLines.h"

#include "Client/Verdict.h"

namespace tessel::client {

std::string HostOf(const std::string& url)
{
    const std::size_t scheme = url.find("://");
    const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    std::string host = url.substr(start, url.find_first_of("/?#", start) - start);
    if (const std::size_t at = host.rfind('@'); at != std::string::npos)
        host.erase(0, at + 1);
    const bool hasPort = host.find(':', host.rfind(']') == std::string::npos ? 0 : host.rfind(']')) != std::string::npos;
    if (!hasPort && scheme != std::string::npos)
        host += url.compare(0, 5, "https") == 0 ? ":443" : ":80";
    return host;
}

std::string ConnectedLine(const std::string& url, std::size_t methods)
{
    return "Connected to " + HostOf(url) + ", " + Grouped(methods) + (methods == 1 ? " method" : " methods");
}

std::string NotConnectedLine(const std::string& url, const std::string& cause)
{
    return "Not connected to " + url + ": " + cause;
}

std::string UnavailableLine(const std::string& url, const std::string& cause)
{
    return NotConnectedLine(url, cause) + kLocalServiceHint;
}

std::string LoggedInLine(const std::string& user)
{
    return "Logged in as " + user + " (session key set)";
}

std::string ExchangeLine(const std::string& method, long httpStatus, long long elapsedMs)
{
    return method + ": HTTP " + std::to_string(httpStatus) + ", " + std::to_string(elapsedMs) + " ms";
}

std::string CallLine(const CallOutcome& o)
{
    std::string line = ExchangeLine(o.method, o.httpStatus, o.elapsedMs) + ", result " + Grouped(o.resultCharacters) +
                       (o.resultCharacters == 1 ? " character" : " characters");
    if (o.validated)
        line += "; reply token " + DescribeVerdict(o.verdict, o.failedCheck);
    if (o.decoded) {
        static const char* const kDecoded[] = {"plain", "decompressed", "decrypted", "decompressed and decrypted"};
        line += "; slot 1 ";
        line += o.kind >= 0 && o.kind <= 3 ? kDecoded[o.kind] : DescribeKind(o.kind);
    }
    if (o.shown < o.whole)
        line += "; shown " + Grouped(o.shown) + " of " + Grouped(o.whole) + " characters";
    return line;
}

std::string ErrorPageLine(const CallOutcome& o, std::size_t pageCharacters)
{
    return ExchangeLine(o.method, o.httpStatus, o.elapsedMs) + ", an error page of " + Grouped(pageCharacters) +
           " characters" + kPreviousResult;
}

std::string EmptyReplyLine(const CallOutcome& o)
{
    return ExchangeLine(o.method, o.httpStatus, o.elapsedMs) + ", an empty reply" + kPreviousResult;
}

std::string NoReplyTokenLine(const CallOutcome& o)
{
    return ExchangeLine(o.method, o.httpStatus, o.elapsedMs) + ", no reply token: nothing validated or shown";
}

std::string FaultLine(const std::string& faultString, const std::string& faultCode)
{
    return "Fault: " + faultString + (faultCode.empty() ? "" : " (" + faultCode + ")");
}

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

std::string FailureLine(const std::string& what, const std::string& cause)
{
    return FirstLine(what + ": " + cause);
}

std::string ReportResultLine(const std::string& method, long httpStatus, long long elapsedMs, std::int32_t kind,
                             std::int32_t verdict, const std::string& failedCheck)
{
    return ExchangeLine(method, httpStatus, elapsedMs) + ", " + DescribeKind(kind) + " result, reply token " +
           DescribeVerdict(verdict, failedCheck);
}

std::string ReportFaultLine(const std::string& method, const std::string& faultCode, const std::string& faultString)
{
    return method + ": fault " + faultCode + ": " + faultString;
}

std::string RequestNotBuilt(const std::string& cause)
{
    return "the request cannot be built: " + cause;
}

std::string EmptyReply(long httpStatus)
{
    return "the server sent an empty reply (HTTP " + std::to_string(httpStatus) + ")";
}

std::string ReplyUnreadable(const std::string& cause)
{
    return "the reply cannot be read: " + cause;
}

std::string LoginFault(const std::string& method, const std::string& faultString, const std::string& detail)
{
    return "the login was refused: " + method + " answered with the fault " + faultString +
           (detail.empty() ? "" : " (" + detail + ")");
}

std::string LoginReplyUnreadable(const std::string& method, const std::string& cause)
{
    return "the login failed: the reply of " + method + " cannot be read: " + cause;
}

std::string NoTicketFor(const std::string& user)
{
    return "the login was refused: CreateTicket gave no ticket for the user \"" + user +
           "\" (is the user name or the password wrong?)";
}

}  // namespace tessel::client

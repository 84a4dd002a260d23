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

std::string LoggedInLine(const std::string& user)
{
    return "Logged in as " + user + " (session key set)";
}

std::string CallLine(const CallOutcome& o)
{
    std::string line = o.method + ": HTTP " + std::to_string(o.httpStatus) + ", " + std::to_string(o.elapsedMs) +
                       " ms, result " + Grouped(o.resultCharacters) +
                       (o.resultCharacters == 1 ? " character" : " characters");
    if (o.validated)
        line += "; reply token " + DescribeVerdict(o.verdict);
    if (o.decoded) {
        static const char* const kDecoded[] = {"plain", "decompressed", "decrypted", "decompressed and decrypted"};
        line += "; slot 1 ";
        line += o.kind >= 0 && o.kind <= 3 ? kDecoded[o.kind] : DescribeKind(o.kind);
    }
    if (o.shown < o.whole)
        line += "; shown " + Grouped(o.shown) + " of " + Grouped(o.whole) + " characters";
    return line;
}

std::string FaultLine(const std::string& faultString, const std::string& faultCode)
{
    return "Fault: " + faultString + (faultCode.empty() ? "" : " (" + faultCode + ")");
}

}  // namespace tessel::client

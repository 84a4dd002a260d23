#include "Client/Exchange.h"

#include "Soap/Transport.h"
#include "Soap/Xml.h"

namespace tessel::client {

Exchange Recorded(const std::string& method, const std::string& url, const std::string& request,
                  const soap::HttpReply* http, const std::string& response, const std::string& password)
{
    Exchange e{.method = method, .url = url, .request = request, .response = response};
    if (http) {
        e.statusLine = http->statusLine;
        e.requestHeaders = http->requestHeaders;
        e.responseHeaders = http->headers;
        e.status = http->status;
    }
    if (method == "CreateTicket")
        e.secret = password;
    return e;
}

void AddPrettyForms(Exchange& exchange)
{
    exchange.requestPretty = soap::PrettyXml(exchange.request);
    exchange.responsePretty = soap::PrettyXml(exchange.response);
}

}  // namespace tessel::client

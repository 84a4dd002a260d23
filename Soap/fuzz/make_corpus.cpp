// fuzz_corpus_soap FOLDER: writes the seeds of fuzz_soap_parsers into
// FOLDER/fuzz_soap_parsers/: the test descriptions, replies and a fault made
// by the toolkit, and an error page. The committed corpus is this program's
// output (a test compares them).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "ImportSamples.h"
#include "MultiRefMessages.h"
#include "Soap/Packager.h"
#include "Soap/ServiceDescription.h"

using namespace tessel::soap;

namespace {

std::filesystem::path folder;

void Seed(const std::string& name, std::string_view bytes)
{
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

std::string Read(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: fuzz_corpus_soap FOLDER\n";
        return 2;
    }
    folder = std::filesystem::path(argv[1]) / "fuzz_soap_parsers";
    const std::filesystem::path data = TESSEL_SOAP_TEST_DATA;
    for (const char* name : {"rpc_encoded.wsdl", "doc_literal.wsdl", "bare_document.wsdl", "no_methods.wsdl"})
        Seed(name, Read(data / name));

    const ServiceDescription rpc = ParseServiceDescription(Read(data / "rpc_encoded.wsdl"));
    Seed("response-rpc", BuildResponse(*rpc.Find("GetLogs"), {{"result", "<logs count=\"1\"/>"}, {"reskey", "AAAA"}}));
    const ServiceDescription doc = ParseServiceDescription(Read(data / "doc_literal.wsdl"));
    const OperationDescription& first = doc.operations.at(0);
    Seed("response-document", BuildResponse(first, {{first.outputParts.empty() ? "result" : first.outputParts[0].name,
                                                     "value & more"}}));
    Seed("fault", BuildFault("Client", "Invalid token", "the token's hash does not match the request's data"));
    Seed("html-error", "<html><head><title>500 Internal Server Error</title></head><body><h1>500</h1></body></html>");

    // Encoded messages with multi-reference values, for the href resolver:
    // values shared by accessors, a chain, cycles, a dangling reference, a
    // repeated id, a nil accessor, a value shared past the copy limit, and
    // header entries marked mustUnderstand.
    using namespace samples;
    Seed("multiref-reply", MultiRefMessage("GetLogsResponse", 12, 5));
    Seed("multiref-request", MultiRefMessage("GetLogs", 12, 5));
    const auto message = [](const std::string& headers, const std::string& accessors, const std::string& values) {
        std::string open = kEnvelopeOpen;  // ends with <soap:Body>
        open.insert(open.size() - std::string_view("<soap:Body>").size(), headers);
        return open + "<m:PingResponse xmlns:m=\"urn:test\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">" +
               accessors + "</m:PingResponse>" + values + kEnvelopeClose;
    };
    Seed("multiref-chain", message("", "<a href=\"#a\"/><b href=\"#b\"/><n xsi:nil=\"true\"/><t>text</t>",
                                   "<v id=\"a\" href=\"#b\"/><v id=\"b\" href=\"#c\"/><v id=\"c\">end</v>"
                                   "<v id=\"c\">again</v>"));
    Seed("multiref-dangling", message("", "<a href=\"#gone\"/><b href=\"#\"/><c href=\"x\"/>", "<v id=\"a\">x</v>"));
    Seed("multiref-cycle", LongCycleReply(5));
    Seed("multiref-self", message("", "<a href=\"#s\"/>", "<v id=\"s\" href=\"#s\"/>"));
    Seed("multiref-shared-past-limit", SharedValueMessage("PutVOContent", 150, 8000));
    Seed("request-headers",
         message("<soap:Header><h:A xmlns:h=\"urn:h\" soap:mustUnderstand=\"0\"/>"
                 "<h:B xmlns:h=\"urn:h\" soap:mustUnderstand=\"1\" soap:actor=\"urn:elsewhere\"/>"
                 "<h:C xmlns:h=\"urn:h\" soap:mustUnderstand=\"true\"/></soap:Header>",
                 "<a href=\"#v\"/>", "<v id=\"v\">1</v>"));

    // Descriptions with imports, each followed by what its imports fetch, cut
    // apart as the target reads them: the split service description in the
    // order its load fetches its pieces, an import of messages, imports the
    // origin rule refuses or the load skips, an import of itself, and schemas
    // imported and included from the types.
    constexpr std::string_view kCut = "\n--8<--\n";
    const std::string base = "http://fuzz.test/dir/";
    std::string split = Read(data / "split" / "TesselService.wsdl");
    const std::string main = split;
    (void)ParseServiceDescription(main, base + "main.wsdl", [&](const std::string& url, std::size_t) {
        const std::string piece = Read(data / "split" / url.substr(base.size()));
        split.append(kCut).append(piece);
        return piece;
    });
    Seed("imports-split", split);
    Seed("imports-messages", MainImportingMessages() + std::string(kCut) + ManyMessages(4));
    const auto importing = [](const std::string& locations, const std::string& types) {
        return "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
               "targetNamespace=\"urn:t\">" +
               locations + types + "</definitions>";
    };
    Seed("imports-refused",
         importing("<import namespace=\"urn:t\" location=\"http://elsewhere.test/x.wsdl\"/>"
                   "<import namespace=\"urn:t\" location=\"file:///srv/x.wsdl\"/>"
                   "<import namespace=\"urn:t\" location=\"ftp://fuzz.test/x.wsdl\"/>"
                   "<import namespace=\"http://www.w3.org/2001/XMLSchema\" location=\"x.xsd\"/>"
                   "<import namespace=\"urn:t\"/>",
                   ""));
    Seed("imports-redirected", MainImportingMessages() + std::string(kCut) + "Location: moved/messages.wsdl" +
                                   std::string(kCut) + "Location: http://fuzz.test:81/messages.wsdl" +
                                   std::string(kCut) + ManyMessages(2));
    Seed("imports-redirected-within", MainImportingMessages() + std::string(kCut) + "Location: /dir/again.wsdl" +
                                          std::string(kCut) + ManyMessages(3));
    Seed("imports-itself", importing("<import namespace=\"urn:t\" location=\"main.wsdl\"/>", "") +
                               std::string(kCut) + importing("<import namespace=\"urn:t\" location=\"./main.wsdl\"/>", ""));
    Seed("imports-schemas",
         importing("",
                   "<types><xs:schema targetNamespace=\"urn:t\"><xs:import namespace=\"urn:a\" schemaLocation=\"a.xsd\"/>"
                   "<xs:include schemaLocation=\"sub/b.xsd\"/></xs:schema></types>") +
             std::string(kCut) +
             "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:a\">"
             "<xs:complexType name=\"A\"><xs:sequence><xs:element name=\"v\" type=\"xs:string\"/></xs:sequence>"
             "</xs:complexType></xs:schema>" +
             std::string(kCut) +
             "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:t\">"
             "<xs:include schemaLocation=\"../a.xsd\"/><xs:element name=\"b\" type=\"xs:int\"/></xs:schema>");
    return 0;
}

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
    return 0;
}

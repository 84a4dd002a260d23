// tessel-soap: a command-line SOAP client over the kit's toolkit.
//   tessel-soap list DESCRIPTION-URL
//   tessel-soap call [-v] DESCRIPTION-URL OPERATION [name=value ...]
//   tessel-soap --help | --version
#include <iostream>
#include <string>
#include <vector>

#include "Soap/Packager.h"
#include "Soap/SoapError.h"
#include "Soap/Transport.h"
#include "TesselKitVersion.h"

using namespace tessel::soap;

namespace {

constexpr char kUsage[] =
    "usage: tessel-soap list DESCRIPTION-URL\n"
    "       tessel-soap call [-v] DESCRIPTION-URL OPERATION [name=value ...]\n"
    "       tessel-soap --help | --version\n"
    "\n"
    "list prints the description's methods as the tools' List box shows them; call posts one\n"
    "request (-v: with the envelopes) and prints the reply's values or the fault.\n";

int Usage()
{
    std::cerr << kUsage;
    return 2;
}

void Load(Packager& packager, const std::string& url)
{
    if (!packager.LoadServicesDescription(1, url))
        throw SoapError("cannot use the service description " + url + ": " + packager.LastError());
}

int List(const std::string& url)
{
    Packager packager;
    Load(packager, url);
    const MethodListing listing = BuildMethodListing(packager.GetCatalog(1).methods);
    std::cout << listing.text << listing.title << "\n";
    return 0;
}

int CallOperation(const std::string& url, const std::string& operation, const std::vector<std::string>& params,
                  bool verbose)
{
    Packager packager;
    Load(packager, url);
    packager.SetMethodPayload(kRequestPayload, "", operation, packager.GetMethodTemplate(operation, kRequestPayload));
    for (const std::string& p : params) {
        const auto eq = p.find('=');
        if (eq == std::string::npos || eq == 0)
            throw SoapError("a parameter must be given as name=value: " + p);
        packager.SetParameter(kRequestPayload, p.substr(0, eq), p.substr(eq + 1));
    }
    const std::string request = packager.GetPayload(kRequestPayload);
    const std::string endpoint = ServiceEndpoint(packager);
    if (verbose)
        std::cerr << "POST " << endpoint << "\n" << request << "\n";
    Transport transport;
    transport.AddStandardHeaders(endpoint, operation, request.size(), packager.SoapAction(operation));
    const std::string reply = transport.PostToURI(endpoint, request);
    if (verbose)
        std::cerr << "HTTP " << transport.lastStatus() << "\n" << reply << "\n";
    try {
        const ResponseValues values = ReadResponse(reply);
        for (const auto& [name, value] : values.values)
            std::cout << name << " = " << value << "\n";
        if (transport.lastStatus() < 200 || transport.lastStatus() >= 300) {
            std::cerr << "tessel-soap: HTTP status " << transport.lastStatus() << "\n";
            return 1;
        }
        return 0;
    } catch (const SoapFault& f) {
        std::cerr << "fault code:   " << f.faultCode() << "\nfault string: " << f.faultString() << "\n";
        if (!f.detail().empty())
            std::cerr << "fault detail: " << f.detail() << "\n";
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << tessel::KitVersionLine("tessel-soap");
        return 0;
    }
    try {
        if (args.size() == 2 && args[0] == "list")
            return List(args[1]);
        if (args.size() >= 3 && args[0] == "call") {
            const bool verbose = args[1] == "-v";
            const std::size_t at = verbose ? 2 : 1;
            if (args.size() < at + 2)
                return Usage();
            return CallOperation(args[at], args[at + 1], std::vector<std::string>(args.begin() + at + 2, args.end()),
                                 verbose);
        }
        return Usage();
    } catch (const std::exception& e) {
        std::cerr << "tessel-soap: " << e.what() << "\n";
        return 1;
    }
}

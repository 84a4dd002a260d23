// libFuzzer target: the reply, request and service description parsers on
// arbitrary text, imports included. The input is split at "\n--8<--\n": the
// first piece is the document, the others are what its imports fetch, served
// in-process in turn (nothing goes to the network); a piece that starts with
// "Location: " answers a redirect to the rest of its first line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Soap/Packager.h"
#include "Soap/ServiceDescription.h"
#include "Soap/SoapError.h"
#include "Soap/Xml.h"

using namespace tessel::soap;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> pieces;
    constexpr std::string_view kCut = "\n--8<--\n";
    for (std::size_t at = 0;;) {
        const std::size_t cut = all.find(kCut, at);
        pieces.emplace_back(all.substr(at, cut == std::string_view::npos ? std::string_view::npos : cut - at));
        if (cut == std::string_view::npos)
            break;
        at = cut + kCut.size();
    }
    const std::string& text = pieces.front();

    (void)XmlTextForDisplay(all);
    try {
        (void)ReadResponse(text);
    } catch (const SoapError&) {
    }
    try {
        (void)ReadRequest(text);
    } catch (const SoapError&) {
    }

    std::size_t next = 1;
    const DocumentFetcher fetch = [&](const std::string& url, std::size_t maxBytes) {
        if (next >= pieces.size())
            throw SoapError("nothing at " + url);
        std::string piece = pieces[next++];
        constexpr std::string_view kRedirect = "Location: ";
        if (piece.rfind(kRedirect, 0) == 0) {
            FetchedDocument moved;
            moved.redirect = piece.substr(kRedirect.size(), piece.find('\n') - kRedirect.size());
            return moved;
        }
        if (piece.size() > maxBytes)
            piece.resize(maxBytes + 1);
        return FetchedDocument(std::move(piece));
    };
    std::string described;
    try {
        described = ParseServiceDescription(text, "http://fuzz.test/dir/main.wsdl", fetch, {.maxDocuments = 8}).text;
    } catch (const SoapError&) {
        return 0;
    }
    // The text with its imports in place loads again without fetching.
    Packager packager;
    if (!packager.LoadServicesDescription(2, described))
        __builtin_trap();
    {
        const Catalog methods = packager.GetCatalog(1);
        (void)BuildMethodListing(methods.methods);
        for (const MethodInfo& m : methods.methods) {
            try {
                packager.SetMethodPayload(0, "", m.Name, packager.GetMethodTemplate(m.Name, 0));
                for (const ParameterInfo& p : m.lists[0])
                    packager.SetParameter(0, p.Name, "v<&>");
                (void)packager.GetPayload(0);
            } catch (const SoapError&) {
            }
        }
    }
    return 0;
}

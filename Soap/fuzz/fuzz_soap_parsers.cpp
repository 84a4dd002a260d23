// libFuzzer target: the reply and service description parsers on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Soap/Packager.h"
#include "Soap/ServiceDescription.h"
#include "Soap/SoapError.h"

using namespace tessel::soap;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        (void)ReadResponse(text);
    } catch (const SoapError&) {
    }
    Packager packager;
    if (packager.LoadServicesDescription(2, text)) {
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

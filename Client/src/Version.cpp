#include "Client/Version.h"

#include <utility>

namespace tessel::client {

std::string VersionText(VersionBlock b, const std::string& program)
{
    if (b.internalName.empty())
        b.internalName = program;
    std::string text;
    for (const auto& [name, value] : {std::pair{"Comments", &b.comments},
                                      {"FileDescription", &b.fileDescription},
                                      {"FileVersion", &b.fileVersion},
                                      {"ProductVersion", &b.productVersion},
                                      {"InternalName", &b.internalName},
                                      {"ProductName", &b.productName}})
        if (!value->empty())
            text += std::string(name) + ": " + *value + "\n";
    return text;
}

}  // namespace tessel::client

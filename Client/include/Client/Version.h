// A tool's version block, as its program prints it for --version.
#pragma once

#include <string>

namespace tessel::client {

struct VersionBlock {
    std::string comments{};
    std::string fileDescription{};
    std::string fileVersion{};
    std::string productVersion{};
    std::string internalName{};
    std::string productName{};
};

// One "Name: value" line for each field that has a value, in the order of
// the fields above ("Comments: ...", "FileDescription: ...", ...); a block
// without an InternalName (a tool that has no block) gives `program` as its.
std::string VersionText(VersionBlock block, const std::string& program);

}  // namespace tessel::client

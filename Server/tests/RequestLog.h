// Reads the local service's request log: one JSON object per line.
#pragma once

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

// A parameter as the log lists it: its name, the first 256 characters of its
// value and the value's length in characters (for ASCII values).
inline nlohmann::json LoggedParameter(const std::string& name, const std::string& value)
{
    return {name, value.substr(0, 256), value.size()};
}

inline std::vector<nlohmann::json> ReadLog(const std::string& path)
{
    std::vector<nlohmann::json> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

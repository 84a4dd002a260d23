#include "RequestLog.h"

#include <fstream>

std::vector<nlohmann::json> ReadLog(const std::string& path)
{
    std::vector<nlohmann::json> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

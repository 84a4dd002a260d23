#include "RequestLog.h"

#include <algorithm>
#include <fstream>

std::vector<nlohmann::json> ReadAnswers(const std::string& path)
{
    std::vector<nlohmann::json> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

std::vector<nlohmann::json> ReadLog(const std::string& path)
{
    std::vector<nlohmann::json> calls;
    for (nlohmann::json& line : ReadAnswers(path))
        if (line.contains("operation"))
            calls.push_back(std::move(line));
    return calls;
}

nlohmann::json LoggedParameter(const std::string& name, const std::string& value)
{
    std::size_t characters = 0, cut = value.size();
    for (std::size_t i = 0; i < value.size(); ++i) {
        if ((static_cast<unsigned char>(value[i]) & 0xC0) == 0x80)
            continue;
        if (characters == 256)
            cut = std::min(cut, i);
        ++characters;
    }
    return {name, value.substr(0, cut), characters};
}

#include "RequestLog.h"

#include <algorithm>
#include <fstream>
#include <iterator>

std::vector<nlohmann::json> ReadAnswers(const std::string& path)
{
    // A line the service is still writing has no newline yet: it is left for the next read.
    std::vector<nlohmann::json> lines;
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(nlohmann::json::parse(text.substr(at, end - at)));
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

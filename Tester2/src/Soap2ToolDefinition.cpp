#include "Tester2/Soap2ToolDefinition.h"

#include <map>

#include "Catalog/Catalog.h"

namespace tessel::tester2 {

std::vector<std::string> Problems(const Soap2ToolDefinition& tool)
{
    std::vector<std::string> problems;
    std::map<std::string, int> names;
    const auto checkContainer = [&](const std::string& who, const std::string& container) {
        if (!container.empty() && !tool.FrameNamed(container))
            problems.push_back(who + " is drawn inside " + container + ", which is not declared");
    };
    for (const Frame& frame : tool.frames)
        ++names[frame.name];
    for (const Line& line : tool.lines)
        ++names[line.name];
    for (const Box& box : tool.boxes) {
        ++names[box.name];
        if (box.rect.empty())
            problems.push_back(box.name + " has no place");
        checkContainer(box.name, box.container);
    }
    for (const Row& row : tool.rows) {
        ++names[row.button];
        if (row.rect.empty())
            problems.push_back(row.button + " has no place");
        checkContainer(row.button, row.container);
        if (row.titles.result.empty() || row.titles.reply.empty() || row.titles.error.empty())
            problems.push_back(row.method + ": a title is missing");
        client::CheckRow(row.button, row.method, row.params, [&](const std::string& box) { return tool.BoxNamed(box); },
                         problems);
    }
    client::CheckNamesOnce(names, problems);
    return problems;
}

}  // namespace tessel::tester2

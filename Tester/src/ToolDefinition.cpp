#include "Tester/ToolDefinition.h"

#include <algorithm>
#include <map>
#include <set>

#include "Catalog/Catalog.h"

namespace tessel::tester {

ToolDefinition LaidOut(ToolDefinition tool)
{
    constexpr int kBoxesLeft = 2520, kBoxesRight = 6840, kGap = 60;
    std::set<std::string> placed;
    for (const Box& box : tool.boxes)
        if (!box.rect.empty())
            placed.insert(box.name);
    for (std::size_t i = 0; i < tool.rows.size(); ++i) {
        Row& row = tool.rows[i];
        const int top = row.buttonRect.empty() ? tool.firstRowTop + static_cast<int>(i) * tool.rowPitch
                                               : row.buttonRect.top;
        if (row.labelRect.empty())
            row.labelRect = {120, top, 0, 255};
        if (row.buttonRect.empty())
            row.buttonRect = {6960, top, 975, 255};
        std::vector<Box*> unplaced;
        for (const Param& p : row.params)
            for (Box& box : tool.boxes)
                if (box.name == p.box && !placed.count(box.name) &&
                    std::find(unplaced.begin(), unplaced.end(), &box) == unplaced.end())
                    unplaced.push_back(&box);
        const int n = static_cast<int>(unplaced.size());
        for (int k = 0; k < n; ++k) {
            const int width = (kBoxesRight - kBoxesLeft - kGap * (n - 1)) / n;
            unplaced[static_cast<std::size_t>(k)]->rect = {kBoxesLeft + k * (width + kGap), top, width, 285};
            placed.insert(unplaced[static_cast<std::size_t>(k)]->name);
        }
    }
    return tool;
}

std::vector<std::string> Problems(const ToolDefinition& tool)
{
    std::vector<std::string> problems;
    std::map<std::string, int> names;
    for (const Box& box : tool.boxes)
        ++names[box.name];
    for (const Row& row : tool.rows) {
        ++names[row.button];
        client::CheckRow(row.button, row.method, row.params, [&](const std::string& box) { return tool.BoxNamed(box); },
                         problems);
    }
    for (const Button& b : tool.buttons)
        ++names[b.name];
    client::CheckNamesOnce(names, problems);
    const auto checkOrder = [&](const std::vector<std::string>& order, bool methods, const char* what) {
        for (const std::string& entry : order)
            if (!(methods ? tool.RowOfMethod(entry) : tool.RowOfButton(entry)))
                problems.push_back(std::string(what) + " names " + entry + ", which no row has");
    };
    checkOrder(tool.enableOrder, true, "the enabling order");
    checkOrder(tool.closeOrder, false, "the closing order");
    if (tool.admin) {
        checkOrder(tool.admin->enableOrder, true, "the admin enabling order");
        if (!tool.BoxNamed(tool.admin->uriBox))
            problems.push_back("the admin connection reads " + tool.admin->uriBox + ", which is not declared");
    }
    return problems;
}

}  // namespace tessel::tester

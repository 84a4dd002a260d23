// Every row of every registered tool of one family, as the parameter of a
// test that runs once per row under the name TOOL_METHOD.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tessel {

template <class Tool>
struct ToolRow {
    using Row = typename decltype(Tool::rows)::value_type;
    const Tool* tool;
    const Row* row;

    friend void PrintTo(const ToolRow& r, std::ostream* os) { *os << r.tool->program << " " << r.row->method; }
};

template <class Tool>
std::vector<ToolRow<Tool>> AllRowsOf(const std::vector<const Tool*>& tools)
{
    std::vector<ToolRow<Tool>> rows;
    for (const Tool* tool : tools)
        for (const auto& row : tool->rows)
            rows.push_back({tool, &row});
    return rows;
}

template <class Tool>
std::string RowTestName(const ::testing::TestParamInfo<ToolRow<Tool>>& info)
{
    return info.param.tool->program + "_" + info.param.row->method;
}

}  // namespace tessel

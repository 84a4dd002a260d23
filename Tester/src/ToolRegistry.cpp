#include "Tester/ToolRegistry.h"

#include <algorithm>
#include <memory>

namespace tessel::tester {

namespace {

struct Registry {
    std::vector<MakeTool> makers;
    std::vector<std::unique_ptr<ToolDefinition>> tools;
    std::vector<const ToolDefinition*> sorted;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

}  // namespace

bool RegisterTool(MakeTool make)
{
    TheRegistry().makers.push_back(make);
    return true;
}

const std::vector<const ToolDefinition*>& RegisteredTools()
{
    Registry& r = TheRegistry();
    if (r.tools.size() != r.makers.size()) {
        r.tools.clear();
        r.sorted.clear();
        for (const MakeTool make : r.makers) {
            r.tools.push_back(std::make_unique<ToolDefinition>(LaidOut(make())));
            r.sorted.push_back(r.tools.back().get());
        }
        std::sort(r.sorted.begin(), r.sorted.end(),
                  [](const ToolDefinition* a, const ToolDefinition* b) { return a->program < b->program; });
    }
    return r.sorted;
}

const ToolDefinition* FindTool(std::string_view program)
{
    for (const ToolDefinition* tool : RegisteredTools())
        if (tool->program == program)
            return tool;
    return nullptr;
}

}  // namespace tessel::tester

#include "Tester2/Soap2ToolRegistry.h"

#include <algorithm>
#include <memory>

namespace tessel::tester2 {

namespace {

struct Registry {
    std::vector<MakeSoap2Tool> makers;
    std::vector<std::unique_ptr<Soap2ToolDefinition>> tools;
    std::vector<const Soap2ToolDefinition*> sorted;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

}  // namespace

bool RegisterSoap2Tool(MakeSoap2Tool make)
{
    TheRegistry().makers.push_back(make);
    return true;
}

const std::vector<const Soap2ToolDefinition*>& RegisteredSoap2Tools()
{
    Registry& r = TheRegistry();
    if (r.tools.size() != r.makers.size()) {
        r.tools.clear();
        r.sorted.clear();
        for (const MakeSoap2Tool make : r.makers) {
            r.tools.push_back(std::make_unique<Soap2ToolDefinition>(make()));
            r.sorted.push_back(r.tools.back().get());
        }
        std::sort(r.sorted.begin(), r.sorted.end(),
                  [](const Soap2ToolDefinition* a, const Soap2ToolDefinition* b) { return a->program < b->program; });
    }
    return r.sorted;
}

const Soap2ToolDefinition* FindSoap2Tool(std::string_view program)
{
    for (const Soap2ToolDefinition* tool : RegisteredSoap2Tools())
        if (tool->program == program)
            return tool;
    return nullptr;
}

}  // namespace tessel::tester2

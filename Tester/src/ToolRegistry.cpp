#include "Tester/ToolRegistry.h"

namespace tessel::tester {

client::DefinitionRegistry<ToolDefinition>& ToolDefinitionRegistry()
{
    static client::DefinitionRegistry<ToolDefinition> registry(LaidOut);
    return registry;
}

}  // namespace tessel::tester

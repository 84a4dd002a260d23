#include "Tester2/Soap2ToolRegistry.h"

namespace tessel::tester2 {

client::DefinitionRegistry<Soap2ToolDefinition>& Soap2ToolDefinitionRegistry()
{
    static client::DefinitionRegistry<Soap2ToolDefinition> registry;
    return registry;
}

}  // namespace tessel::tester2

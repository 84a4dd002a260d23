// The SOAP 1.0 tools linked into a program. Each tool's definition file
// registers its definition at start-up:
//
//   const bool registered = tester::RegisterTool(Make);
//
// where `Make` builds the definition; it runs once, at the first lookup. A
// tool program links one definition; the tour and the tests link them all.
#pragma once

#include <string_view>
#include <vector>

#include "Client/DefinitionRegistry.h"
#include "Tester/ToolDefinition.h"

namespace tessel::tester {

using MakeTool = ToolDefinition (*)();

// The family's registry (it lays each definition out).
client::DefinitionRegistry<ToolDefinition>& ToolDefinitionRegistry();

// Registers a definition; returns true so that it can initialise a constant.
inline bool RegisterTool(MakeTool make) { return ToolDefinitionRegistry().Register(make); }
// Every registered tool, ordered by program name.
inline const std::vector<const ToolDefinition*>& RegisteredTools() { return ToolDefinitionRegistry().All(); }
// The registered tool of that program name, or null.
inline const ToolDefinition* FindTool(std::string_view program) { return ToolDefinitionRegistry().Find(program); }

}  // namespace tessel::tester

// The SOAP 2.0 tools linked into a program. Each tool's definition file
// registers its definition at start-up:
//
//   const bool registered = tester2::RegisterSoap2Tool(Make);
//
// where `Make` builds the definition; it runs once, at the first lookup. A
// tool program links one definition; the tour and the tests link them all.
#pragma once

#include <string_view>
#include <vector>

#include "Client/DefinitionRegistry.h"
#include "Tester2/Soap2ToolDefinition.h"

namespace tessel::tester2 {

using MakeSoap2Tool = Soap2ToolDefinition (*)();

// The family's registry.
client::DefinitionRegistry<Soap2ToolDefinition>& Soap2ToolDefinitionRegistry();

// Registers a definition; returns true so that it can initialise a constant.
inline bool RegisterSoap2Tool(MakeSoap2Tool make) { return Soap2ToolDefinitionRegistry().Register(make); }
// Every registered tool, ordered by program name.
inline const std::vector<const Soap2ToolDefinition*>& RegisteredSoap2Tools() { return Soap2ToolDefinitionRegistry().All(); }
// The registered tool of that program name, or null.
inline const Soap2ToolDefinition* FindSoap2Tool(std::string_view program) { return Soap2ToolDefinitionRegistry().Find(program); }

}  // namespace tessel::tester2

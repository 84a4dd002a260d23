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

#include "Tester2/Soap2ToolDefinition.h"

namespace tessel::tester2 {

using MakeSoap2Tool = Soap2ToolDefinition (*)();

// Registers a definition; returns true so that it can initialise a constant.
bool RegisterSoap2Tool(MakeSoap2Tool make);
// Every registered tool, ordered by program name.
const std::vector<const Soap2ToolDefinition*>& RegisteredSoap2Tools();
// The registered tool of that program name, or null.
const Soap2ToolDefinition* FindSoap2Tool(std::string_view program);

}  // namespace tessel::tester2

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

#include "Tester/ToolDefinition.h"

namespace tessel::tester {

using MakeTool = ToolDefinition (*)();

// Registers a definition; returns true so that it can initialise a constant.
bool RegisterTool(MakeTool make);
// Every registered tool, laid out, ordered by program name.
const std::vector<const ToolDefinition*>& RegisteredTools();
// The registered tool of that program name, or null.
const ToolDefinition* FindTool(std::string_view program);

}  // namespace tessel::tester

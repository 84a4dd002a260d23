// TSTestTool3: the log database and resource ACL tool.
#pragma once

#include "Tester/ToolDefinition.h"

namespace tessel::tools {

const tester::ToolDefinition& Tool3();

}  // namespace tessel::tools

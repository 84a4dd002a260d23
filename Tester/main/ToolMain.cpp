// The program of a SOAP 1.0 tool: one window, built from the one tool
// definition linked into the program; the command line of every tool
// (Widgets/ToolProgram.h).
#include <iostream>

#include "Tester/ToolRegistry.h"
#include "ToolWindow.h"
#include "Widgets/ToolProgram.h"

int main(int argc, char** argv)
{
    const auto& tools = tessel::tester::RegisteredTools();
    if (tools.size() != 1) {
        std::cerr << "a tool program links exactly one tool definition; this one has " << tools.size() << "\n";
        return 2;
    }
    const tessel::tester::ToolDefinition& tool = *tools.front();
    tessel::client::TokenLibrary library;
    const auto open = [&](const std::optional<std::string>& uri) {
        auto window = std::make_unique<tessel::tester::ToolWindow>(tool, library);
        if (uri)
            window->SetDescription(*uri);
        return window;
    };
    return tessel::widgets::RunToolProgram(argc, argv, tool.program, tool.version, open);
}

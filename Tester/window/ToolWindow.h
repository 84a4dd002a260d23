// The window of a SOAP 1.0 tool, built from its definition: fixed size,
// positions in twips at 15 a pixel, every control named as in the tool's
// definition.
#pragma once

#include <QWidget>

#include <map>
#include <string>

#include "Tester/TesterCore.h"
#include "Tester/ToolUi.h"

namespace tessel::tester {

constexpr int kTwipsPerPixel = 15;

class ToolWindow : public QWidget, public ToolUi {
public:
    ToolWindow(const ToolDefinition& tool, TokenLibrary& library, QWidget* parent = nullptr);
    ~ToolWindow() override;

    // ToolUi
    void ShowMessage(const std::string& title, const std::string& text, Icon icon) override;
    std::string Text(const std::string& control) override;
    void SetText(const std::string& control, const std::string& text) override;
    bool Checked(const std::string& control) override;
    void SetEnabled(const std::string& control, bool enabled) override;
    bool Enabled(const std::string& control) override;
    void SetWaitCursor(bool wait) override;
    void SetCaption(const std::string& caption) override;
    void Exit() override;

    TesterCore& core() { return core_; }

private:
    QWidget* Control(const std::string& name) const;
    void Build();

    const ToolDefinition& tool_;
    TesterCore core_;
    bool waiting_ = false;
};

}  // namespace tessel::tester

// The window of a SOAP 1.0 tool, built from its definition: fixed size,
// positions in twips at 15 a pixel, every control named as the definition
// and the shared part name it.
#pragma once

#include <QWidget>

#include <vector>

#include "Tester/TesterCore.h"
#include "Widgets/WidgetUi.h"

class QLabel;

namespace tessel::tester {

class ToolWindow : public QWidget, public widgets::WidgetUi {
public:
    // `tool` must be laid out (LaidOut) and outlive the window.
    ToolWindow(const ToolDefinition& tool, client::TokenLibrary& library, QWidget* parent = nullptr);

    TesterCore& core() { return core_; }
    // Puts a service description in the description box (txtURI), as
    // --uri does at start; the next Connect loads it.
    void SetDescription(const std::string& uri) { SetText("txtURI", uri); }

private:
    void Build();
    // The row labels shown whole, in one face, each before the first box or
    // button to its right on its line.
    void FitRowLabels(const std::vector<QLabel*>& labels);

    const ToolDefinition& tool_;
    TesterCore core_;
};

}  // namespace tessel::tester

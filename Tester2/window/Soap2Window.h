// The window of a SOAP 2.0 tool, frmMain, built from its definition: fixed
// size, positions in twips at 15 a pixel, every control named as the
// definition and the shared part name it.
#pragma once

#include <QWidget>

#include "Tester2/Soap2Core.h"
#include "Widgets/WidgetUi.h"

namespace tessel::tester2 {

class Soap2Window : public QWidget, public widgets::WidgetUi {
public:
    // `tool` must outlive the window.
    Soap2Window(const Soap2ToolDefinition& tool, client::TokenLibrary& library,
                Soap2Core::ClientFactory makeClient = {}, QWidget* parent = nullptr);

    Soap2Core& core() { return core_; }
    // Puts a service description in the WSDL box (cbWSDL), as --uri does at
    // start; the next Connect loads it.
    void SetDescription(const std::string& uri) { SetText(kWsdlBox, uri); }

private:
    void Build();
    // The widget a control declared in `container` is drawn in, and its
    // place there.
    QWidget* ContainerOf(const std::string& container, Rect& rect);

    const Soap2ToolDefinition& tool_;
    Soap2Core core_;
};

}  // namespace tessel::tester2

// The window seam of the tools' cores over a tree of named Qt widgets: texts,
// check boxes and buttons are found by their objectName under the root.
#pragma once

#include <QWidget>

#include <memory>
#include <string>

#include "Client/ToolUi.h"

namespace tessel::widgets {

class WidgetUi : public client::ToolUi {
public:
    explicit WidgetUi(QWidget& root) : root_(root) {}
    ~WidgetUi() override;
    WidgetUi(const WidgetUi&) = delete;
    WidgetUi& operator=(const WidgetUi&) = delete;

    // Shows nothing once the window was closed during a wait.
    void ShowMessage(const std::string& title, const std::string& text, client::Icon icon) override;
    // Line edits, multi-line boxes, editable combo boxes, labels and buttons.
    // A line edit or editable combo box shows the start of a text that is set.
    std::string Text(const std::string& control) override;
    void SetText(const std::string& control, const std::string& text) override;
    bool Checked(const std::string& control) override;
    void SetEnabled(const std::string& control, bool enabled) override;
    bool Enabled(const std::string& control) override;
    void SetWaitCursor(bool wait) override;
    void SetCaption(const std::string& caption) override;
    void Exit() override;
    // The window's status line, if it has one (MakeStatusLine); the whole
    // line is its tool tip. A line that does not fit is cut at its end, but
    // one that ends with client::kLocalServiceHint keeps the hint whole and
    // is cut before it.
    void SetStatus(const std::string& line) override;
    void ShowExchange(const client::Exchange& exchange) override;
    // Runs the exchange on a thread of its own while the window repaints; the
    // window takes no clicks or keys meanwhile, and after a second a
    // "Waiting for HOST..." box above it offers Cancel. Closing the window (or the
    // application quitting) gives the exchange up as Cancel does; after that
    // no message box is shown and no exchange runs.
    void Wait(const std::string& host, const std::function<void()>& exchange, std::atomic<bool>& cancel) override;

    // Opens (or raises) the view of the last exchange.
    void OpenExchangeView();
    // How long Wait lets an exchange run before it shows its box, in ms.
    void SetWaitBoxDelay(int ms) { waitBoxDelayMs_ = ms; }

    // The control of that name; raises std::runtime_error when there is none.
    QWidget* Control(const std::string& name) const;

private:
    QWidget& root_;
    bool waiting_ = false;
    bool closedInWait_ = false;  // the window was closed while an exchange waited
    int waitBoxDelayMs_ = 1000;
    std::unique_ptr<client::Exchange> lastExchange_;
};

}  // namespace tessel::widgets

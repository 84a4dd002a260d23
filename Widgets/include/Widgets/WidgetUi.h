// The window seam of the tools' cores over a tree of named Qt widgets: texts,
// check boxes and buttons are found by their objectName under the root.
#pragma once

#include <QWidget>

#include <string>

#include "Client/ToolUi.h"

namespace tessel::widgets {

class WidgetUi : public client::ToolUi {
public:
    explicit WidgetUi(QWidget& root) : root_(root) {}
    ~WidgetUi() override;
    WidgetUi(const WidgetUi&) = delete;
    WidgetUi& operator=(const WidgetUi&) = delete;

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

    // The control of that name; raises std::runtime_error when there is none.
    QWidget* Control(const std::string& name) const;

private:
    QWidget& root_;
    bool waiting_ = false;
};

}  // namespace tessel::widgets

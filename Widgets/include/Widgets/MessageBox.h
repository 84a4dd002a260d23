// The one message box of the tool windows: modal, titled, with an optional
// icon, the text and an OK button. The text can be selected and copied; a long
// text scrolls and wraps inside the box; the box fits the screen and is wide
// enough for its whole title. Escape closes it as OK does.
#pragma once

#include <QDialog>

#include <string>

#include "Client/ToolUi.h"

namespace tessel::widgets {

class MessageDialog : public QDialog {
    Q_OBJECT
public:
    MessageDialog(QWidget* parent, const std::string& title, const std::string& text, client::Icon icon);

    QString text() const { return text_; }
    client::Icon icon() const { return icon_; }
    // The widget that shows the text: a label for a short text, a scrolling
    // read-only box for a long one.
    QWidget* textWidget() const { return textWidget_; }

private:
    QString text_;
    client::Icon icon_;
    QWidget* textWidget_ = nullptr;
};

// Shows a modal message box and returns when it is closed.
void ShowMessageBox(QWidget* parent, const std::string& title, const std::string& text, client::Icon icon);

}  // namespace tessel::widgets

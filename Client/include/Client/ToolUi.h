// What the tester logic needs of its window: modal message boxes, the text
// of named controls, enabling buttons, the wait cursor and the caption.
// The Qt window implements it; tests use a recording fake.
#pragma once

#include <string>

namespace tessel::client {

enum class Icon { None, Information, Exclamation, Critical };

class ToolUi {
public:
    virtual ~ToolUi() = default;
    // A modal message box with an OK button; returns when it is closed.
    virtual void ShowMessage(const std::string& title, const std::string& text, Icon icon) = 0;
    // Text boxes, rich-text boxes and labels, by control name.
    virtual std::string Text(const std::string& control) = 0;
    virtual void SetText(const std::string& control, const std::string& text) = 0;
    virtual bool Checked(const std::string& control) = 0;
    virtual void SetEnabled(const std::string& control, bool enabled) = 0;
    virtual bool Enabled(const std::string& control) = 0;
    virtual void SetWaitCursor(bool wait) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void Exit() = 0;
};

// Shows the wait cursor for as long as it lives.
class WaitCursor {
public:
    explicit WaitCursor(ToolUi& ui) : ui_(ui) { ui_.SetWaitCursor(true); }
    ~WaitCursor() { Restore(); }
    void Restore()
    {
        if (on_)
            ui_.SetWaitCursor(false);
        on_ = false;
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    ToolUi& ui_;
    bool on_ = true;
};

}  // namespace tessel::client

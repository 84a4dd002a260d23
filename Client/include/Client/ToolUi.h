// What the tester logic needs of its window: modal message boxes, the text
// of named controls, enabling buttons, the wait cursor and the caption.
// The Qt window implements it; tests use a recording fake.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "Client/CallRules.h"
#include "Client/Exchange.h"

namespace tessel::client {

enum class Icon { None, Information, Exclamation, Critical };

class ToolUi : public Boxes {
public:
    virtual ~ToolUi() = default;
    // A modal message box with an OK button; returns when it is closed.
    virtual void ShowMessage(const std::string& title, const std::string& text, Icon icon) = 0;
    // Text(control) and SetText(control, text) of Boxes: text boxes,
    // rich-text boxes and labels, by control name.
    virtual bool Checked(const std::string& control) = 0;
    virtual void SetEnabled(const std::string& control, bool enabled) = 0;
    virtual bool Enabled(const std::string& control) = 0;
    virtual void SetWaitCursor(bool wait) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void Exit() = 0;

    // One line at the bottom of the window, replacing the last: what the last
    // action did. Not modal; the default shows nothing.
    virtual void SetStatus(const std::string& line) { (void)line; }
    // The last exchange, for the window's view of it; the default keeps nothing.
    virtual void ShowExchange(const Exchange& exchange) { (void)exchange; }
    // Runs `exchange` to its end and returns, passing on what it throws. The
    // exchange must not touch the window: a window may run it on another
    // thread, keep repainting meanwhile and, after a second, show a modal
    // "Waiting for HOST..." box whose Cancel sets `cancel`; the exchange is to
    // give up soon after with an error. The default runs it here and now.
    virtual void Wait(const std::string& host, const std::function<void()>& exchange, std::atomic<bool>& cancel)
    {
        (void)host;
        (void)cancel;
        exchange();
    }
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

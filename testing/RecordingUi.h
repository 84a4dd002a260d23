// A window that records every message box, text and button state.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Client/ToolUi.h"

struct RecordedBox {
    std::string title, text;
    tessel::client::Icon icon;
    bool waiting = false;  // whether the hourglass was up while the box showed
};

class RecordingUi : public tessel::client::ToolUi {
public:
    void ShowMessage(const std::string& title, const std::string& text, tessel::client::Icon icon) override
    {
        boxes.push_back({title, text, icon, waiting});
        events.push_back("box " + title);
    }
    std::string Text(const std::string& control) override { return texts[control]; }
    void SetText(const std::string& control, const std::string& text) override { texts[control] = text; }
    bool Checked(const std::string& control) override { return checked[control]; }
    void SetEnabled(const std::string& control, bool on) override
    {
        enabled[control] = on;
        enabling.push_back((on ? "+" : "-") + control);
    }
    bool Enabled(const std::string& control) override { return enabled[control]; }
    void SetWaitCursor(bool on) override
    {
        if (on != waiting) {
            cursorChanges.push_back(on);
            events.push_back(on ? "hourglass" : "pointer");
        }
        waiting = on;
    }
    void SetCaption(const std::string& c) override { caption = c; }
    void Exit() override { exited = true; }
    void SetStatus(const std::string& line) override
    {
        status = line;
        statuses.push_back(line);
    }
    void ShowExchange(const tessel::client::Exchange& e) override { exchange = e; }
    // Runs the exchange here and now, after `onWait` (when set) has seen the
    // cancel flag: a Cancel pressed as the wait starts.
    void Wait(const std::string& host, const std::function<void()>& run, std::atomic<bool>& cancel) override
    {
        waits.push_back(host);
        if (onWait)
            onWait(cancel);
        run();
    }

    std::vector<std::string> Titles() const
    {
        std::vector<std::string> t;
        for (const RecordedBox& b : boxes)
            t.push_back(b.title);
        return t;
    }

    std::map<std::string, std::string> texts;
    std::map<std::string, bool> enabled, checked;
    std::vector<RecordedBox> boxes;
    std::vector<bool> cursorChanges;
    // Message boxes ("box " + title) and pointer changes ("hourglass",
    // "pointer"), in the order they happened.
    std::vector<std::string> events;
    // Every SetEnabled, in order: "+" or "-" and the control's name.
    std::vector<std::string> enabling;
    bool waiting = false;
    bool exited = false;
    std::string caption;
    std::string status;                 // the status line as it stands
    std::vector<std::string> statuses;  // every line it showed, in order
    tessel::client::Exchange exchange;  // the last exchange shown
    std::function<void(std::atomic<bool>&)> onWait;
    std::vector<std::string> waits;  // the host of each wait, in order
};

// Closes every modal message box of the tool windows as it opens, and
// remembers it (title, text, icon, and whether the hourglass was up). Asked
// to, it also presses Cancel on the wait box of one exchange.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "Widgets/MessageBox.h"

struct SeenBox {
    std::string title, text;
    tessel::client::Icon icon;
    bool waitCursor;
};

class BoxCloser {
public:
    BoxCloser()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<tessel::widgets::MessageDialog*>(modal)) {
                seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                                QApplication::overrideCursor() != nullptr});
                box->accept();
            } else if (QWidget* wait = WaitBox(); wait && !cancelFor_.empty() && cancelledWait.empty()) {
                // Other exchanges may show the box too on a slow machine; they
                // are left to end.
                const std::string text = wait->findChild<QLabel*>("Text")->text().toStdString();
                if (text.find(cancelFor_) == std::string::npos)
                    return;
                cancelledWait = text;
                if (beforeCancel)
                    beforeCancel();
                wait->findChild<QAbstractButton*>("Cancel")->click();
            }
        });
        timer_.start(10);
    }
    // The wait box of an exchange, while it shows.
    static QWidget* WaitBox()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "WaitBox" && w->isVisible())
                return w;
        return nullptr;
    }
    // Presses Cancel on the first wait box whose text holds `text`.
    void CancelWaitNaming(std::string text) { cancelFor_ = std::move(text); }

    std::vector<std::string> Titles() const
    {
        std::vector<std::string> t;
        for (const SeenBox& b : seen)
            t.push_back(b.title);
        return t;
    }
    std::vector<SeenBox> seen;
    std::string cancelledWait;           // the text of the wait box cancelled
    std::function<void()> beforeCancel;  // what to do while that box is up

private:
    std::string cancelFor_;
    QTimer timer_;
};

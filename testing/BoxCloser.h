// Closes every modal message box of the tool windows as it opens, and
// remembers it (title, text, icon, and whether the hourglass was up).
#pragma once

#include <QApplication>
#include <QTimer>

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
            if (auto* box = qobject_cast<tessel::widgets::MessageDialog*>(QApplication::activeModalWidget())) {
                seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                                QApplication::overrideCursor() != nullptr});
                box->accept();
            }
        });
        timer_.start(10);
    }
    std::vector<std::string> Titles() const
    {
        std::vector<std::string> t;
        for (const SeenBox& b : seen)
            t.push_back(b.title);
        return t;
    }
    std::vector<SeenBox> seen;

private:
    QTimer timer_;
};

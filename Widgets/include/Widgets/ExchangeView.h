// The view of a window's last exchange: the HTTP status line and headers, the
// request and the response indented (the raw texts one tab away) and the
// decoded result whole, each with a Copy button. Non-modal and resizable; it
// follows the latest exchange while it is open.
#pragma once

#include <QDialog>

#include "Client/Exchange.h"

class QTabWidget;

namespace tessel::widgets {

class ExchangeView : public QDialog {
    Q_OBJECT
public:
    explicit ExchangeView(QWidget* parent);
    void Show(const client::Exchange& exchange);
    // The text of a tab by its title ("HTTP", "Request", "Request (raw)",
    // "Response", "Response (raw)", "Result").
    QString TabText(const QString& title) const;

private:
    QTabWidget* tabs_;
};

}  // namespace tessel::widgets

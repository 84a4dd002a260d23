#include "Widgets/ExchangeView.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "Client/Inspection.h"
#include "Client/Masking.h"
#include "Widgets/Controls.h"

namespace tessel::widgets {

namespace {

const char* const kTabs[] = {"HTTP", "Request", "Request (raw)", "Response", "Response (raw)", "Result", "Tokens"};

std::string HeaderLines(const client::Headers& headers)
{
    std::string s;
    for (const auto& [name, value] : headers)
        s += name + ": " + value + "\n";
    return s;
}

}  // namespace

ExchangeView::ExchangeView(QWidget* parent) : QDialog(parent), tabs_(new QTabWidget(this))
{
    setObjectName(QStringLiteral("ExchangeView"));
    setModal(false);
    setSizeGripEnabled(true);
    resize(760, 560);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPointSize(9);
    for (const char* title : kTabs) {
        auto* text = new TextView(tabs_, false);
        text->setObjectName(QString::fromLatin1(title));
        text->setFont(mono);
        tabs_->addTab(text, QString::fromLatin1(title));
    }
    auto* buttons = new QHBoxLayout;
    auto* copy = new QPushButton(QStringLiteral("Copy"), this);
    copy->setObjectName(QStringLiteral("Copy"));
    copy->setToolTip(QStringLiteral("Copy the text of this tab"));
    connect(copy, &QPushButton::clicked, this, [this] {
        if (auto* text = qobject_cast<TextView*>(tabs_->currentWidget()))
            QGuiApplication::clipboard()->setText(text->Text());
    });
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    buttons->addStretch(1);
    buttons->addWidget(copy);
    buttons->addWidget(close);
    layout->addLayout(buttons);
}

void ExchangeView::Show(const client::Exchange& e)
{
    setWindowTitle(Q("Last exchange: " + e.method + (e.url.empty() ? "" : " at " + e.url)));
    const std::string http = "POST " + e.url + "\n" + HeaderLines(e.requestHeaders) + "\n" +
                             (e.statusLine.empty() ? std::string("(no reply)") : e.statusLine) + "\n" +
                             HeaderLines(e.responseHeaders);
    // Both tokens decoded and the reply's verdict explained.
    const std::string tokens = client::InspectionText(e.tokens);
    const std::string* texts[] = {&http, &e.requestPretty, &e.request, &e.responsePretty, &e.response, &e.result,
                                  &tokens};
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* text = qobject_cast<TextView*>(tabs_->widget(i)))
            text->SetDisplayText(ForDisplay(client::Masked(*texts[i], e.secret)));
}

QString ExchangeView::TabText(const QString& title) const
{
    for (int i = 0; i < tabs_->count(); ++i)
        if (tabs_->tabText(i) == title)
            if (auto* text = qobject_cast<TextView*>(tabs_->widget(i)))
                return text->Text();
    return {};
}

}  // namespace tessel::widgets

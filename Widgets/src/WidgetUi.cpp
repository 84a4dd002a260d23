#include "Widgets/WidgetUi.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <stdexcept>
#include <thread>

#include "Client/StatusLines.h"
#include "Widgets/ExchangeView.h"

#include "Widgets/Controls.h"
#include "Widgets/MessageBox.h"

namespace tessel::widgets {

namespace {

// While it lives, the clicks and keys meant for one window are not delivered.
class InputBlocker : public QObject {
public:
    explicit InputBlocker(QWidget& window) : window_(window) { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride: {
            auto* w = qobject_cast<QWidget*>(watched);
            return w && (w == &window_ || window_.isAncestorOf(w));
        }
        default: return false;
        }
    }

private:
    QWidget& window_;
};

// While it lives, a close of the window runs `closed` (and the window closes).
class CloseWatcher : public QObject {
public:
    CloseWatcher(QWidget& window, std::function<void()> closed) : window_(window), closed_(std::move(closed))
    {
        window_.installEventFilter(this);
    }
    ~CloseWatcher() override { window_.removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::Close)
            closed_();
        return false;
    }

private:
    QWidget& window_;
    std::function<void()> closed_;
};

}  // namespace

WidgetUi::~WidgetUi()
{
    if (waiting_)
        QApplication::restoreOverrideCursor();
}

QWidget* WidgetUi::Control(const std::string& name) const
{
    if (root_.objectName() == Q(name))
        return &root_;
    if (QWidget* w = root_.findChild<QWidget*>(Q(name)))
        return w;
    throw std::runtime_error("the window has no control named " + name);
}

void WidgetUi::ShowMessage(const std::string& title, const std::string& text, client::Icon icon)
{
    if (closedInWait_)
        return;  // the window is gone: nothing is left to tell
    ShowMessageBox(&root_, title, text, icon);
}

std::string WidgetUi::Text(const std::string& control)
{
    QWidget* w = Control(control);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text().toStdString();
    if (auto* e = qobject_cast<TextBox*>(w))
        return e->Text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text().toStdString();
    return {};
}

void WidgetUi::SetText(const std::string& control, const std::string& text)
{
    QWidget* w = Control(control);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(Q(text));
        e->setCursorPosition(0);
    } else if (auto* e = qobject_cast<TextBox*>(w)) {
        e->SetText(text);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->setEditText(Q(text));
        if (QLineEdit* e = c->lineEdit())
            e->setCursorPosition(0);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(Q(text));
    }
}

bool WidgetUi::Checked(const std::string& control)
{
    auto* c = qobject_cast<QAbstractButton*>(Control(control));
    return c && c->isChecked();
}

void WidgetUi::SetEnabled(const std::string& control, bool enabled)
{
    Control(control)->setEnabled(enabled);
}

bool WidgetUi::Enabled(const std::string& control)
{
    return Control(control)->isEnabled();
}

void WidgetUi::SetWaitCursor(bool wait)
{
    if (wait == waiting_)
        return;
    waiting_ = wait;
    if (wait) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void WidgetUi::SetCaption(const std::string& caption)
{
    root_.setWindowTitle(Q(caption));
}

void WidgetUi::SetStatus(const std::string& line)
{
    auto* status = root_.findChild<QLabel*>(QStringLiteral("StatusLine"));
    if (!status)
        return;
    const QString text = Q(line);
    const int room = status->width() - 8;
    const QFontMetrics metrics = status->fontMetrics();
    // A hint on starting a local service stays whole: what comes before it is cut instead.
    const QString hint = QString::fromLatin1(client::kLocalServiceHint);
    const int hintWidth = metrics.horizontalAdvance(hint);
    if (text.endsWith(hint) && metrics.horizontalAdvance(text) > room && hintWidth < room * 3 / 4) {
        const QString head = text.left(text.size() - hint.size());
        status->setText(metrics.elidedText(head, Qt::ElideRight, room - hintWidth) + hint);
    } else {
        status->setText(metrics.elidedText(text, Qt::ElideRight, room));
    }
    status->setToolTip(text);
}

void WidgetUi::ShowExchange(const client::Exchange& exchange)
{
    lastExchange_ = std::make_unique<client::Exchange>(exchange);
    if (auto* view = root_.findChild<ExchangeView*>(); view && view->isVisible())
        view->Show(*lastExchange_);
}

void WidgetUi::OpenExchangeView()
{
    auto* view = root_.findChild<ExchangeView*>();
    if (!view)
        view = new ExchangeView(&root_);  // owned by the window
    view->Show(lastExchange_ ? *lastExchange_ : client::Exchange{});
    view->show();
    view->raise();
}

void WidgetUi::Wait(const std::string& host, const std::function<void()>& exchange, std::atomic<bool>& cancel)
{
    if (closedInWait_)
        throw std::runtime_error("cancelled: the window was closed");
    QEventLoop loop;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    const InputBlocker blocker(root_);
    // Closing the window gives the exchange up, and the program ends as soon
    // as it has.
    const CloseWatcher closing(root_, [&] {
        cancel = true;
        closedInWait_ = true;
    });
    std::thread worker([&] {
        try {
            exchange();
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });

    QDialog box(&root_);
    box.setObjectName(QStringLiteral("WaitBox"));
    box.setWindowTitle(root_.windowTitle());
    // Not modal: the blocker above keeps clicks and keys from the window, and
    // the window manager's close still reaches it (a modal box would hold it).
    auto* layout = new QVBoxLayout(&box);
    auto* text = new QLabel(Q("Waiting for " + host + "..."), &box);
    text->setObjectName(QStringLiteral("Text"));
    layout->addWidget(text);
    auto* row = new QHBoxLayout;
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), &box);
    cancelButton->setObjectName(QStringLiteral("Cancel"));
    row->addStretch(1);
    row->addWidget(cancelButton);
    layout->addLayout(row);
    QObject::connect(cancelButton, &QPushButton::clicked, &box, [&] {
        cancel = true;
        text->setText(Q("Cancelling the exchange with " + host + "..."));
        cancelButton->setEnabled(false);
    });
    QObject::connect(&box, &QDialog::rejected, &box, [&] { cancel = true; });  // Escape or the window's close
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, &box, [&] { box.show(); });
    later.start(waitBoxDelayMs_);

    loop.exec();
    if (!done)
        cancel = true;  // the application is quitting (its last window closed): give the exchange up
    worker.join();
    later.stop();
    box.hide();
    if (failure)
        std::rethrow_exception(failure);
}

void WidgetUi::Exit()
{
    root_.close();
    QCoreApplication::exit(0);
}

}  // namespace tessel::widgets

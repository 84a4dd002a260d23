#include "Widgets/WidgetUi.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <stdexcept>

#include "Widgets/Controls.h"
#include "Widgets/MessageBox.h"

namespace tessel::widgets {

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

void WidgetUi::Exit()
{
    root_.close();
    QCoreApplication::exit(0);
}

}  // namespace tessel::widgets

#include "ToolWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

namespace tessel::tester {

namespace {

int Px(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect PxRect(const Rect& r)
{
    return QRect(Px(r.left), Px(r.top), Px(r.width), Px(r.height));
}

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// Multi-line boxes keep their line breaks as CR LF, as the tools' texts are written.
QString ToWidget(const std::string& s)
{
    QString q = Q(s);
    q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return q;
}

std::string FromWidget(const QString& q)
{
    QString s = q;
    s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return s.toStdString();
}

template <typename W>
W* Make(QWidget* parent, const std::string& name, const Rect& r)
{
    auto* w = new W(parent);  // owned by its parent, as Qt's widgets are
    w->setObjectName(Q(name));
    w->setGeometry(PxRect(r));
    return w;
}

QLabel* MakeLabel(QWidget* parent, const std::string& name, const std::string& text, int left, int top, int width = 0)
{
    auto* l = Make<QLabel>(parent, name, {left, top, width ? width : 1500, 255});
    l->setText(Q(text));
    if (!width)
        l->adjustSize();
    return l;
}

QPushButton* MakeButton(QWidget* parent, const std::string& name, const std::string& caption, const Rect& r,
                        const std::string& tip = {})
{
    auto* b = Make<QPushButton>(parent, name, r);
    b->setText(Q(caption));
    if (!tip.empty())
        b->setToolTip(Q(tip));
    return b;
}

}  // namespace

ToolWindow::ToolWindow(const ToolDefinition& tool, TokenLibrary& library, QWidget* parent)
    : QWidget(parent), tool_(tool), core_(tool, *this, library)
{
    Build();
    core_.Start();
}

ToolWindow::~ToolWindow()
{
    if (waiting_)
        QApplication::restoreOverrideCursor();
}

void ToolWindow::Build()
{
    setObjectName(Q(tool_.program + "frm"));
    setFixedSize(Px(tool_.clientWidth), Px(tool_.clientHeight));
    // The layout is measured for an 8-point dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    const int shift = tool_.clientHeight - 10635;  // the shared part moves with the tool's height

    auto* frame1 = Make<QGroupBox>(this, "Frame1", {0, 0, 8055, 8775 + shift});
    frame1->setTitle(QStringLiteral(" TesselService SOAP 1.0 Dec Interface Tester "));
    if (!tool_.titleLabel.empty()) {
        QLabel* title = MakeLabel(frame1, "Label2", tool_.titleLabel, 120, 240);
        QFont font(QStringLiteral("Tahoma"));
        font.setPointSizeF(11.25);
        font.setBold(true);
        title->setFont(font);
        title->adjustSize();
    }
    MakeLabel(frame1, "Label3", "SOAP / HTTP", 6840, 240);

    for (const OperationRow& row : tool_.rows) {
        MakeLabel(frame1, row.button + "_Label", row.label, row.labelRect.left, row.labelRect.top, row.labelRect.width);
        for (const ParameterRow& p : row.params) {
            if (p.multiLine) {
                auto* box = Make<QPlainTextEdit>(frame1, p.box, p.rect);
                box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            } else {
                Make<QLineEdit>(frame1, p.box, p.rect);
            }
        }
        QPushButton* send = MakeButton(frame1, row.button, "Send", row.buttonRect);
        const std::string button = row.button;
        connect(send, &QPushButton::clicked, this, [this, button] { core_.Send(button); });
    }
    for (const ExtraControl& e : tool_.extras) {
        switch (e.kind) {
        case ExtraControl::Kind::Label: MakeLabel(frame1, e.name, e.text, e.rect.left, e.rect.top, e.rect.width); break;
        case ExtraControl::Kind::TextBox: Make<QLineEdit>(frame1, e.name, e.rect)->setText(Q(e.text)); break;
        case ExtraControl::Kind::MultiLineBox:
            Make<QPlainTextEdit>(frame1, e.name, e.rect)->setPlainText(ToWidget(e.text));
            break;
        case ExtraControl::Kind::Button: MakeButton(frame1, e.name, e.text, e.rect, e.toolTip); break;
        case ExtraControl::Kind::Frame: Make<QGroupBox>(frame1, e.name, e.rect)->setTitle(Q(e.text)); break;
        }
    }

    MakeLabel(frame1, "Label11", tool_.descriptionLabel, 120, 6600 + shift);
    Make<QLineEdit>(frame1, "txtURI", {120, 6840 + shift, 6495, 285});
    QPushButton* connectButton =
        MakeButton(frame1, "btnConnect", "Connect", {6960, 6720 + shift, 972, 372},
                   "Connect to SOAP Server and load Service Description file");
    connect(connectButton, &QPushButton::clicked, this, [this] { core_.Connect(); });

    const int login = 7200 + shift;
    MakeLabel(frame1, "Label5", "Authority:", 120, login);
    Make<QLineEdit>(frame1, tool_.authorityBox, {960, login, 1815, 285});
    MakeLabel(frame1, "Label6", tool_.realmLabel, 120, login + 360);
    Make<QLineEdit>(frame1, tool_.realmBox, {960, login + 360, 1815, 285});
    MakeLabel(frame1, "Label7", "Service:", 120, login + 720);
    Make<QLineEdit>(frame1, "Service", {960, login + 720, 1815, 285});
    MakeLabel(frame1, "Label8", "User Name:", 2880, login);
    Make<QLineEdit>(frame1, "UserKey", {2880, login + 240, 1815, 285});
    MakeLabel(frame1, "Label9", "Password:", 2880, login + 600);
    auto* password = Make<QLineEdit>(frame1, tool_.passwordBox, {2880, login + 840, 1815, 285});
    password->setEchoMode(QLineEdit::Password);
    password->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // '*'

    auto* frame3 = Make<QGroupBox>(frame1, "Frame3", {4800, login, 3135, 1095});
    frame3->setTitle(QStringLiteral("Options"));
    Make<QCheckBox>(frame3, "chkShowPackets", {120, 300, 2895, 255})->setText(QStringLiteral("Show SOAP  XML payload data"));
    Make<QCheckBox>(frame3, "chkShowMethods", {120, 660, 2895, 255})->setText(QStringLiteral("Show methods when loading XML"));

    const int bottom = 8400 + shift;
    QPushButton* ticket = MakeButton(frame1, "CreateTicket", "CreateTicket", {120, bottom, 1695, 255});
    connect(ticket, &QPushButton::clicked, this, [this] { core_.CreateTicket(); });
    QPushButton* close = MakeButton(frame1, "CloseSession", "CloseSession", {2040, bottom, 1695, 255});
    connect(close, &QPushButton::clicked, this, [this] { core_.CloseSession(); });
    MakeLabel(frame1, "Label4", "List available methods:", 3840, bottom);
    QPushButton* list = MakeButton(frame1, "btnListWSDataMethods", "List", {5880, bottom, 972, 255},
                                   "List available methods.");
    connect(list, &QPushButton::clicked, this, [this] { core_.ListMethods(); });
    QPushButton* exitButton = MakeButton(frame1, "btnExit", "Exit", {6960, bottom, 975, 255});
    connect(exitButton, &QPushButton::clicked, this, [this] { core_.Exit(); });

    const int payload = 8760 + shift;
    MakeLabel(this, "Label14", "Request Content:", 0, payload);
    MakeLabel(this, "Label22", "Response Content:", 3360, payload);
    QFont nine = font();
    nine.setPointSize(9);
    for (const auto& [name, r] : {std::pair{tool_.requestBox, Rect{0, payload + 240, 3255, 735}},
                                  {tool_.resultBox, Rect{0, payload + 1080, 3255, 735}},
                                  {tool_.responseBox, Rect{3240, payload + 240, 4815, 1575}}}) {
        auto* box = Make<QTextEdit>(this, name, r);
        box->setFont(nine);
        box->setAcceptRichText(false);
    }
}

QWidget* ToolWindow::Control(const std::string& name) const
{
    if (QWidget* w = findChild<QWidget*>(Q(name)))
        return w;
    throw std::runtime_error("the window has no control named " + name);
}

void ToolWindow::ShowMessage(const std::string& title, const std::string& text, Icon icon)
{
    const QMessageBox::Icon qicon = icon == Icon::Exclamation ? QMessageBox::Warning
                                    : icon == Icon::Critical  ? QMessageBox::Critical
                                    : icon == Icon::Information ? QMessageBox::Information
                                                                : QMessageBox::NoIcon;
    QMessageBox box(qicon, Q(title), Q(text), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::string ToolWindow::Text(const std::string& control)
{
    QWidget* w = Control(control);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text().toStdString();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w))
        return FromWidget(e->toPlainText());
    if (auto* e = qobject_cast<QTextEdit*>(w))
        return FromWidget(e->toPlainText());
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text().toStdString();
    return {};
}

void ToolWindow::SetText(const std::string& control, const std::string& text)
{
    QWidget* w = Control(control);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(Q(text));
    else if (auto* e = qobject_cast<QPlainTextEdit*>(w))
        e->setPlainText(ToWidget(text));
    else if (auto* e = qobject_cast<QTextEdit*>(w))
        e->setPlainText(ToWidget(text));
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(Q(text));
}

bool ToolWindow::Checked(const std::string& control)
{
    auto* c = qobject_cast<QAbstractButton*>(Control(control));
    return c && c->isChecked();
}

void ToolWindow::SetEnabled(const std::string& control, bool enabled)
{
    Control(control)->setEnabled(enabled);
}

bool ToolWindow::Enabled(const std::string& control)
{
    return Control(control)->isEnabled();
}

void ToolWindow::SetWaitCursor(bool wait)
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

void ToolWindow::SetCaption(const std::string& caption)
{
    setWindowTitle(Q(caption));
}

void ToolWindow::Exit()
{
    close();
    QCoreApplication::exit(0);
}

}  // namespace tessel::tester

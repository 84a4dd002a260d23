#include "ToolWindow.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "Widgets/Controls.h"

namespace tessel::tester {

using namespace widgets;

ToolWindow::ToolWindow(const ToolDefinition& tool, client::TokenLibrary& library, QWidget* parent)
    : QWidget(parent), WidgetUi(static_cast<QWidget&>(*this)), tool_(tool), core_(tool, *this, library)
{
    Build();
    core_.Start();
}

void ToolWindow::Build()
{
    setObjectName(Q(tool_.WindowName()));
    // The window grows by its status line; the controls keep their places.
    setFixedSize(Px(tool_.clientWidth), Px(tool_.clientHeight) + kStatusLineHeight);
    setFont(DialogFont());
    const int shift = tool_.clientHeight - 10635;  // the shared part moves with the tool's height

    QGroupBox* frame1 = MakeFrame(this, "Frame1", " TesselService SOAP 1.0 Dec Interface Tester ",
                                  {0, 0, 8055, 8775 + shift});
    if (!tool_.titleLabel.empty()) {
        QLabel* title = MakeLabel(frame1, "Label2", tool_.titleLabel, tool_.titleLabelRect);
        QFont font(QStringLiteral("Tahoma"));
        font.setPointSizeF(11.25);
        font.setBold(true);
        title->setFont(font);
        title->adjustSize();
    }
    MakeLabel(frame1, "Label3", "SOAP / HTTP", {6840, 240, 0, 0});

    for (const Label& l : tool_.labels) {
        QLabel* label = MakeLabel(frame1, l.name, l.text, l.rect);
        if (l.bold) {
            QFont bold = DialogFont();  // the dialog font's face, whatever the label inherited
            bold.setBold(true);
            label->setFont(bold);
            if (!l.rect.width)
                label->adjustSize();
        }
    }
    for (const Line& l : tool_.lines)
        MakeLine(frame1, l.name, l.x1, l.y1, l.x2, l.y2, l.thickness);
    for (const Box& box : tool_.boxes) {
        if (box.kind != BoxKind::Line) {
            MakeTextBox(frame1, box.name, box.rect, box.kind == BoxKind::MultiLine);
            continue;
        }
        QLineEdit* edit = MakeLineEdit(frame1, box.name, box.rect);
        // Return in a row's box presses the button of the first row that reads it.
        for (const Row& row : tool_.rows) {
            const bool reads = std::any_of(row.params.begin(), row.params.end(),
                                           [&](const Param& p) { return p.box == box.name; });
            if (!reads)
                continue;
            const std::string button = row.button;
            connect(edit, &QLineEdit::returnPressed, this, [this, button] {
                if (Enabled(button))
                    core_.Send(button);
            });
            break;
        }
    }
    std::vector<QLabel*> rowLabels;
    for (const Row& row : tool_.rows) {
        rowLabels.push_back(MakeLabel(frame1, row.button + "_Label", row.label, row.labelRect));
        QPushButton* send = MakeButton(frame1, row.button, row.caption, row.buttonRect);
        const std::string button = row.button;
        connect(send, &QPushButton::clicked, this, [this, button] { core_.Send(button); });
    }
    for (const Button& b : tool_.buttons) {
        QPushButton* button = MakeButton(frame1, b.name, b.caption, b.rect);
        const Action action = b.action;
        connect(button, &QPushButton::clicked, this, [this, action] { core_.Run(action); });
    }

    FitRowLabels(rowLabels);

    QLabel* prompt = MakeLabel(frame1, "Label11", tool_.descriptionLabel, {120, 6600 + shift, 0, 0});
    MakeLineEdit(frame1, "txtURI", {120, 6840 + shift, 6495, 285});
    QPushButton* connectButton = MakeButton(frame1, "btnConnect", "Connect", {6960, 6720 + shift, 972, 372},
                                            "Connect to SOAP Server and load Service Description file");
    // A prompt long enough to reach the button's column rises to clear the button.
    if (prompt->geometry().intersects(connectButton->geometry()))
        prompt->move(prompt->x(), connectButton->y() - prompt->height());
    connect(connectButton, &QPushButton::clicked, this, [this] { core_.Connect(); });

    const int login = 7200 + shift;
    MakeLabel(frame1, "Label5", "Authority:", {120, login, 0, 0});
    MakeLineEdit(frame1, tool_.authorityBox, {960, login, 1815, 285});
    MakeLabel(frame1, "Label6", tool_.realmLabel, {120, login + 360, 0, 0});
    MakeLineEdit(frame1, tool_.realmBox, {960, login + 360, 1815, 285});
    MakeLabel(frame1, "Label7", "Service:", {120, login + 720, 0, 0});
    MakeLineEdit(frame1, "Service", {960, login + 720, 1815, 285});
    MakeLabel(frame1, "Label8", "User Name:", {2880, login, 0, 0});
    MakeLineEdit(frame1, "UserKey", {2880, login + 240, 1815, 285});
    MakeLabel(frame1, "Label9", "Password:", {2880, login + 600, 0, 0});
    MakeLineEdit(frame1, tool_.passwordBox, {2880, login + 840, 1815, 285}, true);

    QGroupBox* frame3 = MakeFrame(frame1, "Frame3", "Options", {4800, login, 3135, 1095});
    // The options' captions show whole inside their frame.
    QCheckBox* packets =
        MakeCheckBox(frame3, "chkShowPackets", "Show SOAP  XML payload data", {120, 300, 2895, 255});
    QCheckBox* methods =
        MakeCheckBox(frame3, "chkShowMethods", "Show methods when loading XML", {120, 660, 2895, 255});
    const int optionsRight = frame3->contentsRect().right();
    FitCaptionsInRooms({{packets, optionsRight - packets->x()}, {methods, optionsRight - methods->x()}});

    const int bottom = 8400 + shift;
    QPushButton* ticket = MakeButton(frame1, "CreateTicket", "CreateTicket", {120, bottom, 1695, 255});
    connect(ticket, &QPushButton::clicked, this, [this] { core_.CreateTicket(); });
    QPushButton* close = MakeButton(frame1, "CloseSession", "CloseSession", {2040, bottom, 1695, 255});
    connect(close, &QPushButton::clicked, this, [this] { core_.CloseSession(); });
    MakeLabel(frame1, "Label4", "List available methods:", {3840, bottom, 0, 0});
    QPushButton* list =
        MakeButton(frame1, "btnListWSDataMethods", "List", {5880, bottom, 972, 255}, "List available methods.");
    connect(list, &QPushButton::clicked, this, [this] { core_.ListMethods(); });
    QPushButton* exitButton = MakeButton(frame1, "btnExit", "Exit", {6960, bottom, 975, 255});
    connect(exitButton, &QPushButton::clicked, this, [this] { core_.Exit(); });

    const int payload = 8760 + shift;
    MakeLabel(this, "Label14", "Request Content:", {0, payload, 0, 0});
    MakeLabel(this, "Label22", "Response Content:", {3360, payload, 0, 0});
    for (const auto& [name, rect] : {std::pair{tool_.requestBox, Rect{0, payload + 240, 3255, 735}},
                                     {tool_.resultBox, Rect{0, payload + 1080, 3255, 735}},
                                     {tool_.responseBox, Rect{3240, payload + 240, 4815, 1575}}}) {
        TextBox* box = MakeTextBox(this, name, rect, false, true);
        connect(box, &TextBox::doubleClicked, this, [this] { OpenExchangeView(); });
    }
    QPushButton* view = MakeButton(this, "btnView", "View", {7380, payload - 15, 660, 255},
                                   "The last exchange: HTTP headers, the request and the reply laid out, the whole result");
    connect(view, &QPushButton::clicked, this, [this] { OpenExchangeView(); });

    MakeStatusLine(this, Px(tool_.clientHeight), Px(tool_.clientWidth));

    // Return in a description box connects it; in a login box it logs in.
    ReturnPresses(Control("txtURI"), connectButton);
    for (const Button& b : tool_.buttons)
        if (tool_.admin && b.action == Action::ConnectAdmin)
            ReturnPresses(Control(tool_.admin->uriBox), qobject_cast<QAbstractButton*>(Control(b.name)));
    for (const std::string& box : {tool_.authorityBox, tool_.realmBox, std::string("Service"), std::string("UserKey"),
                                   tool_.passwordBox})
        ReturnPresses(Control(box), ticket);
    OrderFocusTopToBottom(*this);
    Control("txtURI")->setFocus();
}

void ToolWindow::FitRowLabels(const std::vector<QLabel*>& labels)
{
    constexpr int kGap = 4;  // pixels between a label and the control to its right
    std::vector<CaptionRoom> rooms;
    for (QLabel* label : labels) {
        QWidget* frame = label->parentWidget();
        int right = frame->contentsRect().right();
        for (QWidget* w : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const bool control = qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractScrollArea*>(w) ||
                                 qobject_cast<QAbstractButton*>(w);
            const QRect g = w->geometry();
            if (control && g.left() > label->x() && g.top() <= label->geometry().bottom() &&
                label->y() <= g.bottom())
                right = std::min(right, g.left() - kGap);
        }
        rooms.push_back({label, right - label->x()});
    }
    FitCaptionsInRooms(rooms);
}

}  // namespace tessel::tester

#include "Soap2Window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <map>
#include <vector>

#include "Widgets/Controls.h"

namespace tessel::tester2 {

using namespace widgets;

Soap2Window::Soap2Window(const Soap2ToolDefinition& tool, client::TokenLibrary& library,
                         Soap2Core::ClientFactory makeClient, QWidget* parent)
    : QWidget(parent), WidgetUi(static_cast<QWidget&>(*this)), tool_(tool),
      core_(tool, *this, library, std::move(makeClient))
{
    Build();
    core_.Start();
}

QWidget* Soap2Window::ContainerOf(const std::string& container, Rect& rect)
{
    if (container.empty())
        return this;
    const Frame* frame = tool_.FrameNamed(container);
    if (!frame)
        return this;
    rect.left -= frame->rect.left;
    rect.top -= frame->rect.top;
    return findChild<QGroupBox*>(Q(container));
}

void Soap2Window::Build()
{
    setObjectName(Q(tool_.windowName));
    // The window grows by its status line; the controls keep their places.
    setFixedSize(Px(tool_.clientWidth), Px(tool_.clientHeight) + kStatusLineHeight);
    setFont(DialogFont());

    // Frames and lines first, so that the controls lie above them.
    MakeFrame(this, "SessionFrame", "Session", {0, 480, 2895, 735});
    for (const Frame& f : tool_.frames)
        MakeFrame(this, f.name, f.caption, f.rect);
    MakeLine(this, "Line1", 0, tool_.separatorTop, 7560, tool_.separatorTop, 3);
    for (const Line& l : tool_.lines)
        MakeLine(this, l.name, l.x1, l.y1, l.x2, l.y2, l.thickness);

    MakeLabel(this, "Label1", "WSDL:", {60, 120, 615, 255});
    QComboBox* wsdl = MakeComboBox(this, kWsdlBox, tool_.wsdlRect);
    for (const std::string& url : DefaultDescriptionUrls())
        wsdl->addItem(Q(url));
    QPushButton* connectButton = MakeButton(this, kConnectButton, "Connect", tool_.connectRect);
    connect(connectButton, &QPushButton::clicked, this, [this] { core_.Connect(); });

    QPushButton* ticket = MakeButton(this, kCreateTicketButton, "CreateTicket", {120, 720, 1215, 375});
    connect(ticket, &QPushButton::clicked, this, [this] { core_.CreateTicket(); });
    QPushButton* close = MakeButton(this, kCloseSessionButton, "CloseSession", {1560, 720, 1215, 375});
    connect(close, &QPushButton::clicked, this, [this] { core_.CloseSession(); });
    MakeLabel(this, "Label8", "User Name", {4680, 600, 855, 375});
    MakeLineEdit(this, kUserNameBox, {5640, 570, 1815, 285});
    MakeLabel(this, "Label9", "Password", {4680, 960, 855, 375});
    MakeLineEdit(this, kPasswordBox, {5640, 960, 1815, 285}, true);
    MakeLabel(this, "Label5", "Authority", {4080, 1320, 855, 255});
    MakeLineEdit(this, kAuthorityBox, {5040, 1320, 2415, 285});
    MakeLabel(this, "Label6", "realm", {4080, 1800, 855, 255});
    MakeLineEdit(this, kRealmBox, {5040, 1680, 2415, 375});
    MakeLabel(this, "Label7", "Service", {4080, 2160, 735, 255});
    MakeLineEdit(this, kServiceBox, {5040, 2160, 2415, 375});

    for (const Box& box : tool_.boxes) {
        Rect r = box.rect;
        QWidget* parent = ContainerOf(box.container, r);
        if (box.kind != BoxKind::Line) {
            MakeTextBox(parent, box.name, r, box.kind == BoxKind::MultiLine);
            continue;
        }
        QLineEdit* edit = MakeLineEdit(parent, box.name, r);
        // Return in a row's box presses the button of the first row that reads it.
        for (const Row& row : tool_.rows) {
            if (std::none_of(row.params.begin(), row.params.end(), [&](const Param& p) { return p.box == box.name; }))
                continue;
            const std::string button = row.button;
            connect(edit, &QLineEdit::returnPressed, this, [this, button] {
                if (Enabled(button))
                    core_.Send(button);
            });
            break;
        }
    }
    // The operation buttons keep their places: their captions show whole in
    // one face, a narrower one when some caption needs it.
    std::vector<CaptionRoom> captions;
    for (const Row& row : tool_.rows) {
        Rect r = row.rect;
        QWidget* parent = ContainerOf(row.container, r);
        QPushButton* button = MakeButton(parent, row.button, row.method, r);
        captions.push_back({button, Px(r.width)});
        const std::string name = row.button;
        connect(button, &QPushButton::clicked, this, [this, name] { core_.Send(name); });
    }
    FitCaptionsInRooms(captions);

    TextBox* result = MakeTextBox(this, kResultBox, tool_.resultRect, false);
    connect(result, &TextBox::doubleClicked, this, [this] { OpenExchangeView(); });

    // The status line along the bottom, with the View button of the last exchange at its end.
    const int width = Px(tool_.clientWidth), bottom = Px(tool_.clientHeight);
    constexpr int kViewWidth = 56;
    MakeStatusLine(this, bottom, width - kViewWidth);
    auto* view = new QPushButton(QStringLiteral("View"), this);  // owned by the window
    view->setObjectName(QStringLiteral("btnView"));
    view->setGeometry(width - kViewWidth, bottom, kViewWidth, kStatusLineHeight);
    view->setToolTip(QStringLiteral("The last exchange: HTTP headers, the request and the reply laid out, the whole "
                                    "result"));
    connect(view, &QPushButton::clicked, this, [this] { OpenExchangeView(); });

    // Return in the WSDL box connects; in a login box it logs in.
    ReturnPresses(wsdl, connectButton);
    for (const char* box : {kUserNameBox, kPasswordBox, kAuthorityBox, kRealmBox, kServiceBox})
        ReturnPresses(Control(box), ticket);
    OrderFocusTopToBottom(*this);
    wsdl->setFocus();
}

}  // namespace tessel::tester2

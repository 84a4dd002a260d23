#include "Widgets/MessageBox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "Widgets/Controls.h"

namespace tessel::widgets {

namespace {

constexpr int kShortLines = 20;
constexpr int kShortLineLength = 100;
// Pixels a box needs beside its text: the icon, the spacing and the margins.
constexpr int kBesideText = 120;

bool IsShort(const QString& text)
{
    if (text.size() > kShortLines * kShortLineLength)
        return false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > kShortLines)
        return false;
    for (const QString& line : lines)
        if (line.size() > kShortLineLength)
            return false;
    return true;
}

QStyle::StandardPixmap PixmapOf(client::Icon icon)
{
    switch (icon) {
    case client::Icon::Information: return QStyle::SP_MessageBoxInformation;
    case client::Icon::Exclamation: return QStyle::SP_MessageBoxWarning;
    case client::Icon::Critical: return QStyle::SP_MessageBoxCritical;
    case client::Icon::None: break;
    }
    return QStyle::SP_CustomBase;
}

}  // namespace

MessageDialog::MessageDialog(QWidget* parent, const std::string& title, const std::string& text, client::Icon icon)
    : QDialog(parent), text_(ForDisplay(text, kMessageCharacters)), icon_(icon)
{
    setObjectName(QStringLiteral("MessageBox"));
    setWindowTitle(Q(title));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    layout->addLayout(row, 1);
    if (icon != client::Icon::None) {
        auto* picture = new QLabel(this);
        picture->setObjectName(QStringLiteral("Icon"));
        const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        picture->setPixmap(style()->standardIcon(PixmapOf(icon), nullptr, this).pixmap(side, side));
        picture->setAlignment(Qt::AlignTop);
        row->addWidget(picture, 0, Qt::AlignTop);
    }
    const QRect screen = (parent && parent->screen() ? parent->screen() : QApplication::primaryScreen())->availableGeometry();
    if (IsShort(text_)) {
        auto* label = new QLabel(text_, this);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        textWidget_ = label;
    } else {
        auto* box = new TextView(this);
        box->SetDisplayText(text_);
        // Room for the icon, the margins and the frame stays within the box's
        // largest width, so the text never lies outside the box.
        box->setMinimumSize(std::min(560, screen.width() * 9 / 10 - kBesideText),
                            std::min(320, screen.height() * 6 / 10));
        textWidget_ = box;
    }
    textWidget_->setObjectName(QStringLiteral("Text"));
    row->addWidget(textWidget_, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);

    // Wide enough for the whole title (and the window frame's buttons), no
    // larger than the screen.
    const int titleWidth = fontMetrics().horizontalAdvance(windowTitle()) + 140;
    setMinimumWidth(std::min(titleWidth, screen.width() * 9 / 10));
    setMaximumSize(screen.width() * 9 / 10, screen.height() * 9 / 10);
    // adjustSize alone stops at two thirds of the screen, which may be less
    // than what the layout needs.
    adjustSize();
    resize(size().expandedTo(minimumSizeHint()).boundedTo(maximumSize()));
}

void ShowMessageBox(QWidget* parent, const std::string& title, const std::string& text, client::Icon icon)
{
    MessageDialog box(parent, title, text, icon);
    box.exec();
}

}  // namespace tessel::widgets

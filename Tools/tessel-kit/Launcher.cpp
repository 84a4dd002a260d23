#include "Launcher.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include "TesselRegistry.h"

namespace tessel::kit {

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

const std::vector<ToolEntry>& Tools()
{
    static const std::vector<ToolEntry> tools = [] {
        std::vector<ToolEntry> list;
        for (const registry::Family family : {registry::Family::Soap1, registry::Family::Soap2})
            for (const registry::Tool& tool : registry::kTools)
                if (tool.family == family)
                    list.push_back({tool.program, tool.purpose, tool.descriptionPath});
        return list;
    }();
    return tools;
}

Launcher::Launcher(std::string service, std::string folder, QWidget* parent)
    : QWidget(parent), service_(std::move(service)), folder_(std::move(folder))
{
    setObjectName(QStringLiteral("tessel-kit"));
    setWindowTitle(QStringLiteral("Tessel test kit"));
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(Q("The local TesselService is at " + service_ +
                                 "/\nLog in with user name tester and password tester."),
                               this);
    heading->setObjectName(QStringLiteral("Service"));
    heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(heading);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    int row = 0;
    for (const ToolEntry& tool : Tools()) {
        auto* name = new QLabel(Q(tool.program), this);
        QFont bold = name->font();
        bold.setBold(true);
        name->setFont(bold);
        grid->addWidget(name, row, 0);
        grid->addWidget(new QLabel(Q(tool.purpose), this), row, 1);
        auto* start = new QPushButton(QStringLiteral("Start"), this);
        start->setObjectName(Q("start_" + tool.program));
        start->setToolTip(Q("Start " + tool.program + " on " + service_ + tool.descriptionPath));
        connect(start, &QPushButton::clicked, this, [this, &tool] { Start(tool); });
        grid->addWidget(start, row, 2);
        ++row;
    }
    auto* status = new QLabel(this);
    status->setObjectName(QStringLiteral("StatusLine"));
    layout->addWidget(status);
}

qint64 Launcher::Start(const ToolEntry& tool)
{
    auto* status = findChild<QLabel*>(QStringLiteral("StatusLine"));
    const QString program = Q(folder_ + "/" + tool.program);
    qint64 pid = 0;
    if (!QFileInfo(program).isExecutable()) {
        status->setText(Q(tool.program + " is not built: there is no " + program.toStdString()));
        return 0;
    }
    QStringList arguments;
    for (const std::string& a : Arguments(tool))
        arguments << Q(a);
    if (!QProcess::startDetached(program, arguments, QString(), &pid)) {
        status->setText(Q(tool.program + " could not be started"));
        return 0;
    }
    status->setText(Q("Started " + tool.program + " (process " + std::to_string(pid) + ")"));
    return pid;
}

std::vector<std::string> Launcher::Arguments(const ToolEntry& tool) const
{
    return {"--uri", service_ + tool.descriptionPath};
}

}  // namespace tessel::kit

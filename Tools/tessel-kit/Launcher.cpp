#include "Launcher.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessel::kit {

namespace {

constexpr char kSoap1Description[] = "/TesselService/TesselServiceCore.xml";
constexpr char kSoap2Description[] = "/TesselService2/TesselServiceCore.wsdl";

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

const std::vector<ToolEntry>& Tools()
{
    static const std::vector<ToolEntry> tools = {
        {"TSTestTool1", "Queries, and Folio content by name and by URI", kSoap1Description},
        {"TSTestTool2", "Collaboration: sharing, attendees, owners and share fields", kSoap1Description},
        {"TSTestTool3", "The log database and the access lists of resources", kSoap1Description},
        {"TSTestTool4", "Access lists of items, and the messages attached to them", kSoap1Description},
        {"TSTestTool5", "Settings queries, and the reloads of the admin interface", kSoap1Description},
        {"TSTestTool6", "Version 1.1: VO lists, URIs and attributes, share-field URIs", kSoap1Description},
        {"TSTestTool8", "Folio resources: their URLs, properties and attributes", kSoap1Description},
        {"TSTestToolSP2", "Core operations over SOAP 2.0, with VO locks and logs by user", kSoap2Description},
        {"TSTestTool2SP2", "Folio resources over SOAP 2.0", kSoap2Description},
    };
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
    if (!QProcess::startDetached(program, {QStringLiteral("--uri"), Q(service_ + tool.descriptionPath)}, QString(),
                                 &pid)) {
        status->setText(Q(tool.program + " could not be started"));
        return 0;
    }
    status->setText(Q("Started " + tool.program + " (process " + std::to_string(pid) + ")"));
    return pid;
}

}  // namespace tessel::kit

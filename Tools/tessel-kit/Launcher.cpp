#include "Launcher.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include "TesselRegistry.h"

namespace tessel::kit {

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

constexpr char kServiceProgram[] = "TesselServiceLocal";
constexpr char kLogin[] = "Log in with user name tester and password tester.";

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
    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("Service"));
    heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(heading_);
    auto* serviceRow = new QHBoxLayout;
    layout->addLayout(serviceRow);
    startService_ = new QPushButton(Q(std::string("Start ") + kServiceProgram), this);
    startService_->setObjectName(QStringLiteral("btnStartService"));
    connect(startService_, &QPushButton::clicked, this, [this] { StartService(); });
    serviceRow->addWidget(startService_);
    auto* check = new QPushButton(QStringLiteral("Check again"), this);
    check->setObjectName(QStringLiteral("btnCheckService"));
    check->setToolTip(Q("Ask " + service_ + "/ again whether it answers"));
    connect(check, &QPushButton::clicked, this, [this] { CheckService(); });
    serviceRow->addWidget(check);
    serviceRow->addStretch(1);

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
        auto* uses = new QLabel(Q(service_ + tool.descriptionPath), this);
        uses->setObjectName(Q("uses_" + tool.program));
        uses->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(uses, row, 2);
        auto* start = new QPushButton(QStringLiteral("Start"), this);
        start->setObjectName(Q("start_" + tool.program));
        start->setToolTip(Q("Start " + tool.program + " on " + service_ + tool.descriptionPath));
        connect(start, &QPushButton::clicked, this, [this, &tool] { Start(tool); });
        grid->addWidget(start, row, 3);
        ++row;
    }
    auto* status = new QLabel(this);
    status->setObjectName(QStringLiteral("StatusLine"));
    layout->addWidget(status);

    network_ = new QNetworkAccessManager(this);
    CheckService();
}

Launcher::~Launcher()
{
    // A check still running ends without telling the window that is going.
    for (QNetworkReply* reply : network_->findChildren<QNetworkReply*>())
        QObject::disconnect(reply, nullptr, this, nullptr);
    if (localService_ && localService_->state() != QProcess::NotRunning) {
        QObject::disconnect(localService_.get(), nullptr, this, nullptr);  // the window is going: nothing to tell
        localService_->terminate();
        localService_->waitForFinished(3000);  // else QProcess kills it
    }
}

void Launcher::SetStatus(const std::string& line)
{
    findChild<QLabel*>(QStringLiteral("StatusLine"))->setText(Q(line));
}

void Launcher::ShowState(const std::string& reason)
{
    const std::string at = service_ + "/";
    std::string text;
    const bool startable = state_ == ServiceState::Silent && !ServiceProgram().empty();
    switch (state_) {
    case ServiceState::Checking: text = "Checking whether the TesselService at " + at + " answers..."; break;
    case ServiceState::Answers: text = "The TesselService at " + at + " answers; every tool below uses it."; break;
    case ServiceState::Silent:
        text = "No TesselService answers at " + at + " (" + reason + ").\n";
        if (startable)
            text += std::string("Start ") + kServiceProgram + " below for a local one, or run ./scripts/run.sh.";
        else
            text += std::string(kServiceProgram) + " is neither next to tessel-kit nor on PATH: build the kit "
                                                   "(cmake --build build) or run ./scripts/run.sh, which starts one.";
        break;
    }
    heading_->setText(Q(text + "\n" + kLogin));
    startService_->setVisible(startable);
    startService_->setToolTip(startable ? Q(ServiceProgram() + " --port " +
                                            std::to_string(QUrl(Q(service_)).port(8080)) +
                                            "; it stops when the launcher closes")
                                        : QString());
}

void Launcher::CheckService()
{
    state_ = ServiceState::Checking;
    ShowState();
    const unsigned check = ++check_;
    QNetworkRequest request(QUrl(Q(service_ + Tools().front().descriptionPath)));
    request.setTransferTimeout(kServiceCheckMs);
    QNetworkReply* reply = network_->get(request);  // owned by the manager until it is deleted below
    connect(reply, &QNetworkReply::finished, this, [this, reply, check] {
        reply->deleteLater();
        if (check != check_)
            return;  // a later check runs
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
            state_ = ServiceState::Answers;
            ShowState();
            return;
        }
        state_ = ServiceState::Silent;
        std::string reason = reply->error() == QNetworkReply::OperationCanceledError
                                 ? "no answer within " + std::to_string(kServiceCheckMs) + " ms"
                                 : reply->errorString().toStdString();
        if (status && reply->error() != QNetworkReply::OperationCanceledError)
            reason = "HTTP status " + std::to_string(status) + " for " + Tools().front().descriptionPath;
        ShowState(reason);
    });
}

std::string Launcher::ServiceProgram() const
{
    const QString beside = Q(folder_ + "/" + kServiceProgram);
    if (QFileInfo(beside).isExecutable())
        return beside.toStdString();
    return QStandardPaths::findExecutable(QString::fromLatin1(kServiceProgram)).toStdString();
}

bool Launcher::StartService()
{
    const std::string program = ServiceProgram();
    if (program.empty()) {
        SetStatus(std::string(kServiceProgram) + " is neither next to tessel-kit nor on PATH");
        return false;
    }
    if (localService_ && localService_->state() != QProcess::NotRunning) {
        SetStatus(std::string(kServiceProgram) + " was started already (process " +
                  std::to_string(localService_->processId()) + ")");
        return true;
    }
    const std::string port = std::to_string(QUrl(Q(service_)).port(8080));
    localService_ = std::make_unique<QProcess>();
    localService_->setProcessChannelMode(QProcess::MergedChannels);
    QProcess* process = localService_.get();
    // The service says "listening on URL" once it takes requests: then the
    // check runs again. Ending before that, it says why.
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process] {
        while (process->canReadLine()) {
            const std::string line = process->readLine().trimmed().toStdString();
            if (line.rfind("listening on ", 0) == 0) {
                SetStatus("Started " + std::string(kServiceProgram) + " (process " +
                          std::to_string(process->processId()) + "), " + line);
                CheckService();
            }
        }
    });
    connect(process, &QProcess::finished, this, [this, process](int code, QProcess::ExitStatus) {
        const std::string said = process->readAll().trimmed().toStdString();
        SetStatus(std::string(kServiceProgram) + " ended (exit status " + std::to_string(code) + ")" +
                  (said.empty() ? "" : ": " + said.substr(0, said.find('\n'))));
        CheckService();
    });
    process->start(Q(program), {QStringLiteral("--port"), Q(port)});
    if (!process->waitForStarted(3000)) {
        SetStatus(std::string(kServiceProgram) + " could not be started: " + process->errorString().toStdString());
        return false;
    }
    SetStatus("Starting " + program + " --port " + port + "...");
    return true;
}

qint64 Launcher::Start(const ToolEntry& tool)
{
    const QString program = Q(folder_ + "/" + tool.program);
    qint64 pid = 0;
    if (!QFileInfo(program).isExecutable()) {
        SetStatus(tool.program + " is not built: there is no " + program.toStdString());
        return 0;
    }
    QStringList arguments;
    for (const std::string& a : Arguments(tool))
        arguments << Q(a);
    if (!QProcess::startDetached(program, arguments, QString(), &pid)) {
        SetStatus(tool.program + " could not be started");
        return 0;
    }
    SetStatus("Started " + tool.program + " (process " + std::to_string(pid) + ")");
    return pid;
}

std::vector<std::string> Launcher::Arguments(const ToolEntry& tool) const
{
    return {"--uri", service_ + tool.descriptionPath};
}

}  // namespace tessel::kit

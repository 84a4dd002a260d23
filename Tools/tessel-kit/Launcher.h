// tessel-kit: a small window that lists the kit's tools with what each
// is for and the service description each will use, starts any of them
// against the service, checks whether that service answers (and starts a
// local one, TesselServiceLocal, when it does not), and says how to log in.
#pragma once

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QNetworkAccessManager;
class QProcess;
class QPushButton;

namespace tessel::kit {

struct ToolEntry {
    std::string program;
    std::string purpose;
    std::string descriptionPath;  // the tool's description on the service
};

// The tools of the registry, in the order the launcher lists them: the SOAP
// 1.0 tools, then the SOAP 2.0 tools, each family in the registry's order.
const std::vector<ToolEntry>& Tools();

// How long the launcher waits for the service to answer its check.
inline constexpr int kServiceCheckMs = 1000;

class Launcher : public QWidget {
public:
    enum class ServiceState {
        Checking,  // a check runs
        Answers,   // the service served the first tool's description
        Silent,    // nothing answered, or not with the description
    };

    // `service`: the service's base URL ("http://localhost:8080"); `folder`:
    // where the tools' programs are (and TesselServiceLocal, when it is
    // there). The first check of the service starts at once.
    Launcher(std::string service, std::string folder, QWidget* parent = nullptr);
    // Stops the service the launcher started, if it did.
    ~Launcher() override;
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Starts a tool on the service's description; its process ID, or 0 when
    // it could not be started (the launcher's line says why).
    qint64 Start(const ToolEntry& tool);
    // The command line a tool is started with: --uri and the tool's
    // description on the service.
    std::vector<std::string> Arguments(const ToolEntry& tool) const;

    // Asks the service for the first tool's description, for at most
    // kServiceCheckMs and without holding the window; the heading says what
    // came of it, and the Start button of the local service shows when
    // nothing answered and TesselServiceLocal can be found. A check that
    // runs is given up for the new one.
    void CheckService();
    ServiceState serviceState() const noexcept { return state_; }
    // TesselServiceLocal next to the launcher's tools, else on PATH; empty
    // when it is in neither.
    std::string ServiceProgram() const;
    // Starts TesselServiceLocal on the service's port, owned by the launcher
    // (it stops when the launcher closes), and checks the service again once
    // it listens; false when there is no such program or it could not start
    // (the launcher's line says why).
    bool StartService();

private:
    void ShowState(const std::string& reason = {});
    void SetStatus(const std::string& line);

    std::string service_, folder_;
    ServiceState state_ = ServiceState::Checking;
    QLabel* heading_ = nullptr;
    QPushButton* startService_ = nullptr;
    QNetworkAccessManager* network_ = nullptr;  // owned by the window
    unsigned check_ = 0;                        // counts the checks, so that only the last one's answer counts
    std::unique_ptr<QProcess> localService_;
};

}  // namespace tessel::kit

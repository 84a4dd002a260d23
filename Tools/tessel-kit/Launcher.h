// tessel-kit: a small window that lists the kit's tools with what each
// is for, starts any of them against the local service, and says where the
// service is and how to log in.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

namespace tessel::kit {

struct ToolEntry {
    std::string program;
    std::string purpose;
    std::string descriptionPath;  // the tool's description on the service
};

// The tools of the registry, in the order the launcher lists them: the SOAP
// 1.0 tools, then the SOAP 2.0 tools, each family in the registry's order.
const std::vector<ToolEntry>& Tools();

class Launcher : public QWidget {
public:
    // `service`: the local service's base URL ("http://localhost:8080");
    // `folder`: where the tools' programs are.
    Launcher(std::string service, std::string folder, QWidget* parent = nullptr);

    // Starts a tool on the service's description; its process ID, or 0 when
    // it could not be started (the launcher's line says why).
    qint64 Start(const ToolEntry& tool);
    // The command line a tool is started with: --uri and the tool's
    // description on the service.
    std::vector<std::string> Arguments(const ToolEntry& tool) const;

private:
    std::string service_, folder_;
};

}  // namespace tessel::kit

#include "Client/SessionMessages.h"

#include <stdexcept>

#include "Catalog/Catalog.h"

namespace tessel::client {

std::vector<Slot> SessionParams(const std::string& message, const std::vector<std::string>& values)
{
    const catalog::SessionMessage* m = catalog::FindSessionMessage(message);
    if (!m || m->inputs.size() != values.size())
        throw std::logic_error("the session message " + message + " takes other parameters");
    std::vector<Slot> params;
    for (std::size_t i = 0; i < values.size(); ++i)
        params.emplace_back(m->inputs[i], values[i]);
    return params;
}

}  // namespace tessel::client

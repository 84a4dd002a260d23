// The parameters of the three session messages, named as the catalog names
// them, with the values a tool gives in the catalog's order.
#pragma once

#include <string>
#include <vector>

#include "Client/TokenSession.h"

namespace tessel::client {

// The named parameters of a session message ("CreateTicket", "OpenSession",
// "CloseSession"); `values` are in the message's request order. Raises
// std::logic_error when the message is unknown or the count differs.
std::vector<Slot> SessionParams(const std::string& message, const std::vector<std::string>& values);

}  // namespace tessel::client

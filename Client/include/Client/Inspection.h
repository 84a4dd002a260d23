// The token inspector over what a tool or tessel-call recorded of a call:
// both tokens decoded and a rejected reply explained by the check that failed.
#pragma once

#include <string>

#include "Client/Exchange.h"
#include "TesselInspect.h"

namespace tessel::client {

inspect::Inspection Inspect(const TokenTrace& trace);
// The inspection for a person, one fact a line; a text that says so when
// the exchange carried no token.
std::string InspectionText(const TokenTrace& trace);
// What a rejected reply failed ("hash differs"); empty when the reply is
// valid or was not validated.
std::string FailedCheck(const TokenTrace& trace);

}  // namespace tessel::client

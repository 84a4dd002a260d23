#include "Client/Inspection.h"

namespace tessel::client {

namespace {

std::vector<inspect::Slot> SlotsOf(const std::vector<std::pair<std::string, std::string>>& slots)
{
    std::vector<inspect::Slot> out;
    out.reserve(slots.size());
    for (const auto& [name, value] : slots)
        out.push_back({name, value});
    return out;
}

}  // namespace

inspect::Inspection Inspect(const TokenTrace& trace)
{
    return inspect::Inspect({trace.scheme, trace.seed, trace.sessionKey, trace.verifier}, trace.requestToken,
                            SlotsOf(trace.requestSlots), trace.replyToken, SlotsOf(trace.replySlots),
                            trace.validated);
}

std::string InspectionText(const TokenTrace& trace)
{
    if (trace.empty())
        return "This exchange carried no token: the session messages are sent without one.\n";
    return inspect::Describe(Inspect(trace));
}

std::string FailedCheck(const TokenTrace& trace)
{
    if (!trace.validated)
        return {};
    return Inspect(trace).reply.failedCheck;
}

}  // namespace tessel::client

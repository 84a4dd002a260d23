// Messages attached to items, by URI.
#include "StoreState.h"

namespace tessel::server {

namespace {

std::string& MessageOf(StoreState& s, const Args& a)
{
    const auto it = s.messages.find(a.at("uri"));
    if (it == s.messages.end())
        NotFound("message for", a.at("uri"));
    return it->second;
}

}  // namespace

void AddMessageHandlers(HandlerTable& t)
{
    t["PutMessage"] = [](StoreState& s, const Args& a, const CallContext&) {
        if (s.messages.count(a.at("uri")))
            throw OperationFault("A message exists", "The item " + a.at("uri") + " has a message; update it instead.");
        s.Set(s.messages, a.at("uri"), a.at("message"));
        return kOk;
    };
    t["GetMessage"] = [](StoreState& s, const Args& a, const CallContext&) { return MessageOf(s, a); };
    t["UpdateMessage"] = [](StoreState& s, const Args& a, const CallContext&) {
        MessageOf(s, a);
        s.Set(s.messages, a.at("uri"), a.at("message"));
        return kOk;
    };
    t["RemoveMessage"] = [](StoreState& s, const Args& a, const CallContext&) {
        MessageOf(s, a);
        s.Erase(s.messages, a.at("uri"));
        return kOk;
    };
}

}  // namespace tessel::server

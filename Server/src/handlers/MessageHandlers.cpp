// Messages attached to items, by URI.
#include "StoreState.h"

namespace tessel::server {

namespace {

// The parameters these handlers read.
const Param kMessage{"message"};
const Param kUri{"uri"};

std::string& MessageOf(StoreState& s, const Args& a)
{
    const auto it = s.messages.find(a[kUri]);
    if (it == s.messages.end())
        NotFound("message for", a[kUri]);
    return it->second;
}

}  // namespace

void AddMessageHandlers(HandlerTable& t)
{
    t["PutMessage"] = [](StoreState& s, const Args& a, const CallContext&) {
        if (s.messages.count(a[kUri]))
            throw OperationFault("A message exists", "The item " + a[kUri] + " has a message; update it instead.");
        s.Set(s.messages, a[kUri], a[kMessage]);
        return kOk;
    };
    t["GetMessage"] = [](StoreState& s, const Args& a, const CallContext&) { return MessageOf(s, a); };
    t["UpdateMessage"] = [](StoreState& s, const Args& a, const CallContext&) {
        MessageOf(s, a);
        s.Set(s.messages, a[kUri], a[kMessage]);
        return kOk;
    };
    t["RemoveMessage"] = [](StoreState& s, const Args& a, const CallContext&) {
        MessageOf(s, a);
        s.Erase(s.messages, a[kUri]);
        return kOk;
    };
}

}  // namespace tessel::server

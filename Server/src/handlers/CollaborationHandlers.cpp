// Collaboration: sharing of items, their attendees and owners, and share fields.
#include "StoreState.h"

#include <algorithm>

namespace tessel::server {

namespace {

// The parameters these handlers read.
const Param kAttendee{"attendee"};
const Param kAuthor{"author"};
const Param kField{"field"};
const Param kIpaddress{"ipaddress"};
const Param kName{"name"};
const Param kNewowner{"newowner"};
const Param kUri{"uri"};

using Share = StoreState::Share;
using ShareField = StoreState::ShareField;

Share& SharingOf(StoreState& s, const Args& a)
{
    const auto it = s.shares.find(a[kUri]);
    if (it == s.shares.end())
        NotFound("sharing of", a[kUri]);
    return it->second;
}

// Changes a copy of the sharing of "uri" and stores it, charged for the difference.
template <class Change>
void ChangeSharing(StoreState& s, const Args& a, Change change)
{
    Share sh = SharingOf(s, a);
    change(sh);
    s.Set(s.shares, a[kUri], std::move(sh));
}

ShareField& FieldOf(StoreState& s, const Args& a)
{
    const auto it = s.shareFields.find(a[kUri]);
    if (it == s.shareFields.end())
        NotFound("share field at", a[kUri]);
    return it->second;
}

}  // namespace

void AddCollaborationHandlers(HandlerTable& t)
{
    t["StartSharing"] = [](StoreState& s, const Args& a, const CallContext& c) {
        const auto it = s.shares.find(a[kUri]);
        Share next = it == s.shares.end() ? Share{} : it->second;
        next.uri = a[kUri];
        if (next.owner.empty())
            next.owner = c.user;
        next.ipaddress = a[kIpaddress];
        next.active = true;
        const Share& sh = s.Set(s.shares, a[kUri], std::move(next));
        return "<sharing uri=\"" + XmlEscape(sh.uri) + "\" owner=\"" + XmlEscape(sh.owner) + "\" ipaddress=\"" +
               XmlEscape(sh.ipaddress) + "\"/>";
    };
    t["EndSharing"] = [](StoreState& s, const Args& a, const CallContext&) {
        SharingOf(s, a).active = false;
        return kOk;
    };
    t["GetAttendeesList"] = [](StoreState& s, const Args& a, const CallContext&) {
        return Join(SharingOf(s, a).attendees);
    };
    t["AddAttendee"] = [](StoreState& s, const Args& a, const CallContext&) {
        ChangeSharing(s, a, [&](Share& sh) {
            const std::string& who = a[kAttendee];
            if (std::find(sh.attendees.begin(), sh.attendees.end(), who) != sh.attendees.end())
                throw OperationFault("Already an attendee", who + " already attends " + sh.uri + ".");
            sh.attendees.push_back(who);
        });
        return kOk;
    };
    t["DeleteAttendee"] = [](StoreState& s, const Args& a, const CallContext&) {
        ChangeSharing(s, a, [&](Share& sh) {
            const auto at = std::find(sh.attendees.begin(), sh.attendees.end(), a[kAttendee]);
            if (at == sh.attendees.end())
                NotFound("attendee of " + sh.uri + " named", a[kAttendee]);
            sh.attendees.erase(at);
        });
        return kOk;
    };
    t["ChangeOwner"] = [](StoreState& s, const Args& a, const CallContext&) {
        ChangeSharing(s, a, [&](Share& sh) { sh.owner = a[kNewowner]; });
        return kOk;
    };
    t["SaveSharing"] = [](StoreState& s, const Args& a, const CallContext&) {
        ChangeSharing(s, a, [&](Share& sh) { sh.field = a[kField]; });
        return kOk;
    };

    t["PutShareField"] = [](StoreState& s, const Args& a, const CallContext&) {
        const std::string uri = "sharefield://" + a[kAuthor] + "/" + a[kName];
        if (s.shareFields.count(uri))
            throw OperationFault("The share field exists", uri + " is already there; update it instead.");
        s.Set(s.shareFields, uri, ShareField{uri, a[kAuthor], a[kName], a[kField]});
        return uri;
    };
    t["GetShareFieldList"] = [](StoreState& s, const Args&, const CallContext&) {
        std::vector<std::string> names;
        for (const auto& [uri, f] : s.shareFields)
            names.push_back(f.name);
        return Join(names);
    };
    t["GetShareFieldURIList"] = [](StoreState& s, const Args&, const CallContext&) {
        std::vector<std::string> uris;
        for (const auto& [uri, f] : s.shareFields)
            uris.push_back(uri);
        return Join(uris);
    };
    t["GetShareFieldURI"] = [](StoreState& s, const Args& a, const CallContext&) {
        for (const auto& [uri, f] : s.shareFields)
            if (f.author == a[kAuthor] && f.name == a[kName])
                return uri;
        NotFound("share field of " + a[kAuthor] + " named", a[kName]);
    };
    t["GetShareField"] = [](StoreState& s, const Args& a, const CallContext&) { return FieldOf(s, a).field; };
    t["GetShareFieldAttribute"] = [](StoreState& s, const Args& a, const CallContext&) {
        const ShareField& f = FieldOf(s, a);
        return "<sharefield uri=\"" + XmlEscape(f.uri) + "\" author=\"" + XmlEscape(f.author) + "\" name=\"" +
               XmlEscape(f.name) + "\" size=\"" + std::to_string(f.field.size()) + "\"/>";
    };
    t["UpdateShareField"] = [](StoreState& s, const Args& a, const CallContext&) {
        ShareField f = FieldOf(s, a);
        f.field = a[kField];
        s.Set(s.shareFields, a[kUri], std::move(f));
        return kOk;
    };
    t["RemoveShareField"] = [](StoreState& s, const Args& a, const CallContext&) {
        FieldOf(s, a);
        s.Erase(s.shareFields, a[kUri]);
        return kOk;
    };
}

}  // namespace tessel::server

// Queries, Folio content by name and by URI, its locks, and the VO lists,
// URIs and attributes.
#include "StoreState.h"

#include <set>

namespace tessel::server {

namespace {

// The parameters these handlers read.
const Param kContent{"content"};
const Param kName{"name"};
const Param kSqlstmt{"sqlstmt"};
const Param kUri{"uri"};
const Param kVouser{"vouser"};

using Vo = StoreState::Vo;

std::string NewVoUri(const std::string& owner, const std::string& name)
{
    return "tessel://" + owner + "/" + name;
}

std::string VoXml(const Vo& vo)
{
    return "<vo name=\"" + XmlEscape(vo.name) + "\" uri=\"" + XmlEscape(vo.uri) + "\" owner=\"" + XmlEscape(vo.owner) +
           "\" size=\"" + std::to_string(vo.content.size()) + "\" locked=\"" + (vo.lockedBy.empty() ? "no" : "yes") +
           "\"" + (vo.lockedBy.empty() ? "" : " lockedby=\"" + XmlEscape(vo.lockedBy) + "\"") + "/>";
}

// A VO locked by another session refuses to be locked, read with a lock,
// updated or unlocked.
void CheckLock(const Vo& vo, const CallContext& c, const std::string& what)
{
    if (!vo.lockSession.empty() && vo.lockSession != c.session)
        throw OperationFault("The VO is locked", what + " is locked by " + vo.lockedBy + " in another session.");
}

void Lock(Vo& vo, const CallContext& c, const std::string& what)
{
    CheckLock(vo, c, what);
    vo.lockedBy = c.user;
    vo.lockSession = c.session;
}

void Unlock(Vo& vo)
{
    vo.lockedBy.clear();
    vo.lockSession.clear();
}

std::string Update(StoreState& s, const Vo& vo, const Args& a, const CallContext& c, const std::string& what,
                   bool unlock)
{
    CheckLock(vo, c, what);
    Vo next = vo;
    next.content = a[kContent];
    if (unlock)
        Unlock(next);
    s.Set(s.vos, vo.name, std::move(next));
    return kOk;
}

std::string List(StoreState& s, const CallContext& c, bool all, bool uris)
{
    std::vector<std::string> items;
    for (const auto& [name, vo] : s.vos)
        if (all || vo.owner == c.user)
            items.push_back(uris ? vo.uri : name);
    return Join(items);
}

std::string Put(StoreState& s, const std::string& name, const std::string& owner, const std::string& content)
{
    if (s.vos.count(name))
        throw OperationFault("The VO exists", "A VO named \"" + name + "\" is already there; update it instead.");
    return s.Set(s.vos, name, Vo{.name = name, .uri = NewVoUri(owner, name), .owner = owner, .content = content}).uri;
}

}  // namespace

void AddContentHandlers(HandlerTable& t)
{
    // The query interface answers every statement with the same small table.
    t["Query"] = [](StoreState&, const Args& a, const CallContext&) {
        return "<result><statement>" + XmlEscape(a[kSqlstmt]) +
               "</statement><rows><row><column>ALFKI</column></row><row><column>ANATR</column></row>"
               "<row><column>ANTON</column></row><row><column>AROUT</column></row></rows></result>";
    };

    t["GetVOContent"] = [](StoreState& s, const Args& a, const CallContext&) {
        return s.VoByName(a[kName]).content;
    };
    t["GetVOContentbyURI"] = [](StoreState& s, const Args& a, const CallContext&) {
        return s.VoByUri(a[kUri]).content;
    };
    t["GetVOList"] = [](StoreState& s, const Args&, const CallContext& c) { return List(s, c, false, false); };
    t["GetVOURIList"] = [](StoreState& s, const Args&, const CallContext& c) { return List(s, c, false, true); };
    t["GetAllVOList"] = [](StoreState& s, const Args&, const CallContext& c) { return List(s, c, true, false); };
    t["GetAllVOURIList"] = [](StoreState& s, const Args&, const CallContext& c) { return List(s, c, true, true); };
    t["GetAllVOUserList"] = [](StoreState& s, const Args&, const CallContext&) {
        std::set<std::string> owners;
        for (const auto& [name, vo] : s.vos)
            owners.insert(vo.owner);
        return Join(std::vector<std::string>(owners.begin(), owners.end()));
    };
    t["PutVOContent"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return Put(s, a[kName], c.user, a[kContent]);
    };
    t["PutVOURI"] = [](StoreState& s, const Args& a, const CallContext&) {
        return Put(s, a[kName], a[kVouser], "");
    };
    t["UpdateVOContent"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return Update(s, s.VoByName(a[kName]), a, c, a[kName], false);
    };
    t["UpdateVOContentbyURI"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return Update(s, s.VoByUri(a[kUri]), a, c, a[kUri], false);
    };
    t["UpdateVOContentwithUnlock"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return Update(s, s.VoByName(a[kName]), a, c, a[kName], true);
    };
    t["UpdateVOContentbyURIwithUnlock"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return Update(s, s.VoByUri(a[kUri]), a, c, a[kUri], true);
    };
    t["RemoveVOContent"] = [](StoreState& s, const Args& a, const CallContext& c) {
        CheckLock(s.VoByName(a[kName]), c, a[kName]);
        s.Erase(s.vos, a[kName]);
        return kOk;
    };
    const Handler removeByUri = [](StoreState& s, const Args& a, const CallContext& c) {
        Vo& vo = s.VoByUri(a[kUri]);
        CheckLock(vo, c, a[kUri]);
        s.Erase(s.vos, vo.name);
        return kOk;
    };
    t["RemoveVOContentbyURI"] = removeByUri;
    t["RemoveVOURI"] = removeByUri;

    t["LockVO"] = [](StoreState& s, const Args& a, const CallContext& c) {
        Lock(s.VoByUri(a[kUri]), c, a[kUri]);
        return kOk;
    };
    t["UnlockVO"] = [](StoreState& s, const Args& a, const CallContext& c) {
        Vo& vo = s.VoByUri(a[kUri]);
        CheckLock(vo, c, a[kUri]);
        Unlock(vo);
        return kOk;
    };
    t["GetVOContentwithLock"] = [](StoreState& s, const Args& a, const CallContext& c) {
        Vo& vo = s.VoByName(a[kName]);
        Lock(vo, c, a[kName]);
        return vo.content;
    };
    t["GetVOContentbyURIwithLock"] = [](StoreState& s, const Args& a, const CallContext& c) {
        Vo& vo = s.VoByUri(a[kUri]);
        Lock(vo, c, a[kUri]);
        return vo.content;
    };

    t["GetVOURI"] = [](StoreState& s, const Args& a, const CallContext&) {
        for (const auto& [name, vo] : s.vos)
            if (vo.owner == a[kVouser] && name == a[kName])
                return vo.uri;
        NotFound("VO of " + a[kVouser] + " named", a[kName]);
    };
    t["GetVOAttribute"] = [](StoreState& s, const Args& a, const CallContext&) {
        return VoXml(s.VoByUri(a[kUri]));
    };
}

}  // namespace tessel::server

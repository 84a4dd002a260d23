// Access control lists: of resources, addressed by name ("...ResourceACL..."),
// and of items, addressed by URI ("...ACL..."). Both kinds behave alike.
#include "StoreState.h"

#include <algorithm>

#include "Soap/SoapError.h"
#include "Soap/Xml.h"

namespace tessel::server {

namespace {

// The parameters these handlers read.
const Param kAccright{"accright"};
const Param kAcl{"acl"};
const Param kAcluser{"acluser"};
const Param kName{"name"};
const Param kUri{"uri"};

using Acl = StoreState::Acl;

Acl ParseAcl(const std::string& text)
{
    using namespace tessel::soap;
    Acl acl;
    try {
        const XmlDocPtr doc = ParseXml(text, "the ACL");
        xmlNode* root = xmlDocGetRootElement(doc.get());
        if (LocalName(root) != "VOACL")
            throw SoapError("its root element is <" + LocalName(root) + ">, not <VOACL>");
        for (xmlNode* control : Children(root)) {
            if (LocalName(control) != "control")
                continue;
            std::string user, access;
            for (xmlNode* c : Children(control)) {
                if (LocalName(c) == "user")
                    user = Text(c);
                else if (LocalName(c) == "access")
                    access = Text(c);
            }
            if (user.empty())
                throw SoapError("a <control> has no <user>");
            acl.emplace_back(user, access);
        }
    } catch (const SoapError& e) {
        throw OperationFault("The ACL is not a VOACL document",
                             std::string(e.what()) + ". Expected <VOACL><control><user>name</user><access>rights</access>"
                                                     "</control>...</VOACL>.");
    }
    return acl;
}

std::string AclXml(const Acl& acl)
{
    std::string s = "<VOACL>";
    for (const auto& [user, access] : acl)
        s += "<control><user>" + XmlEscape(user) + "</user><access>" + XmlEscape(access) + "</access></control>";
    return s + "</VOACL>";
}

std::string EntryOf(const Acl& acl, const std::string& user, const std::string& what)
{
    for (const auto& [u, access] : acl)
        if (u == user)
            return access;
    throw OperationFault("No ACL entry for " + user, "The ACL of " + what + " has no entry for \"" + user + "\".");
}

void PutEntry(Acl& acl, const std::string& user, const std::string& rights, bool mustBeNew)
{
    for (auto& [u, access] : acl) {
        if (u == user) {
            if (mustBeNew)
                throw OperationFault("The ACL entry exists",
                                     "An entry for \"" + user + "\" is already there; update it instead.");
            access = rights;
            return;
        }
    }
    if (!mustBeNew)
        throw OperationFault("No ACL entry for " + user, "There is no entry for \"" + user + "\" to update.");
    acl.emplace_back(user, rights);
}

void RemoveEntry(Acl& acl, const std::string& user, const std::string& what)
{
    const auto it = std::find_if(acl.begin(), acl.end(), [&](const auto& e) { return e.first == user; });
    if (it == acl.end())
        throw OperationFault("No ACL entry for " + user, "The ACL of " + what + " has no entry for \"" + user + "\".");
    acl.erase(it);
}

// One kind of ACL: which map holds it, the parameter that names its owner,
// and how messages name it.
struct Kind {
    std::map<std::string, Acl> StoreState::*acls;
    const Param* key;   // kName or kUri
    std::string infix;  // "ResourceACL" or "ACL"
    std::string label;  // "resource " or ""

    Acl& Existing(StoreState& s, const Args& a) const
    {
        const auto it = (s.*acls).find(a[*key]);
        if (it == (s.*acls).end())
            NotFound(label.empty() ? "ACL of the item" : "ACL of the resource", a[*key]);
        return it->second;
    }
    std::string What(const Args& a) const { return label + a[*key]; }
    // Stores the ACL, charged for the difference.
    void Store(StoreState& s, const Args& a, Acl acl) const { s.Set(s.*acls, a[*key], std::move(acl)); }
};

void AddKind(HandlerTable& t, const Kind& k)
{
    t["Get" + k.infix] = [k](StoreState& s, const Args& a, const CallContext&) { return AclXml(k.Existing(s, a)); };
    t["Get" + k.infix + "Entry"] = [k](StoreState& s, const Args& a, const CallContext&) {
        return EntryOf(k.Existing(s, a), a[kAcluser], k.What(a));
    };
    t["Put" + k.infix] = [k](StoreState& s, const Args& a, const CallContext&) {
        if ((s.*k.acls).count(a[*k.key]))
            throw OperationFault("The ACL exists", "The ACL of " + k.What(a) + " is already there; update it instead.");
        k.Store(s, a, ParseAcl(a[kAcl]));
        return kOk;
    };
    t["Put" + k.infix + "Entry"] = [k](StoreState& s, const Args& a, const CallContext&) {
        const auto it = (s.*k.acls).find(a[*k.key]);
        Acl acl = it == (s.*k.acls).end() ? Acl() : it->second;  // a new entry may start the ACL
        PutEntry(acl, a[kAcluser], a[kAccright], true);
        k.Store(s, a, std::move(acl));
        return kOk;
    };
    t["Update" + k.infix] = [k](StoreState& s, const Args& a, const CallContext&) {
        k.Existing(s, a);
        k.Store(s, a, ParseAcl(a[kAcl]));
        return kOk;
    };
    t["Update" + k.infix + "Entry"] = [k](StoreState& s, const Args& a, const CallContext&) {
        Acl acl = k.Existing(s, a);
        PutEntry(acl, a[kAcluser], a[kAccright], false);
        k.Store(s, a, std::move(acl));
        return kOk;
    };
    t["Delete" + k.infix] = [k](StoreState& s, const Args& a, const CallContext&) {
        k.Existing(s, a);
        s.Erase(s.*k.acls, a[*k.key]);
        return kOk;
    };
    t["Delete" + k.infix + "Entry"] = [k](StoreState& s, const Args& a, const CallContext&) {
        Acl acl = k.Existing(s, a);
        RemoveEntry(acl, a[kAcluser], k.What(a));
        k.Store(s, a, std::move(acl));
        return kOk;
    };
}

}  // namespace

void AddAclHandlers(HandlerTable& t)
{
    AddKind(t, {&StoreState::resourceAcls, &kName, "ResourceACL", "resource "});
    AddKind(t, {&StoreState::uriAcls, &kUri, "ACL", ""});
}

}  // namespace tessel::server

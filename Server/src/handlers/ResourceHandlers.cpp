// Folio resources: addressed by name, with their URL leaf, properties and
// attributes.
#include "StoreState.h"

namespace tessel::server {

namespace {

// The parameters these handlers read.
const Param kCreator{"creator"};
const Param kDescription{"description"};
const Param kId{"id"};
const Param kModulename{"modulename"};
const Param kName{"name"};
const Param kProps{"props"};
const Param kType{"type"};
const Param kUrlleaf{"urlleaf"};
const Param kVersion{"version"};

using Resource = StoreState::Resource;

std::string ResourceXml(const Resource& r)
{
    std::string s = "<resource name=\"" + XmlEscape(r.name) + "\" urlleaf=\"" + XmlEscape(r.urlleaf) + "\" props=\"" +
                    XmlEscape(r.props) + "\"";
    if (r.hasAttributes)
        s += " modulename=\"" + XmlEscape(r.modulename) + "\" creator=\"" + XmlEscape(r.creator) + "\" version=\"" +
             XmlEscape(r.version) + "\" type=\"" + XmlEscape(r.type) + "\" id=\"" + XmlEscape(r.id) +
             "\" description=\"" + XmlEscape(r.description) + "\"";
    return s + "/>";
}

void SetAttributes(Resource& r, const Args& a)
{
    r.hasAttributes = true;
    r.modulename = a[kModulename], r.creator = a[kCreator], r.version = a[kVersion];
    r.type = a[kType], r.id = a[kId], r.description = a[kDescription];
}

// Changes a copy of the resource "name" and stores it, charged for the difference.
template <class Change>
void ChangeResource(StoreState& s, const Args& a, Change change)
{
    Resource r = s.ResourceByName(a[kName]);
    change(r);
    s.Set(s.resources, a[kName], std::move(r));
}

std::string AttributeList(StoreState& s, const std::string* module)
{
    std::string out = "<resources>";
    for (const auto& [name, r] : s.resources)
        if (!module || (r.hasAttributes && r.modulename == *module))
            out += ResourceXml(r);
    return out + "</resources>";
}

}  // namespace

void AddResourceHandlers(HandlerTable& t)
{
    t["PutVOResourcewithAttribute"] = [](StoreState& s, const Args& a, const CallContext& c) {
        if (s.resources.count(a[kName]))
            throw OperationFault("The resource exists",
                                 "A Folio resource named \"" + a[kName] + "\" is already there.");
        Resource r{.name = a[kName], .urlleaf = a[kUrlleaf], .props = a[kProps]};
        SetAttributes(r, a);
        return c.baseUrl + "/Folio/" + s.Set(s.resources, a[kName], std::move(r)).urlleaf;
    };
    t["GetVOResourceURL"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return c.baseUrl + "/Folio/" + s.ResourceByName(a[kName]).urlleaf;
    };
    t["RemoveVOResource"] = [](StoreState& s, const Args& a, const CallContext&) {
        s.ResourceByName(a[kName]);
        s.Erase(s.resources, a[kName]);
        return kOk;
    };
    t["GetVOResourceAttribute"] = [](StoreState& s, const Args& a, const CallContext&) {
        return ResourceXml(s.ResourceByName(a[kName]));
    };
    t["GetVOResourceAttributeList"] = [](StoreState& s, const Args& a, const CallContext&) {
        return AttributeList(s, &a[kModulename]);
    };
    t["GetAllVOResourceAttributeList"] = [](StoreState& s, const Args&, const CallContext&) {
        return AttributeList(s, nullptr);
    };
    t["GetVOResourceModuleNameList"] = [](StoreState& s, const Args&, const CallContext&) {
        std::set<std::string> modules;
        for (const auto& [name, r] : s.resources)
            if (r.hasAttributes)
                modules.insert(r.modulename);
        return Join(std::vector<std::string>(modules.begin(), modules.end()));
    };
    t["UpdateVOResourceURL"] = [](StoreState& s, const Args& a, const CallContext&) {
        ChangeResource(s, a, [&](Resource& r) { r.urlleaf = a[kUrlleaf]; });
        return kOk;
    };
    t["UpdateVOResourceProps"] = [](StoreState& s, const Args& a, const CallContext&) {
        ChangeResource(s, a, [&](Resource& r) { r.props = a[kProps]; });
        return kOk;
    };
    t["UpdateVOResourceAttribute"] = [](StoreState& s, const Args& a, const CallContext&) {
        ChangeResource(s, a, [&](Resource& r) { SetAttributes(r, a); });
        return kOk;
    };
    t["RemoveVOResourceAttribute"] = [](StoreState& s, const Args& a, const CallContext&) {
        ChangeResource(s, a, [](Resource& r) {
            if (!r.hasAttributes)
                NotFound("attributes of the resource", r.name);
            r = Resource{.name = r.name, .urlleaf = r.urlleaf, .props = r.props};
        });
        return kOk;
    };
}

}  // namespace tessel::server

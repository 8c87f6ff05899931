#include "host/import/fbx/FbxScene.h"

#include <cmath>

namespace host {
namespace {

const std::vector<const FbxConnection*> kNoConnections;

// The template a type's objects take their defaults from: the only one of
// the type, else the one named after the object's subclass ("FbxCamera" for
// a camera attribute).
const FbxNode* FindTemplate(const FbxNode* definitions, const std::string& type,
                            const std::string& subclass) {
    if (!definitions) {
        return nullptr;
    }
    for (const FbxNode& t : definitions->children) {
        if (t.name != "ObjectType" || t.Text(0) != type) {
            continue;
        }
        const FbxNode* only = nullptr;
        int count = 0;
        for (const FbxNode& p : t.children) {
            if (p.name != "PropertyTemplate") {
                continue;
            }
            const FbxNode* props = p.Child("Properties70");
            if (!props) {
                continue;
            }
            ++count;
            only = props;
            if (p.Text(0) == "Fbx" + subclass) {
                return props;
            }
        }
        return count == 1 ? only : nullptr;
    }
    return nullptr;
}

FbxPropertyRef FindIn(const FbxNode* props, const char* name) {
    if (!props) {
        return {};
    }
    const bool seven = props->name == "Properties70";
    const char* entry = seven ? "P" : "Property";
    for (const FbxNode& p : props->children) {
        if (p.name == entry && !p.values.empty() && p.values[0].kind == FbxValue::Kind::Text &&
            p.values[0].text == name) {
            return FbxPropertyRef{&p, seven ? size_t(4) : size_t(3)};
        }
    }
    return {};
}

} // namespace

std::string FbxShortName(const std::string& name) {
    const size_t sep = name.find("::");
    return sep == std::string::npos ? name : name.substr(sep + 2);
}

FbxScene FbxScene::Read(std::string bytes) {
    return FbxScene(FbxDocument::Parse(std::move(bytes)));
}

FbxScene::FbxScene(FbxDocument document)
    : m_doc(std::make_unique<FbxDocument>(std::move(document))) {
    m_version = m_doc->Version();
    if (m_version == 0) {
        // An ASCII file without a header: 7.x when its objects carry ids.
        m_version = 7000;
        if (const FbxNode* objects = m_doc->Root().Child("Objects")) {
            for (const FbxNode& n : objects->children) {
                if (!n.values.empty()) {
                    m_version = n.values[0].kind == FbxValue::Kind::Text ? 6100 : 7000;
                    break;
                }
            }
        }
    }
    IndexObjects();
    IndexConnections();
}

void FbxScene::IndexObjects() {
    const FbxNode& root = m_doc->Root();
    m_settings = root.Child("GlobalSettings");
    const FbxNode* objects = root.Child("Objects");
    const FbxNode* definitions = root.Child("Definitions");
    if (!objects) {
        return;
    }
    const bool six = IsVersion6();
    m_objects.reserve(objects->children.size());
    for (const FbxNode& n : objects->children) {
        if (n.name == "GlobalSettings") {
            if (!m_settings) {
                m_settings = &n;
            }
            continue;
        }
        FbxObject o;
        o.node = &n;
        o.type = n.name;
        std::string fullName;
        if (six) {
            fullName = n.Text(0);
            if (fullName.empty()) {
                continue;
            }
            if (fullName == "Model::Scene") {
                continue; // the root
            }
            auto [it, added] =
                m_idByName.emplace(fullName, static_cast<FbxId>(m_idByName.size() + 1));
            if (!added) {
                continue; // a name given twice: the first object keeps it
            }
            o.id = it->second;
            o.subclass = n.Text(1);
        } else {
            if (n.values.empty() || n.values[0].kind != FbxValue::Kind::Number) {
                continue;
            }
            o.id = n.Integer(0);
            fullName = n.Text(1);
            o.subclass = n.Text(2);
            if (o.id == kFbxRoot || m_byId.count(o.id)) {
                continue; // the root's id, or an id given twice
            }
        }
        const size_t sep = fullName.find("::");
        o.className = sep == std::string::npos ? std::string() : fullName.substr(0, sep);
        o.name = sep == std::string::npos ? fullName : fullName.substr(sep + 2);
        o.properties = n.Child(six ? "Properties60" : "Properties70");
        o.propertyTemplate = FindTemplate(definitions, o.type, o.subclass);
        m_byId.emplace(o.id, m_objects.size());
        m_objects.push_back(std::move(o));
    }
    for (const FbxObject& o : m_objects) {
        if (o.type == "Model") {
            m_models.push_back(&o);
        }
    }
}

FbxId FbxScene::IdOfName(const std::string& name) const {
    if (name == "Model::Scene") {
        return kFbxRoot;
    }
    auto it = m_idByName.find(name);
    return it == m_idByName.end() ? -1 : it->second;
}

void FbxScene::IndexConnections() {
    const FbxNode* connections = m_doc->Root().Child("Connections");
    if (!connections) {
        return;
    }
    const bool six = IsVersion6();
    for (const FbxNode& c : connections->children) {
        if ((six ? c.name != "Connect" : c.name != "C") || c.values.size() < 3) {
            continue;
        }
        const std::string kind = c.Text(0);
        if (kind != "OO" && kind != "OP") {
            continue;
        }
        FbxConnection link;
        link.toProperty = kind == "OP";
        if (six) {
            link.source = IdOfName(c.Text(1));
            link.destination = IdOfName(c.Text(2));
            if (link.source < 0 || link.destination < 0) {
                continue;
            }
        } else {
            if (c.values[1].kind != FbxValue::Kind::Number ||
                c.values[2].kind != FbxValue::Kind::Number) {
                continue;
            }
            link.source = c.Integer(1);
            link.destination = c.Integer(2);
        }
        if (link.toProperty) {
            link.property = c.Text(3);
        }
        m_connections.push_back(std::move(link));
    }
    for (const FbxConnection& c : m_connections) {
        m_to[c.destination].push_back(&c);
        m_from[c.source].push_back(&c);
    }
}

const FbxObject* FbxScene::Find(FbxId id) const {
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : &m_objects[it->second];
}

const std::vector<const FbxConnection*>& FbxScene::ConnectionsTo(FbxId destination) const {
    auto it = m_to.find(destination);
    return it == m_to.end() ? kNoConnections : it->second;
}

const std::vector<const FbxConnection*>& FbxScene::ConnectionsFrom(FbxId source) const {
    auto it = m_from.find(source);
    return it == m_from.end() ? kNoConnections : it->second;
}

std::vector<const FbxObject*> FbxScene::Sources(FbxId destination, const char* type) const {
    std::vector<const FbxObject*> out;
    for (const FbxConnection* c : ConnectionsTo(destination)) {
        if (c->toProperty) {
            continue;
        }
        const FbxObject* o = Find(c->source);
        if (o && (!type || o->type == type)) {
            out.push_back(o);
        }
    }
    return out;
}

const FbxObject* FbxScene::SourceObject(FbxId destination, const char* type) const {
    for (const FbxConnection* c : ConnectionsTo(destination)) {
        if (c->toProperty) {
            continue;
        }
        const FbxObject* o = Find(c->source);
        if (o && (!type || o->type == type)) {
            return o;
        }
    }
    return nullptr;
}

std::vector<const FbxObject*> FbxScene::Destinations(FbxId source, const char* type) const {
    std::vector<const FbxObject*> out;
    for (const FbxConnection* c : ConnectionsFrom(source)) {
        if (c->toProperty) {
            continue;
        }
        const FbxObject* o = Find(c->destination);
        if (o && (!type || o->type == type)) {
            out.push_back(o);
        }
    }
    return out;
}

const FbxObject* FbxScene::ParentModel(const FbxObject& model) const {
    for (const FbxConnection* c : ConnectionsFrom(model.id)) {
        if (c->toProperty) {
            continue;
        }
        if (c->destination == kFbxRoot) {
            return nullptr;
        }
        const FbxObject* o = Find(c->destination);
        if (o && o->type == "Model") {
            return o;
        }
    }
    return nullptr;
}

bool FbxScene::InScene(const FbxObject& model) const {
    const FbxObject* m = &model;
    for (size_t steps = 0; steps <= m_models.size(); ++steps) {
        bool toRoot = false;
        for (const FbxConnection* c : ConnectionsFrom(m->id)) {
            toRoot = toRoot || (!c->toProperty && c->destination == kFbxRoot);
        }
        const FbxObject* parent = ParentModel(*m);
        if (!parent) {
            return toRoot;
        }
        m = parent;
    }
    return false; // a loop
}

const FbxObject* FbxScene::GeometryOf(const FbxObject& model) const {
    if (IsVersion6()) {
        return model.subclass == "Mesh" && model.node->Child("Vertices") ? &model : nullptr;
    }
    for (const FbxObject* g : Sources(model.id, "Geometry")) {
        if (g->subclass == "Mesh") {
            return g;
        }
    }
    return nullptr;
}

const FbxObject* FbxScene::AttributeOf(const FbxObject& model) const {
    if (IsVersion6()) {
        return &model;
    }
    return SourceObject(model.id, "NodeAttribute");
}

FbxPropertyRef FbxScene::Property(const FbxObject& object, const char* name) const {
    if (FbxPropertyRef own = FindIn(object.properties, name)) {
        return own;
    }
    return FindIn(object.propertyTemplate, name);
}

double FbxScene::Number(const FbxObject& object, const char* name, double fallback) const {
    const FbxPropertyRef p = Property(object, name);
    if (!p || p.Count() < 1 || p.node->values[p.first].kind != FbxValue::Kind::Number) {
        return fallback;
    }
    return p.Number(0);
}

Vec3 FbxScene::Vector(const FbxObject& object, const char* name, const Vec3& fallback) const {
    const FbxPropertyRef p = Property(object, name);
    if (!p || p.Count() < 3) {
        return fallback;
    }
    return {p.Number(0), p.Number(1), p.Number(2)};
}

std::string FbxScene::Text(const FbxObject& object, const char* name) const {
    return Property(object, name).Text(0);
}

FbxPropertyRef FbxScene::SettingsProperty(const char* name) const {
    if (!m_settings) {
        return {};
    }
    if (FbxPropertyRef p = FindIn(m_settings->Child("Properties70"), name)) {
        return p;
    }
    return FindIn(m_settings->Child("Properties60"), name);
}

} // namespace host

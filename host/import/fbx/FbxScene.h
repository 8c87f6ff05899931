// The objects of an FBX file and how they are connected: the layer every
// part of the FBX reader builds on (transforms, curves, deformers, the scene
// builder).
//
//   FbxScene file = FbxScene::Read(bytes);          // throws FbxError
//   for (const FbxObject* model : file.Models()) {
//       const FbxObject* parent = file.ParentModel(*model);    // nullptr: top level
//       Vec3 t = file.Vector(*model, "Lcl Translation", {});  // own value or template
//       const FbxObject* mesh = file.GeometryOf(*model);       // nullptr: no mesh
//   }
//   for (const FbxObject* skin : file.Sources(mesh->id, "Deformer")) ...
//   const FbxObject* bone = file.SourceObject(clusterId, "Model");
//
// Objects are found by their id and connections, never by name. Every
// object is a node under "Objects" ("Model", "Geometry", "NodeAttribute",
// "Deformer", "AnimationCurve", ...) with:
//   - id: the file's 64-bit id (7.x); FBX 6.x files name their objects
//     instead ("Model::pCube1"), and each distinct name gets an id of its
//     own here (1, 2, ...); 0 is the scene's root ("Model::Scene" in 6.x);
//   - name: the name after "Class::" (as the file writes it, namespaces
//     kept: "rig:Hips"), and className, the part before ("Model",
//     "SubDeformer", ...);
//   - subclass: the type the file gives it ("Mesh", "Null", "LimbNode",
//     "Camera", "Light", "Skin", "Cluster", "BlendShape",
//     "BlendShapeChannel", "Shape", ...).
// Connections: "OO" (object to object: a child model to its parent, a
// geometry to its model, a deformer to its geometry, a cluster to its bone
// ...) and "OP" (object to a property of another: an animation curve node
// to "Lcl Translation" of a model, a curve to "d|X" of a curve node, a
// texture to a material's property). A connection runs from its source
// (the child) to its destination (the parent).
//
// Properties ("Properties70" in 7.x, "Properties60" in 6.x): an object's own
// value, else the value its type's template in "Definitions" gives, else the
// fallback of the caller. FBX 6.x puts what 7.x splits into a model and its
// geometry and node attribute all into the model: GeometryOf and
// AttributeOf then return the model itself.
#pragma once

#include "host/import/fbx/FbxDocument.h"
#include "host/scene/Math.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace host {

using FbxId = int64_t;
// The scene's root: the destination of every top-level model.
constexpr FbxId kFbxRoot = 0;

struct FbxObject {
    FbxId id = 0;
    const FbxNode* node = nullptr;             // the object's node in the document
    std::string type;                          // the node's name: "Model", "Geometry", ...
    std::string className;                     // "Model", "Geometry", "SubDeformer", ...
    std::string name;                          // the name after "Class::"
    std::string subclass;                      // "Mesh", "LimbNode", "Skin", ...
    const FbxNode* properties = nullptr;       // Properties70 / Properties60, or nullptr
    const FbxNode* propertyTemplate = nullptr; // its type's template, or nullptr
};

struct FbxConnection {
    bool toProperty = false; // "OP" (else "OO")
    FbxId source = 0;        // the child: the connected object
    FbxId destination = 0;   // the parent (kFbxRoot: the scene)
    std::string property;    // "OP": the destination's property
};

// One property of an object: its node ("P" or "Property") and where its
// values start.
struct FbxPropertyRef {
    const FbxNode* node = nullptr;
    size_t first = 0;

    explicit operator bool() const { return node != nullptr; }
    size_t Count() const {
        return node && node->values.size() > first ? node->values.size() - first : 0;
    }
    double Number(size_t i) const { return node ? node->Number(first + i) : 0.0; }
    int64_t Integer(size_t i) const { return node ? node->Integer(first + i) : 0; }
    std::string Text(size_t i) const { return node ? node->Text(first + i) : std::string(); }
    // The property's type name ("Lcl Translation", "double", "KTime", ...).
    std::string TypeName() const { return node ? node->Text(1) : std::string(); }
};

class FbxScene {
  public:
    // Parses the file's bytes and indexes its objects. Throws FbxError.
    static FbxScene Read(std::string bytes);
    explicit FbxScene(FbxDocument document);

    FbxScene(FbxScene&&) = default;
    FbxScene& operator=(FbxScene&&) = default;

    const FbxDocument& Document() const { return *m_doc; }
    // The FBX version (6100, 7400, ...).
    uint32_t Version() const { return m_version; }
    // An FBX 6.x file: objects by name, geometry in the model, takes.
    bool IsVersion6() const { return m_version < 7000; }

    // Every object, in file order.
    const std::vector<FbxObject>& Objects() const { return m_objects; }
    // The object of an id, or nullptr.
    const FbxObject* Find(FbxId id) const;
    // Every model ("Model" objects), in file order.
    const std::vector<const FbxObject*>& Models() const { return m_models; }

    // Connections, in file order, and those of one object.
    const std::vector<FbxConnection>& Connections() const { return m_connections; }
    const std::vector<const FbxConnection*>& ConnectionsTo(FbxId destination) const;
    const std::vector<const FbxConnection*>& ConnectionsFrom(FbxId source) const;
    // The objects connected to `destination` ("OO" connections; of the
    // given type only unless type is nullptr), in connection order.
    std::vector<const FbxObject*> Sources(FbxId destination, const char* type = nullptr) const;
    // The first such object, or nullptr.
    const FbxObject* SourceObject(FbxId destination, const char* type) const;
    // The objects `source` is connected to ("OO"), of the type given.
    std::vector<const FbxObject*> Destinations(FbxId source, const char* type = nullptr) const;

    // The model a model hangs under, or nullptr for a top-level model (one
    // connected to the root). Only "OO" connections to a model count: a
    // look-at target or constraint is no parent.
    const FbxObject* ParentModel(const FbxObject& model) const;
    // True when the model hangs under the scene's root through its parents.
    bool InScene(const FbxObject& model) const;
    // The mesh geometry shown by a model, or nullptr (6.x: the model itself
    // when it holds vertices).
    const FbxObject* GeometryOf(const FbxObject& model) const;
    // The node attribute of a model (camera, light, null, skeleton data), or
    // nullptr (6.x: the model itself).
    const FbxObject* AttributeOf(const FbxObject& model) const;

    // Properties: the object's own, else its template's.
    FbxPropertyRef Property(const FbxObject& object, const char* name) const;
    double Number(const FbxObject& object, const char* name, double fallback) const;
    Vec3 Vector(const FbxObject& object, const char* name, const Vec3& fallback) const;
    std::string Text(const FbxObject& object, const char* name) const;
    // A top-level settings node ("GlobalSettings"; 6.x: under Objects too).
    const FbxNode* Settings() const { return m_settings; }
    // A property of the global settings.
    FbxPropertyRef SettingsProperty(const char* name) const;

  private:
    void IndexObjects();
    void IndexConnections();
    FbxId IdOfName(const std::string& name) const;

    std::unique_ptr<FbxDocument> m_doc; // a stable address for the node pointers
    uint32_t m_version = 0;
    std::vector<FbxObject> m_objects;
    std::vector<const FbxObject*> m_models;
    std::unordered_map<FbxId, size_t> m_byId;
    std::unordered_map<std::string, FbxId> m_idByName; // 6.x
    std::vector<FbxConnection> m_connections;
    std::unordered_map<FbxId, std::vector<const FbxConnection*>> m_to;
    std::unordered_map<FbxId, std::vector<const FbxConnection*>> m_from;
    const FbxNode* m_settings = nullptr;
};

// The "Class::Name" of an FBX object name as the name alone ("Name").
std::string FbxShortName(const std::string& name);

} // namespace host

// A scene item: a polygon mesh, a camera, a light or a null, with a name, a
// place in the parent chain, an animated local transform, parameters, and
// (meshes) geometry or (lights) shaders.
//
// Names: the short name is the item's own name; the full name is the names
// of the parent chain joined by '.', e.g. "Rig.Arm.Hand". A name is not
// empty and holds no '.'; siblings have different names, so full names are
// unique in a scene.
//
// Transform: local scaling, rotation and translation (each animatable) map a
// point p to R (S p) + T in the parent's space; the global transform is the
// product of the local transforms up the parent chain. Evaluating at a frame
// costs O(depth x log keys) and never touches the host's current frame.
//
// A file whose transforms are not scaling, rotation and translation (a
// whole matrix with shear, pivots and offsets, a child that does not inherit
// its parent's scaling) gives the item a matrix function instead: either its
// local matrix at a frame (the global matrix is then the parent's global
// times it) or its global matrix at a frame (the local matrix is then the
// parent's global inverse times it). A matrix function takes precedence over
// scaling, rotation and translation.
#pragma once

#include "host/scene/Animated.h"
#include "host/scene/ClassIds.h"
#include "host/scene/Mesh.h"
#include "host/scene/Param.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace host {

class Scene;
class Item;

enum class ItemKind { Mesh, Camera, Light, Null };

// The local or global kinematic state of an item, as the SDK refers to it.
struct KineState {
    const Item* item;
    bool global;
};

// A light shader: parameters "color" (RGBA) and "intensity", animatable.
class LightShader : public ParamSet {
  public:
    LightShader(Item* light, std::wstring name);
    ~LightShader() override;

    const std::wstring& GetName() const { return m_name; }
    void SetName(std::wstring name) { m_name = std::move(name); }
    Item* GetLight() const { return m_light; }
    // The light's full name, '.', the shader's name.
    std::wstring GetFullName() const override;

  private:
    Item* m_light;
    std::wstring m_name;
};

class Item : public ParamSet {
  public:
    ~Item() override;

    Scene* GetScene() const { return m_scene; }

    // Names.
    const std::wstring& GetName() const { return m_name; }
    // Renames; false (name unchanged) when the name is not valid or a
    // sibling already has it.
    bool SetName(const std::wstring& name);
    std::wstring GetFullName() const override;

    // Kind: class id 72 (mesh), 80 (camera), 81 (light), 73 (null).
    ItemKind GetKind() const { return m_kind; }
    ClassId GetClassID() const;
    // "mesh", "camera", "light" or "null".
    const char* GetKindName() const;

    Item* GetParent() const { return m_parent; }
    const std::vector<Item*>& GetChildren() const { return m_children; }

    // Local transform.
    Animated<Vec3>& Scaling() { return m_scaling; }
    Animated<Quat>& Rotation() { return m_rotation; }
    Animated<Vec3>& Translation() { return m_translation; }
    const Animated<Vec3>& Scaling() const { return m_scaling; }
    const Animated<Quat>& Rotation() const { return m_rotation; }
    const Animated<Vec3>& Translation() const { return m_translation; }
    // Sets a constant local transform; rotation as XYZ angles in degrees.
    void SetLocal(const Vec3& scaling, const Vec3& rotationDegrees, const Vec3& translation);

    // Matrix functions (see above); each replaces the other. The function
    // is called from the threads that evaluate the scene, so it must be safe
    // to call from several at once.
    void SetLocalMatrixFunction(std::function<Mat34(double)> fn);
    void SetGlobalMatrixFunction(std::function<Mat34(double)> fn);
    // True when the item's transform is a matrix function.
    bool HasMatrixFunction() const { return m_localFn || m_globalFn; }

    Mat34 EvalLocalMatrix(double frame) const;
    Mat34 EvalGlobalMatrix(double frame) const;

    // Geometry (meshes; 0 points and nullptr for other kinds).
    Mesh* GetMesh() const { return m_mesh.get(); }
    int GetPointCount() const;
    // The points at a frame, local space, every deformation applied, into
    // out[0 .. GetPointCount() - 1].
    void EvalPoints(double frame, Vec3* out) const;

    // Light shaders (any item may hold them; the SDK reads them of lights).
    LightShader* AddShader(const std::wstring& name);
    const std::vector<std::unique_ptr<LightShader>>& GetShaders() const { return m_shaders; }
    void RemoveShaders() { m_shaders.clear(); }

    const KineState* GetKineState(bool global) const { return global ? &m_global : &m_local; }

  private:
    friend class Scene;
    Item(Scene* scene, ItemKind kind, std::wstring name, Item* parent);

    Scene* m_scene;
    ItemKind m_kind;
    std::wstring m_name;
    Item* m_parent;
    std::vector<Item*> m_children;
    std::unordered_set<std::wstring> m_childNames; // the children's names
    Animated<Vec3> m_scaling{Vec3{1.0, 1.0, 1.0}};
    Animated<Quat> m_rotation{Quat{}};
    Animated<Vec3> m_translation{Vec3{}};
    std::function<Mat34(double)> m_localFn;
    std::function<Mat34(double)> m_globalFn;
    std::unique_ptr<Mesh> m_mesh;
    std::vector<std::unique_ptr<LightShader>> m_shaders;
    KineState m_global;
    KineState m_local;
};

// True for a valid item name: not empty, no '.'.
bool IsValidItemName(const std::wstring& name);

} // namespace host

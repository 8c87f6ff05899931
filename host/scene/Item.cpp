#include "host/scene/Item.h"

#include "host/scene/Scene.h"

namespace host {

LightShader::LightShader(Item* light, std::wstring name) : m_light(light), m_name(std::move(name)) {
    RegisterLive(this, ObjectType::Shader);
}

LightShader::~LightShader() {
    UnregisterLive(this);
}

std::wstring LightShader::GetFullName() const {
    return m_light ? m_light->GetFullName() + L"." + m_name : m_name;
}

bool IsValidItemName(const std::wstring& name) {
    return !name.empty() && name.find(L'.') == std::wstring::npos;
}

Item::Item(Scene* scene, ItemKind kind, std::wstring name, Item* parent)
    : m_scene(scene), m_kind(kind), m_name(std::move(name)),
      m_parent(parent), m_global{this, true}, m_local{this, false} {
    if (kind == ItemKind::Mesh) {
        m_mesh = std::make_unique<Mesh>();
    }
    RegisterLive(this, ObjectType::Item);
    RegisterLive(&m_global, ObjectType::KinematicState);
    RegisterLive(&m_local, ObjectType::KinematicState);
}

Item::~Item() {
    UnregisterLive(&m_local);
    UnregisterLive(&m_global);
    UnregisterLive(this);
}

bool Item::SetName(const std::wstring& name) {
    if (!IsValidItemName(name)) {
        return false;
    }
    if (name == m_name) {
        return true;
    }
    // Siblings: the parent's children, or the scene's top-level items.
    if (m_scene) {
        std::unordered_set<std::wstring>& siblingNames = m_scene->SiblingNames(m_parent);
        if (!siblingNames.insert(name).second) {
            return false;
        }
        siblingNames.erase(m_name);
    }
    m_name = name;
    return true;
}

std::wstring Item::GetFullName() const {
    if (!m_parent) {
        return m_name;
    }
    std::wstring full = m_parent->GetFullName();
    full += L'.';
    full += m_name;
    return full;
}

ClassId Item::GetClassID() const {
    switch (m_kind) {
    case ItemKind::Mesh:
        return kMeshClassId;
    case ItemKind::Camera:
        return kCameraClassId;
    case ItemKind::Light:
        return kLightClassId;
    case ItemKind::Null:
        break;
    }
    return kNullClassId;
}

const char* Item::GetKindName() const {
    switch (m_kind) {
    case ItemKind::Mesh:
        return "mesh";
    case ItemKind::Camera:
        return "camera";
    case ItemKind::Light:
        return "light";
    case ItemKind::Null:
        break;
    }
    return "null";
}

void Item::SetLocal(const Vec3& scaling, const Vec3& rotationDegrees, const Vec3& translation) {
    m_scaling.Set(scaling);
    m_rotation.Set(QuatFromXYZAngles(DegToRad(rotationDegrees.x), DegToRad(rotationDegrees.y),
                                     DegToRad(rotationDegrees.z)));
    m_translation.Set(translation);
}

void Item::SetLocalMatrixFunction(std::function<Mat34(double)> fn) {
    m_localFn = std::move(fn);
    m_globalFn = nullptr;
}

void Item::SetGlobalMatrixFunction(std::function<Mat34(double)> fn) {
    m_globalFn = std::move(fn);
    m_localFn = nullptr;
}

Mat34 Item::EvalLocalMatrix(double frame) const {
    if (m_globalFn) {
        const Mat34 g = m_globalFn(frame);
        return m_parent ? Mul(Inverse(m_parent->EvalGlobalMatrix(frame)), g) : g;
    }
    if (m_localFn) {
        return m_localFn(frame);
    }
    return MatrixFromSRT(m_scaling.Eval(frame), m_rotation.Eval(frame), m_translation.Eval(frame));
}

Mat34 Item::EvalGlobalMatrix(double frame) const {
    if (m_globalFn) {
        return m_globalFn(frame);
    }
    Mat34 m = EvalLocalMatrix(frame);
    for (const Item* p = m_parent; p != nullptr; p = p->m_parent) {
        if (p->m_globalFn) {
            return Mul(p->m_globalFn(frame), m);
        }
        m = Mul(p->EvalLocalMatrix(frame), m);
    }
    return m;
}

int Item::GetPointCount() const {
    return m_mesh ? m_mesh->GetPointCount() : 0;
}

void Item::EvalPoints(double frame, Vec3* out) const {
    if (m_mesh) {
        m_mesh->Evaluate(*this, frame, out);
    }
}

LightShader* Item::AddShader(const std::wstring& name) {
    m_shaders.push_back(std::make_unique<LightShader>(this, name));
    LightShader* s = m_shaders.back().get();
    s->AddColorParam(L"color", Color{1.0, 1.0, 1.0, 1.0});
    s->AddParam(L"intensity", Param::Type::Double, 1.0);
    return s;
}

} // namespace host

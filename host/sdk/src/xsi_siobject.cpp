// SIObject and CRef::GetAsText over the scene model (the plug-in layer's
// objects are named by the application), and the lookup of the
// scene object behind a reference.
#include "host/app/HostApp.h"
#include "host/sdk/src/SceneRefs.h"

#include <xsi_siobject.h>
#include <xsi_string.h>

namespace host {
namespace sdkref {

const Item* ItemOf(const XSI::CRef& ref) {
    switch (ref.GetClassID()) {
    case XSI::siX3DObjectID:
    case XSI::siNullID:
    case XSI::siCameraID:
    case XSI::siLightID:
        break;
    default:
        return nullptr;
    }
    const void* p = ref.GetHostObject();
    return IsLive(p, ObjectType::Item) ? static_cast<const Item*>(p) : nullptr;
}

const Item* OwnerItemOf(const XSI::CRef& ref, XSI::siClassID id) {
    if (ref.GetClassID() != id) {
        return nullptr;
    }
    const void* p = ref.GetHostObject();
    return IsLive(p, ObjectType::Item) ? static_cast<const Item*>(p) : nullptr;
}

const KineState* KineStateOf(const XSI::CRef& ref) {
    if (ref.GetClassID() != XSI::siKinematicStateID) {
        return nullptr;
    }
    const void* p = ref.GetHostObject();
    return IsLive(p, ObjectType::KinematicState) ? static_cast<const KineState*>(p) : nullptr;
}

Param* ParamOf(const XSI::CRef& ref) {
    if (ref.GetClassID() != XSI::siParameterID) {
        return nullptr;
    }
    void* p = ref.GetHostObject();
    return IsLive(p, ObjectType::Param) ? static_cast<Param*>(p) : nullptr;
}

LightShader* ShaderOf(const XSI::CRef& ref) {
    if (ref.GetClassID() != XSI::siShaderID) {
        return nullptr;
    }
    void* p = ref.GetHostObject();
    return IsLive(p, ObjectType::Shader) ? static_cast<LightShader*>(p) : nullptr;
}

ParamSet* ParamSetOf(const XSI::CRef& ref) {
    if (const Item* item = ItemOf(ref)) {
        return const_cast<Item*>(item);
    }
    return ShaderOf(ref);
}

} // namespace sdkref

namespace {
// Name and full name of the sub-objects of an item, which have fixed names.
const wchar_t* SubObjectName(const XSI::CRef& ref, const Item*& owner) {
    using namespace sdkref;
    if ((owner = OwnerItemOf(ref, XSI::siKinematicsID))) {
        return L"kine";
    }
    if (const KineState* ks = KineStateOf(ref)) {
        owner = ks->item;
        return ks->global ? L"kine.global" : L"kine.local";
    }
    if ((owner = OwnerItemOf(ref, XSI::siPrimitiveID))) {
        return L"polymsh";
    }
    if ((owner = OwnerItemOf(ref, XSI::siGeometryID))) {
        return L"polymsh";
    }
    owner = nullptr;
    return nullptr;
}
} // namespace

} // namespace host

namespace XSI {

namespace {
CString Wide(const std::wstring& s) {
    return CString(s.c_str());
}

} // namespace

CString SIObject::GetName() const {
    using namespace host::sdkref;
    CString plugin;
    if (host::GetPluginObjectName(m_ref, plugin)) {
        return plugin;
    }
    if (const host::Item* item = ItemOf(m_ref)) {
        return Wide(item->GetName());
    }
    if (const host::Param* p = ParamOf(m_ref)) {
        return Wide(p->GetName());
    }
    if (const host::LightShader* s = ShaderOf(m_ref)) {
        return Wide(s->GetName());
    }
    const host::Item* owner = nullptr;
    if (const wchar_t* name = host::SubObjectName(m_ref, owner)) {
        // The last component of the sub-object's path.
        std::wstring n(name);
        const size_t dot = n.rfind(L'.');
        return Wide(dot == std::wstring::npos ? n : n.substr(dot + 1));
    }
    return CString();
}

CString SIObject::GetFullName() const {
    using namespace host::sdkref;
    CString plugin;
    if (host::GetPluginObjectName(m_ref, plugin)) {
        return plugin; // the plug-in layer's objects have no parents
    }
    if (const host::Item* item = ItemOf(m_ref)) {
        return Wide(item->GetFullName());
    }
    if (const host::Param* p = ParamOf(m_ref)) {
        return Wide(p->GetFullName());
    }
    if (const host::LightShader* s = ShaderOf(m_ref)) {
        return Wide(s->GetFullName());
    }
    const host::Item* owner = nullptr;
    if (const wchar_t* name = host::SubObjectName(m_ref, owner)) {
        return Wide(owner->GetFullName() + L"." + name);
    }
    return CString();
}

CStatus SIObject::PutName(const CString& in_name) {
    using namespace host::sdkref;
    CStatus plugin;
    if (host::PutPluginObjectName(m_ref, in_name, plugin)) {
        return plugin;
    }
    const std::wstring name(in_name.GetWideString());
    if (!m_ref.IsValid()) {
        return CStatus::InvalidArgument;
    }
    if (const host::Item* item = ItemOf(m_ref)) {
        return const_cast<host::Item*>(item)->SetName(name) ? CStatus::OK
                                                            : CStatus::InvalidArgument;
    }
    if (host::LightShader* s = ShaderOf(m_ref)) {
        if (!host::IsValidItemName(name)) {
            return CStatus::InvalidArgument;
        }
        s->SetName(name);
        return CStatus::OK;
    }
    if (ParamOf(m_ref)) {
        return CStatus::AccessDenied; // parameter names are fixed
    }
    const host::Item* owner = nullptr;
    if (host::SubObjectName(m_ref, owner)) {
        return CStatus::AccessDenied;
    }
    return CStatus::NotImpl;
}

CString CRef::GetAsText() const {
    return SIObject(*this).GetFullName();
}

} // namespace XSI

// X3DObject, Kinematics, KinematicState, Primitive, Geometry, CPointRefArray,
// Light and Shader over the scene model. Every query at a time evaluates the
// model at that frame; none moves the host's current frame.
#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/sdk/src/SceneRefs.h"

#include <xsi_geometry.h>
#include <xsi_kinematics.h>
#include <xsi_kinematicstate.h>
#include <xsi_light.h>
#include <xsi_pointrefarray.h>
#include <xsi_primitive.h>
#include <xsi_shader.h>
#include <xsi_x3dobject.h>

#include <type_traits>

namespace XSI {

namespace {
double Frame(double time) {
    return host::HostApp::Get().ResolveTime(time);
}

void* Mutable(const void* p) {
    return const_cast<void*>(p);
}

MATH::CTransformation FromMatrix(const host::Mat34& a) {
    MATH::CMatrix4 m;
    for (short r = 0; r < 3; ++r) {
        for (short c = 0; c < 4; ++c) {
            m.SetValue(c, r, a.m[r][c]);
        }
    }
    MATH::CTransformation x;
    x.SetMatrix4(m);
    return x;
}

// True when the item or one of its parents has a matrix function.
bool ChainHasMatrixFunction(const host::Item& item) {
    for (const host::Item* p = &item; p; p = p->GetParent()) {
        if (p->HasMatrixFunction()) {
            return true;
        }
    }
    return false;
}

// The local transform of an item at a frame, as an SDK transformation.
MATH::CTransformation LocalTransform(const host::Item& item, double frame) {
    if (item.HasMatrixFunction()) {
        return FromMatrix(item.EvalLocalMatrix(frame));
    }
    const host::Vec3 s = item.Scaling().Eval(frame);
    const host::Quat r = item.Rotation().Eval(frame);
    const host::Vec3 t = item.Translation().Eval(frame);
    MATH::CTransformation x;
    x.SetScalingFromValues(s.x, s.y, s.z);
    x.SetRotationFromQuaternion(MATH::CQuaternion(r.w, r.x, r.y, r.z));
    x.SetTranslationFromValues(t.x, t.y, t.z);
    return x;
}

// The item whose points a CPointRefArray or Geometry reference names.
const host::Item* GeometryItem(const CRef& ref) {
    if (const host::Item* item = host::sdkref::OwnerItemOf(ref, siGeometryID)) {
        return item;
    }
    return host::sdkref::ItemOf(ref);
}
} // namespace

Kinematics X3DObject::GetKinematics() const {
    const host::Item* item = host::sdkref::ItemOf(m_ref);
    return item ? Kinematics(CRef::FromHost(siKinematicsID, Mutable(item))) : Kinematics();
}

Primitive X3DObject::GetActivePrimitive(double) const {
    const host::Item* item = host::sdkref::ItemOf(m_ref);
    if (!item || !item->GetMesh()) {
        return Primitive();
    }
    return Primitive(CRef::FromHost(siPrimitiveID, Mutable(item)));
}

CRefArray X3DObject::GetChildren() const {
    CRefArray out;
    if (const host::Item* item = host::sdkref::ItemOf(m_ref)) {
        for (const host::Item* c : item->GetChildren()) {
            out.Add(host::RefOf(c));
        }
    }
    return out;
}

X3DObject X3DObject::GetParent() const {
    const host::Item* item = host::sdkref::ItemOf(m_ref);
    return item && item->GetParent() ? X3DObject(host::RefOf(item->GetParent())) : X3DObject();
}

KinematicState Kinematics::GetGlobal() const {
    const host::Item* item = host::sdkref::OwnerItemOf(m_ref, siKinematicsID);
    return item ? KinematicState(
                      CRef::FromHost(siKinematicStateID, Mutable(item->GetKineState(true))))
                : KinematicState();
}

KinematicState Kinematics::GetLocal() const {
    const host::Item* item = host::sdkref::OwnerItemOf(m_ref, siKinematicsID);
    return item ? KinematicState(
                      CRef::FromHost(siKinematicStateID, Mutable(item->GetKineState(false))))
                : KinematicState();
}

// The global transform last given out, which a plug-in asks for just before
// the points of the same item at the same frame: the points' check in world
// space takes it from here instead of evaluating it again.
struct LastGlobal {
    const host::Item* item = nullptr;
    double frame = 0.0;
    MATH::CTransformation transform;
};
LastGlobal g_lastGlobal;

MATH::CTransformation GlobalTransform(const host::Item& item, double frame) {
    MATH::CTransformation x;
    if (ChainHasMatrixFunction(item)) {
        x = FromMatrix(item.EvalGlobalMatrix(frame));
    } else {
        x = LocalTransform(item, frame);
        for (const host::Item* p = item.GetParent(); p; p = p->GetParent()) {
            x.MulInPlace(LocalTransform(*p, frame));
        }
    }
    g_lastGlobal = {&item, frame, x};
    return x;
}

MATH::CTransformation KinematicState::GetTransform(double in_time) const {
    const host::KineState* ks = host::sdkref::KineStateOf(m_ref);
    if (!ks) {
        return MATH::CTransformation();
    }
    const double frame = Frame(in_time);
    return ks->global ? GlobalTransform(*ks->item, frame) : LocalTransform(*ks->item, frame);
}

Geometry Primitive::GetGeometry(double in_time) const {
    const host::Item* item = host::sdkref::OwnerItemOf(m_ref, siPrimitiveID);
    if (!item) {
        return Geometry();
    }
    return Geometry(CRef::FromHost(siGeometryID, Mutable(item)), Frame(in_time));
}

CPointRefArray Geometry::GetPoints() const {
    if (!host::sdkref::OwnerItemOf(m_ref, siGeometryID)) {
        return CPointRefArray();
    }
    return CPointRefArray(m_ref, m_time);
}

LONG CPointRefArray::GetCount() const {
    const host::Item* item = GeometryItem(m_object);
    return item && !host::HostApp::Get().Scenes().PointsHidden() ? item->GetPointCount() : 0;
}

MATH::CVector3Array CPointRefArray::GetPositionArray() const {
    const host::Item* item = GeometryItem(m_object);
    if (!item || !item->GetMesh() || host::HostApp::Get().Scenes().PointsHidden()) {
        return MATH::CVector3Array();
    }
    // The scene's points as the SDK's vectors, without a copy: both are three
    // consecutive doubles.
    static_assert(sizeof(MATH::CVector3) == sizeof(host::Vec3) &&
                      std::is_standard_layout<MATH::CVector3>::value &&
                      std::is_standard_layout<host::Vec3>::value,
                  "a scene point and an SDK vector have the same layout");
    const double frame = Frame(m_time);
    const host::PointArray points = item->GetMesh()->EvaluateArray(*item, frame);
    // Noted for the host: points a float cannot hold, in the mesh's space or
    // in world space (row r of the global matrix, as the plug-in reads it:
    // weights of x, y, z and the offset of world coordinate r).
    const bool asked = g_lastGlobal.item == item && g_lastGlobal.frame == frame;
    const MATH::CMatrix4 m =
        (asked ? g_lastGlobal.transform : GlobalTransform(*item, frame)).GetMatrix4();
    const double global[3][4] = {
        {m.GetValue(0, 0), m.GetValue(1, 0), m.GetValue(2, 0), m.GetValue(3, 0)},
        {m.GetValue(0, 1), m.GetValue(1, 1), m.GetValue(2, 1), m.GetValue(3, 1)},
        {m.GetValue(0, 2), m.GetValue(1, 2), m.GetValue(2, 2), m.GetValue(3, 2)}};
    host::HostApp::Get().Points().Note(*item, frame, item->GetMesh()->LastMagnitude(),
                                       points.data(), points.size(), global);
    return MATH::CVector3Array::Share(points.Owner(),
                                      reinterpret_cast<const MATH::CVector3*>(points.data()),
                                      static_cast<LONG>(points.size()));
}

CRefArray Light::GetShaders() const {
    CRefArray out;
    if (const host::Item* item = host::sdkref::ItemOf(m_ref)) {
        for (const auto& s : item->GetShaders()) {
            out.Add(host::RefOf(s.get()));
        }
    }
    return out;
}

CStatus Shader::GetColorParameterValue(const CString& in_name, float& out_red, float& out_green,
                                       float& out_blue, float& out_alpha, double in_time) const {
    out_red = out_green = out_blue = out_alpha = 0.0f;
    const host::LightShader* s = host::sdkref::ShaderOf(m_ref);
    if (!s) {
        return CStatus::InvalidArgument;
    }
    const host::Param* p = s->GetParam(in_name.GetWideString());
    if (!p || p->GetType() != host::Param::Type::Color) {
        return CStatus::InvalidArgument;
    }
    const host::Color c = p->EvalColor(Frame(in_time));
    out_red = static_cast<float>(c.r);
    out_green = static_cast<float>(c.g);
    out_blue = static_cast<float>(c.b);
    out_alpha = static_cast<float>(c.a);
    return CStatus::OK;
}

} // namespace XSI

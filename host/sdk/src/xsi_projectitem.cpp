// ProjectItem and Parameter over the scene model's parameters.
#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/sdk/src/SceneRefs.h"

#include <xsi_parameter.h>
#include <xsi_projectitem.h>

#include <cmath>

namespace XSI {

Parameter ProjectItem::GetParameter(const CString& in_name) const {
    const host::ParamSet* set = host::sdkref::ParamSetOf(m_ref);
    if (!set) {
        return Parameter();
    }
    const host::Param* p = set->GetParam(in_name.GetWideString());
    return p ? Parameter(host::RefOf(p)) : Parameter();
}

CValue ProjectItem::GetParameterValue(const CString& in_name, double in_time) const {
    return GetParameter(in_name).GetValue(in_time);
}

CValue Parameter::GetValue(double in_time) const {
    const host::Param* p = host::sdkref::ParamOf(m_ref);
    if (!p) {
        return CValue();
    }
    const double frame = host::HostApp::Get().ResolveTime(in_time);
    switch (p->GetType()) {
    case host::Param::Type::Double:
        return CValue(p->EvalNumber(frame));
    case host::Param::Type::Int:
        return CValue(static_cast<LONG>(p->EvalNumber(frame)));
    case host::Param::Type::Bool:
        return CValue(p->EvalNumber(frame) != 0.0);
    case host::Param::Type::Color:
        break; // a compound value: read it with Shader::GetColorParameterValue
    }
    return CValue();
}

CStatus Parameter::PutValue(const CValue& in_value, double in_time) {
    host::Param* p = host::sdkref::ParamOf(m_ref);
    if (!p || p->GetType() == host::Param::Type::Color || in_value.IsEmpty()) {
        return CStatus::InvalidArgument;
    }
    host::Animated<double>& value = p->Value();
    if (value.HasFunction()) {
        return CStatus::AccessDenied; // driven by a function of the frame
    }
    double v = static_cast<double>(in_value);
    if (!std::isfinite(v)) {
        return CStatus::InvalidArgument;
    }
    if (p->GetType() == host::Param::Type::Int) {
        v = std::round(v);
    }
    if (value.GetKeys().empty()) {
        value.Set(v);
        return CStatus::OK;
    }
    // An animated parameter gets a key at that frame, with the interpolation
    // of the key before it (or of the first key).
    const double frame = host::HostApp::Get().ResolveTime(in_time);
    if (!std::isfinite(frame)) {
        return CStatus::InvalidArgument;
    }
    const auto& keys = value.GetKeys();
    host::Interp interp = keys.front().interp;
    for (const auto& k : keys) {
        if (k.frame <= frame) {
            interp = k.interp;
        }
    }
    value.SetKey(frame, v, interp);
    return CStatus::OK;
}

} // namespace XSI

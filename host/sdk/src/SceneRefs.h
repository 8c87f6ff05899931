// Inside the SDK sources: the scene object behind a reference. Each returns
// nullptr unless the reference's class id names that kind of object and the
// object still exists, so a stale or empty reference reads as invalid.
#pragma once

#include "host/scene/Item.h"

#include <xsi_ref.h>

namespace host {
namespace sdkref {

// A scene item (class ids 72, 73, 80, 81).
const Item* ItemOf(const XSI::CRef& ref);
// The item of a Kinematics (92), Primitive (94) or Geometry (95) reference;
// `id` is the class id the reference must have.
const Item* OwnerItemOf(const XSI::CRef& ref, XSI::siClassID id);
const KineState* KineStateOf(const XSI::CRef& ref);
Param* ParamOf(const XSI::CRef& ref);
LightShader* ShaderOf(const XSI::CRef& ref);
// The parameter holder: an item or a light shader.
ParamSet* ParamSetOf(const XSI::CRef& ref);

} // namespace sdkref
} // namespace host

#include "host/app/ObjectRefs.h"

#include "host/scene/ClassIds.h"
#include "host/scene/Item.h"

namespace host {

constexpr bool Same(ClassId scene, XSI::siClassID sdk) {
    return static_cast<int>(scene) == static_cast<int>(sdk);
}
static_assert(Same(kMeshClassId, XSI::siX3DObjectID) && Same(kNullClassId, XSI::siNullID) &&
                  Same(kCameraClassId, XSI::siCameraID) && Same(kLightClassId, XSI::siLightID) &&
                  Same(kShaderClassId, XSI::siShaderID) &&
                  Same(kParameterClassId, XSI::siParameterID),
              "the scene's class ids are the SDK's");

XSI::CRef RefOf(const Item* item) {
    return item ? XSI::CRef::FromHost(static_cast<XSI::siClassID>(item->GetClassID()),
                                      const_cast<Item*>(item))
                : XSI::CRef();
}

XSI::CRef RefOf(const Param* param) {
    return XSI::CRef::FromHost(XSI::siParameterID, const_cast<Param*>(param));
}

XSI::CRef RefOf(const LightShader* shader) {
    return XSI::CRef::FromHost(XSI::siShaderID, const_cast<LightShader*>(shader));
}

} // namespace host

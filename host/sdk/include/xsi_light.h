// Light: a 3-D object with the parameter "Type" (0 infinite, 1 point,
// 2 spot) and shaders that carry its colour and intensity.
#pragma once

#include "xsi_refarray.h"
#include "xsi_x3dobject.h"

namespace XSI {

class Light : public X3DObject {
  public:
    Light() = default;
    explicit Light(const CRef& in_ref) : X3DObject(in_ref) {}

    // The light's shaders, first shader first (empty for a light without one).
    CRefArray GetShaders() const;
};

} // namespace XSI

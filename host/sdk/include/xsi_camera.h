// Camera: a 3-D object whose parameters "fov", "fovtype", "aspect",
// "pixelratio", "projplaneheight" and "projplanedist" describe its lens.
#pragma once

#include "xsi_x3dobject.h"

namespace XSI {

class Camera : public X3DObject {
  public:
    Camera() = default;
    explicit Camera(const CRef& in_ref) : X3DObject(in_ref) {}
};

} // namespace XSI

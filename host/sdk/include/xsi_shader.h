// Shader: a light shader with the animatable parameters "color" (RGBA) and
// "intensity".
#pragma once

#include "xsi_projectitem.h"

namespace XSI {

class Shader : public ProjectItem {
  public:
    Shader() = default;
    explicit Shader(const CRef& in_ref) : ProjectItem(in_ref) {}

    // The four channels of a colour parameter at a time. On an invalid shader
    // or an unknown parameter the outputs are 0 and the status is not OK.
    CStatus GetColorParameterValue(const CString& in_name, float& out_red, float& out_green,
                                   float& out_blue, float& out_alpha,
                                   double in_time = DBL_MAX) const;
};

} // namespace XSI

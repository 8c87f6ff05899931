// KinematicState: a transform of a 3-D object (local or global) at a time.
#pragma once

#include "xsi_projectitem.h"
#include "xsi_transformation.h"

namespace XSI {

class KinematicState : public ProjectItem {
  public:
    KinematicState() = default;
    explicit KinematicState(const CRef& in_ref) : ProjectItem(in_ref) {}

    // The transform at a time in frames, evaluated without moving the
    // scene's current frame; the default time is the current frame.
    MATH::CTransformation GetTransform(double in_time = DBL_MAX) const;
};

} // namespace XSI

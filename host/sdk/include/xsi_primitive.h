// Primitive: the object's primitive that carries its geometry.
#pragma once

#include "xsi_geometry.h"
#include "xsi_projectitem.h"

namespace XSI {

class Primitive : public ProjectItem {
  public:
    Primitive() = default;
    explicit Primitive(const CRef& in_ref) : ProjectItem(in_ref) {}

    // The geometry as it is at a time in frames, every deformation applied.
    Geometry GetGeometry(double in_time = DBL_MAX) const;
};

} // namespace XSI

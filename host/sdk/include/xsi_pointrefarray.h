// CPointRefArray: the points of a geometry.
#pragma once

#include "xsi_ref.h"
#include "xsi_vector3array.h"

namespace XSI {

class CPointRefArray {
  public:
    CPointRefArray() = default;
    // Host side: the points of a host object's geometry at a time.
    CPointRefArray(const CRef& in_object, double in_time) : m_object(in_object), m_time(in_time) {}

    LONG GetCount() const;
    // Every point's position in the object's local space, every deformation
    // applied, in the object's stable point order.
    MATH::CVector3Array GetPositionArray() const;

  private:
    CRef m_object;
    double m_time = DBL_MAX;
};

} // namespace XSI

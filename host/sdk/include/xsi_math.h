// MATH helpers.
#pragma once

#include "xsi_transformation.h"
#include "xsi_vector3.h"

namespace XSI {
namespace MATH {

// A point given in an object's local space, mapped to world space by the
// object's global transform.
inline CVector3 MapObjectPositionToWorldSpace(const CTransformation& in_objectSpace,
                                              const CVector3& in_position) {
    return in_objectSpace.MapPoint(in_position);
}

} // namespace MATH
} // namespace XSI

// X3DObject: a scene item with a transform; meshes, cameras, lights and
// nulls are all 3-D objects.
#pragma once

#include "xsi_kinematics.h"
#include "xsi_primitive.h"
#include "xsi_sceneitem.h"

namespace XSI {

class X3DObject : public SceneItem {
  public:
    X3DObject() = default;
    explicit X3DObject(const CRef& in_ref) : SceneItem(in_ref) {}

    Kinematics GetKinematics() const;
    // The primitive that carries the object's geometry (invalid for items
    // without geometry).
    Primitive GetActivePrimitive(double in_time = DBL_MAX) const;
    // The direct children.
    CRefArray GetChildren() const;
    X3DObject GetParent() const;
};

} // namespace XSI

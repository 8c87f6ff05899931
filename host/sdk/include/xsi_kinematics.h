// Kinematics: the local and global transform states of a 3-D object.
#pragma once

#include "xsi_kinematicstate.h"
#include "xsi_projectitem.h"

namespace XSI {

class Kinematics : public ProjectItem {
  public:
    Kinematics() = default;
    explicit Kinematics(const CRef& in_ref) : ProjectItem(in_ref) {}

    KinematicState GetGlobal() const;
    KinematicState GetLocal() const;
};

} // namespace XSI

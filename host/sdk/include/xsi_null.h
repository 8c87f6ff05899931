// Null: a 3-D object with a transform only.
#pragma once

#include "xsi_x3dobject.h"

namespace XSI {

class Null : public X3DObject {
  public:
    Null() = default;
    explicit Null(const CRef& in_ref) : X3DObject(in_ref) {}
};

} // namespace XSI

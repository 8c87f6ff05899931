// Parameter: a named, possibly animated value of a host object.
#pragma once

#include "xsi_siobject.h"
#include "xsi_value.h"

namespace XSI {

class Parameter : public SIObject {
  public:
    Parameter() = default;
    explicit Parameter(const CRef& in_ref) : SIObject(in_ref) {}

    // The value at a time in frames; the default time is the current frame.
    CValue GetValue(double in_time = DBL_MAX) const;
    CStatus PutValue(const CValue& in_value, double in_time = DBL_MAX);
};

} // namespace XSI

// Geometry: the points of an object at one time.
#pragma once

#include "xsi_pointrefarray.h"
#include "xsi_siobject.h"

namespace XSI {

class Geometry : public SIObject {
  public:
    Geometry() = default;
    // Host side: the geometry of a host object at a time.
    Geometry(const CRef& in_ref, double in_time) : SIObject(in_ref), m_time(in_time) {}

    CPointRefArray GetPoints() const;
    double GetTime() const { return m_time; }

  private:
    double m_time = DBL_MAX;
};

} // namespace XSI

// The first mesh points handed to a plug-in that a point cache's 32-bit
// floats cannot hold (FitsCache): not finite, or too large, in the mesh's own
// space or once mapped to world space by the item's global transform (a
// point cache stores one or the other as floats). The SDK notes each array
// of points as it hands it out; the points are looked at one by one only
// when the largest coordinate, measured as they were made, and the
// transform allow a point past the range.
#pragma once

#include "host/scene/Math.h"
#include "host/scene/PointArray.h"

#include <string>

namespace host {

class Item;

class PointFaults {
  public:
    struct Fault {
        bool found = false;
        std::wstring item; // full name
        double frame = 0.0;
        bool notFinite = false; // else past the float range
    };

    // The points of `item` at `frame`, measured as `magnitude`; `global` maps
    // them to world space as the plug-in does (row r: x, y, z weights and the
    // offset of world coordinate r).
    void Note(const Item& item, double frame, const PointMagnitude& magnitude, const Vec3* points,
              size_t count, const double (&global)[3][4]);

    const Fault& InOwnSpace() const { return m_local; }
    const Fault& InWorldSpace() const { return m_world; }
    void Reset() { *this = PointFaults(); }

  private:
    Fault m_local, m_world;
};

// Whether a point (x, y, z as the cache stores them) fits a point cache's
// 32-bit floats: x and y below 2^128 - 2^103, from where a double rounds to
// an infinite float; z below half that, for the cache stores it as z - 2z
// in floats. False for anything not finite.
bool FitsCache(double x, double y, double z);

} // namespace host

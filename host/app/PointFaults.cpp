#include "host/app/PointFaults.h"

#include "host/scene/Item.h"

#include <cmath>

namespace host {

namespace {

// 2^128 - 2^103: from here a double rounds to an infinite float.
constexpr double kFloatOverflow = 0x1.ffffffp+127;
// 2^127 - 2^102: from here a double rounds to a float of 2^127 or more,
// which the cache's z, stored as z - 2z in floats, cannot take.
constexpr double kZOverflow = 0x1.ffffffp+126;

void Found(PointFaults::Fault* fault, const Item& item, double frame, bool notFinite) {
    fault->found = true;
    fault->item = item.GetFullName();
    fault->frame = frame;
    fault->notFinite = notFinite;
}

} // namespace

bool FitsCache(double x, double y, double z) {
    // False for a NaN too.
    return std::fabs(x) < kFloatOverflow && std::fabs(y) < kFloatOverflow &&
           std::fabs(z) < kZOverflow;
}

void PointFaults::Note(const Item& item, double frame, const PointMagnitude& magnitude,
                       const Vec3* points, size_t count, const double (&global)[3][4]) {
    if (m_local.found && m_world.found) {
        return;
    }
    if (!magnitude.finite) {
        if (!m_local.found) {
            Found(&m_local, item, frame, true);
        }
        if (!m_world.found) {
            Found(&m_world, item, frame, true);
        }
        return;
    }
    // Below the smaller limit every coordinate fits; else point by point.
    if (!m_local.found && !(magnitude.largest < kZOverflow)) {
        for (size_t i = 0; i < count; ++i) {
            if (!FitsCache(points[i].x, points[i].y, points[i].z)) {
                Found(&m_local, item, frame, false);
                break;
            }
        }
    }
    if (m_world.found || count == 0) {
        return;
    }
    // A bound of every world coordinate, with a margin for the roundings of
    // the products and sums; only past it are the points mapped one by one,
    // as the plug-in maps them.
    bool mayLeave = false;
    for (const auto& row : global) {
        const double bound =
            (std::fabs(row[0]) + std::fabs(row[1]) + std::fabs(row[2])) * magnitude.largest +
            std::fabs(row[3]);
        mayLeave = mayLeave || !(bound < 0.5 * kZOverflow);
    }
    if (!mayLeave) {
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const Vec3& p = points[i];
        double w[3];
        for (int r = 0; r < 3; ++r) {
            const double* m = global[r];
            w[r] = m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3];
        }
        if (!FitsCache(w[0], w[1], w[2])) {
            Found(&m_world, item, frame,
                  !std::isfinite(w[0]) || !std::isfinite(w[1]) || !std::isfinite(w[2]));
            return;
        }
    }
}

} // namespace host

// An array of points (Vec3) whose storage is shared between copies: a copy
// costs no copy of the points, so the rest points of a mesh can be handed
// out, frame after frame, for nothing. The points of a shared storage are
// never changed; Add takes a storage of its own first when the storage is
// shared. Arrays sharing storage must not be used from several threads at
// once.
#pragma once

#include "host/scene/Math.h"

#include <cstddef>
#include <memory>
#include <utility>
#include <type_traits>

namespace host {

static_assert(std::is_trivially_copyable<Vec3>::value &&
                  std::is_trivially_destructible<Vec3>::value,
              "points are copied with memcpy and released without destructors");

// The largest magnitude of any coordinate of some points, and whether every
// coordinate is finite (an infinity or a NaN makes it false; largest then
// means nothing).
struct PointMagnitude {
    double largest = 0.0;
    bool finite = true;
};
PointMagnitude MeasurePoints(const Vec3* points, size_t count);
// Both parts together, as if measured at once.
PointMagnitude Combine(const PointMagnitude& a, const PointMagnitude& b);

class PointArray {
  public:
    PointArray() = default;

    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    const Vec3* data() const { return m_items; }
    const Vec3& operator[](size_t i) const { return m_items[i]; }

    // Appends a point, in a storage of its own when the current one is
    // shared or full.
    void Add(const Vec3& p);

    // True when another array shares the storage.
    bool IsShared() const { return m_storage.use_count() > 1; }

    // The storage's owner, for views that keep the points alive without a
    // copy (it owns data()).
    std::shared_ptr<const void> Owner() const { return m_storage; }

    // An array of `count` points written in one pass by fill(Vec3* out),
    // which must construct every one of out[0 .. count - 1] (e.g. with
    // placement new); the storage is not initialised before.
    template <class Fill> static PointArray Build(size_t count, Fill&& fill) {
        PointArray out;
        if (count > 0) {
            out.Reallocate(count);
            fill(out.m_items);
            out.m_count = count;
        }
        return out;
    }

    // The same as Build, written into spare's storage when nothing but spare
    // holds it any more (the array handed out last time has been let go), so
    // that an array rebuilt every frame does not take new memory every frame;
    // else into a new storage. spare then holds the result too.
    template <class Fill> static PointArray Rebuild(PointArray* spare, size_t count, Fill&& fill) {
        if (count == 0 || !spare->m_storage || spare->m_storage.use_count() != 1 ||
            spare->m_capacity < count) {
            *spare = Build(count, std::forward<Fill>(fill));
            return *spare;
        }
        fill(spare->m_items);
        spare->m_count = count;
        return *spare;
    }

  private:
    // Moves to a new, uninitialised storage of `capacity` points holding a
    // copy of the first min(size(), capacity) points.
    void Reallocate(size_t capacity);

    std::shared_ptr<Vec3> m_storage;
    Vec3* m_items = nullptr; // m_storage.get()
    size_t m_count = 0;
    size_t m_capacity = 0;
};

} // namespace host

#include "host/scene/PointArray.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace host {

PointMagnitude MeasurePoints(const Vec3* points, size_t count) {
    // Four lanes the compiler keeps in vector registers: a maximum of the
    // magnitudes (a NaN never wins the comparison) and a sum of v - v,
    // which is 0 for a finite v and NaN for an infinity or a NaN.
    const double* v = &points->x;
    const size_t n = 3 * count;
    double largest[4] = {0.0, 0.0, 0.0, 0.0};
    double poison[4] = {0.0, 0.0, 0.0, 0.0};
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (size_t k = 0; k < 4; ++k) {
            const double a = std::fabs(v[i + k]);
            largest[k] = a > largest[k] ? a : largest[k];
            poison[k] += v[i + k] - v[i + k];
        }
    }
    for (; i < n; ++i) {
        const double a = std::fabs(v[i]);
        largest[0] = a > largest[0] ? a : largest[0];
        poison[0] += v[i] - v[i];
    }
    PointMagnitude m;
    m.largest = std::max(std::max(largest[0], largest[1]), std::max(largest[2], largest[3]));
    m.finite = poison[0] + poison[1] + poison[2] + poison[3] == 0.0;
    return m;
}

PointMagnitude Combine(const PointMagnitude& a, const PointMagnitude& b) {
    return {std::max(a.largest, b.largest), a.finite && b.finite};
}

void PointArray::Add(const Vec3& p) {
    const Vec3 value = p; // p may be a point of this array
    if (m_storage.use_count() > 1 || m_count == m_capacity) {
        Reallocate(m_count == m_capacity ? std::max<size_t>(m_count + 1, 2 * m_capacity)
                                         : m_capacity);
    }
    ::new (static_cast<void*>(m_items + m_count)) Vec3(value);
    ++m_count;
}

void PointArray::Reallocate(size_t capacity) {
    std::shared_ptr<Vec3> storage;
    Vec3* items = nullptr;
    if (capacity > 0) {
        items = static_cast<Vec3*>(::operator new(sizeof(Vec3) * capacity));
        // On failure, reset releases items itself.
        storage.reset(items, [](Vec3* q) { ::operator delete(q); });
    }
    const size_t kept = std::min(m_count, capacity);
    if (kept > 0) {
        std::memcpy(static_cast<void*>(items), m_items, sizeof(Vec3) * kept);
    }
    m_storage = std::move(storage);
    m_items = items;
    m_count = kept;
    m_capacity = capacity;
}

} // namespace host

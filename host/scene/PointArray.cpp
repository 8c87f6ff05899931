#include "host/scene/PointArray.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace host {

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

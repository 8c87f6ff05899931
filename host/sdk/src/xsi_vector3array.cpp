// MATH::CVector3Array: storage shared between copies until one is changed.
#include <xsi_vector3array.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace XSI {
namespace MATH {

static_assert(std::is_trivially_copyable<CVector3>::value &&
                  std::is_trivially_destructible<CVector3>::value,
              "the storage is copied with memcpy and released without destructors");

namespace {
// The capacity for at least in_needed vectors, growing geometrically.
LONG GrownCapacity(LONG in_capacity, LONG in_needed) {
    const LONG doubled = in_capacity > INT_MAX / 2 ? INT_MAX : 2 * in_capacity;
    return std::max(in_needed, doubled);
}

void ConstructZeros(CVector3* in_first, LONG in_count) {
    for (LONG i = 0; i < in_count; ++i) {
        ::new (static_cast<void*>(in_first + i)) CVector3(0.0, 0.0, 0.0);
    }
}
} // namespace

CVector3Array::CVector3Array(LONG in_size)
    : CVector3Array(Build(in_size, [in_size](CVector3* out) { ConstructZeros(out, in_size); })) {}

CVector3Array::CVector3Array(const CVector3Array& in_array) {
    if (!in_array.m_writable) {
        m_storage = in_array.m_storage;
        m_items = in_array.m_items;
        m_count = in_array.m_count;
        m_capacity = in_array.m_capacity;
        return;
    }
    // Elements of in_array may be changed through references: copy them.
    const LONG count = in_array.m_count;
    *this = Build(count, [&in_array, count](CVector3* out) {
        std::memcpy(static_cast<void*>(out), in_array.m_items, sizeof(CVector3) * count);
    });
}

CVector3Array::CVector3Array(CVector3Array&& in_array) noexcept
    : m_storage(std::move(in_array.m_storage)), m_items(in_array.m_items),
      m_count(in_array.m_count), m_capacity(in_array.m_capacity), m_writable(in_array.m_writable) {
    in_array.m_items = nullptr;
    in_array.m_count = 0;
    in_array.m_capacity = 0;
    in_array.m_writable = false;
}

CVector3Array& CVector3Array::operator=(const CVector3Array& in_array) {
    if (this != &in_array) {
        *this = CVector3Array(in_array);
    }
    return *this;
}

CVector3Array& CVector3Array::operator=(CVector3Array&& in_array) noexcept {
    if (this != &in_array) {
        m_storage = std::move(in_array.m_storage);
        m_items = in_array.m_items;
        m_count = in_array.m_count;
        m_capacity = in_array.m_capacity;
        m_writable = in_array.m_writable;
        in_array.m_items = nullptr;
        in_array.m_count = 0;
        in_array.m_capacity = 0;
        in_array.m_writable = false;
    }
    return *this;
}

void CVector3Array::Resize(LONG in_size) {
    const LONG size = std::max(in_size, 0);
    if (size <= m_count) {
        // Copies sharing the storage keep their own count; Add and Resize
        // never write into shared storage.
        m_count = size;
        return;
    }
    if (IsShared() || size > m_capacity) {
        Reallocate(GrownCapacity(m_capacity, size));
    }
    ConstructZeros(m_items + m_count, size - m_count);
    m_count = size;
}

void CVector3Array::Add(const CVector3& in) {
    const CVector3 value = in; // in may be an element of this array
    if (m_count == INT_MAX) {
        throw std::length_error("CVector3Array::Add: too many vectors");
    }
    if (IsShared() || m_count == m_capacity) {
        Reallocate(m_count == m_capacity ? GrownCapacity(m_capacity, m_count + 1) : m_capacity);
    }
    ::new (static_cast<void*>(m_items + m_count)) CVector3(value);
    ++m_count;
}

void CVector3Array::MakeWritable() {
    if (IsShared()) {
        Reallocate(m_count);
    }
    m_writable = true;
}

void CVector3Array::Reallocate(LONG in_capacity) {
    std::shared_ptr<CVector3> storage;
    CVector3* items = nullptr;
    if (in_capacity > 0) {
        items = static_cast<CVector3*>(::operator new(sizeof(CVector3) * in_capacity));
        // On failure, reset releases items itself.
        storage.reset(items, [](CVector3* p) { ::operator delete(p); });
    }
    const LONG kept = std::min(m_count, in_capacity);
    if (kept > 0) {
        std::memcpy(static_cast<void*>(items), m_items, sizeof(CVector3) * kept);
    }
    m_storage = std::move(storage);
    m_items = items;
    m_count = kept;
    m_capacity = in_capacity;
    // A new storage: no element of it has been handed out yet.
    m_writable = false;
}

} // namespace MATH
} // namespace XSI

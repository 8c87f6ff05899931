#include "host/scene/PointArray.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#include <cstring>
#include <new>

namespace host {

namespace {

// The largest magnitude of n doubles and whether all are finite: a maximum
// of the magnitudes (maxpd gives its second operand when the first is a
// NaN, so a NaN never wins) and a mask of the values that are NaN (an
// infinity wins the maximum).
PointMagnitude MeasureScalar(const double* v, size_t n) {
    double largest = 0.0;
    bool finite = true;
    for (size_t i = 0; i < n; ++i) {
        const double a = std::fabs(v[i]);
        largest = a > largest ? a : largest;
        finite = finite && v[i] == v[i];
    }
    return {largest, finite && largest <= std::numeric_limits<double>::max()};
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) PointMagnitude MeasureAvx2(const double* v, size_t n) {
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    __m256d big0 = _mm256_setzero_pd(), big1 = big0, nan0 = big0, nan1 = big0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256d a = _mm256_loadu_pd(v + i), b = _mm256_loadu_pd(v + i + 4);
        big0 = _mm256_max_pd(_mm256_and_pd(a, magnitude), big0);
        big1 = _mm256_max_pd(_mm256_and_pd(b, magnitude), big1);
        nan0 = _mm256_or_pd(nan0, _mm256_cmp_pd(a, a, _CMP_UNORD_Q));
        nan1 = _mm256_or_pd(nan1, _mm256_cmp_pd(b, b, _CMP_UNORD_Q));
    }
    double lanes[4], nans[4];
    _mm256_storeu_pd(lanes, _mm256_max_pd(big0, big1));
    _mm256_storeu_pd(nans, _mm256_or_pd(nan0, nan1));
    const PointMagnitude rest = MeasureScalar(v + i, n - i);
    PointMagnitude m;
    m.largest = std::max(std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3])),
                         rest.largest);
    const bool anyNan = _mm256_movemask_pd(_mm256_loadu_pd(nans)) != 0;
    m.finite = rest.finite && !anyNan && m.largest <= std::numeric_limits<double>::max();
    return m;
}

bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    }();
    return has;
}
#endif

} // namespace

PointMagnitude MeasurePoints(const Vec3* points, size_t count) {
    const double* v = count > 0 ? &points->x : nullptr;
#if defined(__x86_64__) && defined(__GNUC__)
    if (HasAvx2()) {
        return MeasureAvx2(v, 3 * count);
    }
#endif
    return MeasureScalar(v, 3 * count);
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

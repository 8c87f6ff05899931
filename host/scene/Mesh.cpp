#include "host/scene/Mesh.h"

#include "host/scene/Item.h"
#include "host/scene/Scene.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>
#include <utility>

namespace host {

namespace {

inline void Construct(Vec3* out, double x, double y, double z) {
    ::new (static_cast<void*>(out)) Vec3{x, y, z};
}

// Points per range of a threaded evaluation: big enough that taking a range
// costs nothing beside it, small enough that two threads finish together.
constexpr size_t kRangePoints = 8192;

// What every point of one frame's evaluation reads.
struct FrameInputs {
    double frame;
    const Vec3* rest;
    const Vec3* const* morphDeltas;
    const double* morphWeights;
    size_t morphCount;
    bool skinned;
    const int* infStart;
    const int* infJoint;
    const double* infWeight;
    const double* columns; // 16 per joint, column-major, see m_jointColumns
    const Deformer* deformers;
    size_t deformerCount;
    // What only newer kinds of meshes use: the sum of the sparse morph
    // targets in effect (null when none is), and dual-quaternion skinning.
    const Vec3* sparseSum;
    SkinMethod method;
    const double* blendWeights; // Blended: one per point
    const double* dq;           // 8 per joint, see m_jointDq
    const double* stretch;      // 9 per joint, null when no joint has any
    // Dual quaternions blend in world space at bind time: toWorld is the
    // mesh's bind or current global transform, fromWorld its inverse; both
    // null when the blend is the same in the mesh's own space (see
    // IsSimilarity).
    const Mat34* toWorld;
    const Mat34* fromWorld;
};

inline Vec3 Morphed(const FrameInputs& f, size_t i) {
    Vec3 p = f.rest[i];
    for (size_t k = 0; k < f.morphCount; ++k) {
        const Vec3& d = f.morphDeltas[k][i];
        const double w = f.morphWeights[k];
        p.x += w * d.x;
        p.y += w * d.y;
        p.z += w * d.z;
    }
    if (f.sparseSum != nullptr) {
        const Vec3& d = f.sparseSum[i];
        p.x += d.x;
        p.y += d.y;
        p.z += d.z;
    }
    return p;
}

inline Vec3 Deformed(const FrameInputs& f, size_t i, Vec3 p) {
    for (size_t k = 0; k < f.deformerCount; ++k) {
        p = f.deformers[k](f.frame, p, static_cast<int>(i));
    }
    return p;
}

// The linear blend of point i's influences: each joint's mapping of the
// point, weighted and summed one influence after the other.
inline Vec3 LinearPoint(const FrameInputs& f, size_t i, const Vec3& p) {
    double x = 0.0, y = 0.0, z = 0.0;
    for (int k = f.infStart[i]; k < f.infStart[i + 1]; ++k) {
        const double* c = f.columns + 16 * f.infJoint[k];
        const double w = f.infWeight[k];
        x += w * (c[0] * p.x + c[4] * p.y + c[8] * p.z + c[12]);
        y += w * (c[1] * p.x + c[5] * p.y + c[9] * p.z + c[13]);
        z += w * (c[2] * p.x + c[6] * p.y + c[10] * p.z + c[14]);
    }
    return {x, y, z};
}

// Points begin .. end - 1 with linear-blend skinning.
void EvaluateRangeScalar(const FrameInputs& f, size_t begin, size_t end, Vec3* out) {
    for (size_t i = begin; i < end; ++i) {
        Vec3 p = Morphed(f, i);
        if (f.skinned && f.infStart[i] < f.infStart[i + 1]) {
            p = LinearPoint(f, i, p);
        }
        p = Deformed(f, i, p);
        Construct(out + i, p.x, p.y, p.z);
    }
}

// The sum of point i's joints' dual quaternions, each weighted and taken on
// the side of the first influence's: real part r (x, y, z, w), dual part d.
struct DualQuaternionSum {
    double r[4];
    double d[4];
};

__attribute__((always_inline)) inline void SumDualQuaternions(const FrameInputs& f, size_t i,
                                                              DualQuaternionSum* sum) {
    const int first = f.infStart[i];
    const int last = f.infStart[i + 1];
    const double* q0 = f.dq + 8 * f.infJoint[first];
    const double w0 = f.infWeight[first];
    for (int c = 0; c < 8; ++c) {
        (c < 4 ? sum->r[c] : sum->d[c - 4]) = w0 * q0[c];
    }
    for (int k = first + 1; k < last; ++k) {
        const double* q = f.dq + 8 * f.infJoint[k];
        const double side = q[0] * q0[0] + q[1] * q0[1] + q[2] * q0[2] + q[3] * q0[3];
        const double w = side < 0.0 ? -f.infWeight[k] : f.infWeight[k];
        for (int c = 0; c < 4; ++c) {
            sum->r[c] += w * q[c];
            sum->d[c] += w * q[4 + c];
        }
    }
}

// Point i's dual-quaternion sum applied to p (local space in and out): the
// sum (r, r_w) + e (d, d_w) is normalised by the length n of its real part,
// and the point is turned by the real part and moved by the translation the
// dual part holds. With s = 2 / n^2 both need no square root:
// x' = x + s (r_w (r x x) + r x (r x x)) + s (r_w d - d_w r + r x d).
// The real part is never zero: its dot product with the first influence's
// quaternion is at least that influence's weight.
__attribute__((always_inline)) inline Vec3
ApplyDualQuaternion(const FrameInputs& f, size_t i, const DualQuaternionSum& sum, const Vec3& p) {
    const double rx = sum.r[0], ry = sum.r[1], rz = sum.r[2], rw = sum.r[3];
    const double dx = sum.d[0], dy = sum.d[1], dz = sum.d[2], dw = sum.d[3];
    Vec3 x = f.toWorld != nullptr ? Apply(*f.toWorld, p) : p;
    if (f.stretch != nullptr) {
        double m[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
        for (int k = f.infStart[i]; k < f.infStart[i + 1]; ++k) {
            const double* sk = f.stretch + 9 * f.infJoint[k];
            const double wk = f.infWeight[k];
            for (int c = 0; c < 9; ++c) {
                m[c] += wk * sk[c];
            }
        }
        x = {m[0] * x.x + m[1] * x.y + m[2] * x.z, m[3] * x.x + m[4] * x.y + m[5] * x.z,
             m[6] * x.x + m[7] * x.y + m[8] * x.z};
    }
    const double s = 2.0 / (rx * rx + ry * ry + rz * rz + rw * rw);
    // a = r x x, b = r x a, c = r x d
    const double ax = ry * x.z - rz * x.y, ay = rz * x.x - rx * x.z, az = rx * x.y - ry * x.x;
    const double bx = ry * az - rz * ay, by = rz * ax - rx * az, bz = rx * ay - ry * ax;
    const double cx = ry * dz - rz * dy, cy = rz * dx - rx * dz, cz = rx * dy - ry * dx;
    const Vec3 moved{x.x + s * (rw * ax + bx + rw * dx - dw * rx + cx),
                     x.y + s * (rw * ay + by + rw * dy - dw * ry + cy),
                     x.z + s * (rw * az + bz + rw * dz - dw * rz + cz)};
    return f.fromWorld != nullptr ? Apply(*f.fromWorld, moved) : moved;
}

// Point i skinned by dual quaternions, or blended (b: its blend weight, 1
// for dual quaternions alone); q: its dual-quaternion sum when b > 0.
__attribute__((always_inline)) inline Vec3 SkinPoint(const FrameInputs& f, size_t i, const Vec3& p,
                                                     double b, const DualQuaternionSum& q) {
    if (b == 0.0) {
        return LinearPoint(f, i, p);
    }
    const Vec3 dq = ApplyDualQuaternion(f, i, q, p);
    if (b == 1.0) {
        return dq;
    }
    const Vec3 lin = LinearPoint(f, i, p);
    return {(1.0 - b) * lin.x + b * dq.x, (1.0 - b) * lin.y + b * dq.y,
            (1.0 - b) * lin.z + b * dq.z};
}

// Points begin .. end - 1 with dual-quaternion or blended skinning.
void EvaluateRangeDualQuaternion(const FrameInputs& f, size_t begin, size_t end, Vec3* out) {
    DualQuaternionSum q;
    for (size_t i = begin; i < end; ++i) {
        Vec3 p = Morphed(f, i);
        if (f.infStart[i] < f.infStart[i + 1]) {
            const double b = f.method == SkinMethod::Blended ? f.blendWeights[i] : 1.0;
            if (b != 0.0) {
                SumDualQuaternions(f, i, &q);
            }
            p = SkinPoint(f, i, p, b, q);
        }
        p = Deformed(f, i, p);
        Construct(out + i, p.x, p.y, p.z);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define ZK_HOST_AVX2 1

// The same with AVX2 and fused multiply-adds: the influences' matrices are
// blended first (a column in one register), and the blend maps the point
// once. The same algebra as the scalar loop, summed in another order, so
// each value may differ from it in the last bits; it is the same for a
// point wherever and on whichever thread it runs.
// The blend of point i's influences, column by column: c0 .. c3 hold the
// blended matrix's columns (rows 0 to 2 and a 0).
__attribute__((target("avx2,fma"), always_inline)) inline __m256d
BlendedPoint(const FrameInputs& f, size_t i, __m256d x, __m256d y, __m256d z) {
    const int first = f.infStart[i];
    const int last = f.infStart[i + 1];
    const double* c = f.columns + 16 * f.infJoint[first];
    __m256d w = _mm256_set1_pd(f.infWeight[first]);
    __m256d c0 = _mm256_mul_pd(w, _mm256_loadu_pd(c));
    __m256d c1 = _mm256_mul_pd(w, _mm256_loadu_pd(c + 4));
    __m256d c2 = _mm256_mul_pd(w, _mm256_loadu_pd(c + 8));
    __m256d c3 = _mm256_mul_pd(w, _mm256_loadu_pd(c + 12));
    for (int k = first + 1; k < last; ++k) {
        c = f.columns + 16 * f.infJoint[k];
        w = _mm256_set1_pd(f.infWeight[k]);
        c0 = _mm256_fmadd_pd(w, _mm256_loadu_pd(c), c0);
        c1 = _mm256_fmadd_pd(w, _mm256_loadu_pd(c + 4), c1);
        c2 = _mm256_fmadd_pd(w, _mm256_loadu_pd(c + 8), c2);
        c3 = _mm256_fmadd_pd(w, _mm256_loadu_pd(c + 12), c3);
    }
    return _mm256_fmadd_pd(c2, z, _mm256_fmadd_pd(c1, y, _mm256_fmadd_pd(c0, x, c3)));
}

// The same as EvaluateRangeScalar with AVX2 and fused multiply-adds: the
// influences' matrices are blended first (a column in one register), and
// the blend maps the point once. The same algebra as the scalar loop,
// summed in another order, so each value may differ from it in the last
// bits; it is the same for a point wherever and on whichever thread it runs.
__attribute__((target("avx2,fma"))) void EvaluateRangeAvx2(const FrameInputs& f, size_t begin,
                                                           size_t end, Vec3* out) {
    if (f.skinned && f.morphCount == 0 && f.sparseSum == nullptr && f.deformerCount == 0) {
        // Skinning alone: rest points straight into registers, results
        // straight to the output.
        const double* rest = reinterpret_cast<const double*>(f.rest);
        for (size_t i = begin; i < end; ++i) {
            const double* p = rest + 3 * i;
            if (f.infStart[i] == f.infStart[i + 1]) {
                Construct(out + i, p[0], p[1], p[2]);
                continue;
            }
            const __m256d r = BlendedPoint(f, i, _mm256_broadcast_sd(p), _mm256_broadcast_sd(p + 1),
                                           _mm256_broadcast_sd(p + 2));
            Construct(out + i, _mm256_cvtsd_f64(r),
                      _mm_cvtsd_f64(
                          _mm_unpackhi_pd(_mm256_castpd256_pd128(r), _mm256_castpd256_pd128(r))),
                      _mm_cvtsd_f64(_mm256_extractf128_pd(r, 1)));
        }
        return;
    }
    for (size_t i = begin; i < end; ++i) {
        Vec3 p = Morphed(f, i);
        if (f.skinned && f.infStart[i] < f.infStart[i + 1]) {
            const __m256d r =
                BlendedPoint(f, i, _mm256_set1_pd(p.x), _mm256_set1_pd(p.y), _mm256_set1_pd(p.z));
            alignas(32) double v[4];
            _mm256_store_pd(v, r);
            p = {v[0], v[1], v[2]};
        }
        p = Deformed(f, i, p);
        Construct(out + i, p.x, p.y, p.z);
    }
}

// g++ 12 warns wrongly about the unset register that its own AVX-512
// intrinsics start from.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// The skinning-alone loop of EvaluateRangeAvx2 with 512-bit registers: two
// columns of a joint's matrix per register, so half the loads and
// multiply-adds per influence. Every lane gets the same operations in the
// same order as in the 256-bit loop (a product for the first influence,
// fused multiply-adds for the others, then the same three to map the
// point), so every value is the same to the bit. A masked store writes the
// three coordinates without touching the next point.
__attribute__((target("avx512f,avx512vl,avx2,fma"))) void
SkinRangeAvx512(const FrameInputs& f, size_t begin, size_t end, Vec3* out) {
    const double* rest = reinterpret_cast<const double*>(f.rest);
    double* o = reinterpret_cast<double*>(out);
    const int* start = f.infStart;
    const int* joint = f.infJoint;
    const double* weight = f.infWeight;
    int first = start[begin];
    for (size_t i = begin; i < end; ++i) {
        const double* p = rest + 3 * i;
        const int last = start[i + 1];
        if (first == last) {
            _mm256_mask_storeu_pd(o + 3 * i, 0x7, _mm256_maskz_loadu_pd(0x7, p));
            continue;
        }
        const double* c = f.columns + 16 * joint[first];
        __m512d w = _mm512_set1_pd(weight[first]);
        __m512d c01 = _mm512_mul_pd(w, _mm512_loadu_pd(c));
        __m512d c23 = _mm512_mul_pd(w, _mm512_loadu_pd(c + 8));
        for (int k = first + 1; k < last; ++k) {
            c = f.columns + 16 * joint[k];
            w = _mm512_set1_pd(weight[k]);
            c01 = _mm512_fmadd_pd(w, _mm512_loadu_pd(c), c01);
            c23 = _mm512_fmadd_pd(w, _mm512_loadu_pd(c + 8), c23);
        }
        first = last;
        const __m256d c0 = _mm512_castpd512_pd256(c01);
        const __m256d c1 = _mm512_extractf64x4_pd(c01, 1);
        const __m256d c2 = _mm512_castpd512_pd256(c23);
        const __m256d c3 = _mm512_extractf64x4_pd(c23, 1);
        const __m256d r =
            _mm256_fmadd_pd(c2, _mm256_broadcast_sd(p + 2),
                            _mm256_fmadd_pd(c1, _mm256_broadcast_sd(p + 1),
                                            _mm256_fmadd_pd(c0, _mm256_broadcast_sd(p), c3)));
        _mm256_mask_storeu_pd(o + 3 * i, 0x7, r);
    }
}
#pragma GCC diagnostic pop

bool HasAvx512() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    }();
    return has;
}

bool HasAvx2Fma() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }();
    return has;
}
#endif

#ifdef ZK_HOST_AVX2
// SumDualQuaternions with a quaternion in one register: the side test is
// one product and a horizontal sum, each influence two fused multiply-adds.
__attribute__((target("avx2,fma"), always_inline)) inline void
SumDualQuaternionsAvx2(const FrameInputs& f, size_t i, DualQuaternionSum* sum) {
    const int first = f.infStart[i];
    const int last = f.infStart[i + 1];
    const double* q0 = f.dq + 8 * f.infJoint[first];
    const __m256d r0 = _mm256_loadu_pd(q0);
    const __m256d w0 = _mm256_set1_pd(f.infWeight[first]);
    __m256d r = _mm256_mul_pd(w0, r0);
    __m256d d = _mm256_mul_pd(w0, _mm256_loadu_pd(q0 + 4));
    const __m128d zero = _mm_setzero_pd();
    for (int k = first + 1; k < last; ++k) {
        const double* q = f.dq + 8 * f.infJoint[k];
        const __m256d qr = _mm256_loadu_pd(q);
        const __m256d m = _mm256_mul_pd(qr, r0);
        __m128d side = _mm_add_pd(_mm256_castpd256_pd128(m), _mm256_extractf128_pd(m, 1));
        side = _mm_add_sd(side, _mm_unpackhi_pd(side, side));
        const double w = _mm_comilt_sd(side, zero) ? -f.infWeight[k] : f.infWeight[k];
        const __m256d wk = _mm256_set1_pd(w);
        r = _mm256_fmadd_pd(wk, qr, r);
        d = _mm256_fmadd_pd(wk, _mm256_loadu_pd(q + 4), d);
    }
    _mm256_storeu_pd(sum->r, r);
    _mm256_storeu_pd(sum->d, d);
}

// The same as EvaluateRangeDualQuaternion with AVX2 and fused multiply-adds
// (the same algebra, each value possibly other in its last bits, and the
// same for a point wherever it runs).
__attribute__((target("avx2,fma"))) void
EvaluateRangeDualQuaternionAvx2(const FrameInputs& f, size_t begin, size_t end, Vec3* out) {
    DualQuaternionSum q;
    for (size_t i = begin; i < end; ++i) {
        Vec3 p = Morphed(f, i);
        if (f.infStart[i] < f.infStart[i + 1]) {
            const double b = f.method == SkinMethod::Blended ? f.blendWeights[i] : 1.0;
            if (b != 0.0) {
                SumDualQuaternionsAvx2(f, i, &q);
            }
            p = SkinPoint(f, i, p, b, q);
        }
        p = Deformed(f, i, p);
        Construct(out + i, p.x, p.y, p.z);
    }
}
#endif

void EvaluateRange(const FrameInputs& f, size_t begin, size_t end, Vec3* out) {
    if (f.skinned && f.method != SkinMethod::Linear) {
#ifdef ZK_HOST_AVX2
        if (HasAvx2Fma()) {
            EvaluateRangeDualQuaternionAvx2(f, begin, end, out);
            return;
        }
#endif
        EvaluateRangeDualQuaternion(f, begin, end, out);
        return;
    }
#ifdef ZK_HOST_AVX2
    if (HasAvx2Fma() && HasAvx512() && f.skinned && f.morphCount == 0 && f.sparseSum == nullptr &&
        f.deformerCount == 0) {
        SkinRangeAvx512(f, begin, end, out);
        return;
    }
    if (HasAvx2Fma()) {
        EvaluateRangeAvx2(f, begin, end, out);
        return;
    }
#endif
    EvaluateRangeScalar(f, begin, end, out);
}

// True when m only turns, scales alike along every axis and moves: then a
// blend of dual quaternions mapped by m is the blend mapped by m, and the
// blend can work in the space on either side of m.
bool IsSimilarity(const Mat34& m) {
    double c[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            c[i][j] = m.m[0][i] * m.m[0][j] + m.m[1][i] * m.m[1][j] + m.m[2][i] * m.m[2][j];
        }
    }
    const double s = c[0][0];
    const double tolerance = 1e-12 * s;
    return s > 0.0 && std::fabs(c[1][1] - s) <= tolerance && std::fabs(c[2][2] - s) <= tolerance &&
           std::fabs(c[0][1]) <= tolerance && std::fabs(c[0][2]) <= tolerance &&
           std::fabs(c[1][2]) <= tolerance;
}

// The rotation nearest to the 3x3 part of m (the orthogonal factor of its
// polar decomposition, by Newton's iteration X <- (X + X^-T) / 2), turned to
// a proper rotation: for a matrix that mirrors, the nearest rotation of -m.
// False for a matrix too close to singular to have one.
bool NearestRotation(const Mat34& m, Mat34* rotation) {
    const double det = Determinant3(m);
    if (!std::isfinite(det) || std::fabs(det) < 1e-300) {
        return false;
    }
    const double sign = det < 0.0 ? -1.0 : 1.0;
    double x[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            x[r][c] = sign * m.m[r][c];
        }
    }
    for (int step = 0; step < 64; ++step) {
        // X^-T = cofactor(X) / det(X).
        const double cof[3][3] = {
            {x[1][1] * x[2][2] - x[1][2] * x[2][1], x[1][2] * x[2][0] - x[1][0] * x[2][2],
             x[1][0] * x[2][1] - x[1][1] * x[2][0]},
            {x[0][2] * x[2][1] - x[0][1] * x[2][2], x[0][0] * x[2][2] - x[0][2] * x[2][0],
             x[0][1] * x[2][0] - x[0][0] * x[2][1]},
            {x[0][1] * x[1][2] - x[0][2] * x[1][1], x[0][2] * x[1][0] - x[0][0] * x[1][2],
             x[0][0] * x[1][1] - x[0][1] * x[1][0]}};
        const double d = x[0][0] * cof[0][0] + x[0][1] * cof[0][1] + x[0][2] * cof[0][2];
        if (!std::isfinite(d) || d == 0.0) {
            return false;
        }
        double change = 0.0;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                const double next = 0.5 * (x[r][c] + cof[r][c] / d);
                change = std::max(change, std::fabs(next - x[r][c]));
                x[r][c] = next;
            }
        }
        if (change <= 1e-15) {
            break;
        }
    }
    Mat34 out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out.m[r][c] = x[r][c];
        }
        out.m[r][3] = 0.0;
    }
    *rotation = out;
    return true;
}

} // namespace

void Mesh::CheckPointCountChange(size_t newCount) const {
    if (newCount == m_points.size()) {
        return;
    }
    if (!m_morphs.empty() || HasSkin()) {
        throw std::logic_error("the point count of a mesh with morph targets or a skin is fixed");
    }
    if (m_source != nullptr || !m_blendWeights.empty()) {
        throw std::logic_error(
            "the point count of a mesh with a point source or blend weights is fixed");
    }
    if (static_cast<long long>(newCount) <= m_maxPolyIndex) {
        throw std::invalid_argument("polygons refer to points beyond the new point count");
    }
    if (newCount > 0x7fffffffu) {
        throw std::invalid_argument("too many points");
    }
}

void Mesh::SetPoints(const std::vector<Vec3>& points) {
    CheckPointCountChange(points.size());
    const Vec3* in = points.data();
    m_points = PointArray::Build(points.size(), [in, &points](Vec3* out) {
        std::memcpy(static_cast<void*>(out), in, sizeof(Vec3) * points.size());
    });
    m_restMeasured = false;
}

int Mesh::AddPoint(const Vec3& p) {
    CheckPointCountChange(m_points.size() + 1);
    m_points.Add(p);
    m_restMeasured = false;
    return GetPointCount() - 1;
}

std::vector<Vec3> Mesh::GetPoints() const {
    return std::vector<Vec3>(m_points.data(), m_points.data() + m_points.size());
}

int Mesh::AddPolygon(const std::vector<int>& pointIndices) {
    if (pointIndices.empty()) {
        throw std::invalid_argument("a polygon needs at least one point");
    }
    int maxIndex = m_maxPolyIndex;
    for (int i : pointIndices) {
        if (i < 0 || i >= GetPointCount()) {
            throw std::invalid_argument("polygon point index out of range");
        }
        if (i > maxIndex) {
            maxIndex = i;
        }
    }
    m_polySizes.push_back(static_cast<int>(pointIndices.size()));
    m_polyPoints.insert(m_polyPoints.end(), pointIndices.begin(), pointIndices.end());
    m_maxPolyIndex = maxIndex;
    return GetPolygonCount() - 1;
}

void Mesh::SetPolygons(std::vector<int> sizes, std::vector<int> pointIndices) {
    size_t corners = 0;
    for (int size : sizes) {
        if (size < 1) {
            throw std::invalid_argument("a polygon needs at least one point");
        }
        corners += static_cast<size_t>(size);
    }
    if (corners != pointIndices.size()) {
        throw std::invalid_argument("the polygon sizes do not add up to the point indices");
    }
    int maxIndex = -1;
    for (int i : pointIndices) {
        if (i < 0 || i >= GetPointCount()) {
            throw std::invalid_argument("polygon point index out of range");
        }
        maxIndex = std::max(maxIndex, i);
    }
    m_polySizes = std::move(sizes);
    m_polyPoints = std::move(pointIndices);
    m_maxPolyIndex = maxIndex;
}

int Mesh::AddMorphTarget(const std::wstring& name, std::vector<Vec3> deltas) {
    return AddMorphTarget(name, std::make_shared<const std::vector<Vec3>>(std::move(deltas)));
}

int Mesh::AddMorphTarget(const std::wstring& name,
                         std::shared_ptr<const std::vector<Vec3>> deltas) {
    if (!deltas || deltas->size() != m_points.size()) {
        throw std::invalid_argument("a morph target needs one delta per point");
    }
    Morph m;
    m.name = name;
    m.deltas = std::move(deltas);
    return AddMorph(std::move(m));
}

int Mesh::AddMorphTarget(const std::wstring& name, std::vector<int> indices,
                         std::vector<Vec3> deltas) {
    if (indices.size() != deltas.size()) {
        throw std::invalid_argument("a sparse morph target needs one delta per index");
    }
    std::vector<int> sorted = indices;
    std::sort(sorted.begin(), sorted.end());
    if (!sorted.empty() && (sorted.front() < 0 || sorted.back() >= GetPointCount())) {
        throw std::invalid_argument("morph target point index out of range");
    }
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        throw std::invalid_argument("a morph target moves a point twice");
    }
    std::vector<int> merged;
    merged.reserve(m_sparseIndices.size() + sorted.size());
    std::set_union(m_sparseIndices.begin(), m_sparseIndices.end(), sorted.begin(), sorted.end(),
                   std::back_inserter(merged));
    Morph m;
    m.name = name;
    m.indices = std::move(indices);
    m.deltas = std::make_shared<const std::vector<Vec3>>(std::move(deltas));
    m.sparse = true;
    const int index = AddMorph(std::move(m));
    m_sparseIndices = std::move(merged);
    m_sparseSum.resize(m_points.size());
    return index;
}

int Mesh::AddMorph(Morph m) {
    m.weight.Set(0.0);
    m_morphs.push_back(std::move(m));
    m_activeDeltas.reserve(m_morphs.size());
    m_activeWeights.reserve(m_morphs.size());
    return GetMorphTargetCount() - 1;
}

void Mesh::SetSkin(std::vector<const Item*> joints, std::vector<Mat34> offsets,
                   const std::vector<std::vector<Influence>>& influences) {
    if (influences.size() != m_points.size()) {
        throw std::invalid_argument("a skin needs the influences of every point");
    }
    SkinWeights flat;
    flat.start.reserve(influences.size() + 1);
    flat.start.push_back(0);
    for (const auto& list : influences) {
        for (const Influence& inf : list) {
            flat.joint.push_back(inf.joint);
            flat.weight.push_back(inf.weight);
        }
        flat.start.push_back(static_cast<int>(flat.joint.size()));
    }
    SetSkinWeights(std::move(joints), std::move(offsets), std::move(flat));
}

void Mesh::SetSkinWeights(std::vector<const Item*> joints, std::vector<Mat34> offsets,
                          SkinWeights weights) {
    if (joints.empty() || offsets.size() != joints.size()) {
        throw std::invalid_argument("a skin needs joints and one offset matrix per joint");
    }
    for (const Item* j : joints) {
        if (j == nullptr) {
            throw std::invalid_argument("a skin joint is missing");
        }
    }
    std::vector<int>& start = weights.start;
    std::vector<int>& joint = weights.joint;
    std::vector<double>& weight = weights.weight;
    if (start.size() != m_points.size() + 1) {
        throw std::invalid_argument("a skin needs the influences of every point");
    }
    if (start.front() != 0 || joint.size() != weight.size() ||
        static_cast<size_t>(start.back()) != joint.size() ||
        !std::is_sorted(start.begin(), start.end())) {
        throw std::invalid_argument("skin influence lists out of order");
    }
    // Normalised weights in place, zero weights dropped; a point whose
    // weights sum to 0 stays unskinned.
    size_t kept = 0;
    int first = 0;
    for (size_t p = 0; p + 1 < start.size(); ++p) {
        const int last = start[p + 1];
        double sum = 0.0;
        for (int i = first; i < last; ++i) {
            if (joint[i] < 0 || joint[i] >= static_cast<int>(joints.size())) {
                throw std::invalid_argument("skin influence joint index out of range");
            }
            if (!std::isfinite(weight[i]) || weight[i] < 0.0) {
                throw std::invalid_argument("skin influence weight must be finite and >= 0");
            }
            sum += weight[i];
        }
        if (sum > 0.0) {
            for (int i = first; i < last; ++i) {
                if (weight[i] > 0.0) {
                    joint[kept] = joint[i];
                    weight[kept] = weight[i] / sum;
                    ++kept;
                }
            }
        }
        first = last;
        start[p + 1] = static_cast<int>(kept);
    }
    joint.resize(kept);
    weight.resize(kept);
    m_joints = std::move(joints);
    m_offsets = std::move(offsets);
    m_infStart = std::move(start);
    m_infJoint = std::move(joint);
    m_infWeight = std::move(weight);
    m_jointColumns.assign(16 * m_joints.size(), 0.0);
    m_jointDq.assign(8 * m_joints.size(), 0.0);
    m_jointStretch.assign(9 * m_joints.size(), 0.0);
}

void Mesh::SetSkinMethod(SkinMethod method, std::vector<double> blendWeights) {
    if (method == SkinMethod::Blended) {
        if (blendWeights.size() != m_points.size()) {
            throw std::invalid_argument("blended skinning needs one blend weight per point");
        }
        for (double b : blendWeights) {
            if (!(b >= 0.0 && b <= 1.0)) {
                throw std::invalid_argument("a blend weight must be from 0 to 1");
            }
        }
    } else if (!blendWeights.empty()) {
        throw std::invalid_argument("only blended skinning takes blend weights");
    }
    m_skinMethod = method;
    m_blendWeights = std::move(blendWeights);
}

void Mesh::SetSkinBindMatrix(const Mat34& meshGlobalAtBind) {
    for (const auto& row : meshGlobalAtBind.m) {
        for (double v : row) {
            if (!std::isfinite(v)) {
                throw std::invalid_argument("a bind matrix must be finite");
            }
        }
    }
    if (!(std::fabs(Determinant3(meshGlobalAtBind)) > 0.0)) {
        throw std::invalid_argument("a bind matrix must be invertible");
    }
    m_skinBind = meshGlobalAtBind;
    m_hasSkinBind = true;
}

void Mesh::SetPointSource(std::shared_ptr<PointSource> source) {
    if (source != nullptr && source->GetPointCount() != m_points.size()) {
        throw std::invalid_argument("a point source needs the mesh's point count");
    }
    m_source = std::move(source);
    m_sourcePoints.resize(m_source != nullptr ? m_points.size() : 0);
}

void Mesh::PrepareDualQuaternions(const Mat34& before, const Mat34& after, double frame) const {
    // Each joint's motion: before * jointGlobal(frame) * offset * after,
    // either in world space from the mesh at bind time to where the joint
    // puts it (before the identity, after the mesh's inverse bind or current
    // global transform), or the same in the mesh's own space.
    m_jointStretched = false;
    for (size_t j = 0; j < m_joints.size(); ++j) {
        const Mat34 w =
            Mul(before, Mul(m_joints[j]->EvalGlobalMatrix(frame), Mul(m_offsets[j], after)));
        Mat34 rot;
        if (!NearestRotation(w, &rot)) {
            rot = Mat34{};
        }
        // stretch = transpose(rot) * w (3x3), so that w = rot * stretch.
        double* s = &m_jointStretch[9 * j];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                s[3 * r + c] =
                    rot.m[0][r] * w.m[0][c] + rot.m[1][r] * w.m[1][c] + rot.m[2][r] * w.m[2][c];
                if (std::fabs(s[3 * r + c] - (r == c ? 1.0 : 0.0)) > 1e-12) {
                    m_jointStretched = true;
                }
            }
        }
        const Quat q = QuatFromRotationMatrix(rot);
        const Vec3 t{w.m[0][3], w.m[1][3], w.m[2][3]};
        const Vec3 v{q.x, q.y, q.z};
        // dual = (t, 0) * real / 2
        const Vec3 tv = Cross(t, v);
        double* dq = &m_jointDq[8 * j];
        dq[0] = q.x;
        dq[1] = q.y;
        dq[2] = q.z;
        dq[3] = q.w;
        dq[4] = 0.5 * (q.w * t.x + tv.x);
        dq[5] = 0.5 * (q.w * t.y + tv.y);
        dq[6] = 0.5 * (q.w * t.z + tv.z);
        dq[7] = -0.5 * Dot(t, v);
    }
}

void Mesh::AddDeformer(Deformer d) {
    if (!d) {
        throw std::invalid_argument("empty deformer");
    }
    m_deformers.push_back(std::move(d));
}

const PointMagnitude& Mesh::RestMagnitude() const {
    if (!m_restMeasured) {
        m_restMagnitude = MeasurePoints(m_points.data(), m_points.size());
        m_restMeasured = true;
    }
    return m_restMagnitude;
}

void Mesh::Evaluate(const Item& owner, double frame, Vec3* out) const {
    const size_t n = m_points.size();
    const Vec3* rest = m_points.data();
    if (!IsDeformed()) {
        if (n > 0) {
            std::memcpy(static_cast<void*>(out), rest, sizeof(Vec3) * n);
        }
        m_lastMagnitude = RestMagnitude();
        return;
    }
    if (m_source != nullptr) {
        if (m_morphs.empty() && !HasSkin() && m_deformers.empty()) {
            m_source->ReadPoints(frame, out);
            m_lastMagnitude = MeasurePoints(out, n);
            return;
        }
        m_source->ReadPoints(frame, m_sourcePoints.data());
        rest = m_sourcePoints.data();
    }

    m_activeDeltas.clear();
    m_activeWeights.clear();
    bool sparseActive = false;
    for (const Morph& m : m_morphs) {
        const double w = m.weight.Eval(frame);
        if (w == 0.0) {
            continue;
        }
        if (!m.sparse) {
            m_activeDeltas.push_back(m.deltas->data());
            m_activeWeights.push_back(w);
            continue;
        }
        // Sparse targets are summed here, once per frame, in the order they
        // were added; the points read the sum.
        if (!sparseActive) {
            for (int i : m_sparseIndices) {
                m_sparseSum[i] = Vec3{};
            }
            sparseActive = true;
        }
        for (size_t k = 0; k < m.indices.size(); ++k) {
            Vec3& s = m_sparseSum[m.indices[k]];
            const Vec3& d = (*m.deltas)[k];
            s.x += w * d.x;
            s.y += w * d.y;
            s.z += w * d.z;
        }
    }

    const bool skinned = HasSkin();
    Mat34 meshToWorld;
    Mat34 toMesh;
    bool dqWorldSpace = false;
    if (skinned) {
        meshToWorld = m_hasSkinBind ? m_skinBind : owner.EvalGlobalMatrix(frame);
        toMesh = Inverse(meshToWorld);
        if (m_skinMethod != SkinMethod::Linear) {
            dqWorldSpace = !IsSimilarity(meshToWorld);
            if (dqWorldSpace) {
                PrepareDualQuaternions(Mat34{}, toMesh, frame);
            } else {
                PrepareDualQuaternions(toMesh, Mat34{}, frame);
            }
        }
        for (size_t j = 0; j < m_joints.size(); ++j) {
            const Mat34 m = Mul(toMesh, Mul(m_joints[j]->EvalGlobalMatrix(frame), m_offsets[j]));
            double* c = &m_jointColumns[16 * j];
            for (int col = 0; col < 4; ++col) {
                for (int row = 0; row < 3; ++row) {
                    c[4 * col + row] = m.m[row][col];
                }
                c[4 * col + 3] = 0.0;
            }
        }
    }

    const FrameInputs f{frame,
                        rest,
                        m_activeDeltas.data(),
                        m_activeWeights.data(),
                        m_activeDeltas.size(),
                        skinned,
                        m_infStart.data(),
                        m_infJoint.data(),
                        m_infWeight.data(),
                        m_jointColumns.data(),
                        m_deformers.data(),
                        m_deformers.size(),
                        sparseActive ? m_sparseSum.data() : nullptr,
                        m_skinMethod,
                        m_blendWeights.data(),
                        m_jointDq.data(),
                        m_jointStretched ? m_jointStretch.data() : nullptr,
                        dqWorldSpace ? &meshToWorld : nullptr,
                        dqWorldSpace ? &toMesh : nullptr};
    // Each range measured right after it is made, while it is in the cache.
    const Scene* scene = owner.GetScene();
    if (scene == nullptr || n <= kRangePoints) {
        PointMagnitude all;
        for (size_t begin = 0; begin < n; begin += kRangePoints) {
            const size_t end = std::min(n, begin + kRangePoints);
            EvaluateRange(f, begin, end, out);
            all = Combine(all, MeasurePoints(out + begin, end - begin));
        }
        m_lastMagnitude = all;
        return;
    }
    m_rangeMagnitudes.assign((n + kRangePoints - 1) / kRangePoints, PointMagnitude());
    // One reference captured: the body fits std::function without a heap
    // allocation.
    struct Job {
        const FrameInputs& f;
        Vec3* out;
        PointMagnitude* measured;
    } job{f, out, m_rangeMagnitudes.data()};
    scene->GetWorkers().ForRanges(n, kRangePoints, [&job](size_t begin, size_t end) {
        EvaluateRange(job.f, begin, end, job.out);
        job.measured[begin / kRangePoints] = MeasurePoints(job.out + begin, end - begin);
    });
    PointMagnitude all;
    for (const PointMagnitude& range : m_rangeMagnitudes) {
        all = Combine(all, range);
    }
    m_lastMagnitude = all;
}

PointArray Mesh::EvaluateArray(const Item& owner, double frame) const {
    if (!IsDeformed()) {
        m_lastMagnitude = RestMagnitude();
        return m_points;
    }
    // The caller may still hold the last frame's array (a cache writer
    // reading it while it asks for this frame): two storages take turns.
    if (m_evaluated.IsShared() && !m_evaluatedOther.IsShared()) {
        std::swap(m_evaluated, m_evaluatedOther);
    }
    return PointArray::Rebuild(&m_evaluated, m_points.size(),
                               [this, &owner, frame](Vec3* out) { Evaluate(owner, frame, out); });
}

} // namespace host

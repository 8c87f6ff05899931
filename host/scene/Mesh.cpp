#include "host/scene/Mesh.h"

#include "host/scene/Item.h"
#include "host/scene/Scene.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
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
    return p;
}

inline Vec3 Deformed(const FrameInputs& f, size_t i, Vec3 p) {
    for (size_t k = 0; k < f.deformerCount; ++k) {
        p = f.deformers[k](f.frame, p, static_cast<int>(i));
    }
    return p;
}

// Points begin .. end - 1, one influence after the other: each joint's
// mapping of the point, weighted and summed.
void EvaluateRangeScalar(const FrameInputs& f, size_t begin, size_t end, Vec3* out) {
    for (size_t i = begin; i < end; ++i) {
        Vec3 p = Morphed(f, i);
        if (f.skinned && f.infStart[i] < f.infStart[i + 1]) {
            double x = 0.0, y = 0.0, z = 0.0;
            for (int k = f.infStart[i]; k < f.infStart[i + 1]; ++k) {
                const double* c = f.columns + 16 * f.infJoint[k];
                const double w = f.infWeight[k];
                x += w * (c[0] * p.x + c[4] * p.y + c[8] * p.z + c[12]);
                y += w * (c[1] * p.x + c[5] * p.y + c[9] * p.z + c[13]);
                z += w * (c[2] * p.x + c[6] * p.y + c[10] * p.z + c[14]);
            }
            p = {x, y, z};
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
    if (f.skinned && f.morphCount == 0 && f.deformerCount == 0) {
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

void EvaluateRange(const FrameInputs& f, size_t begin, size_t end, Vec3* out) {
#ifdef ZK_HOST_AVX2
    if (HasAvx2Fma() && HasAvx512() && f.skinned && f.morphCount == 0 && f.deformerCount == 0) {
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

} // namespace

void Mesh::CheckPointCountChange(size_t newCount) const {
    if (newCount == m_points.size()) {
        return;
    }
    if (!m_morphs.empty() || HasSkin()) {
        throw std::logic_error("the point count of a mesh with morph targets or a skin is fixed");
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
}

int Mesh::AddPoint(const Vec3& p) {
    CheckPointCountChange(m_points.size() + 1);
    m_points.Add(p);
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
    if (deltas.size() != m_points.size()) {
        throw std::invalid_argument("a morph target needs one delta per point");
    }
    Morph m;
    m.name = name;
    m.deltas = std::move(deltas);
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
}

void Mesh::AddDeformer(Deformer d) {
    if (!d) {
        throw std::invalid_argument("empty deformer");
    }
    m_deformers.push_back(std::move(d));
}

void Mesh::Evaluate(const Item& owner, double frame, Vec3* out) const {
    const size_t n = m_points.size();
    const Vec3* rest = m_points.data();
    if (!IsDeformed()) {
        if (n > 0) {
            std::memcpy(static_cast<void*>(out), rest, sizeof(Vec3) * n);
        }
        return;
    }

    m_activeDeltas.clear();
    m_activeWeights.clear();
    for (const Morph& m : m_morphs) {
        const double w = m.weight.Eval(frame);
        if (w != 0.0) {
            m_activeDeltas.push_back(m.deltas.data());
            m_activeWeights.push_back(w);
        }
    }

    const bool skinned = HasSkin();
    if (skinned) {
        const Mat34 toMesh = Inverse(owner.EvalGlobalMatrix(frame));
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
                        m_deformers.size()};
    const Scene* scene = owner.GetScene();
    if (scene == nullptr || n <= kRangePoints) {
        EvaluateRange(f, 0, n, out);
        return;
    }
    scene->GetWorkers().ForRanges(n, kRangePoints, [&f, out](size_t begin, size_t end) {
        EvaluateRange(f, begin, end, out);
    });
}

PointArray Mesh::EvaluateArray(const Item& owner, double frame) const {
    if (!IsDeformed()) {
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

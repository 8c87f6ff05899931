#include "host/scene/Mesh.h"

#include "host/scene/Item.h"

#include <cmath>
#include <new>
#include <stdexcept>

namespace host {

namespace {
inline void Construct(XSI::MATH::CVector3* out, double x, double y, double z) {
    ::new (static_cast<void*>(out)) XSI::MATH::CVector3(x, y, z);
}
} // namespace

void Mesh::CheckPointCountChange(size_t newCount) const {
    if (newCount == static_cast<size_t>(m_points.GetCount())) {
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
    m_points = XSI::MATH::CVector3Array::Build(
        static_cast<int>(points.size()), [in, &points](XSI::MATH::CVector3* out) {
            for (size_t i = 0; i < points.size(); ++i) {
                Construct(out + i, in[i].x, in[i].y, in[i].z);
            }
        });
}

int Mesh::AddPoint(const Vec3& p) {
    CheckPointCountChange(static_cast<size_t>(m_points.GetCount()) + 1);
    m_points.Add(XSI::MATH::CVector3(p.x, p.y, p.z));
    return m_points.GetCount() - 1;
}

std::vector<Vec3> Mesh::GetPoints() const {
    std::vector<Vec3> points(static_cast<size_t>(m_points.GetCount()));
    for (size_t i = 0; i < points.size(); ++i) {
        const XSI::MATH::CVector3& p = m_points[static_cast<int>(i)];
        points[i] = {p.GetX(), p.GetY(), p.GetZ()};
    }
    return points;
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

int Mesh::AddMorphTarget(const std::wstring& name, std::vector<Vec3> deltas) {
    if (deltas.size() != static_cast<size_t>(m_points.GetCount())) {
        throw std::invalid_argument("a morph target needs one delta per point");
    }
    Morph m;
    m.name = name;
    m.deltas = std::move(deltas);
    m.weight.Set(0.0);
    m_morphs.push_back(std::move(m));
    m_activeMorphs.reserve(m_morphs.size());
    return GetMorphTargetCount() - 1;
}

void Mesh::SetSkin(std::vector<const Item*> joints, std::vector<Mat34> offsets,
                   const std::vector<std::vector<Influence>>& influences) {
    if (joints.empty() || offsets.size() != joints.size()) {
        throw std::invalid_argument("a skin needs joints and one offset matrix per joint");
    }
    for (const Item* j : joints) {
        if (j == nullptr) {
            throw std::invalid_argument("a skin joint is missing");
        }
    }
    if (influences.size() != static_cast<size_t>(m_points.GetCount())) {
        throw std::invalid_argument("a skin needs the influences of every point");
    }
    std::vector<int> start;
    std::vector<int> joint;
    std::vector<double> weight;
    start.reserve(influences.size() + 1);
    start.push_back(0);
    for (const auto& list : influences) {
        double sum = 0.0;
        for (const Influence& inf : list) {
            if (inf.joint < 0 || inf.joint >= static_cast<int>(joints.size())) {
                throw std::invalid_argument("skin influence joint index out of range");
            }
            if (!std::isfinite(inf.weight) || inf.weight < 0.0) {
                throw std::invalid_argument("skin influence weight must be finite and >= 0");
            }
            sum += inf.weight;
        }
        // Normalised weights; a point whose weights sum to 0 stays unskinned.
        if (sum > 0.0) {
            for (const Influence& inf : list) {
                if (inf.weight > 0.0) {
                    joint.push_back(inf.joint);
                    weight.push_back(inf.weight / sum);
                }
            }
        }
        start.push_back(static_cast<int>(joint.size()));
    }
    m_joints = std::move(joints);
    m_offsets = std::move(offsets);
    m_infStart = std::move(start);
    m_infJoint = std::move(joint);
    m_infWeight = std::move(weight);
    m_jointMats.assign(m_joints.size(), Mat34{});
}

void Mesh::AddDeformer(Deformer d) {
    if (!d) {
        throw std::invalid_argument("empty deformer");
    }
    m_deformers.push_back(std::move(d));
}

void Mesh::Evaluate(const Item& owner, double frame, XSI::MATH::CVector3* out) const {
    const size_t n = static_cast<size_t>(m_points.GetCount());
    const XSI::MATH::CVector3* rest = m_points.GetArray();
    if (!IsDeformed()) {
        for (size_t i = 0; i < n; ++i) {
            Construct(out + i, rest[i].GetX(), rest[i].GetY(), rest[i].GetZ());
        }
        return;
    }

    m_activeMorphs.clear();
    for (const Morph& m : m_morphs) {
        const double w = m.weight.Eval(frame);
        if (w != 0.0) {
            m_activeMorphs.push_back({m.deltas.data(), w});
        }
    }
    const ActiveMorph* morphs = m_activeMorphs.data();
    const size_t morphCount = m_activeMorphs.size();

    const bool skinned = HasSkin();
    if (skinned) {
        const Mat34 toMesh = Inverse(owner.EvalGlobalMatrix(frame));
        for (size_t j = 0; j < m_joints.size(); ++j) {
            m_jointMats[j] = Mul(toMesh, Mul(m_joints[j]->EvalGlobalMatrix(frame), m_offsets[j]));
        }
    }
    const Mat34* mats = m_jointMats.data();
    const int* infStart = m_infStart.data();
    const int* infJoint = m_infJoint.data();
    const double* infWeight = m_infWeight.data();
    const size_t deformerCount = m_deformers.size();

    for (size_t i = 0; i < n; ++i) {
        Vec3 p{rest[i].GetX(), rest[i].GetY(), rest[i].GetZ()};
        for (size_t k = 0; k < morphCount; ++k) {
            const Vec3& d = morphs[k].deltas[i];
            const double w = morphs[k].weight;
            p.x += w * d.x;
            p.y += w * d.y;
            p.z += w * d.z;
        }
        if (skinned) {
            const int b = infStart[i];
            const int e = infStart[i + 1];
            if (b < e) {
                double x = 0.0, y = 0.0, z = 0.0;
                for (int k = b; k < e; ++k) {
                    const double(&m)[3][4] = mats[infJoint[k]].m;
                    const double w = infWeight[k];
                    x += w * (m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3]);
                    y += w * (m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3]);
                    z += w * (m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]);
                }
                p = {x, y, z};
            }
        }
        for (size_t k = 0; k < deformerCount; ++k) {
            p = m_deformers[k](frame, p, static_cast<int>(i));
        }
        Construct(out + i, p.x, p.y, p.z);
    }
}

XSI::MATH::CVector3Array Mesh::EvaluateArray(const Item& owner, double frame) const {
    if (!IsDeformed()) {
        return m_points;
    }
    return XSI::MATH::CVector3Array::Build(
        m_points.GetCount(),
        [this, &owner, frame](XSI::MATH::CVector3* out) { Evaluate(owner, frame, out); });
}

} // namespace host

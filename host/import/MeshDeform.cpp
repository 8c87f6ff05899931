#include "host/import/MeshDeform.h"

#include <assimp/anim.h>
#include <assimp/mesh.h>

#include <cmath>

namespace host {

std::vector<Vec3> MorphDeltas(const std::vector<const aiMesh*>& meshes,
                              const ItemVertices& vertices, unsigned target, double scale) {
    std::vector<Vec3> deltas(vertices.points.size());
    for (size_t p = 0; p < deltas.size(); ++p) {
        const auto [mi, v] = vertices.source[p];
        if (mi < 0) {
            continue;
        }
        const aiMesh* m = meshes[mi];
        const aiAnimMesh* am =
            m->mAnimMeshes && target < m->mNumAnimMeshes ? m->mAnimMeshes[target] : nullptr;
        if (am && am->mVertices && am->mNumVertices == m->mNumVertices && m->mVertices) {
            const aiVector3D d = am->mVertices[v] - m->mVertices[v];
            deltas[p] = Vec3{d.x, d.y, d.z} * scale;
        }
    }
    return deltas;
}

std::vector<std::pair<double, double>> MorphWeightKeys(const aiMeshMorphAnim& channel,
                                                       unsigned target) {
    std::vector<std::pair<double, double>> keys;
    for (unsigned k = 0; channel.mKeys && k < channel.mNumKeys; ++k) {
        const aiMeshMorphKey& key = channel.mKeys[k];
        double w = 0.0;
        for (unsigned j = 0; key.mValues && key.mWeights && j < key.mNumValuesAndWeights; ++j) {
            if (key.mValues[j] == target && std::isfinite(key.mWeights[j])) {
                w = key.mWeights[j];
            }
        }
        keys.emplace_back(key.mTime, w);
    }
    return keys;
}

namespace {

// Per Assimp mesh, per vertex: the point whose weights it gives (the
// vertex is the point's source), or -1.
std::vector<std::vector<int>> SourcePoints(const ItemVertices& vertices) {
    std::vector<std::vector<int>> out(vertices.pointOf.size());
    for (size_t mi = 0; mi < out.size(); ++mi) {
        out[mi].assign(vertices.pointOf[mi].size(), -1);
    }
    for (size_t p = 0; p < vertices.source.size(); ++p) {
        const auto [mi, v] = vertices.source[p];
        if (mi >= 0 && static_cast<size_t>(mi) < out.size() && v < out[mi].size()) {
            out[mi][v] = static_cast<int>(p);
        }
    }
    return out;
}

// Calls use(point, weight) for each weight of a bone that lands on a point.
template <typename Use>
void ForEachWeight(const BoneUse& b, const std::vector<std::vector<int>>& sourcePoints, Use use) {
    const aiBone& bone = *b.bone;
    const std::vector<int>& pointOf = sourcePoints[b.mesh];
    for (unsigned w = 0; bone.mWeights && w < bone.mNumWeights; ++w) {
        const aiVertexWeight& vw = bone.mWeights[w];
        if (vw.mVertexId >= pointOf.size() || !std::isfinite(vw.mWeight) || !(vw.mWeight > 0.0f)) {
            continue;
        }
        if (const int p = pointOf[vw.mVertexId]; p >= 0) {
            use(static_cast<size_t>(p), vw.mWeight);
        }
    }
}

} // namespace

bool GatherSkinWeights(const std::vector<BoneUse>& bones, const ItemVertices& vertices,
                       SkinWeights* out) {
    // Counted first, then each weight into the next slot of its point.
    const size_t points = vertices.points.size();
    const std::vector<std::vector<int>> sourcePoints = SourcePoints(vertices);
    out->start.assign(points + 1, 0);
    for (const BoneUse& b : bones) {
        ForEachWeight(b, sourcePoints, [out](size_t p, float) { ++out->start[p + 1]; });
    }
    for (size_t p = 0; p < points; ++p) {
        out->start[p + 1] += out->start[p];
    }
    const size_t total = static_cast<size_t>(out->start[points]);
    out->joint.resize(total);
    out->weight.resize(total);
    std::vector<int> next(out->start.begin(), out->start.end() - 1);
    for (const BoneUse& b : bones) {
        ForEachWeight(b, sourcePoints, [out, &next, &b](size_t p, float w) {
            const size_t slot = static_cast<size_t>(next[p]++);
            out->joint[slot] = b.joint;
            out->weight[slot] = w;
        });
    }
    return total > 0;
}

} // namespace host

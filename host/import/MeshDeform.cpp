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

bool AddBoneWeights(const aiBone& bone, size_t mesh, int joint, const ItemVertices& vertices,
                    std::vector<std::vector<Influence>>* influences) {
    bool any = false;
    const std::vector<int>& pointOf = vertices.pointOf[mesh];
    for (unsigned w = 0; bone.mWeights && w < bone.mNumWeights; ++w) {
        const aiVertexWeight& vw = bone.mWeights[w];
        if (vw.mVertexId >= pointOf.size() || !std::isfinite(vw.mWeight) || !(vw.mWeight > 0.0f)) {
            continue;
        }
        // A point takes the weights of the corner it comes from.
        const int p = pointOf[vw.mVertexId];
        if (p >= 0 && vertices.source[p].first == static_cast<int>(mesh) &&
            vertices.source[p].second == vw.mVertexId) {
            (*influences)[p].push_back({joint, vw.mWeight});
            any = true;
        }
    }
    return any;
}

} // namespace host

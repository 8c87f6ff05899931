// The deformation data of a mesh item taken from Assimp's meshes: morph
// offsets, morph weight keys and skin weights, each point taking them from
// the Assimp vertex it comes from (ItemVertices::source).
#pragma once

#include "host/import/VertexMapping.h"
#include "host/scene/Mesh.h"

#include <utility>
#include <vector>

struct aiBone;
struct aiMeshMorphAnim;

namespace host {

// The offsets of morph target `target` per point, scaled by `scale`; zero
// for points of meshes without that target.
std::vector<Vec3> MorphDeltas(const std::vector<const aiMesh*>& meshes,
                              const ItemVertices& vertices, unsigned target, double scale);

// The (tick, weight) keys of a morph channel for one target; a key that
// leaves the target out weighs 0 there.
std::vector<std::pair<double, double>> MorphWeightKeys(const aiMeshMorphAnim& channel,
                                                       unsigned target);

// A bone of one of a node's Assimp meshes, and the skin joint it moves.
struct BoneUse {
    size_t mesh;
    const aiBone* bone;
    int joint;
};

// The weights of the bones on the points, point after point, each point's
// in the order of the bones (a point takes the weights of the corner it
// comes from). False when no bone weighs on any point.
bool GatherSkinWeights(const std::vector<BoneUse>& bones, const ItemVertices& vertices,
                       SkinWeights* out);

} // namespace host

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

// Adds the weights of a bone of Assimp mesh `mesh` to the points, as
// influences of joint `joint`. True when it added any.
bool AddBoneWeights(const aiBone& bone, size_t mesh, int joint, const ItemVertices& vertices,
                    std::vector<std::vector<Influence>>* influences);

} // namespace host

// The interpolation of glTF animation samplers, read from the file itself.
//
// Assimp 5.2 hands a glTF animation over as plain keys: a sampler's
// interpolation (LINEAR, STEP, CUBICSPLINE) is dropped, so a STEP channel
// would be evaluated as a linear one. This reader takes the glTF JSON (of a
// .gltf file, or the JSON chunk of a .glb file) and lists, per animation in
// file order (the order of Assimp's aiScene::mAnimations), which targets
// step: the node's name as Assimp names it (its "name", or "nodes[i]" when it
// has none) and the animated path.
#pragma once

#include <string>
#include <vector>

namespace host {

enum class GltfPath { Translation, Rotation, Scale, Weights };

struct GltfStepTarget {
    std::string node; // the node name as Assimp gives it
    GltfPath path;
};

struct GltfInterpolation {
    // One entry per glTF animation, in file order.
    std::vector<std::vector<GltfStepTarget>> stepTargets;
    // Per glTF animation: whether a sampler is CUBICSPLINE (Assimp keeps only
    // its values, without the tangents).
    std::vector<bool> cubicSpline;
};

// Reads the interpolation of every animation sampler of the glTF file at
// path. Returns false (and leaves out empty) when the file is no glTF 2.0
// file or cannot be parsed; that is never an error of the scene load, which
// Assimp reports on its own.
bool ReadGltfInterpolation(const std::string& path, GltfInterpolation* out);

// The same from the JSON text of a glTF asset.
bool ParseGltfInterpolation(const std::string& json, GltfInterpolation* out);

} // namespace host

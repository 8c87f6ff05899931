// A glTF asset's structure as the importer binds its items: nodes, skins,
// meshes' morph weights, animations and the accessors, buffer views and
// buffers they read, each by the file's own index.
//
// Assimp names nodes, skin joints and animation channels by node name, and
// two nodes may have one name (two copies of a rig: the same bone names); it
// also drops a sampler's interpolation and raises a negative morph weight
// of an animation to 0. The importer binds joints, channels, morph weights,
// cameras and lights by these indices instead, and reads the keys, weights
// and inverse bind matrices from the file (GltfData.h). ReadGltfFacts
// (GltfSteps.h) fills the layout as it checks the file; nothing here is
// checked beyond its type: indices are checked where they are used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

enum class GltfPath { Translation, Rotation, Scale, Weights };
enum class GltfInterp { Linear, Step, CubicSpline };

struct GltfNodeInfo {
    std::vector<int64_t> children;
    // Indices of what the node shows, -1 for none (light: its
    // KHR_lights_punctual light).
    int64_t mesh = -1;
    int64_t skin = -1;
    int64_t camera = -1;
    int64_t light = -1;
    // The node's morph weights, which take the place of its mesh's.
    bool hasWeights = false;
    std::vector<double> weights;
    // Its translation, rotation (x, y, z, w) and scale, where it gives them.
    bool hasTranslation = false;
    bool hasRotation = false;
    bool hasScale = false;
    float translation[3] = {0, 0, 0};
    float rotation[4] = {0, 0, 0, 1};
    float scale[3] = {1, 1, 1};
};

struct GltfSkinInfo {
    std::vector<int64_t> joints;      // node indices (-1: not an index)
    int64_t inverseBindMatrices = -1; // an accessor, or -1: identities
};

struct GltfSamplerInfo {
    int64_t input = -1; // accessors of the key times and the values
    int64_t output = -1;
    GltfInterp interp = GltfInterp::Linear;
};

struct GltfChannelInfo {
    int64_t sampler = -1;
    int64_t node = -1;
    GltfPath path = GltfPath::Translation;
};

struct GltfAnimationInfo {
    std::vector<GltfSamplerInfo> samplers;
    // The channels Assimp reads (a path it knows, a sampler that exists), in
    // file order.
    std::vector<GltfChannelInfo> channels;
};

struct GltfAccessorInfo {
    int64_t view = -1; // -1: no buffer view (zeros)
    int64_t offset = 0;
    int64_t count = 0;
    int64_t componentType = 0;
    int components = 0; // per element: 1 (SCALAR) to 16 (MAT4), 0 unknown
    bool sparse = false;
    int64_t sparseCount = 0;
    int64_t sparseIndexView = -1;
    int64_t sparseIndexOffset = 0;
    int64_t sparseIndexType = 0;
    int64_t sparseValueView = -1;
    int64_t sparseValueOffset = 0;
};

struct GltfViewInfo {
    int64_t buffer = -1;
    int64_t offset = 0;
    int64_t length = 0;
    int64_t stride = 0; // 0: elements packed
};

struct GltfBufferInfo {
    int64_t length = -1;
    std::string uri; // as the file gives it; empty for the binary chunk
    // A "data:" uri longer than the JSON reading keeps: its characters are
    // [uriBegin, uriEnd) of the JSON text.
    bool cut = false;
    size_t uriBegin = 0;
    size_t uriEnd = 0;
};

struct GltfLayout {
    // The nodes of the scene Assimp reads ("scene", else scene 0): the top
    // nodes of its hierarchy.
    bool haveScene = false;
    std::vector<int64_t> sceneNodes;
    std::vector<GltfNodeInfo> nodes;
    std::vector<GltfSkinInfo> skins;
    std::vector<std::vector<double>> meshWeights; // per mesh: its "weights"
    std::vector<GltfAnimationInfo> animations;    // in file order, as Assimp's
    std::vector<GltfAccessorInfo> accessors;
    std::vector<GltfViewInfo> views;
    std::vector<GltfBufferInfo> buffers;
};

} // namespace host

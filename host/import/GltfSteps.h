// What the importer reads from a glTF file itself, besides Assimp.
//
// The JSON (of a .gltf file, or the JSON chunk of a .glb file) is read into
// the asset's layout (GltfLayout.h): its nodes, skins, animations and the
// accessors they read, by the file's own indices, with each sampler's
// interpolation (LINEAR, STEP, CUBICSPLINE), which Assimp 5.2 drops.
//
// The same reading finds what Assimp must never be given, because it would
// read past a buffer or follow the file down the stack:
//   - JSON nested deeper than kMaxGltfNesting levels;
//   - a node hierarchy deeper than kMaxGltfNesting levels, a node that is the
//     child of two nodes or of itself, a child index that names no node;
//   - a sampler with fewer values than keys, or a cubic-spline sampler whose
//     value count is not three times its key count (a multiple of it for
//     morph weights); key times that are no SCALAR floats, values that are
//     no VEC3 (translation, scale), VEC4 (rotation) or SCALAR (weights)
//     floats, which Assimp copies into elements of that size unmeasured;
//   - a skin's inverse bind matrices that are no MAT4 floats or fewer than
//     its joints, and the joints and weights of a mesh a skinned node shows
//     that are not VEC4 of unsigned bytes or shorts and of floats: Assimp
//     copies them into arrays of 16 floats, four indices and four floats
//     without looking, past the matrices or into elements left unset.
//
// Strings longer than a few kilobytes (the base64 buffers of a .gltf file,
// megabytes long) are skipped by a scan for their closing quote before the
// JSON is parsed, so the reading costs next to nothing beside Assimp's.
#pragma once

#include "host/import/GltfLayout.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// The deepest nesting of JSON values, and of nodes, that a glTF file may have.
constexpr int kMaxGltfNesting = 1000;

// A buffer that the JSON holds as a long base64 "data:" uri (longer than the
// strings the reading keeps).
struct GltfEmbeddedBuffer {
    size_t index = 0;        // in "buffers"
    size_t uriBegin = 0;     // the uri's characters in the JSON text, between
    size_t uriEnd = 0;       // its quotes
    int64_t byteLength = -1; // the buffer's "byteLength", -1 when it has none
};

// A skin without inverse bind matrices (they are then identities): Assimp
// 5.2 reads a skinned mesh's matrices without looking whether there are any.
struct GltfBareSkin {
    size_t index = 0;  // in "skins"
    size_t joints = 0; // the length of its "joints"
};

struct GltfFacts {
    GltfLayout layout;
    // The uri of every buffer that is no "data:" uri, as the file gives it.
    std::vector<std::string> bufferFiles;
    std::vector<GltfEmbeddedBuffer> embeddedBuffers;
    std::vector<GltfBareSkin> bareSkins;
    // Why the file must not be loaded, one line; empty when nothing is wrong.
    std::string problem;
};

// Reads the JSON text of a glTF asset. Returns false, with out->problem
// saying why, when the text is no JSON object or shows one of the faults
// above.
bool ReadGltfFacts(const char* json, size_t size, GltfFacts* out);

// The JSON chunk of a binary glTF file (data starts with "glTF"): false when
// the header or the chunk is malformed.
bool GltfJsonChunk(std::string_view data, const char** json, size_t* size);

} // namespace host

// The long base64 buffers of a .gltf file, decoded before Assimp reads it.
//
// A .gltf file may hold its buffers in the JSON as base64 "data:" uris,
// megabytes long. Assimp 5.2 decodes them a byte at a time after parsing
// them as JSON strings; the importer instead decodes each well-formed one
// at once and hands Assimp the JSON with that uri replaced by the name of a
// file it reads from memory (ServedFiles in SceneFileChecks.h). Assimp then
// reads the same bytes it would have decoded itself.
//
// Only what every base64 reader reads alike is taken out: a uri of the
// media type "application/octet-stream" or "application/gltf-buffer",
// base64 alphabet only, its length a multiple of 4, '=' padding at the end
// alone, decoding to exactly the buffer's byteLength. Any other uri stays
// in the JSON for Assimp, with its own checks and messages.
#pragma once

#include "host/import/GltfSteps.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct DecodedBuffer {
    std::string name; // the file name the uri is replaced by
    std::unique_ptr<unsigned char[]> bytes;
    size_t size = 0;
};

struct UnpackedGltf {
    std::string json; // the JSON text with the uris replaced
    std::vector<DecodedBuffer> buffers;
};

// The bytes of a base64 text: false when it is no well-formed base64 as
// above (out then holds nothing).
bool DecodeBase64(std::string_view text, DecodedBuffer* out);

// Decodes the buffers of `json` (the text of a .gltf file, as ReadGltfFacts
// read it) that can be taken out. False when none can, or when a buffer file
// of the asset (bufferFiles) could be taken for one of the names given to
// them: Assimp then reads the file as it is.
bool UnpackEmbeddedBuffers(std::string_view json, const std::vector<GltfEmbeddedBuffer>& embedded,
                           const std::vector<std::string>& bufferFiles, UnpackedGltf* out);

} // namespace host

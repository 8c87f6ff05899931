// The reader of what the importer takes from glTF JSON itself (sampler
// interpolation, node hierarchy, value counts, long base64 buffers), on any
// bytes, and the decoding of the buffers it finds.
#include "host/import/GltfEmbedded.h"
#include "host/import/GltfSteps.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    host::GltfFacts facts;
    const char* json = reinterpret_cast<const char*>(data);
    if (host::ReadGltfFacts(json, size, &facts)) {
        host::UnpackedGltf unpacked;
        host::UnpackEmbeddedBuffers(std::string_view(json, size), facts.embeddedBuffers,
                                    facts.bufferFiles, &unpacked);
    }
    host::DecodedBuffer decoded;
    host::DecodeBase64(std::string_view(json, size), &decoded);
    return 0;
}

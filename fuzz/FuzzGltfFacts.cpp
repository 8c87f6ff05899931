// The reader of what the importer takes from glTF JSON itself (sampler
// interpolation, node hierarchy, value counts), on any bytes.
#include "host/import/GltfSteps.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    host::GltfFacts facts;
    host::ReadGltfFacts(reinterpret_cast<const char*>(data), size, &facts);
    return 0;
}

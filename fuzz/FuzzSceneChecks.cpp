// The checks a scene file passes before the importer reads it, on any bytes.
#include "host/import/AssimpScene.h"
#include "host/import/SceneFileChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        host::CheckSceneBytes(bytes, nullptr);
    } catch (const host::SceneLoadError&) {
    }
    host::XmlNestingDepth(bytes.data(), bytes.size());
    return 0;
}

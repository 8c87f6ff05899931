// The project's own Collada readers (meshes, curves, skins, lenses and
// lights) on any bytes that pass the checks before a load, as a load reads
// them before Assimp does.
#include "host/import/AssimpScene.h"
#include "host/import/FileFacts.h"
#include "host/import/SceneFileChecks.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        const host::CheckedSceneFile checked = host::CheckSceneBytes(bytes, nullptr, "dae");
        if (checked.collada) {
            host::ReadFileFacts(bytes, "Collada");
        }
    } catch (const host::SceneLoadError&) {
    } catch (const host::FileMeshError&) {
    }
    return 0;
}

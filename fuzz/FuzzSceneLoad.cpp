// A whole scene load from memory: the pre-load checks, Assimp, the checks of
// the imported scene, the host scene built from it, and its evaluation at
// the first and last frame. No file beside the input is ever opened.
#include "host/app/HostApp.h"
#include "host/import/AssimpScene.h"
#include "host/import/GltfBindMatrices.h"
#include "host/import/LargeStack.h"
#include "host/import/SceneFileChecks.h"
#include "host/import/SceneValidation.h"
#include "host/scene/Scene.h"

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/commonMetaData.h>
#include <assimp/config.h>
#include <assimp/scene.h>

#include <cstring>

namespace {

// Reads no file: Assimp's memory reader opens the input through its own
// stream and everything else through this.
class NoFiles : public Assimp::IOSystem {
  public:
    bool Exists(const char*) const override { return false; }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char*, const char*) override { return nullptr; }
    void Close(Assimp::IOStream* stream) override { delete stream; }
};

void Evaluate(const host::Scene& scene) {
    for (double frame : {scene.GetStartFrame(), scene.GetEndFrame()}) {
        for (int i = 0; i < scene.ItemCount(); ++i) {
            const host::Item* item = scene.GetItem(i);
            item->Translation().Eval(frame);
            item->Rotation().Eval(frame);
            item->Scaling().Eval(frame);
            if (const host::Mesh* mesh = item->GetMesh()) {
                mesh->EvaluateArray(*item, frame);
            }
        }
    }
}

// The load as xsihost makes it, from memory.
void LoadAndEvaluate(const std::string& bytes) {
    const host::CheckedSceneFile checked = host::CheckSceneBytes(bytes, nullptr);
    Assimp::Importer importer;
    host::DropUnsafeReaders(&importer);
    importer.SetIOHandler(new NoFiles);
    importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    std::string withMatrices;
    std::string problem;
    if (!checked.bareSkins.empty() &&
        !host::GiveIdentityBindMatrices(bytes, checked.bareSkins, &withMatrices, &problem)) {
        return;
    }
    const std::string& read = checked.bareSkins.empty() ? bytes : withMatrices;
    const aiScene* scene = importer.ReadFileFromMemory(read.data(), read.size(), 0);
    if (!scene) {
        return;
    }
    bool isGltf = false;
    aiString format;
    if (scene->mMetaData && scene->mMetaData->Get(AI_METADATA_SOURCE_FORMAT, format)) {
        isGltf = std::strncmp(format.C_Str(), "glTF2", 5) == 0;
    }
    host::ValidateImportedScene(*scene);
    const std::unique_ptr<host::Scene> built =
        host::BuildAssimpScene(*scene, {}, isGltf, checked.gltf ? &checked.interpolation : nullptr);
    Evaluate(*built);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static const bool quiet = [] {
        host::HostApp::Get().SetEchoLog(false);
        return true;
    }();
    static_cast<void>(quiet);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        host::RunOnLargeStack([&] { LoadAndEvaluate(bytes); });
    } catch (const host::SceneLoadError&) {
    } catch (const std::exception&) {
        // Assimp's own refusals
    }
    return 0;
}

// A whole scene load from memory: the pre-load checks, Assimp (or, for an
// FBX file, the project's own reader), the checks of the imported scene, the
// host scene built from it, and its evaluation at the first and last frame.
// No file beside the input is ever opened.
#include "host/app/HostApp.h"
#include "host/import/AssimpScene.h"
#include "host/import/GltfBindMatrices.h"
#include "host/import/GltfData.h"
#include "host/import/LargeStack.h"
#include "host/import/SceneFileChecks.h"
#include "host/import/SceneValidation.h"
#include "host/import/fbx/FbxSceneBuilder.h"
#include "host/scene/Scene.h"

#include <assimp/BaseImporter.h>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/commonMetaData.h>
#include <assimp/config.h>
#include <assimp/scene.h>

#include <cstdlib>
#include <cstring>
#include <string>

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
            item->EvalGlobalMatrix(frame);
            if (const host::Mesh* mesh = item->GetMesh()) {
                mesh->EvaluateArray(*item, frame);
            }
        }
    }
}

// File name extensions, by which Assimp picks a reader before it looks at
// the bytes. With ZK_FUZZ_EXTENSIONS set in the environment, each input is
// read as a file named with one of them (chosen by its size); otherwise
// with none, as the test command runs it.
const char* const kExtensions[] = {
    "",    "fbx",     "dae",  "x",   "obj", "gltf", "glb", "ply", "stl", "3ds", "ase",   "lwo",
    "lws", "md5mesh", "ms3d", "off", "smd", "bvh",  "ac",  "irr", "b3d", "q3o", "xgl",   "cob",
    "nff", "ter",     "hmp",  "mdl", "md2", "md3",  "mdc", "csm", "ndo", "ifc", "blend", "3d",
    "x3d", "amf",     "iqm",  "m3d", "sib", "dxf",  "bsp", "raw", "3mf"};

std::string ExtensionFor(const std::string& bytes) {
    static const bool any = std::getenv("ZK_FUZZ_EXTENSIONS") != nullptr;
    return any ? kExtensions[bytes.size() % (sizeof kExtensions / sizeof *kExtensions)] : "";
}

// The load as xsihost makes it, from memory.
void LoadAndEvaluate(const std::string& bytes) {
    const std::string extension = ExtensionFor(bytes);
    // FBX files go to the project's own reader, never to Assimp.
    if (extension == "fbx" || host::LooksLikeFbx(bytes)) {
        Evaluate(*host::BuildFbxScene(bytes, "", {}, nullptr, nullptr));
        return;
    }
    const host::CheckedSceneFile checked = host::CheckSceneBytes(bytes, nullptr, extension);
    Assimp::Importer importer;
    host::DropUnsafeReaders(&importer);
    // Quick3D's reader sizes its arrays by the counts a file gives, so a
    // hostile count asks for terabytes: xsihost's allocator refuses that and
    // the load ends with one message, but the sanitizer stops the run.
    if (Assimp::BaseImporter* quick3d = importer.GetImporter("q3o")) {
        if (importer.UnregisterLoader(quick3d) == aiReturn_SUCCESS) {
            delete quick3d;
        }
    }
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
    const aiScene* scene =
        importer.ReadFileFromMemory(read.data(), read.size(), 0, extension.c_str());
    if (!scene) {
        return;
    }
    bool isGltf = false;
    aiString format;
    if (scene->mMetaData && scene->mMetaData->Get(AI_METADATA_SOURCE_FORMAT, format)) {
        isGltf = std::strncmp(format.C_Str(), "glTF2", 5) == 0;
    }
    host::ValidateImportedScene(*scene);
    const host::GltfData gltf(checked.gltfLayout, bytes, checked.gltfJson, nullptr);
    const std::unique_ptr<host::Scene> built =
        host::BuildAssimpScene(*scene, {}, isGltf, isGltf && checked.gltf ? &gltf : nullptr);
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

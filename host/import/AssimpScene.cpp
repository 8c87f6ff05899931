#include "host/import/AssimpScene.h"

#include "host/app/HostApp.h"
#include "host/import/ColladaTimeline.h"
#include "host/import/FileFacts.h"
#include "host/import/GltfData.h"
#include "host/import/GltfBindMatrices.h"
#include "host/import/GltfEmbedded.h"
#include "host/import/GltfSteps.h"
#include "host/import/ImportNames.h"
#include "host/import/LargeStack.h"
#include "host/import/SceneFileChecks.h"
#include "host/import/SceneValidation.h"
#include "host/scene/Scene.h"

#include <assimp/Importer.hpp>
#include <assimp/commonMetaData.h>
#include <assimp/config.h>
#include <assimp/scene.h>

#include <cstring>

namespace host {

namespace {

std::unique_ptr<Scene> LoadOnThisStack(const std::string& path, const AssimpLoadOptions& options,
                                       SceneFileInfo* info) {
    CheckedSceneFile checked;
    try {
        checked = CheckSceneFile(path);
    } catch (const SceneLoadError& e) {
        throw SceneLoadError(path + ": " + e.what());
    }
    UnpackedGltf unpacked; // read by the importer below
    std::string withMatrices;
    Assimp::Importer importer;
    DropUnsafeReaders(&importer);
    ServedFiles* files = NewRegularFileSystem();
    importer.SetIOHandler(files->AsIOSystem());
    // Assimp reads the bytes that were checked, and a .gltf file's long
    // base64 buffers decoded already (GltfEmbedded.h), or the file with its
    // bare skins given matrices (GltfBindMatrices.h).
    const std::string_view bytes(checked.bytes.get(), checked.size);
    files->Serve(path, bytes);
    if (!checked.bareSkins.empty()) {
        std::string problem;
        if (!GiveIdentityBindMatrices(bytes, checked.bareSkins, &withMatrices, &problem)) {
            throw SceneLoadError(path + ": glTF: " + problem);
        }
        files->Serve(path, withMatrices);
    } else if (UnpackEmbeddedBuffers(bytes, checked.embeddedBuffers, checked.bufferFiles,
                                     &unpacked)) {
        files->Serve(path, unpacked.json);
        const std::string folder = path.substr(0, path.find_last_of("/\\") + 1);
        for (const DecodedBuffer& b : unpacked.buffers) {
            files->Serve(folder + b.name,
                         std::string_view(reinterpret_cast<const char*>(b.bytes.get()), b.size));
        }
    }
    // No made-up skeleton meshes for files without geometry, and FBX pivots
    // folded into their node instead of extra helper nodes.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    const aiScene* scene = nullptr;
    try {
        // No post-processing: vertices, meshes and materials stay as the file
        // has them.
        scene = importer.ReadFile(path, 0);
    } catch (const std::exception& e) {
        throw SceneLoadError(path + ": cannot read the scene: " + OneLine(e.what()));
    }
    if (!scene) {
        throw SceneLoadError(path +
                             ": cannot read the scene: " + OneLine(importer.GetErrorString()));
    }
    // A Collada file without animation clips plays all its animations at
    // once (see ColladaTimeline.h): they become the scene's one animation.
    std::unique_ptr<aiScene> owned;
    if (scene->mNumAnimations > 1 && IsColladaTimelineFile(path)) {
        owned.reset(importer.GetOrphanedScene());
        JoinAnimations(owned.get());
        scene = owned.get();
    }
    bool isGltf = false;
    aiString format;
    if (scene->mMetaData && scene->mMetaData->Get(AI_METADATA_SOURCE_FORMAT, format)) {
        isGltf = std::strncmp(format.C_Str(), "glTF2", 5) == 0;
    }
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    const GltfData gltf(checked.gltfLayout, bytes, checked.gltfJson, &folder);
    try {
        ValidateImportedScene(*scene);
        const FileFacts file = ReadFileFacts(bytes, format.C_Str());
        return BuildAssimpScene(*scene, options, isGltf, isGltf && checked.gltf ? &gltf : nullptr,
                                &file, info);
    } catch (const FileMeshError& e) {
        throw SceneLoadError(path + ": " + e.what());
    } catch (const SceneLoadError& e) {
        throw SceneLoadError(path + ": " + e.what());
    }
}

} // namespace

std::unique_ptr<Scene> LoadAssimpScene(const std::string& path, const AssimpLoadOptions& options,
                                       SceneFileInfo* info) {
    // Assimp, the checks of its scene and the building of the host's walk
    // the node hierarchy down the stack, and the importer's scene is freed
    // the same way: all of it on the large stack.
    std::unique_ptr<Scene> scene;
    RunOnLargeStack([&] { scene = LoadOnThisStack(path, options, info); });
    return scene;
}

void LoadSceneFile(const std::string& path, const AssimpLoadOptions& options) {
    AssimpLoadOptions load = options;
    load.defaultFrameRate = HostApp::Get().GetFrameRate();
    SceneFileInfo info;
    std::unique_ptr<Scene> scene = LoadAssimpScene(path, load, &info);
    HostApp::Get().SetFrameRate(info.frameRate);
    HostApp::Get().SetScene(std::move(scene));
}

} // namespace host

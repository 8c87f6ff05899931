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
#include "host/import/fbx/FbxSceneBuilder.h"
#include "host/scene/Scene.h"

#include <assimp/Importer.hpp>
#include <assimp/commonMetaData.h>
#include <assimp/config.h>
#include <assimp/scene.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

// The file's bytes when it is an FBX file (by its name's extension, or by
// what it holds), read by the project's own FBX reader; false for any other
// file. Throws SceneLoadError for a file that cannot be read.
bool ReadIfFbx(const std::string& path, std::string* bytes) {
    // Opened without waiting (a FIFO would wait for a writer), then refused
    // unless it is a regular file.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw SceneLoadError(path + ": cannot open the file: " + std::strerror(errno));
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        throw SceneLoadError(path + ": not a regular file");
    }
    const size_t dot = path.rfind('.');
    std::string extension = dot == std::string::npos || path.find('/', dot) != std::string::npos
                                ? std::string()
                                : path.substr(dot + 1);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const size_t size = static_cast<size_t>(st.st_size);
    bytes->resize(size);
    size_t got = 0;
    bool decided = extension == "fbx";
    while (got < size) {
        // The head first: most files are no FBX and are read again by the
        // checks of the other formats.
        const size_t want = decided ? size - got : std::min<size_t>(size - got, 4096 - got);
        const ssize_t n = read(fd, bytes->data() + got, want);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
        if (!decided && (got >= 4096 || got == size)) {
            if (!LooksLikeFbx(std::string_view(bytes->data(), got))) {
                close(fd);
                bytes->clear();
                return false;
            }
            decided = true;
        }
    }
    close(fd);
    bytes->resize(got);
    return decided || LooksLikeFbx(*bytes);
}

std::unique_ptr<Scene> LoadFbx(const std::string& path, std::string bytes,
                               const AssimpLoadOptions& options, SceneFileInfo* info) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    FbxWarnings warnings([](const std::string& line) {
        HostApp::Get().Log(Widen(line).c_str(), XSI::siWarningMsg);
    });
    std::unique_ptr<Scene> scene;
    try {
        scene = BuildFbxScene(std::move(bytes), folder, options, info, &warnings);
    } catch (const SceneLoadError& e) {
        throw SceneLoadError(path + ": " + e.what());
    }
    warnings.Flush();
    return scene;
}

std::unique_ptr<Scene> LoadOnThisStack(const std::string& path, const AssimpLoadOptions& options,
                                       SceneFileInfo* info) {
    std::string fbx;
    if (ReadIfFbx(path, &fbx)) {
        return LoadFbx(path, std::move(fbx), options, info);
    }
    CheckedSceneFile checked;
    try {
        checked = CheckSceneFile(path);
    } catch (const SceneLoadError& e) {
        throw SceneLoadError(path + ": " + e.what());
    }
    // A Collada file's own data is read before Assimp's: its readers refuse
    // the offsets, counts and strides that Assimp would read past its arrays
    // with, naming them.
    std::unique_ptr<FileFacts> collada;
    if (checked.collada) {
        try {
            collada = std::make_unique<FileFacts>(
                ReadFileFacts(std::string_view(checked.bytes.get(), checked.size), "Collada"));
        } catch (const FileMeshError& e) {
            throw SceneLoadError(path + ": " + e.what());
        }
    }
    UnpackedGltf unpacked; // read by the importer below
    std::string withMatrices;
    Assimp::Importer importer;
    DropUnsafeReaders(&importer);
    if (!options.anyReader) {
        KeepDefaultReaders(&importer);
    }
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
        const std::string error = importer.GetErrorString();
        if (!options.anyReader && error.rfind("No suitable reader found", 0) == 0) {
            throw SceneLoadError(path + ": cannot read the scene: it is no " + kDefaultFormats +
                                 " file; Assimp's other readers read it only with --any-reader");
        }
        throw SceneLoadError(path + ": cannot read the scene: " + OneLine(error));
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
        // The file's own numbers first: an impossible one (a Collada unit)
        // is named as the file gives it, not by what it made of the scene.
        const bool readAsCollada = std::strncmp(format.C_Str(), "Collada", 7) == 0;
        const FileFacts file =
            collada && readAsCollada ? std::move(*collada) : ReadFileFacts(bytes, format.C_Str());
        ValidateImportedScene(*scene);
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

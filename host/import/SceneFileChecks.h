// Checks a scene file passes before Assimp sees it, so that no file can hang
// or crash the host while it is read:
//   - only regular files are read (a FIFO or a device would block or never
//     end), the scene file itself and every file Assimp opens for it (glTF
//     buffers, OBJ materials, ...);
//   - XML (Collada and the other XML formats), JSON (glTF) and any other
//     text whose braces (DirectX, ASE, ...) are nested deeper than
//     kMaxSceneNesting levels is refused: Assimp reads each level one call
//     deeper on the stack; Collada nodes that instance themselves, or whose
//     instances make a tree deeper than that or of more than
//     kMaxColladaNodes nodes, likewise (FBX files never reach Assimp: the
//     project reads them itself, fbx/FbxSceneBuilder.h);
//   - zip archives (zipped Collada, 3MF, ...) are not read: Assimp would
//     read the scene inside unchecked;
//   - a DirectX .x file is read in its text form only, its names no longer
//     than kMaxDirectXToken and its braces nested no deeper than
//     kMaxSceneNesting (Assimp copies a name without measuring it);
//   - a glTF file passes the checks of ReadGltfFacts (node hierarchy,
//     sampler value counts and types, skin data); its layout is kept for the
//     load, and its skins without inverse bind matrices are listed.
// Each refusal is a SceneLoadError with a one-line message that does not
// name the file (the caller does).
#pragma once

#include "host/import/GltfSteps.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Assimp {
class Importer;
class IOSystem;
} // namespace Assimp

namespace host {

constexpr int kMaxSceneNesting = kMaxGltfNesting;

// The longest name a DirectX text file may hold (the room of a node name).
constexpr size_t kMaxDirectXToken = 1023;

struct CheckedSceneFile {
    bool gltf = false;    // JSON or binary glTF whose JSON was read
    bool collada = false; // XML that Assimp reads as Collada
    GltfLayout gltfLayout;
    size_t gltfJson = 0; // where the JSON text starts in the bytes
    // The long base64 buffers of a glTF JSON text file (offsets into bytes).
    std::vector<GltfEmbeddedBuffer> embeddedBuffers;
    std::vector<std::string> bufferFiles; // its buffers' file uris
    // Skins without inverse bind matrices (GltfBindMatrices.h).
    std::vector<GltfBareSkin> bareSkins;
    // The bytes checked (CheckSceneFile only): Assimp is given these, so
    // that it reads what was checked, and the file is read once.
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
};

// Reads the file at path, if it is a regular file, and checks its bytes.
CheckedSceneFile CheckSceneFile(const std::string& path);

// Checks the bytes of a scene file. folder: where the file's external files
// lie, with a trailing '/' ("" for the current folder); nullptr when there
// are none to look at (a scene read from memory). extension: the file
// name's, without the dot; Assimp picks a reader by it first.
CheckedSceneFile CheckSceneBytes(std::string_view bytes, const std::string* folder,
                                 std::string_view extension = {});

// The <node> elements of a Collada file, in file order: the node each lies
// in (SIZE_MAX for none), its id, and the nodes it instances
// (<instance_node url="#id">).
struct ColladaNodes {
    std::vector<size_t> parent;
    std::vector<std::string> id;
    std::vector<std::string> name;
    std::vector<std::pair<size_t, std::string>> instances;
    // The first index list (<p>, <vcount>, <v>, <h>) whose text holds a word
    // that is no index, as "<p> holds \"x\""; empty for none. Assimp reads
    // such a list for ever.
    std::string badIndices;
};

// The tree Assimp makes of Collada nodes, each instance a copy of the node's
// tree: its node count (counting each way down to a node), its depth, and
// whether a node instances itself or a node above it.
struct ColladaTree {
    uint64_t nodes = 0;
    int depth = 0;
    bool loops = false;
};
ColladaTree MeasureColladaTree(const ColladaNodes& nodes);

// The most nodes a Collada file's instances may make.
constexpr uint64_t kMaxColladaNodes = 100000;

// The deepest element nesting of XML text; comments, strings and markup
// other than elements do not count. nodes, when given, receives what
// Collada XML says of its hierarchy.
int XmlNestingDepth(const char* text, size_t size, ColladaNodes* nodes = nullptr);
// The deepest nesting of braces outside double-quoted strings in any text.
int BraceNestingDepth(const char* text, size_t size);
// Takes out of `importer` the Assimp readers that read past their buffers or
// never end on damaged files, whatever the checks above find: OpenGEX
// (.ogex), whose parser reads past the end of a file cut short, and SMD
// (.smd, .vta), which reads a section that misses its "end" line for ever;
// and its FBX reader, whose files the project reads itself. Such a file is
// then refused as one no reader takes.
void DropUnsafeReaders(Assimp::Importer* importer);

// Takes out of `importer` every reader but those of the formats read by
// default, the ones the project tests with real files: glTF (.gltf, .glb),
// FBX, Collada (.dae) and Wavefront OBJ. The others read only when asked.
void KeepDefaultReaders(Assimp::Importer* importer);
// The formats KeepDefaultReaders keeps, for messages.
constexpr const char* kDefaultFormats = "glTF, FBX, Collada or OBJ";

// A file system for Assimp that opens regular files only, and serves some
// paths from memory instead of the disk.
class ServedFiles {
  public:
    virtual ~ServedFiles() = default;
    // Opening `path` (exactly as Assimp names it) reads `bytes`, which must
    // outlive the file system's use.
    virtual void Serve(const std::string& path, std::string_view bytes) = 0;
    virtual Assimp::IOSystem* AsIOSystem() = 0;
};

// A new such file system, for Assimp::Importer::SetIOHandler, which owns it.
ServedFiles* NewRegularFileSystem();

} // namespace host

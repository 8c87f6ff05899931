// Scene files read through Assimp (glTF 2.0, Collada, OBJ and every other
// format Assimp reads), turned into a host scene. FBX files never reach
// Assimp: LoadAssimpScene hands them to the project's own reader
// (fbx/FbxSceneBuilder.h), which this description does not cover.
//
// Items. Every node of the file becomes one item, parent before children:
//   - a node holding meshes becomes a polygon mesh whose points are the
//     file's own vertices, in file order, never merged or reordered (two
//     vertices at one position stay two points), and whose polygons (faces
//     of at least three corners) index them in the file's order and winding:
//     OBJ: the "v" entries the node's faces use; FBX: the geometry's control
//     points; Collada: the positions behind its <vertices>; glTF and other
//     formats: the vertices of its meshes, mesh after mesh. A mesh Assimp
//     splits by material is still one item. Assimp hands OBJ, FBX and
//     Collada over one vertex per polygon corner: the corners are mapped back
//     onto the file's vertices (VertexMapping.h), and a node whose corners do
//     not map is refused, naming the mesh;
//   - else a node named by a camera becomes a camera, a node named by a light
//     a light (a camera or light binds to the first node of its name);
//   - every other node is a null.
//   Assimp's root node is an item only when it holds meshes, a camera or a
//   light, or when it is a skinning joint; its transform applies to the items
//   below it either way. The skeleton mesh that Assimp makes up for files
//   without geometry is no mesh of the file and is left out.
//
// Names. Characters other than ASCII letters, digits and '_' become '_' (one
// per character); a node without a name is named after its kind ("mesh",
// "camera", "light", "null"). A name already used gets the smallest number
// appended that makes it unique in the scene ("Box", "Box1", ...), so every
// short name selects one item. A full name longer than 16384 characters
// refuses the file.
//
// Units. A file that names its unit (FBX UnitScaleFactor, Collada <unit
// meter>) is built in metres: points, translations, morph offsets, bind
// matrices and camera and light positions are scaled, rotations and scalings
// kept. With keepUnits the file's own numbers stay.
//
// Frame rate. The rate of the load options, else the file's own (FBX time
// mode and custom frame rate), else the options' default rate (30 unless
// set). Frame f is the file's time
// f / fps (an FBX animation that starts later keeps its place in the file's
// time, and the scene's frame range starts there).
//
// Animation. One animation of the file plays (the first unless chosen); a
// Collada file without animation clips has one animation holding all its
// channels (ColladaTimeline.h), however Assimp divides it. At
// frame f the file is evaluated at f / fps seconds, fps being the rate the
// scene was built for: t = f / fps * ticks per second (Assimp's
// mTicksPerSecond; 25 when the file leaves it 0). Positions and scalings
// blend linearly, rotations spherical-linearly on the short arc; glTF STEP
// samplers hold each key (read from the glTF file itself, since Assimp 5.2
// drops the interpolation). Before the first and after the last key a channel
// follows its pre and post state: constant and Assimp's "default" hold the
// end key, linear extrapolates the end segment, repeat loops the key range.
// Nodes without a channel keep their file transform.
//
// Deformation. Morph targets (relative: p = rest + sum w (target - rest);
// a point takes the offset of its first corner) with weights from the
// animation's morph channel of the node (FBX: of the node or its mesh, with
// "*" and a number; default: the file's weights), then linear-blend skinning with the bones' offset
// matrices and the joints' transforms at the frame; points come out in the
// mesh node's local space.
//
// Cameras. "fov" in degrees and "fovtype": for glTF, whose importer reports
// yfov x aspect as the horizontal angle, the file's vertical angle with
// fovtype 0; for other formats the horizontal angle with fovtype 1. "aspect"
// from the file when it gives one. A camera or light whose file frame differs
// from the host's (looking along -Z, up +Y) gets that frame folded into its
// transform, and its children are kept where the file puts them.
//
// Lights. Directional, point and spot lights get "Type" 0, 1 and 2 (other
// kinds: 1). Assimp hands the colour multiplied by the intensity: the shader's
// "intensity" is the largest colour component and its "color" the colour
// divided by it (alpha 1); a black light gets intensity 0, colour black.
//
// Metadata. A node's metadata (glTF extras, FBX user properties) whose key
// is the name of one of the item's parameters ("fovtype", "projplaneheight",
// "pposx", "Type", ...) or of a light's shader parameter ("intensity",
// "color") sets that parameter to the value given, after everything above.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

struct aiScene;

namespace host {

class Scene;
struct GltfInterpolation;

// A scene file that cannot be read, holds no scene, or names no such
// animation. The message is one line.
class SceneLoadError : public std::runtime_error {
  public:
    explicit SceneLoadError(const std::string& message) : std::runtime_error(message) {}
};

struct AssimpLoadOptions {
    // The animation to play: its name, else its index; empty for the first.
    std::string animation;
    // Keep the file's own numbers instead of metres.
    bool keepUnits = false;
    // The frame rate to play the file at; 0: the file's own, else
    // defaultFrameRate.
    double frameRate = 0.0;
    double defaultFrameRate = 30.0;
};

// What the file declared and what the scene was built with.
struct SceneFileInfo {
    double metresPerUnit = 0.0; // the file's unit; 0 when it names none
    double fileFrameRate = 0.0; // the file's frame rate; 0 when it names none
    double frameRate = 0.0;     // the rate the scene was built for
};

// Reads the file at path: an FBX file (by its extension or its bytes) with
// BuildFbxScene (fbx/FbxSceneBuilder.h); any other file's bytes pass
// CheckSceneFile (SceneFileChecks.h) before Assimp reads them, and the scene
// Assimp makes passes
// ValidateImportedScene (SceneValidation.h). Throws SceneLoadError. info, when given, receives
// what the file declared; the scene's frame range and animation are meant
// for info->frameRate, which the caller makes the host's frame rate.
std::unique_ptr<Scene> LoadAssimpScene(const std::string& path,
                                       const AssimpLoadOptions& options = {},
                                       SceneFileInfo* info = nullptr);

struct FileFacts;

// Builds a host scene from a scene Assimp has read. isGltf: the scene comes
// from a glTF file (camera angles, see above); steps: the STEP samplers of a
// glTF file, or nullptr; file: what was read from the file itself, or
// nullptr. Throws SceneLoadError.
std::unique_ptr<Scene> BuildAssimpScene(const aiScene& scene, const AssimpLoadOptions& options,
                                        bool isGltf, const GltfInterpolation* steps,
                                        const FileFacts* file = nullptr,
                                        SceneFileInfo* info = nullptr);

// Loads a scene file into the running host: reads it (LoadAssimpScene) with
// the host's frame rate as the default rate, makes it the host's scene and
// the frame rate it was built for the host's.
// Throws SceneLoadError, leaving the host's scene unchanged.
void LoadSceneFile(const std::string& path, const AssimpLoadOptions& options = {});

} // namespace host

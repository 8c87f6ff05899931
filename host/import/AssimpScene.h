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
//     OBJ: every "v" entry of the node's object, used or not (loose
//     vertices and those of lines alone too; see ObjFile in FileMeshes.h),
//     and an object of vertices alone is a mesh without polygons; FBX: the
//     geometry's control points; Collada: the positions behind its
//     <vertices>; glTF and other formats: the vertices of its meshes, mesh
//     after mesh. A mesh Assimp
//     splits by material is still one item. Assimp hands OBJ, FBX and
//     Collada over one vertex per polygon corner: the corners are mapped back
//     onto the file's vertices (VertexMapping.h), and a node whose corners do
//     not map is refused, naming the mesh;
//   - else a node showing a camera becomes a camera, one showing a light a
//     light (glTF: the node's "camera" and light, by index; other formats
//     name each camera and light after its node, one per node that shows
//     it: the k-th of a name binds to the k-th node of that name);
//   - every other node is a null.
//   Assimp's root node is an item only when it holds meshes, a camera or a
//   light, or when it is a skinning joint; its transform applies to the items
//   below it either way. The skeleton mesh that Assimp makes up for files
//   without geometry is no mesh of the file and is left out.
//
// Identity. Items are bound to what the file says by the file's own
// identities wherever Assimp's names cannot keep two apart (two copies of a
// rig have the same bone names): a glTF file's nodes, skin joints, channels,
// morph weights, cameras and lights by index (GltfLayout.h; Assimp's nodes
// are matched to the file's by the shape of the hierarchy, and a file whose
// hierarchy Assimp changed is refused); a Collada skin's joints found from
// its instance's <skeleton> roots, its weights on the geometry's vertices
// (ColladaSkins.h), and a channel moving every node of the id it names (a
// node the scene shows twice moves in both places); an OBJ file's objects by
// their order (FileMeshes.h).
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
// blend linearly, rotations spherical-linearly on the short arc. A glTF
// file's keys are read from the file itself (GltfData.h), timed as Assimp
// times them: STEP samplers hold each key (Assimp 5.2 drops the
// interpolation), a cubic spline's keys blend linearly between their values
// (one warning line), and morph weights keep their sign and size (Assimp
// raises a negative one to 0). Before the first and after the last key a channel
// follows its pre and post state: constant and Assimp's "default" hold the
// end key, linear extrapolates the end segment, repeat loops the key range.
// Nodes without a channel keep their file transform. A transform that
// shears (a Collada <matrix> the file animates, or any node's matrix whose
// axes are not at right angles) stays a whole matrix: the item's transform
// is that matrix as a function of the frame, never split into scaling,
// rotation and translation.
//
// Deformation. Morph targets (relative: p = rest + sum w (target - rest);
// a point takes the offset of its first corner) with weights from the
// animation's morph channel of the node (glTF: the node's weights channel;
// FBX: of the node or its mesh, with "*" and a number; default: the file's
// weights, for glTF the node's own "weights", else its mesh's), then
// linear-blend skinning with the bones' offset matrices and the joints'
// transforms at the frame (glTF: the joints and inverse bind matrices of the
// node's own skin, by index); points come out in the mesh node's local
// space.
//
// Cameras. "fov" in degrees and "fovtype": for glTF, whose importer reports
// yfov x aspect as the horizontal angle, the file's vertical angle with
// fovtype 0; for other formats the horizontal angle with fovtype 1. "aspect"
// from the file when it gives one. A Collada camera's animated lens and a
// Collada light's animated colour are read from the file
// (ColladaLensLight.h): "fov" and "aspect", and the shader's "color" and
// "intensity", follow them at each frame's time, and the scene's frame range
// takes in their keys; every other channel Assimp does not read (a
// material's, say) gets one warning line. A camera or light whose file frame differs
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
#include <vector>

struct aiScene;

namespace host {

class Scene;
class GltfData;

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
    // Every reader Assimp has; false: only those of the formats read by
    // default (KeepDefaultReaders, SceneFileChecks.h).
    bool anyReader = false;
};

// What the file declared and what the scene was built with.
struct SceneFileInfo {
    double metresPerUnit = 0.0; // the file's unit; 0 when it names none
    double fileFrameRate = 0.0; // the file's frame rate; 0 when it names none
    double frameRate = 0.0;     // the rate the scene was built for
    // The file's animations by index (a name may be empty), and the one
    // played (-1: none).
    std::vector<std::string> animations;
    int animation = -1;
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
// from a glTF file (camera angles, see above); gltf: the glTF file's layout
// and data (nodes, joints, channels and morph weights are then bound by the
// file's indices), or nullptr; file: what was read from the file itself, or
// nullptr. Throws SceneLoadError.
std::unique_ptr<Scene> BuildAssimpScene(const aiScene& scene, const AssimpLoadOptions& options,
                                        bool isGltf, const GltfData* gltf,
                                        const FileFacts* file = nullptr,
                                        SceneFileInfo* info = nullptr);

// Loads a scene file into the running host: reads it (LoadAssimpScene) with
// the host's frame rate as the default rate, makes it the host's scene and
// the frame rate it was built for the host's.
// Throws SceneLoadError, leaving the host's scene unchanged.
void LoadSceneFile(const std::string& path, const AssimpLoadOptions& options = {});

} // namespace host

// An FBX file (6.x or 7.x) as a host scene, read by the project's own FBX
// reader and evaluated as the format defines it.
//
// Items. Every model that hangs under the scene's root becomes one item,
// parent before children: a model showing a mesh geometry a polygon mesh
// (its points the geometry's control points in file order, mapped by the
// model's geometric transform, its polygons the file's), a camera model a
// camera, a light model a light, every other model (null, skeleton joint,
// ...) a null. Items are named as the file names their models (namespaces
// kept): characters other than letters, digits and '_' become '_', and a
// name already used gets the smallest number that makes it unique.
//
// Transforms: each item's global transform is its FBX node's at the frame
// (FbxTransforms.h: pivots, offsets, pre/post rotation, rotation order,
// inherit types), with the file's axis system (UpAxis, FrontAxis, CoordAxis
// and their signs) turned into the host's Y-up right-handed one. FBX
// cameras look along their +X axis (up +Y) and lights along -Y: the host's
// (-Z) is folded into their items, never into their children.
//
// Units: a file that declares UnitScaleFactor (centimetres per unit) is
// built in metres unless keepUnits. A unit that is not a positive finite
// number, or that takes the file's points out of float range, refuses the
// file.
//
// Time: frame f plays the file's time f / fps seconds, fps the load
// options' rate, else the file's own (TimeMode, CustomFrameRate; 6.x: its
// frame rate setting), else the default rate. A file rate outside 0.001 to
// 100000 frames per second is refused when it would be used. The scene's
// frames are the animation's time span (its stack's, else the file's, else
// its keys').
//
// Animation: one stack plays (options.animation: its name, else its index;
// the first by default). Curves, extrapolation and layers: FbxAnimation.h.
// Animated: translation, rotation, scaling; camera focal length and field
// of view; light colour and intensity. Deformers: FbxDeformers.h.
//
// Cameras: "fov" the horizontal angle ("fovtype" 1; the vertical one, 0,
// where the camera's aperture mode fixes it), from the focal length and
// film width where the camera is set by its focal length; "aspect" from its
// aspect width and height. Lights: "Type" 0 directional, 1 point (and any
// other kind, with a warning), 2 spot; the shader's "color" the light's
// colour and "intensity" its intensity (FBX gives percent); a spot light's
// outer cone angle as "LightCone" (degrees).
//
// User properties of a model whose name is one of its item's parameters
// (or of a light's shader parameters) set that parameter, last.
//
// Whatever the file holds that is not evaluated (a constraint, an animated
// property no part of the scene takes, a kind of geometry other than
// meshes, ...) gets one warning line per kind, naming the first item.
#pragma once

#include "host/import/AssimpScene.h"
#include "host/import/fbx/FbxWarnings.h"

#include <memory>
#include <string>

namespace host {

class Scene;

// Builds the scene of an FBX file's bytes. folder: where the file lies
// ("" or ending in '/'), for the files it refers to. Throws SceneLoadError
// with a one-line message (the caller names the file).
std::unique_ptr<Scene> BuildFbxScene(std::string bytes, const std::string& folder,
                                     const AssimpLoadOptions& options, SceneFileInfo* info,
                                     FbxWarnings* warnings);

// True when the bytes are an FBX file (binary, or text with an FBX header).
bool LooksLikeFbx(std::string_view bytes);

} // namespace host

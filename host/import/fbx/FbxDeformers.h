// Where the scene builder hands a mesh model to the deformer code (skin
// clusters, blend shapes, vertex caches).
//
// ApplyFbxDeformers is called once for each mesh model of the scene, after
// every item of the scene exists (joints included) and after the mesh's
// points and polygons are set:
//   - the points are the geometry's control points in file order, each
//     mapped by the model's geometric transform (GeometricTranslation,
//     GeometricRotation, GeometricScaling, which move the node's own
//     geometry only) and in scene units: ScenePoint(control point);
//   - every item's global transform is the FBX node's (pivots, inherit
//     types, ...) with the file's axis system turned into Y-up at the top;
//     a camera or light item also turns its FBX frame into the host's.
// So a deformer that works on control points maps its points by ScenePoint
// and its offsets (shape deltas) by SceneOffset; a file matrix (a cluster's
// Transform, mesh to joint at bind time, and TransformLink, the joint's
// global transform at bind time in the file's world space) becomes a scene
// matrix by SceneMatrix. A skin's offset is its Transform, which maps the
// mesh into the joint's space and needs no axis conversion; its bind matrix,
// the mesh's global transform at bind time, is in the file's world and
// takes `axes`. The geometric transform is already in the points: the
// offset does not take it again.
//
// Animated values (DeformPercent, a cluster's link is an item): the file's
// time of frame f is Seconds(f); FbxAnimation::Property evaluates any
// animated property of any object at a time.
#pragma once

#include "host/import/fbx/FbxAnimation.h"
#include "host/import/fbx/FbxScene.h"
#include "host/import/fbx/FbxWarnings.h"
#include "host/scene/Math.h"

#include <string>
#include <unordered_map>

namespace host {

class Item;

struct FbxMeshContext {
    const FbxScene& file;
    const FbxAnimation& animation; // the stack the scene plays
    // The host item of each model of the scene, by FBX object id.
    const std::unordered_map<FbxId, Item*>& items;
    FbxWarnings& warnings;
    double unitScale = 1.0;        // file lengths to scene lengths
    Mat34 geometric;               // the model's geometric transform, scene units
    double framesPerSecond = 30.0; // frame f plays the file's time f / framesPerSecond
    std::string folder;            // the scene file's folder ("" or ending in '/')
    // The file's world space in the scene's: the axis conversion at the top
    // (identity for a Y-up file). A skin's bind matrix (TransformLink x
    // Transform, the mesh's global transform at bind time in the file's
    // world) becomes the scene's by it.
    Mat34 axes;
    // The file's own frame rate (0: it names none): a .pc2 counts the frames
    // of the program that wrote the file.
    double fileFramesPerSecond = 0.0;

    // A control point of the file as a rest point of the mesh.
    Vec3 ScenePoint(const Vec3& p) const { return Apply(geometric, p * unitScale); }
    // An offset of control points (a shape's delta) as an offset of rest points.
    Vec3 SceneOffset(const Vec3& d) const {
        const Vec3 s = d * unitScale;
        return {geometric.m[0][0] * s.x + geometric.m[0][1] * s.y + geometric.m[0][2] * s.z,
                geometric.m[1][0] * s.x + geometric.m[1][1] * s.y + geometric.m[1][2] * s.z,
                geometric.m[2][0] * s.x + geometric.m[2][1] * s.y + geometric.m[2][2] * s.z};
    }
    // A matrix of the file (file units) in scene units.
    Mat34 SceneMatrix(Mat34 m) const {
        for (auto& row : m.m) {
            row[3] *= unitScale;
        }
        return m;
    }
    double Seconds(double frame) const { return frame / framesPerSecond; }
};

// Adds what the deformers of a mesh model (7.x: those connected to its
// geometry; 6.x: to the model, and the shapes in it) do to the item's mesh.
// model: the mesh model; geometry: its geometry (6.x: the model itself).
// Whatever it does not evaluate gets a warning of its kind.
void ApplyFbxDeformers(const FbxMeshContext& context, const FbxObject& model,
                       const FbxObject& geometry, Item* item);

} // namespace host

// The control points and polygons of one FBX mesh geometry (7.x: a
// "Geometry" object; 6.x: the model that holds them), as the file has them.
#pragma once

#include "host/import/FileMeshes.h"

#include <string>

namespace host {

class FbxDocument;
struct FbxNode;

// Reads "Vertices" and "PolygonVertexIndex"; polygons of fewer than three
// corners are left out. Throws FileMeshError naming the mesh (`name`) when
// an index names no vertex, the last polygon is not closed or an array is
// corrupt.
FileMesh ReadFbxGeometry(const FbxDocument& doc, const FbxNode& geometry, const std::string& name);

} // namespace host

#include "host/import/fbx/FbxMeshes.h"

#include "host/import/fbx/FbxDocument.h"

#include <cmath>

namespace host {
FileMesh ReadFbxGeometry(const FbxDocument& doc, const FbxNode& geometry, const std::string& name) {
    const std::string what = "FBX mesh \"" + name + "\": ";
    const FbxNode* vertices = geometry.Child("Vertices");
    const FbxNode* indices = geometry.Child("PolygonVertexIndex");
    FileMesh mesh;
    if (!vertices) {
        return mesh; // a geometry without points
    }
    std::vector<double> xyz, corners;
    try {
        xyz = doc.Array(*vertices);
        if (indices) {
            corners = doc.Array(*indices);
        }
    } catch (const FbxError& e) {
        throw FileMeshError(what + e.what());
    }
    if (xyz.size() % 3 != 0) {
        throw FileMeshError(what + "its vertex list is not a list of points");
    }
    mesh.positions.reserve(xyz.size() / 3);
    for (size_t i = 0; i + 2 < xyz.size(); i += 3) {
        mesh.positions.push_back({xyz[i], xyz[i + 1], xyz[i + 2]});
    }
    const double count = static_cast<double>(mesh.positions.size());
    mesh.corners.reserve(corners.size());
    size_t first = 0;
    for (double c : corners) {
        // A negative index, -(i + 1), ends a polygon.
        const bool last = c < 0.0;
        const double index = last ? -c - 1.0 : c;
        if (!(index < count) || index != std::floor(index)) {
            throw FileMeshError(what + "a polygon names a vertex that does not exist");
        }
        mesh.corners.push_back(static_cast<int>(index));
        if (last) {
            if (mesh.corners.size() - first < 3) {
                mesh.corners.resize(first);
            } else {
                mesh.starts.push_back(static_cast<int>(mesh.corners.size()));
            }
            first = mesh.corners.size();
        }
    }
    if (first != mesh.corners.size()) {
        throw FileMeshError(what + "its last polygon is not closed");
    }
    return mesh;
}

} // namespace host

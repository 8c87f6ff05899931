// The control points and polygons of an FBX file's mesh geometries.
#include "host/import/fbx/FbxDocument.h"
#include "host/import/FileMeshes.h"

#include <cmath>
#include <map>

namespace host {
namespace {

// "Class::Name" as "Name".
std::string ShortName(const std::string& name) {
    const size_t sep = name.find("::");
    return sep == std::string::npos ? name : name.substr(sep + 2);
}

FileMesh ReadGeometry(const FbxDocument& doc, const FbxNode& geometry, const std::string& name) {
    const std::string what = "FBX mesh \"" + name + "\": ";
    const FbxNode* vertices = geometry.Child("Vertices");
    const FbxNode* indices = geometry.Child("PolygonVertexIndex");
    FileMesh mesh;
    if (!vertices || !indices) {
        return mesh; // a geometry without polygons
    }
    std::vector<double> xyz, corners;
    try {
        xyz = doc.Array(*vertices);
        corners = doc.Array(*indices);
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

} // namespace

std::vector<FileMesh> ReadFbxMeshes(const FbxDocument& doc) {
    std::vector<FileMesh> meshes;
    const FbxNode* objects = doc.Root().Child("Objects");
    const FbxNode* connections = doc.Root().Child("Connections");
    if (!objects) {
        return meshes;
    }
    std::map<double, std::string> models; // id -> name
    for (const FbxNode& n : objects->children) {
        if (n.name == "Model") {
            models[n.Number(0)] = ShortName(n.Text(1));
        }
    }
    std::multimap<double, std::string> users; // geometry id -> model names
    for (size_t i = 0; connections && i < connections->children.size(); ++i) {
        const FbxNode& c = connections->children[i];
        if (c.name == "C" && c.Text(0) == "OO") {
            auto model = models.find(c.Number(2));
            if (model != models.end()) {
                users.emplace(c.Number(1), model->second);
            }
        }
    }
    for (const FbxNode& n : objects->children) {
        if (n.name != "Geometry" || n.Text(2) != "Mesh") {
            continue;
        }
        std::vector<std::string> names;
        auto range = users.equal_range(n.Number(0));
        for (auto it = range.first; it != range.second; ++it) {
            names.push_back(it->second);
        }
        // Errors name the mesh as the scene shows it: by its model.
        meshes.push_back(ReadGeometry(doc, n, names.empty() ? ShortName(n.Text(1)) : names[0]));
        meshes.back().users = std::move(names);
    }
    return meshes;
}

} // namespace host

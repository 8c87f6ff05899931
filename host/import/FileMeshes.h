// The meshes of a scene file as the file itself holds them: its vertices in
// file order and its polygons as lists of vertex indices, in file order and
// winding. Assimp hands over one vertex per polygon corner for most formats;
// these lists are what the corners are mapped back onto (VertexMapping.h).
//
// One reader per format, each reading only the index data it needs:
//   - OBJ: the "v" entries and the "f" lines of the whole file, one pool
//     that the file's objects and groups share, and each object's own mesh
//     (ObjFile below);
//   - Collada: each geometry's positions behind its <vertices>, and the
//     VERTEX indices of its <triangles>, <polylist> and <polygons>.
// Polygons of fewer than three corners are left out (Assimp makes points
// and lines of them).
#pragma once

#include "host/scene/Math.h"

#include <pugixml.hpp>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct FileMesh {
    // The names of the file's nodes that show this mesh (a hint for finding
    // it; the mapping itself decides).
    std::vector<std::string> users;
    std::string id; // Collada: the geometry's id
    std::vector<Vec3> positions;
    // Polygon k holds corners[starts[k]] .. corners[starts[k + 1] - 1].
    std::vector<int> starts{0};
    std::vector<int> corners;
    // true: an item showing the mesh gets every vertex of it; false (a pool
    // shared by several items): only the vertices its polygons use.
    bool allVertices = true;

    int PolygonCount() const { return static_cast<int>(starts.size()) - 1; }
};

// A file whose index data cannot be read. The message is one line.
class FileMeshError : public std::runtime_error {
  public:
    explicit FileMeshError(const std::string& message) : std::runtime_error(message) {}
};

// An OBJ file: its pool, and a mesh for each object Assimp's reader makes of
// it ("o NAME", a "g" line naming another group, "defaultobject" for
// elements before any), in the order Assimp makes them. Elements ("f", "l",
// "p") belong to the object Assimp puts them in (see ObjMeshes.cpp). A run of
// "v" lines (between elements and object lines) belongs to the object whose
// element first uses one of its vertices; a run no element uses belongs to
// the object that elements went to when it was written (before any object:
// the first object made). An object's mesh holds the vertices of its runs
// and every vertex its elements use, in file order (loose vertices and those
// only lines use among them), and its polygons ("f" of three corners or
// more).
struct ObjFile {
    FileMesh pool;
    std::vector<FileMesh> objects; // users: the object's name
};

// Each reader throws FileMeshError.
ObjFile ReadObjFile(std::string_view text);
FileMesh ReadObjMeshes(std::string_view text); // the pool of ReadObjFile
// metresPerUnit: the length of the file's unit (<unit meter>), 0 when it names none.
std::vector<FileMesh> ReadColladaMeshes(const std::string& text, double* metresPerUnit);
std::vector<FileMesh> ReadColladaMeshes(const pugi::xml_document& doc, double* metresPerUnit);
// The Collada text parsed, for the readers above.
pugi::xml_document ParseColladaXml(std::string_view text);

} // namespace host

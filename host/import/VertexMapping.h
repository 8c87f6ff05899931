// Assimp's vertices mapped back onto the file's own (FileMeshes.h).
//
// Assimp hands over one vertex per polygon corner for OBJ, FBX and Collada,
// and splits a mesh by material. The faces of each Assimp mesh of a node are
// the file's polygons of one mesh, in file order and winding: each face is
// matched to the next unused polygon with as many corners at the same
// positions, and its vertices take that polygon's vertex indices. The
// mapping holds only when every corner of every face matched; a node whose
// meshes do not map is refused, never baked with other points.
#pragma once

#include "host/import/FileMeshes.h"

#include <string>
#include <utility>
#include <vector>

struct aiMesh;

namespace host {

// The file's vertices of one item.
struct ItemVertices {
    std::vector<Vec3> points; // file order
    // Polygons in file order and winding: their sizes, and their point
    // indices one polygon after the other.
    std::vector<int> polygonSizes;
    std::vector<int> polygonPoints;
    // Per Assimp mesh of the node, per vertex: its point, or -1 (a vertex of
    // no polygon).
    std::vector<std::vector<int>> pointOf;
    // Per point: the Assimp mesh and vertex whose skin weights and morph
    // offsets it takes (the first corner on it), or {-1, 0} for a vertex no
    // corner uses.
    std::vector<std::pair<int, unsigned>> source;
    // The file mesh the points are (VertexMapper::MeshAt), or -1.
    int fileMesh = -1;
};

// Assimp's own vertices of a node's meshes, mesh after mesh, and its faces
// of at least three corners (for formats whose vertices Assimp keeps).
ItemVertices AssimpVertices(const std::vector<const aiMesh*>& meshes);

class VertexMapper {
  public:
    explicit VertexMapper(std::vector<FileMesh> meshes) : m_meshes(std::move(meshes)) {
        for (const FileMesh& m : m_meshes) {
            m_used.emplace_back(m.allVertices ? 0 : m.PolygonCount(), 0);
            m_firstFree.push_back(0);
        }
    }

    // Maps the corners of a node's meshes onto the file mesh they come
    // from. False when no file mesh holds them all.
    bool Map(const std::string& nodeName, const std::vector<const aiMesh*>& meshes,
             ItemVertices* out);
    // Maps them onto one file mesh (the node's own, known by other means).
    bool MapOnto(size_t fileMesh, const std::vector<const aiMesh*>& meshes, ItemVertices* out);

    size_t MeshCount() const { return m_meshes.size(); }
    const FileMesh& MeshAt(size_t i) const { return m_meshes[i]; }

  private:
    std::vector<FileMesh> m_meshes;
    // Polygons of a shared pool already taken by earlier items.
    std::vector<std::vector<char>> m_used;
    std::vector<int> m_firstFree; // of a pool: no polygon before it is free
};

} // namespace host

#include "host/import/VertexMapping.h"

#include <assimp/mesh.h>

#include <algorithm>
#include <cmath>

namespace host {
namespace {

// Assimp keeps positions in single precision, parsed by its own reader: equal
// up to that rounding.
bool SamePosition(const Vec3& file, const aiVector3D& v) {
    auto same = [](double a, double b) { return std::fabs(a - b) <= 1e-6 * (1.0 + std::fabs(a)); };
    return same(file.x, v.x) && same(file.y, v.y) && same(file.z, v.z);
}

// Whether polygon q of the file mesh has the face's corners, in order.
bool SamePolygon(const FileMesh& fm, int q, const aiMesh& m, const aiFace& face) {
    const int first = fm.starts[q];
    if (fm.starts[q + 1] - first != static_cast<int>(face.mNumIndices)) {
        return false;
    }
    for (unsigned k = 0; k < face.mNumIndices; ++k) {
        if (!SamePosition(fm.positions[fm.corners[first + k]], m.mVertices[face.mIndices[k]])) {
            return false;
        }
    }
    return true;
}

bool IsPolygon(const aiMesh& m, const aiFace& face) {
    if (face.mNumIndices < 3 || !face.mIndices) {
        return false;
    }
    for (unsigned k = 0; k < face.mNumIndices; ++k) {
        if (face.mIndices[k] >= m.mNumVertices) {
            return false;
        }
    }
    return true;
}

} // namespace

ItemVertices AssimpVertices(const std::vector<const aiMesh*>& meshes) {
    ItemVertices out;
    out.pointOf.resize(meshes.size());
    size_t vertexCount = 0;
    size_t faceCount = 0;
    for (const aiMesh* m : meshes) {
        vertexCount += m->mVertices ? m->mNumVertices : 0;
        faceCount += m->mVertices && m->mFaces ? m->mNumFaces : 0;
    }
    out.points.reserve(vertexCount);
    out.source.reserve(vertexCount);
    out.polygonSizes.reserve(faceCount);
    out.polygonPoints.reserve(3 * faceCount); // triangles, the most common case
    for (size_t mi = 0; mi < meshes.size(); ++mi) {
        const aiMesh& m = *meshes[mi];
        const unsigned nv = m.mVertices ? m.mNumVertices : 0;
        const int base = static_cast<int>(out.points.size());
        out.pointOf[mi].reserve(nv);
        for (unsigned v = 0; v < nv; ++v) {
            out.pointOf[mi].push_back(base + static_cast<int>(v));
            out.source.emplace_back(static_cast<int>(mi), v);
            out.points.push_back({m.mVertices[v].x, m.mVertices[v].y, m.mVertices[v].z});
        }
        for (unsigned f = 0; nv > 0 && m.mFaces && f < m.mNumFaces; ++f) {
            const aiFace& face = m.mFaces[f];
            if (IsPolygon(m, face)) { // points and lines are no polygons
                out.polygonSizes.push_back(static_cast<int>(face.mNumIndices));
                for (unsigned k = 0; k < face.mNumIndices; ++k) {
                    out.polygonPoints.push_back(base + static_cast<int>(face.mIndices[k]));
                }
            }
        }
    }
    return out;
}

bool VertexMapper::Map(const std::string& nodeName, const std::vector<const aiMesh*>& meshes,
                       ItemVertices* out) {
    // The meshes the file names for the node first, then any other.
    std::vector<size_t> order;
    for (size_t i = 0; i < m_meshes.size(); ++i) {
        const auto& users = m_meshes[i].users;
        if (std::find(users.begin(), users.end(), nodeName) != users.end()) {
            order.push_back(i);
        }
    }
    for (size_t i = 0; i < m_meshes.size(); ++i) {
        if (std::find(order.begin(), order.end(), i) == order.end()) {
            order.push_back(i);
        }
    }
    for (size_t i : order) {
        if (MapOnto(i, meshes, out)) {
            return true;
        }
    }
    return false;
}

bool VertexMapper::MapOnto(size_t index, const std::vector<const aiMesh*>& meshes,
                           ItemVertices* out) {
    const FileMesh& fm = m_meshes[index];
    const int polygonCount = fm.PolygonCount();
    std::vector<char> fresh;
    std::vector<char>& used =
        fm.allVertices ? (fresh.assign(polygonCount, 0), fresh) : m_used[index];
    std::vector<int> taken;
    std::vector<std::vector<int>> vertexOf(meshes.size()); // file vertex per Assimp vertex
    auto undo = [&] {
        for (int q : taken) {
            used[q] = 0;
        }
        return false;
    };
    for (size_t mi = 0; mi < meshes.size(); ++mi) {
        const aiMesh& m = *meshes[mi];
        if (!m.mVertices) {
            continue;
        }
        vertexOf[mi].assign(m.mNumVertices, -1);
        int cursor = fm.allVertices ? 0 : m_firstFree[index];
        for (unsigned f = 0; m.mFaces && f < m.mNumFaces; ++f) {
            const aiFace& face = m.mFaces[f];
            if (!IsPolygon(m, face)) {
                continue;
            }
            int q = cursor;
            while (q < polygonCount && (used[q] || !SamePolygon(fm, q, m, face))) {
                ++q;
            }
            if (q == polygonCount) {
                return undo();
            }
            used[q] = 1;
            taken.push_back(q);
            cursor = q + 1;
            for (unsigned k = 0; k < face.mNumIndices; ++k) {
                int& v = vertexOf[mi][face.mIndices[k]];
                const int fileVertex = fm.corners[fm.starts[q] + k];
                if (v >= 0 && v != fileVertex) {
                    return undo(); // one Assimp vertex on two file vertices
                }
                v = fileVertex;
            }
        }
    }
    if (!fm.allVertices) {
        int& free = m_firstFree[index];
        while (free < polygonCount && used[free]) {
            ++free;
        }
    }
    // The item's points: every vertex of the mesh, or those its polygons use.
    std::vector<int> pointOfVertex(fm.positions.size(), -1);
    ItemVertices result;
    std::sort(taken.begin(), taken.end());
    for (size_t v = 0; v < fm.positions.size(); ++v) {
        if (fm.allVertices) {
            pointOfVertex[v] = static_cast<int>(v);
        }
    }
    if (!fm.allVertices) {
        std::vector<char> usedVertex(fm.positions.size(), 0);
        for (int q : taken) {
            for (int c = fm.starts[q]; c < fm.starts[q + 1]; ++c) {
                usedVertex[fm.corners[c]] = 1;
            }
        }
        int next = 0;
        for (size_t v = 0; v < fm.positions.size(); ++v) {
            if (usedVertex[v]) {
                pointOfVertex[v] = next++;
            }
        }
    }
    for (size_t v = 0; v < fm.positions.size(); ++v) {
        if (pointOfVertex[v] >= 0) {
            result.points.push_back(fm.positions[v]);
        }
    }
    result.polygonSizes.reserve(taken.size());
    for (int q : taken) {
        result.polygonSizes.push_back(fm.starts[q + 1] - fm.starts[q]);
        for (int c = fm.starts[q]; c < fm.starts[q + 1]; ++c) {
            result.polygonPoints.push_back(pointOfVertex[fm.corners[c]]);
        }
    }
    result.source.assign(result.points.size(), {-1, 0u});
    result.pointOf.resize(meshes.size());
    for (size_t mi = 0; mi < meshes.size(); ++mi) {
        result.pointOf[mi].assign(vertexOf[mi].size(), -1);
        for (size_t v = 0; v < vertexOf[mi].size(); ++v) {
            if (vertexOf[mi][v] < 0) {
                continue;
            }
            const int point = pointOfVertex[vertexOf[mi][v]];
            result.pointOf[mi][v] = point;
            if (result.source[point].first < 0) {
                result.source[point] = {static_cast<int>(mi), static_cast<unsigned>(v)};
            }
        }
    }
    result.fileMesh = static_cast<int>(index);
    *out = std::move(result);
    return true;
}

} // namespace host

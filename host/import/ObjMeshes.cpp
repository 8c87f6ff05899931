// The vertices, polygons and objects of an OBJ file.
#include "host/import/FileMeshes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string>
#include <string_view>

namespace host {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The next word of a line, or an empty range at its end.
std::pair<const char*, const char*> NextWord(const char** p, const char* end) {
    while (*p < end && IsSpace(**p)) {
        ++*p;
    }
    const char* s = *p;
    while (*p < end && !IsSpace(**p)) {
        ++*p;
    }
    return {s, *p};
}

// The rest of a line, without the spaces around it.
std::string_view Rest(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) {
        ++p;
    }
    while (end > p && IsSpace(end[-1])) {
        --end;
    }
    return std::string_view(p, static_cast<size_t>(end - p));
}

// The objects as Assimp's reader makes them: "o NAME" makes an object (or
// makes the earlier one of that name current again), a "g" line naming
// another group than the active one always makes a new object, and an
// element before any object makes "defaultobject". Elements go to the mesh
// being filled, which belongs to the object current when the mesh was made:
// "o" naming an earlier object does not start a new mesh, "usemtl" with
// another material does (in the current object) once the mesh has elements.
class ObjectModel {
  public:
    // The object the next element goes to, made when there is none.
    int ElementOwner() {
        if (m_current < 0) {
            MakeObject("defaultobject");
        }
        m_meshHasElements = true;
        return m_owner;
    }
    // The object elements written now would go to, or -1.
    int OwnerNow() const { return m_owner; }
    int ObjectCount() const { return static_cast<int>(names.size()); }

    void Object(std::string_view name) {
        if (name.empty()) {
            return;
        }
        const auto it = std::find(names.begin(), names.end(), name);
        if (it == names.end()) {
            MakeObject(std::string(name));
        } else {
            m_current = static_cast<int>(it - names.begin());
        }
    }
    void Group(std::string_view name) {
        if (name != m_activeGroup) {
            MakeObject(std::string(name));
            m_activeGroup = std::string(name);
        }
    }
    void Material(std::string_view name) {
        if (name.empty() || (m_haveMaterial && name == m_material)) {
            return;
        }
        const bool newMesh =
            !m_haveMesh || (m_meshMaterialSet && m_meshMaterial != name && m_meshHasElements);
        m_material = std::string(name);
        m_haveMaterial = true;
        if (newMesh) {
            NewMesh();
        }
        m_meshMaterial = m_material;
        m_meshMaterialSet = true;
    }

    std::vector<std::string> names;

  private:
    void MakeObject(std::string name) {
        names.push_back(std::move(name));
        m_current = static_cast<int>(names.size()) - 1;
        NewMesh();
        m_meshMaterialSet = m_haveMaterial;
        m_meshMaterial = m_material;
    }
    void NewMesh() {
        m_owner = m_current; // -1: a mesh of no object, whose elements Assimp drops
        m_haveMesh = true;
        m_meshHasElements = false;
        m_meshMaterialSet = false;
    }

    int m_current = -1; // the current object
    int m_owner = -1;   // the object of the mesh being filled
    bool m_haveMesh = false;
    bool m_meshHasElements = false;
    bool m_meshMaterialSet = false;
    std::string m_meshMaterial;
    bool m_haveMaterial = false;
    std::string m_material;
    std::string m_activeGroup;
};

// What the reading gathers besides the pool's polygons.
struct ObjReading {
    ObjectModel model;
    // Per vertex: its run of "v" lines (runs are parted by elements and
    // object changes).
    std::vector<int> runOf;
    // Per run: the object whose element first uses one of its vertices, else
    // the object elements went to when it was written, else the next object
    // made (-1 until known).
    std::vector<int> runOwner;
    std::vector<bool> runUsed;
    // Per element (polygon, line or point), in file order: its object and
    // its vertices; polygons are also the pool's polygons, in order.
    std::vector<int> elementOwner;
    std::vector<bool> elementIsPolygon;
    std::vector<int> elementStarts{0};
    std::vector<int> elementCorners;
};

// The name of a "g" line as Assimp reads it: the rest of the line from its
// first word, up to the line's end.
std::string_view GroupName(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) {
        ++p;
    }
    const char* e = p;
    while (e < end && *e != '\r') {
        ++e;
    }
    return std::string_view(p, static_cast<size_t>(e - p));
}

// Each object's vertices (those of the runs it owns and those its elements
// use, in file order) and its polygons. The vertices of its own runs come in
// order; only those it uses from other objects' runs need sorting.
std::vector<FileMesh> ObjectMeshes(const FileMesh& pool, const ObjReading& r) {
    const int objects = r.model.ObjectCount();
    const size_t vertices = r.runOf.size();
    std::vector<std::vector<int>> members(objects);
    std::vector<int> owner(vertices, -1);
    for (size_t v = 0; v < vertices; ++v) {
        owner[v] = r.runOwner[r.runOf[v]];
        if (owner[v] >= 0) {
            members[owner[v]].push_back(static_cast<int>(v));
        }
    }
    std::vector<std::vector<int>> borrowed(objects);
    std::vector<std::vector<int>> polygonsOf(objects);
    std::vector<int> lastBorrower(vertices, -1);
    const size_t elements = r.elementOwner.size();
    for (size_t e = 0; e < elements; ++e) {
        const int k = r.elementOwner[e];
        if (k < 0) {
            continue; // Assimp drops it
        }
        if (r.elementIsPolygon[e]) {
            polygonsOf[k].push_back(static_cast<int>(e));
        }
        for (int c = r.elementStarts[e]; c < r.elementStarts[e + 1]; ++c) {
            const int v = r.elementCorners[c];
            if (owner[v] != k && lastBorrower[v] != k) {
                lastBorrower[v] = k;
                borrowed[k].push_back(v);
            }
        }
    }
    std::vector<FileMesh> out(objects);
    std::vector<int> localOf(pool.positions.size(), -1);
    for (int k = 0; k < objects; ++k) {
        std::vector<int>& vs = members[k];
        if (!borrowed[k].empty()) {
            std::vector<int>& b = borrowed[k];
            std::sort(b.begin(), b.end());
            b.erase(std::unique(b.begin(), b.end()), b.end());
            std::vector<int> merged;
            merged.reserve(vs.size() + b.size());
            std::merge(vs.begin(), vs.end(), b.begin(), b.end(), std::back_inserter(merged));
            vs.swap(merged);
        }
        FileMesh& m = out[k];
        m.users = {r.model.names[k]};
        m.positions.reserve(vs.size());
        for (size_t i = 0; i < vs.size(); ++i) {
            localOf[vs[i]] = static_cast<int>(i);
            m.positions.push_back(pool.positions[vs[i]]);
        }
        for (int e : polygonsOf[k]) {
            for (int c = r.elementStarts[e]; c < r.elementStarts[e + 1]; ++c) {
                m.corners.push_back(localOf[r.elementCorners[c]]);
            }
            m.starts.push_back(static_cast<int>(m.corners.size()));
        }
        for (int v : vs) {
            localOf[v] = -1;
        }
    }
    return out;
}

} // namespace

ObjFile ReadObjFile(std::string_view text) {
    ObjFile file;
    FileMesh& mesh = file.pool;
    mesh.allVertices = false;
    ObjReading r;
    bool runOpen = false;
    // Runs written before any object belong to the first object made.
    const auto madeObject = [&r](int before) {
        if (before == 0 && r.model.ObjectCount() > 0) {
            for (int& owner : r.runOwner) {
                if (owner < 0) {
                    owner = 0;
                }
            }
        }
    };
    const char* p = text.data();
    const char* const end = p + text.size();
    long lineNumber = 0;
    std::string joined;
    std::vector<int> corners;
    while (p < end) {
        // One logical line: a backslash at the end joins the next one.
        const char* lineStart = p;
        const char* lineEnd = p;
        joined.clear();
        bool usesJoined = false;
        for (;;) {
            while (lineEnd < end && *lineEnd != '\n') {
                ++lineEnd;
            }
            ++lineNumber;
            const char* e = lineEnd;
            while (e > lineStart && (e[-1] == '\r' || e[-1] == ' ' || e[-1] == '\t')) {
                --e;
            }
            if (e > lineStart && e[-1] == '\\' && lineEnd < end) {
                joined.append(lineStart, e - 1);
                joined.push_back(' ');
                usesJoined = true;
                lineStart = lineEnd = lineEnd + 1;
                continue;
            }
            if (usesJoined) {
                joined.append(lineStart, e);
            }
            break;
        }
        const char* q = usesJoined ? joined.data() : p;
        const char* qEnd = usesJoined ? joined.data() + joined.size() : lineEnd;
        p = lineEnd < end ? lineEnd + 1 : end;

        const auto keyword = NextWord(&q, qEnd);
        const std::string_view key(keyword.first,
                                   static_cast<size_t>(keyword.second - keyword.first));
        // The start of a message about this line, made only for a message.
        const auto where = [lineNumber] { return "OBJ line " + std::to_string(lineNumber) + ": "; };
        const int objectsBefore = r.model.ObjectCount();
        if (key == "v") {
            double xyz[3];
            for (double& c : xyz) {
                const auto w = NextWord(&q, qEnd);
                const char* b = w.first < w.second && *w.first == '+' ? w.first + 1 : w.first;
                const auto res = std::from_chars(b, w.second, c);
                if (w.first == w.second || res.ec != std::errc() || res.ptr != w.second) {
                    throw FileMeshError(where() + "a vertex needs three numbers");
                }
            }
            mesh.positions.push_back({xyz[0], xyz[1], xyz[2]});
            if (!runOpen) {
                runOpen = true;
                r.runOwner.push_back(r.model.OwnerNow());
                r.runUsed.push_back(false);
            }
            r.runOf.push_back(static_cast<int>(r.runUsed.size()) - 1);
        } else if (key == "f" || key == "l" || key == "p") {
            runOpen = false;
            corners.clear();
            for (;;) {
                const auto w = NextWord(&q, qEnd);
                if (w.first == w.second) {
                    break;
                }
                long index = 0;
                const auto res = std::from_chars(w.first, w.second, index);
                if (res.ec != std::errc() || (res.ptr != w.second && *res.ptr != '/')) {
                    throw FileMeshError(where() + "an element's corner is no vertex number");
                }
                const long count = static_cast<long>(mesh.positions.size());
                const long vertex = index < 0 ? count + index : index - 1;
                if (index == 0 || vertex < 0 || vertex >= count) {
                    throw FileMeshError(where() + "an element names vertex " +
                                        std::to_string(index) + ", which does not exist");
                }
                corners.push_back(static_cast<int>(vertex));
            }
            if (corners.empty()) {
                continue; // Assimp drops an element without corners
            }
            const int owner = r.model.ElementOwner();
            madeObject(objectsBefore);
            const bool polygon = key == "f" && corners.size() >= 3;
            if (polygon) {
                mesh.corners.insert(mesh.corners.end(), corners.begin(), corners.end());
                mesh.starts.push_back(static_cast<int>(mesh.corners.size()));
            }
            r.elementOwner.push_back(owner);
            r.elementIsPolygon.push_back(polygon);
            r.elementCorners.insert(r.elementCorners.end(), corners.begin(), corners.end());
            r.elementStarts.push_back(static_cast<int>(r.elementCorners.size()));
            for (int v : corners) {
                const int run = r.runOf[v];
                if (!r.runUsed[run]) {
                    r.runUsed[run] = true;
                    r.runOwner[run] = owner;
                }
            }
        } else if (key == "o") {
            const auto w = NextWord(&q, qEnd);
            r.model.Object(std::string_view(w.first, static_cast<size_t>(w.second - w.first)));
            runOpen = false;
            madeObject(objectsBefore);
        } else if (key == "g") {
            r.model.Group(GroupName(q, qEnd));
            runOpen = false;
            madeObject(objectsBefore);
        } else if (key == "usemtl") {
            r.model.Material(Rest(q, qEnd));
        }
    }
    file.objects = ObjectMeshes(mesh, r);
    return file;
}

FileMesh ReadObjMeshes(std::string_view text) {
    return ReadObjFile(text).pool;
}

} // namespace host

// The vertices and faces of an OBJ file.
#include "host/import/FileMeshes.h"

#include <charconv>
#include <cmath>
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

} // namespace

FileMesh ReadObjMeshes(std::string_view text) {
    FileMesh mesh;
    mesh.allVertices = false;
    const char* p = text.data();
    const char* const end = p + text.size();
    long lineNumber = 0;
    std::string joined;
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
        } else if (key == "f") {
            const size_t first = mesh.corners.size();
            for (;;) {
                const auto w = NextWord(&q, qEnd);
                if (w.first == w.second) {
                    break;
                }
                long index = 0;
                const auto res = std::from_chars(w.first, w.second, index);
                if (res.ec != std::errc() || (res.ptr != w.second && *res.ptr != '/')) {
                    throw FileMeshError(where() + "a face corner is no vertex number");
                }
                const long count = static_cast<long>(mesh.positions.size());
                const long vertex = index < 0 ? count + index : index - 1;
                if (index == 0 || vertex < 0 || vertex >= count) {
                    throw FileMeshError(where() + "a face names vertex " + std::to_string(index) +
                                        ", which does not exist");
                }
                mesh.corners.push_back(static_cast<int>(vertex));
            }
            if (mesh.corners.size() - first < 3) {
                mesh.corners.resize(first);
            } else {
                mesh.starts.push_back(static_cast<int>(mesh.corners.size()));
            }
        }
    }
    return mesh;
}

} // namespace host

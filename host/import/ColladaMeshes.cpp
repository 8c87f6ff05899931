// The positions and polygons of a Collada file's geometries.
#include "host/import/ColladaXml.h"
#include "host/import/FileMeshes.h"

#include <pugixml.hpp>

#include <charconv>
#include <cmath>
#include <cstring>
#include <map>

namespace host {
namespace {

FileMesh ReadMesh(const std::map<std::string, pugi::xml_node>& ids, const pugi::xml_node& mesh,
                  const std::string& what, ColladaArrays* arrays) {
    FileMesh out;
    const pugi::xml_node vertices = mesh.child("vertices");
    pugi::xml_node source;
    for (const pugi::xml_node& input : vertices.children("input")) {
        if (std::string(input.attribute("semantic").value()) == "POSITION") {
            source = ByUrl(ids, input.attribute("source").value());
        }
    }
    if (!source) {
        throw FileMeshError(what + "its <vertices> name no positions");
    }
    const std::vector<double>& values = *arrays->Of<double>(source.child("float_array"), what);
    const pugi::xml_node accessor = source.child("technique_common").child("accessor");
    const size_t stride = CountAttribute(accessor, "stride", 3, values.size() + 3, what);
    const size_t offset = CountAttribute(accessor, "offset", 0, values.size(), what);
    const size_t count = CountAttribute(accessor, "count", values.size() / 3, values.size(), what);
    if (stride < 3) {
        throw FileMeshError(what + "its positions have items of fewer than 3 values");
    }
    if (count > 0 && (count - 1 > (values.size() - offset) / stride ||
                      offset + (count - 1) * stride + 3 > values.size())) {
        throw FileMeshError(what + "its positions are shorter than their accessor says");
    }
    for (size_t i = 0; i < count; ++i) {
        const double* v = values.data() + offset + i * stride;
        out.positions.push_back({v[0], v[1], v[2]});
    }
    const std::string verticesId = vertices.attribute("id").value();
    const int vertexCount = static_cast<int>(out.positions.size());
    for (const pugi::xml_node& prim : mesh.children()) {
        const std::string kind = prim.name();
        if (kind != "triangles" && kind != "polylist" && kind != "polygons") {
            continue;
        }
        // Each corner is a run of one index per input offset.
        int vertexOffset = -1;
        size_t inputs = 0;
        for (const pugi::xml_node& input : prim.children("input")) {
            const size_t o = CountAttribute(input, "offset", 0, kMaxInputs - 1, what);
            inputs = std::max(inputs, o + 1);
            if (std::string(input.attribute("semantic").value()) == "VERTEX") {
                vertexOffset = static_cast<int>(o);
            }
        }
        if (vertexOffset < 0) {
            throw FileMeshError(what + "a <" + kind + "> has no VERTEX input");
        }
        std::vector<std::vector<int>> lists;
        for (const pugi::xml_node& p : prim.children("p")) {
            lists.push_back(Numbers<int>(p, what));
        }
        std::vector<int> sizes;
        if (kind == "polylist") {
            sizes = Numbers<int>(prim.child("vcount"), what);
        } else if (kind == "polygons") {
            for (const auto& l : lists) {
                sizes.push_back(static_cast<int>(l.size() / inputs));
            }
        } else if (!lists.empty()) {
            sizes.assign(lists[0].size() / inputs / 3, 3);
        }
        size_t listIndex = 0, at = 0;
        for (int n : sizes) {
            if (kind == "polygons") {
                at = 0;
            }
            const std::vector<int>* list = listIndex < lists.size() ? &lists[listIndex] : nullptr;
            if (n < 0 || !list || (list->size() - at) / inputs < static_cast<size_t>(n)) {
                throw FileMeshError(what + "a <" + kind + "> has fewer indices than polygons");
            }
            const size_t first = out.corners.size();
            for (int k = 0; k < n; ++k) {
                const int v = (*list)[at + k * inputs + vertexOffset];
                if (v < 0 || v >= vertexCount) {
                    throw FileMeshError(what + "a polygon names a vertex that does not exist");
                }
                out.corners.push_back(v);
            }
            at += static_cast<size_t>(n) * inputs;
            if (kind == "polygons") {
                ++listIndex;
            }
            if (n >= 3) {
                out.starts.push_back(static_cast<int>(out.corners.size()));
            } else {
                out.corners.resize(first);
            }
        }
    }
    return out;
}

} // namespace

pugi::xml_document ParseColladaXml(std::string_view text) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
    if (!parsed) {
        throw FileMeshError(std::string("Collada XML: ") + parsed.description());
    }
    return doc;
}

std::vector<FileMesh> ReadColladaMeshes(const std::string& text, double* metresPerUnit) {
    return ReadColladaMeshes(ParseColladaXml(text), metresPerUnit);
}

std::vector<FileMesh> ReadColladaMeshes(const pugi::xml_document& doc, double* metresPerUnit) {
    const pugi::xml_attribute meter =
        doc.child("COLLADA").child("asset").child("unit").attribute("meter");
    *metresPerUnit = 0.0;
    if (meter) {
        // A unit of no length, a negative one (a mirror) or one that is no
        // number would bake every point somewhere the file does not mean.
        double v = 0.0;
        const char* text = meter.value();
        const char* end = text + std::strlen(text);
        const auto res = std::from_chars(text, end, v);
        if (res.ec != std::errc() || res.ptr != end || !(v > 0.0) || !std::isfinite(v)) {
            throw FileMeshError("its Collada <unit meter=\"" + Clipped(text) +
                                "\"> is not a positive number of metres");
        }
        *metresPerUnit = v;
    }
    const std::map<std::string, pugi::xml_node> ids = ColladaIds(doc);
    ColladaArrays arrays;
    // Which nodes show each geometry, directly or through a skin or morph.
    std::map<std::string, std::vector<std::string>> users;
    for (const pugi::xpath_node& x :
         doc.select_nodes("//node/instance_geometry | //node/instance_controller")) {
        pugi::xml_node target = ByUrl(ids, x.node().attribute("url").value());
        for (int hops = 0; hops < 8 && target && std::string(target.name()) == "controller";
             ++hops) {
            const pugi::xml_node skin =
                target.child("skin") ? target.child("skin") : target.child("morph");
            target = ByUrl(ids, skin.attribute("source").value());
        }
        // Assimp names a node by its name or its id.
        const pugi::xml_node node = x.node().parent();
        if (target) {
            auto& names = users[target.attribute("id").value()];
            names.push_back(node.attribute("name").value());
            names.push_back(node.attribute("id").value());
        }
    }
    std::vector<FileMesh> meshes;
    for (const pugi::xpath_node& x : doc.select_nodes("//library_geometries/geometry")) {
        const pugi::xml_node geometry = x.node();
        const pugi::xml_node mesh = geometry.child("mesh");
        if (!mesh) {
            continue;
        }
        const std::string id = geometry.attribute("id").value();
        const std::string what = "Collada mesh \"" + id + "\": ";
        meshes.push_back(ReadMesh(ids, mesh, what, &arrays));
        meshes.back().users = users[id];
        meshes.back().id = id;
    }
    return meshes;
}

} // namespace host

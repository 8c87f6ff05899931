// The positions and polygons of a Collada file's geometries.
#include "host/import/ColladaXml.h"
#include "host/import/FileMeshes.h"

#include <pugixml.hpp>

#include <cmath>
#include <map>

namespace host {
namespace {

FileMesh ReadMesh(const std::map<std::string, pugi::xml_node>& ids, const pugi::xml_node& mesh,
                  const std::string& what) {
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
    const std::vector<double> values = Numbers<double>(source.child("float_array"), what);
    const pugi::xml_node accessor = source.child("technique_common").child("accessor");
    const size_t stride = accessor.attribute("stride").as_uint(3);
    const size_t count = accessor.attribute("count").as_uint(values.size() / 3);
    const size_t offset = accessor.attribute("offset").as_uint(0);
    if (stride < 3 || count > (values.size() - std::min(values.size(), offset)) / stride + 1 ||
        (count > 0 && offset + (count - 1) * stride + 3 > values.size())) {
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
        int vertexOffset = -1;
        int inputs = 0;
        for (const pugi::xml_node& input : prim.children("input")) {
            const int o = input.attribute("offset").as_int(0);
            inputs = std::max(inputs, o + 1);
            if (std::string(input.attribute("semantic").value()) == "VERTEX") {
                vertexOffset = o;
            }
        }
        if (vertexOffset < 0 || inputs > 1000) {
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
    *metresPerUnit = meter && meter.as_double() > 0.0 && std::isfinite(meter.as_double())
                         ? meter.as_double()
                         : 0.0;
    const std::map<std::string, pugi::xml_node> ids = ColladaIds(doc);
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
        meshes.push_back(ReadMesh(ids, mesh, what));
        meshes.back().users = users[id];
        meshes.back().id = id;
    }
    return meshes;
}

} // namespace host

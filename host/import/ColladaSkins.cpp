#include "host/import/ColladaSkins.h"

#include "host/import/ColladaXml.h"

#include <cmath>
#include <cstring>

namespace host {
namespace {

using Ids = std::map<std::string, pugi::xml_node>;

bool IsNode(const pugi::xml_node& n) {
    return std::strcmp(n.name(), "node") == 0;
}

// The first <node> at or below root, in document order, whose attribute is
// value, or an empty node.
pugi::xml_node FindBelow(const pugi::xml_node& root, const char* attribute,
                         const std::string& value) {
    std::vector<pugi::xml_node> stack{root};
    while (!stack.empty()) {
        const pugi::xml_node n = stack.back();
        stack.pop_back();
        if (IsNode(n) && value == n.attribute(attribute).value()) {
            return n;
        }
        std::vector<pugi::xml_node> children;
        for (const pugi::xml_node& c : n.children("node")) {
            children.push_back(c);
        }
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    return {};
}

// The node a joint names: by sid, then name, then id, below the skeleton
// roots first, then anywhere in the scenes.
pugi::xml_node FindJoint(const std::vector<pugi::xml_node>& roots,
                         const std::vector<pugi::xml_node>& scenes, const std::string& name) {
    for (const std::vector<pugi::xml_node>* places : {&roots, &scenes}) {
        for (const char* attribute : {"sid", "name", "id"}) {
            for (const pugi::xml_node& root : *places) {
                if (const pugi::xml_node n = FindBelow(root, attribute, name)) {
                    return n;
                }
            }
        }
    }
    return {};
}

Mat34 RowsToMat34(const double* v) {
    Mat34 m;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            m.m[r][c] = v[r * 4 + c];
        }
    }
    return m;
}

// What a skin controller holds apart from where its joints are.
struct SkinData {
    std::string geometry;
    std::vector<std::string> names;
    bool byId = false; // an IDREF_array: the names are ids
    std::vector<Mat34> offsets;
    std::vector<int> start{0};
    std::vector<int> joint;
    std::vector<double> weight;
    size_t dropped = 0;
};

std::map<std::string, pugi::xml_node> InputsOf(const pugi::xml_node& parent) {
    std::map<std::string, pugi::xml_node> inputs;
    for (const pugi::xml_node& input : parent.children("input")) {
        inputs.emplace(input.attribute("semantic").value(), input);
    }
    return inputs;
}

SkinData ReadSkin(const Ids& ids, const pugi::xml_node& skin, const std::string& what,
                  ColladaArrays* arrays) {
    SkinData out;
    // The geometry, through any morph controllers on the way.
    pugi::xml_node target = ByUrl(ids, skin.attribute("source").value());
    for (int hops = 0; hops < 8 && target && std::strcmp(target.name(), "controller") == 0;
         ++hops) {
        const pugi::xml_node next =
            target.child("skin") ? target.child("skin") : target.child("morph");
        target = ByUrl(ids, next.attribute("source").value());
    }
    out.geometry = target ? target.attribute("id").value() : "";
    double bindShape[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (const pugi::xml_node bsm = skin.child("bind_shape_matrix")) {
        const std::vector<double> v = Numbers<double>(bsm, what);
        if (v.size() != 16) {
            throw FileMeshError(what + "its bind shape matrix does not hold 16 numbers");
        }
        std::copy(v.begin(), v.end(), bindShape);
    }
    auto joints = InputsOf(skin.child("joints"));
    if (!joints.count("JOINT") || !joints.count("INV_BIND_MATRIX")) {
        throw FileMeshError(what + "its <joints> have no JOINT or no INV_BIND_MATRIX");
    }
    const pugi::xml_node jointSource = ByUrl(ids, joints["JOINT"].attribute("source").value());
    out.byId = !jointSource.child("Name_array") && jointSource.child("IDREF_array");
    const auto names = ReadSource<std::string>(
        ids, joints["JOINT"], out.byId ? "IDREF_array" : "Name_array", what, arrays);
    out.names.assign(names.data(), names.data() + names.count * names.stride);
    const auto matrices =
        ReadSource<double>(ids, joints["INV_BIND_MATRIX"], "float_array", what, arrays);
    if (matrices.stride != 16 || matrices.count < out.names.size()) {
        throw FileMeshError(what + "it has fewer inverse bind matrices than joints");
    }
    const Mat34 shape = RowsToMat34(bindShape);
    for (size_t j = 0; j < out.names.size(); ++j) {
        out.offsets.push_back(Mul(RowsToMat34(&matrices[16 * j]), shape));
    }
    const pugi::xml_node vw = skin.child("vertex_weights");
    auto inputs = InputsOf(vw);
    if (!inputs.count("JOINT") || !inputs.count("WEIGHT")) {
        throw FileMeshError(what + "its <vertex_weights> have no JOINT or no WEIGHT");
    }
    // Each vertex's influences are runs of one index per input offset.
    const size_t jointOffset = CountAttribute(inputs["JOINT"], "offset", 0, kMaxInputs - 1, what);
    const size_t weightOffset = CountAttribute(inputs["WEIGHT"], "offset", 0, kMaxInputs - 1, what);
    size_t stride = 0;
    for (const auto& [semantic, input] : inputs) {
        stride = std::max(stride, CountAttribute(input, "offset", 0, kMaxInputs - 1, what) + 1);
    }
    const auto weights = ReadSource<double>(ids, inputs["WEIGHT"], "float_array", what, arrays);
    const std::vector<int> counts = Numbers<int>(vw.child("vcount"), what);
    const std::vector<long> v = Numbers<long>(vw.child("v"), what);
    const size_t vertices = CountAttribute(vw, "count", counts.size(), counts.size(), what);
    size_t at = 0;
    for (size_t vertex = 0; vertex < vertices; ++vertex) {
        if (counts[vertex] < 0 ||
            (v.size() - std::min(at, v.size())) / stride < static_cast<size_t>(counts[vertex])) {
            throw FileMeshError(what + "its <vertex_weights> have fewer values than counts");
        }
        for (int k = 0; k < counts[vertex]; ++k, at += stride) {
            const long j = v[at + jointOffset];
            const long w = v[at + weightOffset];
            if (w < 0 || static_cast<size_t>(w) >= weights.count) {
                throw FileMeshError(what + "a vertex weight names no weight");
            }
            const double value = weights[static_cast<size_t>(w) * weights.stride];
            if (j < 0 || static_cast<size_t>(j) >= out.names.size()) {
                ++out.dropped;
                continue;
            }
            if (value > 0.0 && std::isfinite(value)) {
                out.joint.push_back(static_cast<int>(j));
                out.weight.push_back(value);
            }
        }
        out.start.push_back(static_cast<int>(out.joint.size()));
    }
    return out;
}

} // namespace

std::map<std::string, std::shared_ptr<const ColladaSkin>>
ReadColladaSkins(const pugi::xml_document& doc) {
    const Ids ids = ColladaIds(doc);
    ColladaArrays arrays;
    std::vector<pugi::xml_node> scenes;
    for (const pugi::xpath_node& x : doc.select_nodes("//library_visual_scenes/visual_scene")) {
        scenes.push_back(x.node());
    }
    std::map<std::string, std::shared_ptr<const SkinData>> skins; // by controller id
    std::map<std::string, std::shared_ptr<const ColladaSkin>> out;
    for (const pugi::xpath_node& x : doc.select_nodes("//node/instance_controller")) {
        const pugi::xml_node instance = x.node();
        const pugi::xml_node node = instance.parent();
        const std::string nodeId = node.attribute("id").value();
        const pugi::xml_node controller = ByUrl(ids, instance.attribute("url").value());
        const pugi::xml_node skin = controller.child("skin");
        if (nodeId.empty() || !skin || out.count(nodeId)) {
            continue;
        }
        const std::string controllerId = controller.attribute("id").value();
        auto data = skins.find(controllerId);
        if (data == skins.end()) {
            const std::string what = "Collada skin \"" + controllerId + "\": ";
            data = skins
                       .emplace(controllerId,
                                std::make_shared<SkinData>(ReadSkin(ids, skin, what, &arrays)))
                       .first;
        }
        const SkinData& d = *data->second;
        std::vector<pugi::xml_node> roots;
        for (const pugi::xml_node& s : instance.children("skeleton")) {
            if (const pugi::xml_node root = ByUrl(ids, s.child_value())) {
                roots.push_back(root);
            }
        }
        auto result = std::make_shared<ColladaSkin>();
        result->geometry = d.geometry;
        result->jointNames = d.names;
        result->offsets = d.offsets;
        result->start = d.start;
        result->joint = d.joint;
        result->weight = d.weight;
        result->dropped = d.dropped;
        for (const std::string& name : d.names) {
            pugi::xml_node joint;
            if (d.byId) {
                const auto it = ids.find(name);
                joint = it != ids.end() && IsNode(it->second) ? it->second : pugi::xml_node();
            } else {
                joint = FindJoint(roots, scenes, name);
            }
            result->jointNodes.push_back(joint ? joint.attribute("id").value() : "");
        }
        out.emplace(nodeId, std::move(result));
    }
    return out;
}

} // namespace host

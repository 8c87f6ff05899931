#include "host/import/ColladaCurves.h"

#include "host/import/ColladaXml.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <set>
#include <type_traits>
#include <utility>

namespace host {

// ---------------------------------------------------------------------------
// Curves.

ColladaCurve::ColladaCurve(std::vector<Key> keys, int width, std::vector<double> values,
                           std::vector<double> inTime, std::vector<double> inValue,
                           std::vector<double> outTime, std::vector<double> outValue)
    : m_keys(std::move(keys)), m_width(width), m_values(std::move(values)),
      m_inTime(std::move(inTime)), m_inValue(std::move(inValue)), m_outTime(std::move(outTime)),
      m_outValue(std::move(outValue)) {}

bool ColladaCurve::IsLinear() const {
    for (size_t k = 0; k + 1 < m_keys.size(); ++k) {
        if (m_keys[k].interp != Interp::Linear && m_keys[k + 1].time > m_keys[k].time) {
            return false;
        }
    }
    return true;
}

double ColladaCurve::BezierValue(size_t k, int c, double time) const {
    const size_t i0 = k * m_width + c;
    const size_t i1 = (k + 1) * m_width + c;
    const double t0 = m_keys[k].time;
    const double t1 = m_keys[k + 1].time;
    const double v0 = m_values[i0];
    const double v1 = m_values[i1];
    const double span = t1 - t0;
    // The control points as offsets from their keys; a tangent without time
    // lies a third along the segment.
    double h1t = std::isnan(m_outTime[i0]) ? span / 3.0 : m_outTime[i0] - t0;
    double h1v = m_outValue[i0] - v0;
    double h2t = std::isnan(m_inTime[i1]) ? span / 3.0 : t1 - m_inTime[i1];
    double h2v = v1 - m_inValue[i1];
    // A control point behind its key in time collapses onto the key; two
    // that overlap in time are shortened alike, keeping their direction.
    if (!(h1t > 0.0)) {
        h1t = h1v = 0.0;
    }
    if (!(h2t > 0.0)) {
        h2t = h2v = 0.0;
    }
    if (h1t + h2t > span) {
        const double f = span / (h1t + h2t);
        h1t *= f;
        h1v *= f;
        h2t *= f;
        h2v *= f;
    }
    const double a = t0 + h1t;
    const double b = t1 - h2t;
    auto bezier = [](double p0, double p1, double p2, double p3, double s) {
        const double r = 1.0 - s;
        return r * r * r * p0 + 3.0 * r * r * s * p1 + 3.0 * r * s * s * p2 + s * s * s * p3;
    };
    // The time grows along the segment: halve the parameter's range until
    // its time is the time asked.
    double lo = 0.0;
    double hi = 1.0;
    for (int i = 0; i < 60 && hi - lo > 1e-15; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (bezier(t0, a, b, t1, mid) < time) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return bezier(v0, v0 + h1v, v1 - h2v, v1, 0.5 * (lo + hi));
}

void ColladaCurve::Eval(double time, double* out) const {
    const size_t n = m_keys.size();
    const double* first = m_values.data();
    if (n == 0) {
        return;
    }
    if (!(time > m_keys.front().time)) { // also a time that is no number
        std::copy(first, first + m_width, out);
        return;
    }
    if (time >= m_keys.back().time) {
        std::copy(first + (n - 1) * m_width, first + n * m_width, out);
        return;
    }
    // The last key at or before the time starts the segment.
    const auto next = std::upper_bound(m_keys.begin(), m_keys.end(), time,
                                       [](double t, const Key& key) { return t < key.time; });
    const size_t k = static_cast<size_t>(next - m_keys.begin()) - 1;
    const double* v0 = first + k * m_width;
    const double* v1 = v0 + m_width;
    switch (m_keys[k].interp) {
    case Interp::Step:
        std::copy(v0, v1, out);
        return;
    case Interp::Linear: {
        const double u = (time - m_keys[k].time) / (m_keys[k + 1].time - m_keys[k].time);
        for (int c = 0; c < m_width; ++c) {
            out[c] = v0[c] + (v1[c] - v0[c]) * u;
        }
        return;
    }
    case Interp::Bezier:
        for (int c = 0; c < m_width; ++c) {
            out[c] = BezierValue(k, c, time);
        }
        return;
    }
}

// ---------------------------------------------------------------------------
// Node transforms.

Mat34 ColladaNodeCurves::At(double time) const {
    Mat34 m;
    std::vector<double> v;
    double animated[16];
    for (const Element& e : elements) {
        v = e.values;
        for (const Animation& a : e.animations) {
            a.curve->Eval(time, animated);
            std::copy(animated, animated + a.curve->Width(), v.begin() + a.first);
        }
        Mat34 step;
        switch (e.kind) {
        case ElementKind::Translate:
            step.m[0][3] = v[0];
            step.m[1][3] = v[1];
            step.m[2][3] = v[2];
            break;
        case ElementKind::Rotate:
            step = RotationMatrix(QuatFromAxisAngle({v[0], v[1], v[2]}, DegToRad(v[3])));
            break;
        case ElementKind::Scale:
            step.m[0][0] = v[0];
            step.m[1][1] = v[1];
            step.m[2][2] = v[2];
            break;
        case ElementKind::Matrix:
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 4; ++c) {
                    step.m[r][c] = v[r * 4 + c];
                }
            }
            break;
        }
        m = Mul(m, step);
    }
    return m;
}

bool ColladaNodeCurves::AnimatesMatrix() const {
    return std::any_of(elements.begin(), elements.end(), [](const Element& e) {
        return e.kind == ElementKind::Matrix && !e.animations.empty();
    });
}

// ---------------------------------------------------------------------------
// Reading.

namespace {

using Ids = std::map<std::string, pugi::xml_node>;

constexpr double kNoTime = std::numeric_limits<double>::quiet_NaN();

ColladaCurve::Interp InterpOf(const std::string& name) {
    if (name == "STEP") {
        return ColladaCurve::Interp::Step;
    }
    if (name == "BEZIER" || name == "HERMITE") {
        return ColladaCurve::Interp::Bezier;
    }
    return ColladaCurve::Interp::Linear;
}

std::shared_ptr<const ColladaCurve> ReadSampler(const Ids& ids,
                                                std::map<std::string, pugi::xml_node>& inputs,
                                                const std::string& what, ColladaArrays* arrays) {
    const auto times = ReadSource<double>(ids, inputs["INPUT"], "float_array", what, arrays);
    const auto values = ReadSource<double>(ids, inputs["OUTPUT"], "float_array", what, arrays);
    const size_t n = times.count;
    const size_t width = values.stride;
    if (values.count < n) {
        throw FileMeshError(what + "its sampler has fewer values than times");
    }
    for (size_t i = 0; i < n * width; ++i) {
        if (!std::isfinite(values[i])) {
            throw FileMeshError(what + "a value is not a finite number");
        }
    }
    std::vector<ColladaCurve::Key> keys(n);
    for (size_t k = 0; k < n; ++k) {
        keys[k].time = times[k * times.stride];
        if (!std::isfinite(keys[k].time) || (k > 0 && keys[k].time < keys[k - 1].time)) {
            throw FileMeshError(what + "its key times are not in order");
        }
    }
    std::vector<bool> hermite(n, false);
    bool curved = false;
    if (inputs.count("INTERPOLATION")) {
        const auto names =
            ReadSource<std::string>(ids, inputs["INTERPOLATION"], "Name_array", what, arrays);
        if (names.count < n) {
            throw FileMeshError(what + "its sampler has fewer interpolations than keys");
        }
        for (size_t k = 0; k < n; ++k) {
            const std::string& name = names[k * names.stride];
            keys[k].interp = InterpOf(name);
            hermite[k] = name == "HERMITE";
            curved = curved || keys[k].interp == ColladaCurve::Interp::Bezier;
        }
    }
    std::vector<double> tangent[2][2]; // [in, out][time, value], n * width each
    if (curved) {
        const char* names[2] = {"IN_TANGENT", "OUT_TANGENT"};
        for (int side = 0; side < 2; ++side) {
            if (!inputs.count(names[side])) {
                throw FileMeshError(what + "its curve keys have no " + names[side]);
            }
            const auto t =
                ReadSource<double>(ids, inputs[names[side]], "float_array", what, arrays);
            // (time, value) per value, or the value alone.
            const bool withTime = t.stride == 2 * width;
            if (t.count < n || (!withTime && t.stride != width)) {
                throw FileMeshError(what + "its " + names[side] + " does not fit its values");
            }
            tangent[side][0].resize(n * width);
            tangent[side][1].resize(n * width);
            for (size_t i = 0; i < n * width; ++i) {
                const size_t k = i / width;
                const size_t c = i % width;
                const double* item = t.data() + k * t.stride;
                double time = withTime ? item[2 * c] : kNoTime;
                double value = withTime ? item[2 * c + 1] : item[c];
                // The segment an in tangent ends is the earlier key's.
                if (side == 0 ? k > 0 && hermite[k - 1] : hermite[k]) {
                    // A slope along the segment's parameter: the control
                    // point is a third of it away from the key.
                    const double key = values[k * width + c];
                    const double sign = side == 0 ? -1.0 : 1.0;
                    value = key + sign * value / 3.0;
                    time = withTime ? keys[k].time + sign * time / 3.0 : kNoTime;
                }
                if (!std::isfinite(value) || std::isinf(time)) {
                    throw FileMeshError(what + "its " + names[side] + " is not a finite number");
                }
                tangent[side][0][i] = time;
                tangent[side][1][i] = value;
            }
        }
    } else {
        for (auto& side : tangent) {
            for (auto& part : side) {
                part.assign(n * width, kNoTime);
            }
        }
    }
    return std::make_shared<ColladaCurve>(
        std::move(keys), static_cast<int>(width),
        std::vector<double>(values.data(), values.data() + n * width), std::move(tangent[0][0]),
        std::move(tangent[0][1]), std::move(tangent[1][0]), std::move(tangent[1][1]));
}

// A channel's target below its node: the element's sid and which of its
// values the curve sets ("" all, ".X", ".ANGLE", "(i)", "(column)(row)").
struct Target {
    std::string sid;
    std::string member;
    std::shared_ptr<const ColladaCurve> curve;
};

// The first value a member names, or -1 for a member this reader does not
// know.
int FirstValue(ColladaNodeCurves::ElementKind kind, const std::string& member) {
    if (member.empty()) {
        return 0;
    }
    static const char* const names[] = {".X", ".Y", ".Z", ".ANGLE"};
    for (int i = 0; i < 4; ++i) {
        if (member == names[i]) {
            return i < 3 || kind == ColladaNodeCurves::ElementKind::Rotate ? i : -1;
        }
    }
    // Array access: "(i)", or "(column)(row)" of a matrix.
    int index[2] = {-1, -1};
    int count = 0;
    size_t at = 0;
    while (at < member.size() && count < 2 && member[at] == '(') {
        const size_t close = member.find(')', at);
        if (close == std::string::npos || close == at + 1 || close > at + 3) {
            return -1;
        }
        int v = 0;
        for (size_t i = at + 1; i < close; ++i) {
            if (member[i] < '0' || member[i] > '9') {
                return -1;
            }
            v = v * 10 + (member[i] - '0');
        }
        index[count++] = v;
        at = close + 1;
    }
    if (at != member.size() || count == 0) {
        return -1;
    }
    if (count == 2) {
        return kind == ColladaNodeCurves::ElementKind::Matrix && index[0] < 4 && index[1] < 4
                   ? index[1] * 4 + index[0]
                   : -1;
    }
    return index[0];
}

// Whether sid names one of the node's transform elements.
bool IsTransformSid(const pugi::xml_node& node, const std::string& sid) {
    for (const pugi::xml_node& child : node.children()) {
        const std::string name = child.name();
        if ((name == "translate" || name == "rotate" || name == "scale" || name == "matrix" ||
             name == "lookat" || name == "skew") &&
            !sid.empty() && sid == child.attribute("sid").value()) {
            return true;
        }
    }
    return false;
}

// Whether the elements are Blender's location, rotation and scale, in the
// order Blender writes them.
bool IsBlenderLayout(const std::vector<ColladaNodeCurves::Element>& elements) {
    using K = ColladaNodeCurves::ElementKind;
    static const std::pair<K, const char*> layout[] = {{K::Scale, "scale"},
                                                       {K::Rotate, "rotationZ"},
                                                       {K::Rotate, "rotationY"},
                                                       {K::Rotate, "rotationX"},
                                                       {K::Translate, "location"}};
    if (elements.size() != std::size(layout)) {
        return false;
    }
    for (size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].kind != layout[i].first || elements[i].sid != layout[i].second) {
            return false;
        }
    }
    return true;
}

// The node's transform with its targets' curves, or null where the reader
// cannot follow it or Assimp's own transform and keys already show it.
std::shared_ptr<const ColladaNodeCurves> NodeCurves(const pugi::xml_node& node,
                                                    const std::vector<Target>& targets,
                                                    bool byBlender, bool shared) {
    auto out = std::make_shared<ColladaNodeCurves>();
    for (const pugi::xml_node& child : node.children()) {
        const std::string name = child.name();
        ColladaNodeCurves::Element e;
        size_t size = 3;
        if (name == "translate") {
            e.kind = ColladaNodeCurves::ElementKind::Translate;
        } else if (name == "rotate") {
            e.kind = ColladaNodeCurves::ElementKind::Rotate;
            size = 4;
        } else if (name == "scale") {
            e.kind = ColladaNodeCurves::ElementKind::Scale;
        } else if (name == "matrix") {
            e.kind = ColladaNodeCurves::ElementKind::Matrix;
            size = 16;
        } else if (name == "lookat" || name == "skew") {
            return nullptr;
        } else {
            continue;
        }
        e.sid = child.attribute("sid").value();
        e.values = Numbers<double>(child, "Collada node \"" +
                                              std::string(node.attribute("id").value()) + "\": ");
        if (e.values.size() != size) {
            return nullptr;
        }
        out->elements.push_back(std::move(e));
    }
    bool curved = false;
    for (const Target& t : targets) {
        auto e = std::find_if(out->elements.begin(), out->elements.end(),
                              [&t](const auto& el) { return !t.sid.empty() && el.sid == t.sid; });
        if (e == out->elements.end()) {
            return nullptr;
        }
        const int first = FirstValue(e->kind, t.member);
        const int width = t.curve->Width();
        if (first < 0 || first + width > static_cast<int>(e->values.size()) ||
            (t.member.empty() && width != static_cast<int>(e->values.size()))) {
            return nullptr;
        }
        e->animations.push_back({first, t.curve});
        curved = curved || !t.curve->IsLinear();
    }
    const bool blenderLayout = byBlender && IsBlenderLayout(out->elements);
    if (blenderLayout) {
        std::swap(out->elements.front(), out->elements.back());
    }
    return curved || blenderLayout || shared || out->AnimatesMatrix() ? out : nullptr;
}

} // namespace

std::shared_ptr<const ColladaCurve> ColladaSamplers::Read(const pugi::xml_node& sampler,
                                                          const std::string& what) {
    std::map<std::string, pugi::xml_node> inputs;
    for (const pugi::xml_node& input : sampler.children("input")) {
        inputs.emplace(input.attribute("semantic").value(), input);
    }
    if (!inputs.count("INPUT") || !inputs.count("OUTPUT")) {
        throw FileMeshError(what + "its sampler has no INPUT or no OUTPUT");
    }
    std::vector<const void*> key;
    for (const char* semantic : {"INPUT", "OUTPUT", "INTERPOLATION", "IN_TANGENT", "OUT_TANGENT"}) {
        const auto it = inputs.find(semantic);
        key.push_back(it == inputs.end()
                          ? nullptr
                          : ByUrl(m_ids, it->second.attribute("source").value()).internal_object());
    }
    auto it = m_curves.find(key);
    if (it == m_curves.end()) {
        it = m_curves.emplace(std::move(key), ReadSampler(m_ids, inputs, what, &m_arrays)).first;
    }
    return it->second;
}

std::map<std::string, std::shared_ptr<const ColladaNodeCurves>>
ReadColladaCurves(const std::string& text) {
    return ReadColladaCurves(ParseColladaXml(text));
}

std::map<std::string, std::shared_ptr<const ColladaNodeCurves>>
ReadColladaCurves(const pugi::xml_document& doc, std::vector<std::string>* unread) {
    const Ids ids = ColladaIds(doc);
    ColladaSamplers samplers(ids);
    // Assimp keeps one channel per sampler (the last that names it): the
    // nodes of the others keep still unless their curves are read here.
    std::map<std::string, int> users;
    const pugi::xpath_node_set channels = doc.select_nodes("//animation/channel");
    for (const pugi::xpath_node& x : channels) {
        ++users[x.node().attribute("source").value()];
    }
    // The channels by the node they animate ("node id/sid" and a member),
    // and the nodes whose channels Assimp drops: those of a shared sampler
    // and those inside <library_nodes> (Assimp looks for a channel's node in
    // the visual scene only; the instances of such a node are copies).
    std::map<std::string, std::vector<Target>> byNode;
    std::set<std::string> shared;
    std::map<std::string, std::string> inLibrary; // node id: a channel's target
    for (const pugi::xpath_node& x : channels) {
        const std::string target = x.node().attribute("target").value();
        const size_t slash = target.find('/');
        if (slash == std::string::npos || slash == 0) {
            continue;
        }
        const std::string nodeId = target.substr(0, slash);
        const auto node = ids.find(nodeId);
        if (node == ids.end() || std::string(node->second.name()) != "node") {
            continue; // not a node's transform
        }
        Target t;
        const std::string rest = target.substr(slash + 1);
        const size_t member = rest.find_first_of(".(");
        t.sid = rest.substr(0, member);
        t.member = member == std::string::npos ? "" : rest.substr(member);
        if (!IsTransformSid(node->second, t.sid)) {
            continue; // something else of the node, or deeper in it
        }
        const std::string what = "Collada animation of \"" + target + "\": ";
        const pugi::xml_node sampler = ByUrl(ids, x.node().attribute("source").value());
        if (!sampler) {
            throw FileMeshError(what + "its channel names no sampler");
        }
        t.curve = samplers.Read(sampler, what);
        byNode[nodeId].push_back(std::move(t));
        if (users[x.node().attribute("source").value()] > 1) {
            shared.insert(nodeId);
        }
        for (pugi::xml_node up = node->second.parent(); up; up = up.parent()) {
            if (std::strcmp(up.name(), "library_nodes") == 0) {
                shared.insert(nodeId);
                inLibrary.emplace(nodeId, target);
                break;
            }
        }
    }
    const std::string tool = doc.child("COLLADA")
                                 .child("asset")
                                 .child("contributor")
                                 .child("authoring_tool")
                                 .child_value();
    const bool byBlender = tool.rfind("Blender", 0) == 0;
    if (byBlender) {
        for (const pugi::xpath_node& x : doc.select_nodes("//node[@id]")) {
            byNode[x.node().attribute("id").value()]; // every node, animated or not
        }
    }
    std::map<std::string, std::shared_ptr<const ColladaNodeCurves>> out;
    for (const auto& [id, targets] : byNode) {
        if (auto curves = NodeCurves(ids.at(id), targets, byBlender, shared.count(id) > 0)) {
            out.emplace(id, std::move(curves));
        } else if (const auto library = inLibrary.find(id); unread && library != inLibrary.end()) {
            unread->push_back(library->second);
        }
    }
    return out;
}

} // namespace host

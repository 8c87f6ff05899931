#include "host/import/GltfSteps.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <locale>
#include <sstream>
#include <unordered_set>
#include <utility>

namespace host {
namespace {

using Json = nlohmann::json;

// Strings longer than this are cut to their first kKeptBytes bytes before the
// JSON is parsed: no name or uri the importer reads needs more, and a base64
// buffer is never parsed.
constexpr size_t kLongString = 4096;
constexpr size_t kKeptBytes = 256;
// Indices and counts above this are taken as no index at all.
constexpr int64_t kMaxIndex = int64_t{1} << 40;

// The length of a prefix of the string body [b, e) that ends on neither an
// escape sequence nor a UTF-8 sequence cut in two, at most `limit` bytes.
size_t WholePrefix(const char* b, const char* e, size_t limit) {
    size_t i = 0;
    const size_t n = static_cast<size_t>(e - b);
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(b[i]);
        size_t len = 1;
        if (c == '\\') {
            len = i + 1 < n && b[i + 1] == 'u' ? 6 : 2;
        } else if (c >= 0xF0) {
            len = 4;
        } else if (c >= 0xE0) {
            len = 3;
        } else if (c >= 0xC0) {
            len = 2;
        }
        if (i + len > limit) {
            break;
        }
        i += len;
    }
    return i;
}

// A cut string keeps its first kKeptBytes bytes, then this mark (an escaped
// NUL, which no name or uri the importer reads holds) and the number of the
// cut in the text, counted from 0.
constexpr char kCutMark[] = "\\u0000#";

// The number of the cut a string read from the JSON ends with, or -1.
int64_t CutNumber(const std::string& s) {
    const size_t nul = s.rfind('\0');
    if (nul == std::string::npos || nul + 1 >= s.size() || s[nul + 1] != '#') {
        return -1;
    }
    int64_t k = 0;
    for (size_t i = nul + 2; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9' || k > (int64_t{1} << 40)) {
            return -1;
        }
        k = 10 * k + (s[i] - '0');
    }
    return nul + 2 < s.size() ? k : -1;
}

// A string of the text: its characters between the quotes.
struct TextSpan {
    size_t begin;
    size_t end;
};

// Copies JSON text with every long string cut short (cuts receives where
// each one was in the text), and measures the deepest nesting of arrays and
// objects on the way. Only the quotes that delimit strings are looked for
// inside them, so a megabyte string costs a memchr. Text that is no JSON
// comes out as no JSON.
std::string CutLongStrings(const char* p, const char* end, int* maxDepth,
                           std::vector<TextSpan>* cuts) {
    const char* const start = p;
    std::string out;
    int depth = 0;
    *maxDepth = 0;
    while (p < end) {
        const char* q = p;
        for (; q < end && *q != '"'; ++q) {
            if (*q == '{' || *q == '[') {
                *maxDepth = std::max(*maxDepth, ++depth);
            } else if (*q == '}' || *q == ']') {
                --depth;
            }
        }
        out.append(p, q);
        if (q == end) {
            break;
        }
        // q opens a string: its end is the first quote after an even number
        // of backslashes.
        const char* body = q + 1;
        const char* close = body;
        for (;;) {
            close = static_cast<const char*>(std::memchr(close, '"', end - close));
            if (!close) {
                close = end;
                break;
            }
            const char* s = close;
            while (s > body && s[-1] == '\\') {
                --s;
            }
            if ((close - s) % 2 == 0) {
                break;
            }
            ++close;
        }
        if (static_cast<size_t>(close - body) <= kLongString) {
            out.append(q, close < end ? close + 1 : end);
        } else {
            out.append(q, body + WholePrefix(body, close, kKeptBytes));
            out += kCutMark;
            out += std::to_string(cuts->size());
            cuts->push_back(
                {static_cast<size_t>(body - start), static_cast<size_t>(close - start)});
            if (close < end) {
                out.push_back('"');
            }
        }
        p = close < end ? close + 1 : end;
    }
    return out;
}

const Json* Member(const Json& j, const char* key) {
    if (!j.is_object()) {
        return nullptr;
    }
    const auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

const Json::array_t* ArrayMember(const Json& j, const char* key) {
    const Json* v = Member(j, key);
    return v && v->is_array() ? v->get_ptr<const Json::array_t*>() : nullptr;
}

const std::string* StringMember(const Json& j, const char* key) {
    const Json* v = Member(j, key);
    return v && v->is_string() ? v->get_ptr<const std::string*>() : nullptr;
}

// A whole number from 0 to kMaxIndex, or -1.
int64_t AsIndex(const Json* v) {
    if (!v) {
        return -1;
    }
    if (v->is_number_unsigned()) {
        const uint64_t n = v->get<uint64_t>();
        return n <= static_cast<uint64_t>(kMaxIndex) ? static_cast<int64_t>(n) : -1;
    }
    if (v->is_number_integer()) {
        const int64_t n = v->get<int64_t>();
        return n >= 0 && n <= kMaxIndex ? n : -1;
    }
    return -1;
}

int64_t IndexMember(const Json& j, const char* key) {
    return AsIndex(Member(j, key));
}

bool PathFromText(const std::string& text, GltfPath* out) {
    if (text == "translation") {
        *out = GltfPath::Translation;
    } else if (text == "rotation") {
        *out = GltfPath::Rotation;
    } else if (text == "scale") {
        *out = GltfPath::Scale;
    } else if (text == "weights") {
        *out = GltfPath::Weights;
    } else {
        return false;
    }
    return true;
}

// The node hierarchy: each node the child of at most one node, never of
// itself, and at most kMaxGltfNesting levels deep. Returns the fault, or "".
std::string CheckNodeTree(const Json::array_t& nodes) {
    const int64_t n = static_cast<int64_t>(nodes.size());
    std::vector<int64_t> parent(nodes.size(), -1);
    for (int64_t i = 0; i < n; ++i) {
        const Json::array_t* children = ArrayMember(nodes[i], "children");
        for (size_t k = 0; children && k < children->size(); ++k) {
            const int64_t c = AsIndex(&(*children)[k]);
            if (c < 0 || c >= n) {
                return "nodes[" + std::to_string(i) + "] has a child that is no node";
            }
            if (parent[c] >= 0 || c == i) {
                return "nodes[" + std::to_string(c) + "] is the child of more than one node";
            }
            parent[c] = i;
        }
    }
    // Depth of each node (1 for a top node), walking up to the nearest node
    // of known depth; a walk longer than the node count has gone round.
    std::vector<int64_t> depth(nodes.size(), 0);
    std::vector<int64_t> path;
    for (int64_t i = 0; i < n; ++i) {
        path.clear();
        int64_t j = i;
        while (j >= 0 && depth[j] == 0) {
            path.push_back(j);
            if (static_cast<int64_t>(path.size()) > n) {
                return "the node hierarchy loops at nodes[" + std::to_string(i) + "]";
            }
            j = parent[j];
        }
        int64_t d = j >= 0 ? depth[j] : 0;
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            depth[*it] = ++d;
            if (d > kMaxGltfNesting) {
                return "the node hierarchy is deeper than " + std::to_string(kMaxGltfNesting) +
                       " levels";
            }
        }
    }
    return "";
}

// Whether accessors[i] holds elements of `type` ("VEC4", "MAT4", ...) whose
// components are one of `components` (5121 unsigned byte, 5123 unsigned
// short, 5126 float). Assimp copies an accessor's elements into arrays of a
// fixed element type: a smaller element leaves the rest of each one
// uninitialised.
bool AccessorIs(const Json& accessor, const char* type, std::initializer_list<int64_t> components) {
    const std::string* t = StringMember(accessor, "type");
    const int64_t component = IndexMember(accessor, "componentType");
    if (!t || *t != type) {
        return false;
    }
    for (int64_t c : components) {
        if (c == component) {
            return true;
        }
    }
    return false;
}

// The value count a sampler must have: as many values as keys (three per key
// for a cubic spline: in-tangent, value, out-tangent), times the morph
// targets for weights; and the element types Assimp reads them as: float
// key times, and VEC3, VEC4 or SCALAR float values. Returns the fault, or "".
std::string CheckSampler(const Json& sampler, const Json::array_t* accessors, bool cubic,
                         GltfPath path, const std::string& what) {
    const bool weights = path == GltfPath::Weights;
    const int64_t input = IndexMember(sampler, "input");
    const int64_t output = IndexMember(sampler, "output");
    const int64_t n = static_cast<int64_t>(accessors ? accessors->size() : 0);
    if (input < 0 || input >= n || output < 0 || output >= n) {
        return what + " names no accessor for its keys or values";
    }
    const int64_t keys = IndexMember((*accessors)[input], "count");
    const int64_t values = IndexMember((*accessors)[output], "count");
    if (keys < 0 || values < 0) {
        return what + " has an accessor without a count";
    }
    if (!AccessorIs((*accessors)[input], "SCALAR", {5126})) {
        return what + " keys (accessors[" + std::to_string(input) + "]) are no SCALAR floats";
    }
    const char* type = path == GltfPath::Rotation ? "VEC4" : weights ? "SCALAR" : "VEC3";
    if (!AccessorIs((*accessors)[output], type, {5126})) {
        return what + " values (accessors[" + std::to_string(output) + "]) are no " + type +
               " floats";
    }
    const int64_t perKey = cubic ? 3 : 1;
    const bool fits = weights ? (keys == 0 ? values == 0 : values % (perKey * keys) == 0)
                              : (cubic ? values == perKey * keys : values >= keys);
    if (!fits) {
        return what + " has " + std::to_string(values) + " values for " + std::to_string(keys) +
               " keys" + (cubic ? " (a cubic spline needs three per key)" : "");
    }
    return "";
}

// An index as Assimp takes it (a JSON unsigned integer below 2^32), or -1:
// any other value counts as none.
// A "-0" counts: Assimp's JSON reader takes it for the unsigned 0.
int64_t AssimpIndex(const Json& j, const char* key) {
    const int64_t n = IndexMember(j, key);
    return n <= 0xFFFFFFFF ? n : -1;
}

// The skins' inverse bind matrices, and the joints and weights of the
// meshes skinned nodes show: what Assimp reads of them without looking.
// Skins without matrices are listed in bareSkins. Returns the fault, or "".
std::string CheckSkins(const Json& doc, const Json::array_t* accessors,
                       std::vector<GltfBareSkin>* bareSkins) {
    const Json::array_t* skins = ArrayMember(doc, "skins");
    const int64_t accessorCount = static_cast<int64_t>(accessors ? accessors->size() : 0);
    for (size_t s = 0; skins && s < skins->size(); ++s) {
        const Json& skin = (*skins)[s];
        const Json::array_t* joints = ArrayMember(skin, "joints");
        const int64_t jointCount = static_cast<int64_t>(joints ? joints->size() : 0);
        const std::string what = "skins[" + std::to_string(s) + "]";
        const int64_t m = AssimpIndex(skin, "inverseBindMatrices");
        if (m < 0) {
            bareSkins->push_back({s, static_cast<size_t>(jointCount)});
            continue;
        }
        if (m >= accessorCount) {
            return what + " inverseBindMatrices names no accessor";
        }
        const Json& accessor = (*accessors)[m];
        const std::string where = "accessors[" + std::to_string(m) + "]";
        if (!AccessorIs(accessor, "MAT4", {5126})) {
            return what + " inverseBindMatrices (" + where + ") is no MAT4 accessor of floats";
        }
        const int64_t count = IndexMember(accessor, "count");
        if (count < jointCount) {
            return what + " has " + std::to_string(jointCount) +
                   " joints but inverse bind matrices for " +
                   std::to_string(std::max<int64_t>(count, 0));
        }
    }
    const Json::array_t* nodes = ArrayMember(doc, "nodes");
    const Json::array_t* meshes = ArrayMember(doc, "meshes");
    const int64_t skinCount = static_cast<int64_t>(skins ? skins->size() : 0);
    const int64_t meshCount = static_cast<int64_t>(meshes ? meshes->size() : 0);
    for (size_t n = 0; nodes && n < nodes->size(); ++n) {
        const int64_t skin = AssimpIndex((*nodes)[n], "skin");
        const int64_t mesh = AssimpIndex((*nodes)[n], "mesh");
        if (skin < 0 || skin >= skinCount || mesh < 0 || mesh >= meshCount) {
            continue;
        }
        const Json::array_t* primitives = ArrayMember((*meshes)[mesh], "primitives");
        for (size_t p = 0; primitives && p < primitives->size(); ++p) {
            const Json* attributes = Member((*primitives)[p], "attributes");
            if (!attributes) {
                continue;
            }
            const int64_t j = AssimpIndex(*attributes, "JOINTS_0");
            const int64_t w = AssimpIndex(*attributes, "WEIGHTS_0");
            if (j < 0 || w < 0 || j >= accessorCount || w >= accessorCount) {
                continue; // no weights read, or Assimp refuses the index
            }
            const std::string what =
                "meshes[" + std::to_string(mesh) + "] primitive " + std::to_string(p);
            if (!AccessorIs((*accessors)[j], "VEC4", {5121, 5123})) {
                return what + " JOINTS_0 (accessors[" + std::to_string(j) +
                       "]) is no VEC4 accessor of unsigned bytes or shorts";
            }
            if (!AccessorIs((*accessors)[w], "VEC4", {5126})) {
                return what + " WEIGHTS_0 (accessors[" + std::to_string(w) +
                       "]) is no VEC4 accessor of floats";
            }
        }
    }
    return "";
}

// The first key an object of the JSON has more than once, or "" (also for
// text that is no JSON: the parse that follows says what is wrong with it).
// glTF allows no such key, and readers differ on which value counts:
// Assimp's reader takes the first, nlohmann-json the last, so none of the
// checks would hold for what Assimp reads. A pass of its own, without
// building anything, keeps it linear in the text.
std::string KeyGivenTwice(const std::string& text) {
    struct Keys : nlohmann::json_sax<Json> {
        // The keys of each open object, innermost last; sets are reused.
        std::vector<std::unordered_set<std::string>> open;
        size_t depth = 0;
        std::string twice;

        bool null() override { return true; }
        bool boolean(bool) override { return true; }
        bool number_integer(number_integer_t) override { return true; }
        bool number_unsigned(number_unsigned_t) override { return true; }
        bool number_float(number_float_t, const string_t&) override { return true; }
        bool string(string_t&) override { return true; }
        bool binary(binary_t&) override { return true; }
        bool start_array(std::size_t) override { return true; }
        bool end_array() override { return true; }
        bool start_object(std::size_t) override {
            if (depth == open.size()) {
                open.emplace_back();
            } else {
                open[depth].clear();
            }
            ++depth;
            return true;
        }
        bool end_object() override {
            --depth;
            return true;
        }
        bool key(string_t& k) override {
            if (!open[depth - 1].insert(k).second) {
                twice = k;
                return false;
            }
            return true;
        }
        bool parse_error(std::size_t, const std::string&,
                         const nlohmann::detail::exception&) override {
            return false;
        }
    } keys;
    Json::sax_parse(text, &keys);
    return keys.twice;
}

// Whether Assimp reads the asset as glTF 1.0: its version a text that
// starts with "1", or a number that does once printed with one decimal.
// That reader names nodes by text ids, which none of these checks follow.
bool IsGltfOne(const Json& doc) {
    const Json* asset = Member(doc, "asset");
    const Json* version = asset ? Member(*asset, "version") : nullptr;
    if (version && version->is_string()) {
        return version->get_ref<const std::string&>().compare(0, 1, "1") == 0;
    }
    if (version && version->is_number()) {
        char text[512];
        std::snprintf(text, sizeof text, "%.1f", version->get<double>());
        return text[0] == '1';
    }
    return false;
}

// Up to n numbers of a member that is an array of exactly n numbers.
bool Floats(const Json& j, const char* key, size_t n, float* out) {
    const Json::array_t* a = ArrayMember(j, key);
    if (!a || a->size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (!(*a)[i].is_number()) {
            return false;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        out[i] = (*a)[i].get<float>();
    }
    return true;
}

// The numbers of an array member (its other values as 0).
std::vector<double> Numbers(const Json::array_t& a) {
    std::vector<double> out;
    out.reserve(a.size());
    for (const Json& v : a) {
        out.push_back(v.is_number() ? v.get<double>() : 0.0);
    }
    return out;
}

int ComponentsOf(const std::string* type) {
    static const std::pair<const char*, int> kinds[] = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3},
                                                        {"VEC4", 4},   {"MAT2", 4}, {"MAT3", 9},
                                                        {"MAT4", 16}};
    for (const auto& [name, n] : kinds) {
        if (type && *type == name) {
            return n;
        }
    }
    return 0;
}

int64_t OffsetMember(const Json& j, const char* key) {
    const Json* v = Member(j, key);
    return v ? AsIndex(v) : 0; // absent: 0; not an index: -1
}

// The asset's layout (GltfLayout.h). cuts: where the long strings were in
// the text.
GltfLayout ReadLayout(const Json& doc, const std::vector<TextSpan>& cuts) {
    GltfLayout l;
    const Json::array_t* scenes = ArrayMember(doc, "scenes");
    const int64_t scene = AssimpIndex(doc, "scene");
    const size_t chosen = scene < 0 ? 0 : static_cast<size_t>(scene);
    if (scenes && chosen < scenes->size()) {
        l.haveScene = true;
        if (const Json::array_t* nodes = ArrayMember((*scenes)[chosen], "nodes")) {
            for (const Json& n : *nodes) {
                l.sceneNodes.push_back(AsIndex(&n));
            }
        }
    }
    if (const Json::array_t* nodes = ArrayMember(doc, "nodes")) {
        for (const Json& n : *nodes) {
            GltfNodeInfo& node = l.nodes.emplace_back();
            if (const Json::array_t* children = ArrayMember(n, "children")) {
                for (const Json& c : *children) {
                    node.children.push_back(AsIndex(&c));
                }
            }
            node.mesh = AssimpIndex(n, "mesh");
            node.skin = AssimpIndex(n, "skin");
            node.camera = AssimpIndex(n, "camera");
            const Json* ext = Member(n, "extensions");
            const Json* lights = ext ? Member(*ext, "KHR_lights_punctual") : nullptr;
            node.light = lights ? AssimpIndex(*lights, "light") : -1;
            if (const Json::array_t* w = ArrayMember(n, "weights")) {
                node.hasWeights = true;
                node.weights = Numbers(*w);
            }
            node.hasTranslation = Floats(n, "translation", 3, node.translation);
            node.hasRotation = Floats(n, "rotation", 4, node.rotation);
            node.hasScale = Floats(n, "scale", 3, node.scale);
        }
    }
    if (const Json::array_t* skins = ArrayMember(doc, "skins")) {
        for (const Json& s : *skins) {
            GltfSkinInfo& skin = l.skins.emplace_back();
            if (const Json::array_t* joints = ArrayMember(s, "joints")) {
                for (const Json& j : *joints) {
                    skin.joints.push_back(AsIndex(&j));
                }
            }
            skin.inverseBindMatrices = AssimpIndex(s, "inverseBindMatrices");
        }
    }
    if (const Json::array_t* meshes = ArrayMember(doc, "meshes")) {
        for (const Json& m : *meshes) {
            const Json::array_t* w = ArrayMember(m, "weights");
            l.meshWeights.push_back(w ? Numbers(*w) : std::vector<double>{});
        }
    }
    if (const Json::array_t* animations = ArrayMember(doc, "animations")) {
        for (const Json& a : *animations) {
            GltfAnimationInfo& anim = l.animations.emplace_back();
            const Json::array_t* samplers = ArrayMember(a, "samplers");
            for (size_t i = 0; samplers && i < samplers->size(); ++i) {
                const Json& sampler = (*samplers)[i];
                GltfSamplerInfo& info = anim.samplers.emplace_back();
                info.input = IndexMember(sampler, "input");
                info.output = IndexMember(sampler, "output");
                const std::string* interp = StringMember(sampler, "interpolation");
                info.interp = !interp                    ? GltfInterp::Linear
                              : *interp == "STEP"        ? GltfInterp::Step
                              : *interp == "CUBICSPLINE" ? GltfInterp::CubicSpline
                                                         : GltfInterp::Linear;
            }
            const Json::array_t* channels = ArrayMember(a, "channels");
            for (size_t c = 0; samplers && channels && c < channels->size(); ++c) {
                const Json& ch = (*channels)[c];
                const int64_t sampler = IndexMember(ch, "sampler");
                const Json* target = Member(ch, "target");
                const std::string* pathText = target ? StringMember(*target, "path") : nullptr;
                GltfPath path;
                if (sampler < 0 || static_cast<size_t>(sampler) >= samplers->size() || !pathText ||
                    !PathFromText(*pathText, &path)) {
                    continue; // Assimp skips such channels
                }
                anim.channels.push_back({sampler, IndexMember(*target, "node"), path});
            }
        }
    }
    if (const Json::array_t* accessors = ArrayMember(doc, "accessors")) {
        for (const Json& a : *accessors) {
            GltfAccessorInfo& acc = l.accessors.emplace_back();
            acc.view = Member(a, "bufferView") ? IndexMember(a, "bufferView") : -1;
            acc.offset = OffsetMember(a, "byteOffset");
            acc.count = IndexMember(a, "count");
            acc.componentType = IndexMember(a, "componentType");
            acc.components = ComponentsOf(StringMember(a, "type"));
            if (const Json* sparse = Member(a, "sparse")) {
                acc.sparse = true;
                acc.sparseCount = IndexMember(*sparse, "count");
                if (const Json* indices = Member(*sparse, "indices")) {
                    acc.sparseIndexView = IndexMember(*indices, "bufferView");
                    acc.sparseIndexOffset = OffsetMember(*indices, "byteOffset");
                    acc.sparseIndexType = IndexMember(*indices, "componentType");
                }
                if (const Json* values = Member(*sparse, "values")) {
                    acc.sparseValueView = IndexMember(*values, "bufferView");
                    acc.sparseValueOffset = OffsetMember(*values, "byteOffset");
                }
            }
        }
    }
    if (const Json::array_t* views = ArrayMember(doc, "bufferViews")) {
        for (const Json& v : *views) {
            l.views.push_back({IndexMember(v, "buffer"), OffsetMember(v, "byteOffset"),
                               IndexMember(v, "byteLength"), OffsetMember(v, "byteStride")});
        }
    }
    if (const Json::array_t* buffers = ArrayMember(doc, "buffers")) {
        for (const Json& b : *buffers) {
            GltfBufferInfo& buffer = l.buffers.emplace_back();
            buffer.length = IndexMember(b, "byteLength");
            if (const std::string* uri = StringMember(b, "uri")) {
                const int64_t cut = CutNumber(*uri);
                if (cut >= 0 && static_cast<size_t>(cut) < cuts.size()) {
                    buffer.cut = true;
                    buffer.uriBegin = cuts[cut].begin;
                    buffer.uriEnd = cuts[cut].end;
                } else {
                    buffer.uri = *uri;
                }
            }
        }
    }
    return l;
}

// A node's transform numbers (translation, rotation, scale, matrix) are
// read as floats: one past float range would make every point it moves
// infinite. The fault, or "" for none.
std::string CheckNodeNumbers(const Json& node, size_t index) {
    for (const char* key : {"translation", "rotation", "scale", "matrix"}) {
        const Json::array_t* a = ArrayMember(node, key);
        for (size_t i = 0; a && i < a->size(); ++i) {
            const Json& v = (*a)[i];
            if (v.is_number_float() && !std::isfinite(static_cast<float>(v.get<double>()))) {
                std::ostringstream text;
                text.imbue(std::locale::classic());
                text << "nodes[" << index << "] has a " << key << " of " << v.get<double>()
                     << ", past the range of a float";
                return text.str();
            }
        }
    }
    return {};
}

bool Refuse(GltfFacts* out, std::string problem) {
    *out = GltfFacts{};
    out->problem = std::move(problem);
    return false;
}

uint32_t ReadLE32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

bool ReadGltfFacts(const char* json, size_t size, GltfFacts* out) {
    *out = GltfFacts{};
    int depth = 0;
    std::vector<TextSpan> cuts;
    const std::string text = CutLongStrings(json, json + size, &depth, &cuts);
    if (depth > kMaxGltfNesting) {
        return Refuse(out, "the JSON is nested deeper than " + std::to_string(kMaxGltfNesting) +
                               " levels");
    }
    const std::string twice = KeyGivenTwice(text);
    if (!twice.empty()) {
        return Refuse(out, "the JSON has the key \"" + twice + "\" twice in one object");
    }
    Json doc;
    try {
        doc = Json::parse(text);
    } catch (const Json::exception& e) {
        return Refuse(out, std::string("the JSON cannot be read: ") + e.what());
    }
    if (!doc.is_object()) {
        return Refuse(out, "the JSON holds no glTF asset");
    }
    if (IsGltfOne(doc)) {
        return Refuse(out, "glTF 1.0 files are not read, only glTF 2.0");
    }
    GltfFacts facts;
    const Json::array_t* nodes = ArrayMember(doc, "nodes");
    const Json::array_t* accessors = ArrayMember(doc, "accessors");
    if (nodes) {
        std::string fault = CheckNodeTree(*nodes);
        if (!fault.empty()) {
            return Refuse(out, std::move(fault));
        }
    }
    {
        std::string fault = CheckSkins(doc, accessors, &facts.bareSkins);
        if (!fault.empty()) {
            return Refuse(out, std::move(fault));
        }
    }
    if (const Json::array_t* buffers = ArrayMember(doc, "buffers")) {
        for (size_t i = 0; i < buffers->size(); ++i) {
            const Json& b = (*buffers)[i];
            const std::string* uri = StringMember(b, "uri");
            if (!uri) {
                continue;
            }
            if (uri->compare(0, 5, "data:") != 0) {
                facts.bufferFiles.push_back(*uri);
                continue;
            }
            const int64_t cut = CutNumber(*uri);
            if (cut >= 0 && static_cast<size_t>(cut) < cuts.size()) {
                const Json* length = Member(b, "byteLength");
                facts.embeddedBuffers.push_back(
                    {i, cuts[cut].begin, cuts[cut].end, length ? AsIndex(length) : -1});
            }
        }
    }
    for (size_t n = 0; nodes && n < nodes->size(); ++n) {
        std::string fault = CheckNodeNumbers((*nodes)[n], n);
        if (!fault.empty()) {
            return Refuse(out, std::move(fault));
        }
    }
    const Json::array_t* animations = ArrayMember(doc, "animations");
    for (size_t a = 0; animations && a < animations->size(); ++a) {
        const Json& anim = (*animations)[a];
        const Json::array_t* samplers = ArrayMember(anim, "samplers");
        const Json::array_t* channels = ArrayMember(anim, "channels");
        for (size_t c = 0; samplers && channels && c < channels->size(); ++c) {
            const Json& ch = (*channels)[c];
            const int64_t si = IndexMember(ch, "sampler");
            const Json* target = Member(ch, "target");
            const std::string* pathText = target ? StringMember(*target, "path") : nullptr;
            GltfPath path;
            if (si < 0 || static_cast<size_t>(si) >= samplers->size() || !pathText ||
                !PathFromText(*pathText, &path)) {
                continue; // Assimp skips such channels
            }
            const Json& sampler = (*samplers)[si];
            const std::string* interp = StringMember(sampler, "interpolation");
            const std::string what = "animations[" + std::to_string(a) + "] sampler " +
                                     std::to_string(si) + " (" + *pathText + ")";
            std::string fault =
                CheckSampler(sampler, accessors, interp && *interp == "CUBICSPLINE", path, what);
            if (!fault.empty()) {
                return Refuse(out, std::move(fault));
            }
        }
    }
    facts.layout = ReadLayout(doc, cuts);
    *out = std::move(facts);
    return true;
}

bool GltfJsonChunk(std::string_view data, const char** json, size_t* size) {
    // A 12-byte header, then chunks; the first is the JSON.
    if (data.size() < 20 || data.compare(0, 4, "glTF") != 0) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const uint32_t chunkLength = ReadLE32(bytes + 12);
    if (std::memcmp(bytes + 16, "JSON", 4) != 0 || chunkLength > data.size() - 20) {
        return false;
    }
    *json = data.data() + 20;
    *size = chunkLength;
    return true;
}

} // namespace host

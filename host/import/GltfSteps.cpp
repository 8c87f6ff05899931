#include "host/import/GltfSteps.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

namespace host {
namespace {

// A small JSON reader: enough of a document model to walk a glTF asset.
struct JValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    double number = 0.0;
    std::string text;
    std::vector<JValue> items;
    std::vector<std::pair<std::string, JValue>> members;

    const JValue* Find(const char* key) const {
        if (kind != Kind::Object) {
            return nullptr;
        }
        for (const auto& m : members) {
            if (m.first == key) {
                return &m.second;
            }
        }
        return nullptr;
    }
    const std::vector<JValue>* Array(const char* key) const {
        const JValue* v = Find(key);
        return v && v->kind == Kind::Array ? &v->items : nullptr;
    }
    const std::string* String(const char* key) const {
        const JValue* v = Find(key);
        return v && v->kind == Kind::String ? &v->text : nullptr;
    }
    // A non-negative integer member, or -1.
    long Index(const char* key) const {
        const JValue* v = Find(key);
        if (!v || v->kind != Kind::Number || v->number < 0 || v->number > 1e9 ||
            v->number != static_cast<double>(static_cast<long>(v->number))) {
            return -1;
        }
        return static_cast<long>(v->number);
    }
};

class JsonParser {
  public:
    explicit JsonParser(const std::string& text)
        : m_p(text.data()), m_end(text.data() + text.size()) {}

    bool ParseDocument(JValue* out) {
        if (!Parse(out, 0)) {
            return false;
        }
        SkipSpace();
        return m_p == m_end;
    }

  private:
    static constexpr int kMaxDepth = 200;

    void SkipSpace() {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r')) {
            ++m_p;
        }
    }
    bool Literal(const char* word) {
        const size_t n = std::strlen(word);
        if (static_cast<size_t>(m_end - m_p) < n || std::memcmp(m_p, word, n) != 0) {
            return false;
        }
        m_p += n;
        return true;
    }

    bool Parse(JValue* out, int depth) {
        if (depth > kMaxDepth) {
            return false;
        }
        SkipSpace();
        if (m_p >= m_end) {
            return false;
        }
        switch (*m_p) {
        case '{':
            return ParseObject(out, depth);
        case '[':
            return ParseArray(out, depth);
        case '"':
            out->kind = JValue::Kind::String;
            return ParseString(&out->text);
        case 't':
            out->kind = JValue::Kind::Bool;
            out->number = 1;
            return Literal("true");
        case 'f':
            out->kind = JValue::Kind::Bool;
            return Literal("false");
        case 'n':
            return Literal("null");
        default:
            return ParseNumber(out);
        }
    }

    bool ParseObject(JValue* out, int depth) {
        out->kind = JValue::Kind::Object;
        ++m_p; // '{'
        SkipSpace();
        if (m_p < m_end && *m_p == '}') {
            ++m_p;
            return true;
        }
        for (;;) {
            SkipSpace();
            std::string key;
            if (m_p >= m_end || *m_p != '"' || !ParseString(&key)) {
                return false;
            }
            SkipSpace();
            if (m_p >= m_end || *m_p != ':') {
                return false;
            }
            ++m_p;
            out->members.emplace_back(std::move(key), JValue{});
            if (!Parse(&out->members.back().second, depth + 1)) {
                return false;
            }
            SkipSpace();
            if (m_p < m_end && *m_p == ',') {
                ++m_p;
                continue;
            }
            if (m_p < m_end && *m_p == '}') {
                ++m_p;
                return true;
            }
            return false;
        }
    }

    bool ParseArray(JValue* out, int depth) {
        out->kind = JValue::Kind::Array;
        ++m_p; // '['
        SkipSpace();
        if (m_p < m_end && *m_p == ']') {
            ++m_p;
            return true;
        }
        for (;;) {
            out->items.emplace_back();
            if (!Parse(&out->items.back(), depth + 1)) {
                return false;
            }
            SkipSpace();
            if (m_p < m_end && *m_p == ',') {
                ++m_p;
                continue;
            }
            if (m_p < m_end && *m_p == ']') {
                ++m_p;
                return true;
            }
            return false;
        }
    }

    bool Hex4(unsigned* out) {
        if (m_end - m_p < 4) {
            return false;
        }
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_p++;
            v <<= 4;
            if (c >= '0' && c <= '9') {
                v |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                v |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                v |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        *out = v;
        return true;
    }

    static void AppendUtf8(std::string* s, unsigned cp) {
        if (cp < 0x80) {
            s->push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            s->push_back(static_cast<char>(0xC0 | (cp >> 6)));
            s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            s->push_back(static_cast<char>(0xE0 | (cp >> 12)));
            s->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            s->push_back(static_cast<char>(0xF0 | (cp >> 18)));
            s->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            s->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }

    bool ParseString(std::string* out) {
        ++m_p; // '"'
        while (m_p < m_end) {
            const char c = *m_p++;
            if (c == '"') {
                return true;
            }
            if (c != '\\') {
                out->push_back(c);
                continue;
            }
            if (m_p >= m_end) {
                return false;
            }
            const char e = *m_p++;
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out->push_back(e);
                break;
            case 'b':
                out->push_back('\b');
                break;
            case 'f':
                out->push_back('\f');
                break;
            case 'n':
                out->push_back('\n');
                break;
            case 'r':
                out->push_back('\r');
                break;
            case 't':
                out->push_back('\t');
                break;
            case 'u': {
                unsigned cp = 0;
                if (!Hex4(&cp)) {
                    return false;
                }
                if (cp >= 0xD800 && cp < 0xDC00 && m_end - m_p >= 6 && m_p[0] == '\\' &&
                    m_p[1] == 'u') {
                    const char* save = m_p;
                    m_p += 2;
                    unsigned lo = 0;
                    if (Hex4(&lo) && lo >= 0xDC00 && lo < 0xE000) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    } else {
                        m_p = save;
                    }
                }
                AppendUtf8(out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    bool ParseNumber(JValue* out) {
        const char* start = m_p;
        while (m_p < m_end && (std::strchr("+-.eE", *m_p) || (*m_p >= '0' && *m_p <= '9'))) {
            ++m_p;
        }
        if (m_p == start) {
            return false;
        }
        // Only indices are read from the numbers: whole numbers are kept,
        // any other number becomes a value that is no valid index.
        const std::string digits(start, m_p);
        char* end = nullptr;
        const long long whole = std::strtoll(digits.c_str(), &end, 10);
        out->kind = JValue::Kind::Number;
        if (end && *end == '\0') {
            out->number = static_cast<double>(whole);
        } else {
            out->number = 0.5;
        }
        return true;
    }

    const char* m_p;
    const char* m_end;
};

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

uint32_t ReadLE32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

bool ParseGltfInterpolation(const std::string& json, GltfInterpolation* out) {
    *out = GltfInterpolation{};
    JValue doc;
    if (!JsonParser(json).ParseDocument(&doc) || doc.kind != JValue::Kind::Object) {
        return false;
    }
    const std::vector<JValue>* nodes = doc.Array("nodes");
    const std::vector<JValue>* animations = doc.Array("animations");
    if (!animations) {
        return true;
    }
    GltfInterpolation result;
    for (const JValue& anim : *animations) {
        result.stepTargets.emplace_back();
        result.cubicSpline.push_back(false);
        const std::vector<JValue>* samplers = anim.Array("samplers");
        const std::vector<JValue>* channels = anim.Array("channels");
        if (samplers) {
            for (const JValue& s : *samplers) {
                const std::string* interp = s.String("interpolation");
                if (interp && *interp == "CUBICSPLINE") {
                    result.cubicSpline.back() = true;
                }
            }
        }
        if (!samplers || !channels) {
            continue;
        }
        for (const JValue& ch : *channels) {
            const long si = ch.Index("sampler");
            const JValue* target = ch.Find("target");
            if (si < 0 || static_cast<size_t>(si) >= samplers->size() || !target) {
                continue;
            }
            const std::string* interp = (*samplers)[si].String("interpolation");
            const std::string* pathText = target->String("path");
            const long ni = target->Index("node");
            GltfPath path;
            if (!interp || *interp != "STEP" || !pathText || !PathFromText(*pathText, &path) ||
                ni < 0 || !nodes || static_cast<size_t>(ni) >= nodes->size()) {
                continue;
            }
            const std::string* name = (*nodes)[ni].String("name");
            std::string node = name && !name->empty() ? *name : "nodes[" + std::to_string(ni) + "]";
            result.stepTargets.back().push_back(GltfStepTarget{std::move(node), path});
        }
    }
    *out = std::move(result);
    return true;
}

bool ReadGltfInterpolation(const std::string& path, GltfInterpolation* out) {
    *out = GltfInterpolation{};
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() >= 20 && data.compare(0, 4, "glTF") == 0) {
        // Binary glTF: a 12-byte header, then chunks; the first is the JSON.
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
        const uint32_t chunkLength = ReadLE32(bytes + 12);
        if (std::memcmp(bytes + 16, "JSON", 4) != 0 || chunkLength > data.size() - 20) {
            return false;
        }
        return ParseGltfInterpolation(data.substr(20, chunkLength), out);
    }
    return ParseGltfInterpolation(data, out);
}

} // namespace host

#include "host/import/FbxDocument.h"

#include <zlib.h>

#include <charconv>
#include <cstring>
#include <limits>

namespace host {
namespace {

constexpr char kBinaryMagic[] = "Kaydara FBX Binary  ";
constexpr size_t kHeaderSize = 27;
// Deeper nesting than any exporter writes: the file is refused.
constexpr int kMaxDepth = 64;
// The largest array accepted (elements); far beyond any real mesh.
constexpr uint64_t kMaxArrayElements = uint64_t(1) << 28;

template <class T> T ReadLE(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

// The binary form of object names, "Name\0\1Class", as "Class::Name".
std::string ObjectName(const std::string& raw) {
    const size_t sep = raw.find(std::string("\0\1", 2));
    if (sep == std::string::npos) {
        return raw;
    }
    return raw.substr(sep + 2) + "::" + raw.substr(0, sep);
}

class BinaryParser {
  public:
    BinaryParser(const std::string& bytes, uint32_t version)
        : m_data(bytes.data()), m_size(bytes.size()), m_wide(version >= 7500) {}

    void ParseTop(FbxNode* root) {
        size_t pos = kHeaderSize;
        while (pos < m_size) {
            FbxNode node;
            if (!ParseNode(&pos, m_size, &node, 0)) {
                return; // the null record that ends the top level
            }
            root->children.push_back(std::move(node));
        }
    }

  private:
    [[noreturn]] static void Fail(const std::string& what) { throw FbxError(what); }

    void Need(size_t pos, size_t n, size_t end) const {
        if (pos > end || end - pos < n) {
            Fail("truncated FBX node data");
        }
    }

    uint64_t Word(size_t* pos, size_t end) const {
        const size_t n = m_wide ? 8 : 4;
        Need(*pos, n, end);
        const uint64_t v =
            m_wide ? ReadLE<uint64_t>(m_data + *pos) : ReadLE<uint32_t>(m_data + *pos);
        *pos += n;
        return v;
    }

    // Reads one node record at *pos; false for the null record.
    bool ParseNode(size_t* pos, size_t limit, FbxNode* node, int depth) {
        if (depth > kMaxDepth) {
            Fail("FBX nodes nested too deeply");
        }
        const size_t start = *pos;
        const uint64_t endOffset = Word(pos, limit);
        const uint64_t valueCount = Word(pos, limit);
        const uint64_t valuesLength = Word(pos, limit);
        Need(*pos, 1, limit);
        const size_t nameLength = static_cast<unsigned char>(m_data[*pos]);
        *pos += 1;
        if (endOffset == 0 && valueCount == 0 && valuesLength == 0 && nameLength == 0) {
            return false;
        }
        if (endOffset <= start || endOffset > limit) {
            Fail("FBX node ends outside its parent");
        }
        const size_t end = static_cast<size_t>(endOffset);
        Need(*pos, nameLength, end);
        node->name.assign(m_data + *pos, nameLength);
        *pos += nameLength;
        if (valuesLength > end - *pos) {
            Fail("FBX node \"" + node->name + "\": values outside the node");
        }
        const size_t valuesEnd = *pos + static_cast<size_t>(valuesLength);
        for (uint64_t i = 0; i < valueCount; ++i) {
            node->values.push_back(ParseValue(pos, valuesEnd, node->name));
        }
        *pos = valuesEnd;
        while (*pos < end) {
            FbxNode child;
            if (!ParseNode(pos, end, &child, depth + 1)) {
                break;
            }
            node->children.push_back(std::move(child));
        }
        *pos = end;
        return true;
    }

    FbxValue ParseValue(size_t* pos, size_t end, const std::string& nodeName) {
        Need(*pos, 1, end);
        const char type = m_data[(*pos)++];
        FbxValue v;
        auto scalar = [&](size_t n) {
            Need(*pos, n, end);
            const char* p = m_data + *pos;
            *pos += n;
            return p;
        };
        switch (type) {
        case 'C':
            v.number = *scalar(1) != 0;
            break;
        case 'Y':
            v.number = ReadLE<int16_t>(scalar(2));
            break;
        case 'I':
            v.number = ReadLE<int32_t>(scalar(4));
            break;
        case 'F':
            v.number = ReadLE<float>(scalar(4));
            break;
        case 'D':
            v.number = ReadLE<double>(scalar(8));
            break;
        case 'L':
            v.number = static_cast<double>(ReadLE<int64_t>(scalar(8)));
            break;
        case 'S':
        case 'R': {
            const uint32_t n = ReadLE<uint32_t>(scalar(4));
            v.kind = FbxValue::Kind::Text;
            v.text = ObjectName(std::string(scalar(n), n));
            break;
        }
        case 'd':
        case 'f':
        case 'i':
        case 'l':
        case 'b': {
            const char* head = scalar(12);
            v.kind = FbxValue::Kind::Array;
            v.arrayType = type;
            v.count = ReadLE<uint32_t>(head);
            v.encoding = ReadLE<uint32_t>(head + 4);
            v.size = ReadLE<uint32_t>(head + 8);
            v.offset = *pos;
            scalar(v.size);
            break;
        }
        default:
            Fail("FBX node \"" + nodeName + "\": unknown value type");
        }
        return v;
    }

    const char* m_data;
    size_t m_size;
    bool m_wide;
};

// The ASCII form: "Name: value, value {" ... "}", comments after ';'.
class AsciiParser {
  public:
    explicit AsciiParser(const std::string& text)
        : m_p(text.data()), m_end(text.data() + text.size()) {}

    void ParseTop(FbxNode* root) {
        ParseChildren(root, 0);
        if (m_p < m_end) {
            Fail("unexpected '}'");
        }
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw FbxError("FBX text line " + std::to_string(m_line) + ": " + what);
    }

    void SkipSpace(bool newlines) {
        while (m_p < m_end) {
            const char c = *m_p;
            if (c == ';') {
                while (m_p < m_end && *m_p != '\n') {
                    ++m_p;
                }
            } else if (c == '\n') {
                if (!newlines) {
                    return;
                }
                ++m_line;
                ++m_p;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++m_p;
            } else {
                return;
            }
        }
    }

    static bool IsWordChar(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '|' || c == '-' || c == '+' || c == '.';
    }

    void ParseChildren(FbxNode* parent, int depth) {
        if (depth > kMaxDepth) {
            Fail("nodes nested too deeply");
        }
        for (;;) {
            SkipSpace(true);
            if (m_p >= m_end || *m_p == '}') {
                return;
            }
            const char* nameStart = m_p;
            while (m_p < m_end && IsWordChar(*m_p)) {
                ++m_p;
            }
            if (m_p == nameStart || m_p >= m_end || *m_p != ':') {
                Fail("expected a node name");
            }
            FbxNode node;
            node.name.assign(nameStart, m_p);
            ++m_p;
            ParseValues(&node, depth);
            parent->children.push_back(std::move(node));
        }
    }

    // The values of a node up to the end of its line, then its children.
    void ParseValues(FbxNode* node, int depth) {
        // An array's numbers run over many lines, up to the closing brace.
        const bool arrayList = node->name == "a";
        for (;;) {
            SkipSpace(arrayList);
            if (m_p >= m_end || *m_p == '\n' || *m_p == '}') {
                break;
            }
            const char c = *m_p;
            if (c == '{') {
                ++m_p;
                ParseChildren(node, depth + 1);
                if (m_p >= m_end) {
                    Fail("missing '}'");
                }
                ++m_p;
                break;
            }
            if (c == ',') {
                ++m_p;
                SkipSpace(true); // a value list goes on after a line break
                continue;
            }
            if (c == '*') { // "*N": the element count of an array to come
                ++m_p;
                while (m_p < m_end && *m_p >= '0' && *m_p <= '9') {
                    ++m_p;
                }
                node->isAsciiArray = true;
                continue;
            }
            if (c == '"') {
                const char* s = ++m_p;
                while (m_p < m_end && *m_p != '"') {
                    ++m_p;
                }
                if (m_p >= m_end) {
                    Fail("unterminated text");
                }
                FbxValue v;
                v.kind = FbxValue::Kind::Text;
                v.text.assign(s, m_p);
                ++m_p;
                node->values.push_back(std::move(v));
            } else {
                const char* s = m_p;
                while (m_p < m_end && IsWordChar(*m_p)) {
                    ++m_p;
                }
                if (m_p == s) {
                    Fail(std::string("unexpected '") + c + "'");
                }
                double number = 0.0;
                const char* b = *s == '+' ? s + 1 : s;
                const auto res = std::from_chars(b, m_p, number);
                if (arrayList) {
                    if (res.ec != std::errc() || res.ptr != m_p) {
                        Fail("not a number in an array");
                    }
                    node->numbers.push_back(number);
                } else {
                    FbxValue v;
                    if (res.ec == std::errc() && res.ptr == m_p) {
                        v.number = number;
                    } else {
                        v.kind = FbxValue::Kind::Text; // a bare word: T, Y, W, ...
                        v.text.assign(s, m_p);
                    }
                    node->values.push_back(std::move(v));
                }
            }
        }
    }

    const char* m_p;
    const char* m_end;
    int m_line = 1;
};

template <class T> void Widen(const char* p, size_t count, std::vector<double>* out) {
    out->resize(count);
    for (size_t i = 0; i < count; ++i) {
        (*out)[i] = static_cast<double>(ReadLE<T>(p + i * sizeof(T)));
    }
}

} // namespace

const FbxNode* FbxNode::Child(const char* childName) const {
    for (const FbxNode& c : children) {
        if (c.name == childName) {
            return &c;
        }
    }
    return nullptr;
}

double FbxNode::Number(size_t index) const {
    return index < values.size() && values[index].kind == FbxValue::Kind::Number
               ? values[index].number
               : 0.0;
}

std::string FbxNode::Text(size_t index) const {
    return index < values.size() && values[index].kind == FbxValue::Kind::Text ? values[index].text
                                                                               : std::string();
}

FbxDocument FbxDocument::Parse(std::string bytes) {
    FbxDocument doc;
    doc.m_bytes = std::move(bytes);
    const std::string& b = doc.m_bytes;
    if (b.size() >= kHeaderSize && b.compare(0, sizeof(kBinaryMagic) - 1, kBinaryMagic) == 0) {
        doc.m_binary = true;
        const uint32_t version = ReadLE<uint32_t>(b.data() + 23);
        if (version < 7000 || version >= 8000) {
            throw FbxError("FBX version " + std::to_string(version) + " is not 7.x");
        }
        BinaryParser(b, version).ParseTop(&doc.m_root);
    } else {
        AsciiParser(b).ParseTop(&doc.m_root);
    }
    return doc;
}

std::vector<double> FbxDocument::Array(const FbxNode& node) const {
    std::vector<double> out;
    if (node.isAsciiArray) {
        const FbxNode* a = node.Child("a");
        if (a) {
            out = a->numbers;
        }
        return out;
    }
    if (!m_binary) {
        // Older text writes an array as the node's own list of numbers.
        for (const FbxValue& v : node.values) {
            if (v.kind != FbxValue::Kind::Number) {
                throw FbxError("FBX node \"" + node.name + "\" holds no array");
            }
            out.push_back(v.number);
        }
        return out;
    }
    for (const FbxValue& v : node.values) {
        if (v.kind != FbxValue::Kind::Array) {
            continue;
        }
        const size_t elem = v.arrayType == 'd' || v.arrayType == 'l' ? 8
                            : v.arrayType == 'b'                     ? 1
                                                                     : 4;
        const std::string what = "corrupt FBX array \"" + node.name + "\": ";
        if (v.count > kMaxArrayElements) {
            throw FbxError(what + "element count out of range");
        }
        const size_t bytes = v.count * elem;
        const char* data = m_bytes.data() + v.offset;
        std::string inflated;
        if (v.encoding == 1) {
            // zlib cannot expand data by more than about 1032 times.
            if (bytes / 1032 > v.size + 64) {
                throw FbxError(what + "element count out of range");
            }
            inflated.resize(bytes);
            uLongf length = static_cast<uLongf>(bytes);
            const int rc = uncompress(reinterpret_cast<Bytef*>(inflated.data()), &length,
                                      reinterpret_cast<const Bytef*>(data), v.size);
            if (rc != Z_OK || length != bytes) {
                throw FbxError(what + (rc == Z_OK || rc == Z_BUF_ERROR
                                           ? "its data do not hold the element count"
                                           : "bad compressed data"));
            }
            data = inflated.data();
        } else if (v.encoding != 0) {
            throw FbxError(what + "unknown encoding");
        } else if (v.size != bytes) {
            throw FbxError(what + "its length does not match the element count");
        }
        switch (v.arrayType) {
        case 'd':
            Widen<double>(data, v.count, &out);
            break;
        case 'f':
            Widen<float>(data, v.count, &out);
            break;
        case 'i':
            Widen<int32_t>(data, v.count, &out);
            break;
        case 'l':
            Widen<int64_t>(data, v.count, &out);
            break;
        default:
            Widen<uint8_t>(data, v.count, &out);
            break;
        }
        return out;
    }
    throw FbxError("FBX node \"" + node.name + "\" holds no array");
}

std::vector<double> FbxProperty(const FbxNode& node, const char* property) {
    const FbxNode* props = node.Child("Properties70");
    std::vector<double> out;
    if (!props) {
        return out;
    }
    for (const FbxNode& p : props->children) {
        if (p.name == "P" && p.Text(0) == property) {
            for (size_t i = 4; i < p.values.size(); ++i) {
                out.push_back(p.Number(i));
            }
            break;
        }
    }
    return out;
}

} // namespace host

#include "host/import/fbx/FbxDocument.h"

#include <zlib.h>

#include <charconv>
#include <cmath>
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
// An ASCII list of more plain numbers than this is kept as numbers.
constexpr size_t kLongList = 32;

// The versions read: 6.x and 7.x.
void CheckVersion(uint32_t version) {
    if (version < 6000 || version >= 8000) {
        throw FbxError("FBX version " + std::to_string(version) +
                       " is not read (read are FBX 6.x and 7.x files)");
    }
}

template <class T> T ReadAs(const char* p, bool big) {
    unsigned char b[sizeof(T)];
    std::memcpy(b, p, sizeof(T));
    if (big) {
        for (size_t i = 0; i < sizeof(T) / 2; ++i) {
            std::swap(b[i], b[sizeof(T) - 1 - i]);
        }
    }
    T v;
    std::memcpy(&v, b, sizeof(T));
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
    BinaryParser(const std::string& bytes, uint32_t version, bool big)
        : m_data(bytes.data()), m_size(bytes.size()), m_wide(version >= 7500), m_big(big) {}

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

    template <class T> T Read(const char* p) const { return ReadAs<T>(p, m_big); }

    uint64_t Word(size_t* pos, size_t end) const {
        const size_t n = m_wide ? 8 : 4;
        Need(*pos, n, end);
        const uint64_t v = m_wide ? Read<uint64_t>(m_data + *pos) : Read<uint32_t>(m_data + *pos);
        *pos += n;
        return v;
    }

    // Reads one node record at *pos; false for the null record.
    bool ParseNode(size_t* pos, size_t limit, FbxNode* node, int depth) {
        if (depth > kMaxDepth) {
            Fail("FBX nodes nested deeper than " + std::to_string(kMaxDepth) + " levels");
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
        // Each value takes at least two bytes: the count cannot exceed that.
        if (valueCount > valuesLength) {
            Fail("FBX node \"" + node->name + "\": more values than its data holds");
        }
        node->values.reserve(static_cast<size_t>(valueCount));
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
            v.number = static_cast<unsigned char>(*scalar(1));
            v.byte = true;
            break;
        case 'Y':
            v.integer = Read<int16_t>(scalar(2));
            v.number = static_cast<double>(v.integer);
            v.isInteger = true;
            break;
        case 'I':
            v.integer = Read<int32_t>(scalar(4));
            v.number = static_cast<double>(v.integer);
            v.isInteger = true;
            break;
        case 'F':
            v.number = Read<float>(scalar(4));
            break;
        case 'D':
            v.number = Read<double>(scalar(8));
            break;
        case 'L':
            v.integer = Read<int64_t>(scalar(8));
            v.number = static_cast<double>(v.integer);
            v.isInteger = true;
            break;
        case 'S':
        case 'R': {
            const uint32_t n = Read<uint32_t>(scalar(4));
            const char* p = scalar(n);
            v.kind = FbxValue::Kind::Text;
            if (type == 'S') {
                v.text = ObjectName(std::string(p, n));
            } // raw data is skipped
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
            v.count = Read<uint32_t>(head);
            v.encoding = Read<uint32_t>(head + 4);
            v.size = Read<uint32_t>(head + 8);
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
    bool m_big;
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

    // A line ends at '\n', '\r\n' or a lone '\r'.
    bool AtLineEnd() const { return m_p < m_end && (*m_p == '\n' || *m_p == '\r'); }
    void SkipLineEnd() {
        if (*m_p == '\r' && m_p + 1 < m_end && m_p[1] == '\n') {
            ++m_p;
        }
        ++m_p;
        ++m_line;
    }

    void SkipSpace(bool newlines) {
        while (m_p < m_end) {
            const char c = *m_p;
            if (c == ';') {
                while (m_p < m_end && !AtLineEnd()) {
                    ++m_p;
                }
            } else if (c == '\n' || c == '\r') {
                if (!newlines) {
                    return;
                }
                SkipLineEnd();
            } else if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
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

    // True when the text at the parser starts a node ("Name:").
    bool AtNodeName() const {
        const char* p = m_p;
        while (p < m_end && IsWordChar(*p)) {
            ++p;
        }
        return p > m_p && p < m_end && *p == ':';
    }

    void ParseChildren(FbxNode* parent, int depth) {
        if (depth > kMaxDepth) {
            Fail("nodes nested deeper than " + std::to_string(kMaxDepth) + " levels");
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

    void AddNumber(FbxNode* node, double number, const char* s, const char* e, bool* allNumbers) {
        if (*allNumbers && node->values.empty() && !node->numbers.empty()) {
            node->numbers.push_back(number); // a long list of plain numbers
            return;
        }
        FbxValue v;
        v.number = number;
        const auto res = std::from_chars(s, e, v.integer);
        v.isInteger = res.ec == std::errc() && res.ptr == e;
        node->values.push_back(std::move(v));
        if (*allNumbers && node->values.size() > kLongList) {
            node->numbers.reserve(node->values.size() * 2);
            for (const FbxValue& n : node->values) {
                node->numbers.push_back(n.number);
            }
            node->values.clear();
        }
    }

    void AddText(FbxNode* node, FbxValue v, bool* allNumbers) {
        if (*allNumbers && node->values.empty() && !node->numbers.empty()) {
            // Text after a long list of numbers: back to single values.
            for (double n : node->numbers) {
                FbxValue number;
                number.number = n;
                node->values.push_back(std::move(number));
            }
            node->numbers.clear();
        }
        *allNumbers = false;
        node->values.push_back(std::move(v));
    }

    // The values of a node up to the end of its line, then its children.
    void ParseValues(FbxNode* node, int depth) {
        // An array's numbers run over many lines, up to the closing brace.
        const bool arrayList = node->name == "a";
        bool allNumbers = true;
        for (;;) {
            SkipSpace(arrayList);
            if (AtLineEnd() && !arrayList) {
                // The list goes on on the next line when that line starts
                // with something other than a node name or a brace.
                const char* lineEnd = m_p;
                const int line = m_line;
                SkipSpace(true);
                if (m_p < m_end && *m_p != '}' && !AtNodeName()) {
                    continue;
                }
                m_p = lineEnd;
                m_line = line;
            }
            if (m_p >= m_end || AtLineEnd() || *m_p == '}') {
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
                    if (*m_p == '\n') {
                        ++m_line;
                    }
                    ++m_p;
                }
                if (m_p >= m_end) {
                    Fail("unterminated text");
                }
                FbxValue v;
                v.kind = FbxValue::Kind::Text;
                v.text.assign(s, m_p);
                ++m_p;
                AddText(node, std::move(v), &allNumbers);
                continue;
            }
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
            const bool isNumber = res.ec == std::errc() && res.ptr == m_p;
            if (arrayList) {
                if (!isNumber) {
                    Fail("not a number in an array");
                }
                node->numbers.push_back(number);
            } else if (isNumber) {
                AddNumber(node, number, b, m_p, &allNumbers);
            } else {
                FbxValue v;
                v.kind = FbxValue::Kind::Text; // a bare word: T, Y, W, ...
                v.text.assign(s, m_p);
                AddText(node, std::move(v), &allNumbers);
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
        (*out)[i] = static_cast<double>(ReadAs<T>(p + i * sizeof(T), false));
    }
}

// The FBX version an ASCII file names (FBXHeaderExtension's FBXVersion), 0
// for none.
uint32_t AsciiVersion(const FbxNode& root) {
    const FbxNode* header = root.Child("FBXHeaderExtension");
    const FbxNode* version = header ? header->Child("FBXVersion") : nullptr;
    const double v = version ? version->Number(0) : 0.0;
    return v > 0.0 && v < 1e6 ? static_cast<uint32_t>(v) : 0;
}

size_t ElementSize(char type) {
    return type == 'd' || type == 'l' ? 8 : type == 'b' ? 1 : 4;
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
    if (values.empty()) {
        return index < numbers.size() ? numbers[index] : 0.0;
    }
    return index < values.size() && values[index].kind == FbxValue::Kind::Number
               ? values[index].number
               : 0.0;
}

int64_t FbxNode::Integer(size_t index) const {
    if (index < values.size() && values[index].isInteger) {
        return values[index].integer;
    }
    const double d = Number(index);
    return d > -9.2e18 && d < 9.2e18 ? static_cast<int64_t>(d) : 0;
}

std::string FbxNode::Text(size_t index) const {
    return index < values.size() && values[index].kind == FbxValue::Kind::Text ? values[index].text
                                                                               : std::string();
}

char FbxNode::Letter(size_t index) const {
    if (index >= values.size()) {
        return 0;
    }
    const FbxValue& v = values[index];
    if (v.kind == FbxValue::Kind::Text) {
        return v.text.size() == 1 ? v.text[0] : 0;
    }
    return v.byte ? static_cast<char>(static_cast<int>(v.number)) : 0;
}

FbxDocument FbxDocument::Parse(std::string bytes) {
    FbxDocument doc;
    doc.m_bytes = std::move(bytes);
    const std::string& b = doc.m_bytes;
    if (b.size() >= kHeaderSize && b.compare(0, sizeof(kBinaryMagic) - 1, kBinaryMagic) == 0) {
        doc.m_binary = true;
        // The byte before the version: 0 for little-endian, else big-endian.
        doc.m_bigEndian = b[22] != 0;
        doc.m_version = ReadAs<uint32_t>(b.data() + 23, doc.m_bigEndian);
        CheckVersion(doc.m_version);
        BinaryParser(b, doc.m_version, doc.m_bigEndian).ParseTop(&doc.m_root);
    } else {
        AsciiParser(b).ParseTop(&doc.m_root);
        doc.m_version = AsciiVersion(doc.m_root);
        if (doc.m_version != 0) {
            CheckVersion(doc.m_version);
        }
    }
    return doc;
}

std::string FbxDocument::Decode(const FbxNode& node, const FbxValue& v, size_t elem) const {
    const std::string what = "corrupt FBX array \"" + node.name + "\": ";
    if (v.count > kMaxArrayElements) {
        throw FbxError(what + "element count out of range");
    }
    const size_t bytes = v.count * elem;
    std::string out;
    if (v.encoding == 1) {
        // zlib cannot expand data by more than about 1032 times.
        if (bytes / 1032 > v.size + 64) {
            throw FbxError(what + "element count out of range");
        }
        out.resize(bytes);
        uLongf length = static_cast<uLongf>(bytes);
        const int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                                  reinterpret_cast<const Bytef*>(m_bytes.data() + v.offset),
                                  static_cast<uLong>(v.size));
        if (rc != Z_OK || length != bytes) {
            throw FbxError(what + (rc == Z_OK || rc == Z_BUF_ERROR
                                       ? "its data do not hold the element count"
                                       : "bad compressed data"));
        }
    } else if (v.encoding != 0) {
        throw FbxError(what + "unknown encoding");
    } else if (v.size != bytes) {
        throw FbxError(what + "its length does not match the element count");
    } else {
        out.assign(m_bytes.data() + v.offset, bytes);
    }
    if (m_bigEndian && elem > 1) {
        for (size_t i = 0; i + elem <= out.size(); i += elem) {
            for (size_t k = 0; k < elem / 2; ++k) {
                std::swap(out[i + k], out[i + elem - 1 - k]);
            }
        }
    }
    return out;
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
        if (node.values.empty()) {
            return node.numbers;
        }
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
        const std::string data = Decode(node, v, ElementSize(v.arrayType));
        switch (v.arrayType) {
        case 'd':
            Widen<double>(data.data(), v.count, &out);
            break;
        case 'f':
            Widen<float>(data.data(), v.count, &out);
            break;
        case 'i':
            Widen<int32_t>(data.data(), v.count, &out);
            break;
        case 'l':
            Widen<int64_t>(data.data(), v.count, &out);
            break;
        default:
            Widen<uint8_t>(data.data(), v.count, &out);
            break;
        }
        return out;
    }
    // An older binary file's list of single numbers.
    for (const FbxValue& v : node.values) {
        if (v.kind != FbxValue::Kind::Number) {
            throw FbxError("FBX node \"" + node.name + "\" holds no array");
        }
        out.push_back(v.number);
    }
    return out;
}

std::vector<uint32_t> FbxDocument::ArrayBits(const FbxNode& node) const {
    std::vector<uint32_t> out;
    if (m_binary) {
        for (const FbxValue& v : node.values) {
            if (v.kind == FbxValue::Kind::Array && (v.arrayType == 'f' || v.arrayType == 'i')) {
                const std::string data = Decode(node, v, 4);
                out.resize(v.count);
                std::memcpy(out.data(), data.data(), data.size());
                return out;
            }
        }
    }
    for (double d : Array(node)) {
        if (d == std::floor(d) && d >= -2147483648.0 && d <= 4294967295.0) {
            // An integer is the bit pattern itself.
            out.push_back(d < 0 ? static_cast<uint32_t>(static_cast<int32_t>(d))
                                : static_cast<uint32_t>(d));
        } else {
            const float f = static_cast<float>(d);
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            out.push_back(bits);
        }
    }
    return out;
}

size_t FbxDocument::ArraySize(const FbxNode& node) const {
    if (node.isAsciiArray) {
        const FbxNode* a = node.Child("a");
        return a ? a->numbers.size() : 0;
    }
    for (const FbxValue& v : node.values) {
        if (v.kind == FbxValue::Kind::Array) {
            return v.count;
        }
    }
    return node.ValueCount();
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

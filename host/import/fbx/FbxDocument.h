// The node tree of an FBX file: 6.x and 7.x, binary (either byte order) or
// ASCII (any line ends).
//
// A node has a name, a list of property values and child nodes. Object names
// are given in the ASCII form "Class::Name" in both encodings (the binary
// "Name\0\1Class" is turned round). Numeric arrays (Vertices,
// PolygonVertexIndex, KeyTime, ...) are kept where they lie in the file and
// decoded on request, zlib-compressed ones included; every count and length
// is checked against the data, so a corrupt array is reported, never read
// past. Raw data (thumbnails, embedded media) is skipped by its length.
//
// ASCII text: a value list goes on over line breaks after a comma and on
// lines that do not start a node ("Key: " with its keys on the lines below,
// as FBX 6.1 writers put them); a long list of plain numbers is kept as
// numbers (Array) rather than as single values.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {

// A file or an array that is not well-formed FBX. The message is one line.
class FbxError : public std::runtime_error {
  public:
    explicit FbxError(const std::string& message) : std::runtime_error(message) {}
};

struct FbxValue {
    enum class Kind { Number, Text, Array };
    Kind kind = Kind::Number;
    // A binary one-byte value ('C'): a flag, or a letter of an FBX 6.1 key
    // list; number holds the byte.
    bool byte = false;
    double number = 0.0;
    // An integer value (binary 'L', 'I', 'Y', or ASCII digits) exactly:
    // object ids need all 64 bits.
    bool isInteger = false;
    int64_t integer = 0;
    std::string text;
    // An array of a binary file: its element type ('d', 'f', 'i', 'l', 'b'),
    // element count, encoding (0 raw, 1 zlib), and where its bytes lie.
    char arrayType = 0;
    uint32_t count = 0;
    uint32_t encoding = 0;
    size_t offset = 0;
    size_t size = 0;
};

struct FbxNode {
    std::string name;
    std::vector<FbxValue> values;
    std::vector<FbxNode> children;
    // The numbers of an ASCII array ("*N { a: ... }"), or of a long ASCII
    // list of plain numbers (then `values` is empty).
    std::vector<double> numbers;
    bool isAsciiArray = false;

    // The first child of the name, or nullptr.
    const FbxNode* Child(const char* childName) const;
    // The value at index as a number or text (0 / empty when there is none).
    double Number(size_t index) const;
    std::string Text(size_t index) const;
    // The value at index as a 64-bit integer (object ids, times); a number
    // that is no integer is truncated, anything else gives 0.
    int64_t Integer(size_t index) const;
    // The value at index as a letter: a one-character text, or a binary
    // one-byte value; 0 for anything else.
    char Letter(size_t index) const;
    // The number of values (numbers of a long ASCII list included).
    size_t ValueCount() const { return values.empty() ? numbers.size() : values.size(); }
};

class FbxDocument {
  public:
    // Reads the file's bytes. Throws FbxError (also for FBX versions before
    // 6.0 or from 8.0 on, naming the version found).
    static FbxDocument Parse(std::string bytes);

    const FbxNode& Root() const { return m_root; }
    bool IsBinary() const { return m_binary; }
    // The file's FBX version (6100, 7400, ...): the binary header's, or the
    // ASCII header's FBXVersion; 0 when an ASCII file names none.
    uint32_t Version() const { return m_version; }

    // The numbers of a node's array (its first array value, or its ASCII
    // list). Throws FbxError naming the node when the array is corrupt or
    // the node holds none.
    std::vector<double> Array(const FbxNode& node) const;
    // The same as 32-bit patterns: a binary 'f' array's float bits, and
    // integers as they are (ASCII files write KeyAttrDataFloat as the float
    // bits of each value, binary files as floats).
    std::vector<uint32_t> ArrayBits(const FbxNode& node) const;
    // The element count of a node's array without decoding it (0 for none).
    size_t ArraySize(const FbxNode& node) const;

  private:
    // The decoded bytes of a binary array value (little-endian from then
    // on), with its element size.
    std::string Decode(const FbxNode& node, const FbxValue& v, size_t elem) const;

    std::string m_bytes;
    FbxNode m_root;
    bool m_binary = false;
    bool m_bigEndian = false;
    uint32_t m_version = 0;
};

// The "Properties70" entry of a node ("P" children): the numbers of the
// property of the name, or an empty list.
std::vector<double> FbxProperty(const FbxNode& node, const char* property);

} // namespace host

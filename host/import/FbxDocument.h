// The node tree of an FBX 7.x file, binary or ASCII.
//
// A node has a name, a list of property values and child nodes. Object names
// are given in the ASCII form "Class::Name" in both encodings (the binary
// "Name\0\1Class" is turned round). Numeric arrays (Vertices,
// PolygonVertexIndex, KeyTime, ...) are kept where they lie in the file and
// decoded on request, zlib-compressed ones included; every count and length
// is checked against the data, so a corrupt array is reported, never read
// past.
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
    double number = 0.0;
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
    // The numbers of an ASCII array ("*N { a: ... }").
    std::vector<double> numbers;
    bool isAsciiArray = false;

    // The first child of the name, or nullptr.
    const FbxNode* Child(const char* childName) const;
    // The value at index as a number or text (0 / empty when there is none).
    double Number(size_t index) const;
    std::string Text(size_t index) const;
};

class FbxDocument {
  public:
    // Reads the file's bytes. Throws FbxError.
    static FbxDocument Parse(std::string bytes);

    const FbxNode& Root() const { return m_root; }
    bool IsBinary() const { return m_binary; }

    // The numbers of a node's array (its first array value, or its ASCII
    // "a:" list). Throws FbxError naming the node when the array is corrupt
    // or the node holds none.
    std::vector<double> Array(const FbxNode& node) const;

  private:
    std::string m_bytes;
    FbxNode m_root;
    bool m_binary = false;
};

// The "Properties70" entry of a node ("P" children): the numbers of the
// property of the name, or an empty list.
std::vector<double> FbxProperty(const FbxNode& node, const char* property);

} // namespace host

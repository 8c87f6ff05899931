#include "host/import/SceneFileChecks.h"

#include "host/import/AssimpScene.h"

#include <assimp/BaseImporter.h>
#include <assimp/DefaultIOSystem.h>
#include <assimp/Importer.hpp>
#include <assimp/importerdesc.h>
#include <assimp/MemoryIOWrapper.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace host {
namespace {

std::string Nesting(const char* what) {
    return std::string(what) + " is nested deeper than " + std::to_string(kMaxSceneNesting) +
           " levels";
}

bool IsRegularOrMissing(const char* path) {
    struct stat st;
    return stat(path, &st) != 0 || S_ISREG(st.st_mode);
}

class RegularFileSystem : public Assimp::DefaultIOSystem, public ServedFiles {
  public:
    bool Exists(const char* path) const override {
        return m_served.count(path) != 0 ||
               (IsRegularOrMissing(path) && DefaultIOSystem::Exists(path));
    }
    Assimp::IOStream* Open(const char* path, const char* mode) override {
        const auto served = m_served.find(path);
        if (served != m_served.end()) {
            if (std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+')) {
                return nullptr;
            }
            return new Assimp::MemoryIOStream(
                reinterpret_cast<const uint8_t*>(served->second.data()), served->second.size());
        }
        if (!IsRegularOrMissing(path)) {
            return nullptr;
        }
        return DefaultIOSystem::Open(path, mode);
    }
    void Serve(const std::string& path, std::string_view bytes) override { m_served[path] = bytes; }
    Assimp::IOSystem* AsIOSystem() override { return this; }

  private:
    std::unordered_map<std::string, std::string_view> m_served;
};

// The first byte that is no white space and no UTF-8 byte order mark.
char FirstSignificant(std::string_view bytes) {
    size_t i = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (i < bytes.size() && std::strchr(" \t\r\n", bytes[i]) && bytes[i] != '\0') {
        ++i;
    }
    return i < bytes.size() ? bytes[i] : '\0';
}

// The first 200 bytes as Assimp searches them for a format's keyword:
// lower case (ASCII), NUL bytes left out.
std::string SearchedHead(std::string_view bytes) {
    std::string head;
    for (const char c : bytes.substr(0, 200)) {
        if (c != '\0') {
            head.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
        }
    }
    return head;
}

// Whether Assimp takes the bytes for Collada: "<collada" in the searched
// head, whatever comes before it.
bool NamesCollada(std::string_view bytes) {
    return SearchedHead(bytes).find("<collada") != std::string::npos;
}

// The name of an element from the text of its start tag (without '<').
std::string_view TagName(std::string_view tag) {
    size_t end = 0;
    while (end < tag.size() && !std::strchr(" \t\r\n/>", tag[end])) {
        ++end;
    }
    return tag.substr(0, end);
}

// The value of an attribute in the text of a start tag; empty when absent.
std::string_view Attribute(std::string_view tag, std::string_view name) {
    for (size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        size_t v = at + name.size();
        while (v < tag.size() && (tag[v] == ' ' || tag[v] == '\t')) {
            ++v;
        }
        if (at == 0 || !std::strchr(" \t\r\n", tag[at - 1]) || v + 1 >= tag.size() ||
            tag[v] != '=') {
            continue;
        }
        ++v;
        while (v < tag.size() && (tag[v] == ' ' || tag[v] == '\t')) {
            ++v;
        }
        if (v < tag.size() && (tag[v] == '"' || tag[v] == '\'')) {
            const size_t close = tag.find(tag[v], v + 1);
            return close == std::string_view::npos ? std::string_view()
                                                   : tag.substr(v + 1, close - v - 1);
        }
    }
    return {};
}

// An attribute's text as the XML parser hands it to Assimp: references
// (&amp; &#66; ...) replaced, and each line end or tab a space.
std::string AttributeValue(std::string_view raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r') {
            out += ' ';
            i += i + 1 < raw.size() && raw[i + 1] == '\n' ? 1 : 0;
            continue;
        }
        if (c == '\n' || c == '\t') {
            out += ' ';
            continue;
        }
        const size_t semi = c == '&' ? raw.find(';', i) : std::string_view::npos;
        if (semi == std::string_view::npos || semi - i > 12) {
            out += c;
            continue;
        }
        const std::string_view ref = raw.substr(i + 1, semi - i - 1);
        static const std::pair<std::string_view, char> kNamed[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        bool done = false;
        for (const auto& [named, ch] : kNamed) {
            if (ref == named) {
                out += ch;
                done = true;
            }
        }
        uint32_t code = 0;
        if (!done && ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            const auto r =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            done = r.ec == std::errc() && r.ptr == digits.data() + digits.size() && code > 0 &&
                   code <= 0x10FFFF;
            if (done) { // as UTF-8
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else if (code < 0x10000) {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xF0 | (code >> 18));
                    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
            }
        }
        if (done) {
            i = semi;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

ColladaTree MeasureColladaTree(const ColladaNodes& nodes) {
    // Children of each node: the nodes inside it and the nodes it instances
    // (by id; an id no node has is left out, as Assimp does).
    const size_t n = nodes.id.size();
    // Assimp looks an instanced node up by id among the library's nodes
    // (the last of an id counts), and when none has it, by name or id
    // through the scene's nodes. Every node that has the id, or the name,
    // counts here: more ways down than Assimp takes, never fewer.
    std::unordered_multimap<std::string, size_t> byKey;
    for (size_t i = 0; i < n; ++i) {
        if (!nodes.id[i].empty()) {
            byKey.emplace(nodes.id[i], i);
        }
        if (i < nodes.name.size() && !nodes.name[i].empty() && nodes.name[i] != nodes.id[i]) {
            byKey.emplace(nodes.name[i], i);
        }
    }
    std::vector<std::vector<size_t>> children(n);
    for (size_t i = 0; i < n; ++i) {
        if (nodes.parent[i] != SIZE_MAX) {
            children[nodes.parent[i]].push_back(i);
        }
    }
    for (const auto& [from, target] : nodes.instances) {
        const auto [first, last] = byKey.equal_range(target);
        for (auto it = first; it != last; ++it) {
            children[from].push_back(it->second);
        }
    }
    // Depth first without recursion; the size of the tree below a node
    // counts every node as often as there are ways down to it, capped.
    constexpr uint64_t kCap = uint64_t{1} << 40;
    ColladaTree out;
    std::vector<char> state(n, 0); // 1 walking, 2 done
    std::vector<uint64_t> size(n, 0);
    std::vector<int> depth(n, 0);
    for (size_t top = 0; top < n; ++top) {
        if (nodes.parent[top] != SIZE_MAX || state[top]) {
            continue;
        }
        std::vector<std::pair<size_t, size_t>> stack{{top, 0}};
        state[top] = 1;
        while (!stack.empty()) {
            auto& [v, next] = stack.back();
            if (next < children[v].size()) {
                const size_t c = children[v][next++];
                if (state[c] == 1) {
                    out.loops = true;
                    return out;
                }
                if (state[c] == 0) {
                    state[c] = 1;
                    stack.emplace_back(c, 0);
                }
                continue;
            }
            uint64_t total = 1;
            int d = 0;
            for (const size_t c : children[v]) {
                total = std::min(kCap, total + size[c]);
                d = std::max(d, depth[c]);
            }
            size[v] = total;
            depth[v] = d + 1;
            state[v] = 2;
            stack.pop_back();
        }
        out.nodes = std::min(kCap, out.nodes + size[top]);
        out.depth = std::max(out.depth, depth[top]);
    }
    return out;
}

namespace {

// Whether a Collada element holds a list of indices.
bool IsIndexList(std::string_view name) {
    return name == "p" || name == "vcount" || name == "v" || name == "h";
}

} // namespace

int XmlNestingDepth(const char* text, size_t size, ColladaNodes* nodes) {
    const std::string_view s(text, size);
    int depth = 0;
    int maxDepth = 0;
    // The Collada nodes open around the scan: their index and element depth.
    std::vector<std::pair<size_t, int>> openNodes;
    size_t p = 0;
    // Skips past the text `close` from pos; the end of the text if missing.
    const auto past = [&s](size_t pos, std::string_view close) {
        const size_t at = s.find(close, pos);
        return at == std::string_view::npos ? s.size() : at + close.size();
    };
    while ((p = s.find('<', p)) != std::string_view::npos) {
        const std::string_view rest = s.substr(p);
        if (rest.compare(0, 4, "<!--") == 0) {
            p = past(p + 4, "-->");
        } else if (rest.compare(0, 9, "<![CDATA[") == 0) {
            p = past(p + 9, "]]>");
        } else if (rest.compare(0, 2, "<?") == 0) {
            p = past(p + 2, "?>");
        } else if (rest.compare(0, 2, "<!") == 0) {
            // A declaration; one with an internal subset ends on "]>".
            const size_t gt = s.find('>', p);
            const size_t bracket = s.find('[', p);
            p = bracket < gt ? past(bracket, "]>") : past(p, ">");
        } else if (rest.compare(0, 2, "</") == 0) {
            if (!openNodes.empty() && openNodes.back().second == depth) {
                openNodes.pop_back();
            }
            --depth;
            p = past(p, ">");
        } else {
            // A start tag: up to its '>' outside quoted attribute values.
            size_t q = p + 1;
            char quote = 0;
            for (; q < s.size(); ++q) {
                if (quote) {
                    quote = s[q] == quote ? 0 : quote;
                } else if (s[q] == '"' || s[q] == '\'') {
                    quote = s[q];
                } else if (s[q] == '>') {
                    break;
                }
            }
            const bool empty = q < s.size() && s[q - 1] == '/';
            if (!empty) {
                maxDepth = std::max(maxDepth, ++depth);
            }
            if (nodes) {
                const std::string_view tag = s.substr(p + 1, q - p - 1);
                const size_t parent = openNodes.empty() ? SIZE_MAX : openNodes.back().first;
                if (TagName(tag) == "node") {
                    nodes->parent.push_back(parent);
                    nodes->id.push_back(AttributeValue(Attribute(tag, "id")));
                    nodes->name.push_back(AttributeValue(Attribute(tag, "name")));
                    if (!empty) {
                        openNodes.emplace_back(nodes->id.size() - 1, depth);
                    }
                } else if (!empty && nodes->badIndices.empty() && IsIndexList(TagName(tag))) {
                    const size_t end = std::min(s.find('<', q), s.size());
                    const std::string_view list =
                        q < s.size() ? s.substr(q + 1, end - q - 1) : std::string_view();
                    const size_t bad = list.find_first_not_of("0123456789 \t\r\n");
                    if (bad != std::string_view::npos) {
                        const size_t stop = list.find_first_of(" \t\r\n", bad);
                        nodes->badIndices =
                            "<" + std::string(TagName(tag)) + "> holds \"" +
                            std::string(list.substr(bad, std::min<size_t>(stop - bad, 40))) + "\"";
                    }
                } else if (TagName(tag) == "instance_node" && parent != SIZE_MAX) {
                    const std::string_view url = Attribute(tag, "url");
                    if (!url.empty() && url[0] == '#') {
                        nodes->instances.emplace_back(parent, AttributeValue(url.substr(1)));
                    }
                }
            }
            p = q < s.size() ? q + 1 : s.size();
        }
    }
    return maxDepth;
}

// Braces outside double-quoted strings.
int BraceNestingDepth(const char* text, size_t size) {
    int depth = 0;
    int maxDepth = 0;
    const char* end = text + size;
    for (const char* p = text; p < end; ++p) {
        if (*p == '"') {
            const void* q = std::memchr(p + 1, '"', end - p - 1);
            p = q ? static_cast<const char*>(q) : end - 1;
        } else if (*p == '{') {
            maxDepth = std::max(maxDepth, ++depth);
        } else if (*p == '}') {
            --depth;
        }
    }
    return maxDepth;
}

namespace {

// A DirectX .x file: "xof ", the version, then its form ("txt ", "bin ",
// "tzip" or "bzip"). Assimp 5.2 copies a frame's name into a node name of
// kMaxDirectXToken bytes without measuring it, and nests a call per brace.
// Only the text form can be checked for both: a name is one of the runs of
// characters between white space and ";,{}" (Assimp's tokens, comments
// included), and every brace counts, in quotes too.
void CheckDirectX(std::string_view bytes) {
    if (bytes.size() < 12) {
        return; // Assimp refuses it
    }
    const std::string_view form = bytes.substr(8, 4);
    if (form == "bin " || form == "tzip" || form == "bzip") {
        throw SceneLoadError(
            "binary and compressed DirectX files are not read, only the text form");
    }
    int depth = 0;
    int maxDepth = 0;
    size_t run = 0;
    for (size_t i = std::min<size_t>(16, bytes.size()); i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '{') {
            maxDepth = std::max(maxDepth, ++depth);
        } else if (c == '}') {
            --depth;
        }
        if (std::strchr(" \t\n\v\f\r;,{}", c) && c != '\0') {
            run = 0;
        } else if (++run > kMaxDirectXToken) {
            throw SceneLoadError("a DirectX name or value is longer than " +
                                 std::to_string(kMaxDirectXToken) + " characters");
        }
    }
    if (maxDepth > kMaxSceneNesting) {
        throw SceneLoadError(Nesting("the DirectX text"));
    }
}

// Whether a file name's extension (no dot) is `wanted`, in any case.
bool IsExtension(std::string_view extension, std::string_view wanted) {
    return extension.size() == wanted.size() &&
           std::equal(extension.begin(), extension.end(), wanted.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

// collada: whether Assimp reads the XML as Collada.
void CheckCollada(std::string_view bytes, bool collada) {
    ColladaNodes nodes;
    if (XmlNestingDepth(bytes.data(), bytes.size(), &nodes) > kMaxSceneNesting) {
        throw SceneLoadError(Nesting("the XML"));
    }
    if (collada && !nodes.badIndices.empty()) {
        throw SceneLoadError("a Collada index list " + nodes.badIndices + ", which is no index");
    }
    const ColladaTree tree = MeasureColladaTree(nodes);
    if (tree.loops) {
        throw SceneLoadError("a Collada node instances itself or a node above it");
    }
    if (tree.depth > kMaxSceneNesting) {
        throw SceneLoadError("the Collada node hierarchy is deeper than " +
                             std::to_string(kMaxSceneNesting) + " levels");
    }
    if (tree.nodes > kMaxColladaNodes) {
        throw SceneLoadError("the Collada nodes make more than " +
                             std::to_string(kMaxColladaNodes) + " nodes with their instances");
    }
}

} // namespace

CheckedSceneFile CheckSceneBytes(std::string_view bytes, const std::string* folder,
                                 std::string_view extension) {
    CheckedSceneFile checked;
    const char* json = nullptr;
    size_t jsonSize = 0;
    const char first = FirstSignificant(bytes);
    if (bytes.compare(0, 4, "PK\x03\x04") == 0) {
        throw SceneLoadError("zipped scene files (.zae, .3mf, ...) are not read");
    }
    if (bytes.compare(0, 4, "glTF") == 0) {
        if (!GltfJsonChunk(bytes, &json, &jsonSize)) {
            throw SceneLoadError("the binary glTF header is malformed");
        }
    } else if (first == '{') {
        json = bytes.data();
        jsonSize = bytes.size();
    }
    // Assimp picks a reader by the name's extension before it looks at the
    // bytes, so the checks of a format run when either points to it.
    const bool xml = first == '<' || NamesCollada(bytes) || IsExtension(extension, "dae");
    if (xml) {
        checked.collada = NamesCollada(bytes) || IsExtension(extension, "dae");
        CheckCollada(bytes, checked.collada);
    }
    // Text readers read up to the first NUL byte.
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    // FBX files are read by the project's own reader, never by Assimp's.
    const bool binaryFbx = bytes.compare(0, 18, "Kaydara FBX Binary") == 0;
    // Assimp's LightWave scene reader, which a name ending in .lws or .mot
    // picks, reads its first element without looking whether there is one.
    if ((IsExtension(extension, "lws") || IsExtension(extension, "mot")) &&
        bytes.compare(0, 4, "LWSC") != 0) {
        throw SceneLoadError("a LightWave scene file starts with \"LWSC\"");
    }
    const bool directX = bytes.compare(0, 4, "xof ") == 0;
    if (directX) {
        CheckDirectX(bytes);
    }
    // Other text: ASE and other formats nest blocks in braces.
    if (!json && !xml && !binaryFbx && !directX &&
        BraceNestingDepth(text.data(), text.size()) > kMaxSceneNesting) {
        throw SceneLoadError(Nesting("the text"));
    }
    if (!json) {
        return checked;
    }
    GltfFacts facts;
    if (!ReadGltfFacts(json, jsonSize, &facts)) {
        throw SceneLoadError("glTF: " + facts.problem);
    }
    for (const std::string& uri : facts.bufferFiles) {
        if (folder && !IsRegularOrMissing((*folder + uri).c_str())) {
            throw SceneLoadError("glTF: the buffer file \"" + uri + "\" is no regular file");
        }
    }
    checked.gltf = true;
    checked.gltfLayout = std::move(facts.layout);
    checked.gltfJson = static_cast<size_t>(json - bytes.data());
    checked.bareSkins = std::move(facts.bareSkins);
    if (json == bytes.data()) {
        checked.embeddedBuffers = std::move(facts.embeddedBuffers);
        checked.bufferFiles = facts.bufferFiles;
    }
    return checked;
}

CheckedSceneFile CheckSceneFile(const std::string& path) {
    // Opened without waiting (a FIFO would wait for a writer), then refused
    // unless it is a regular file.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw SceneLoadError(std::string("cannot open the file: ") + std::strerror(errno));
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        throw SceneLoadError("not a regular file");
    }
    // Storage left uninitialised: only the bytes read are looked at.
    const size_t size = static_cast<size_t>(st.st_size);
    std::unique_ptr<char[]> bytes(new char[std::max<size_t>(size, 1)]);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd, bytes.get() + got, size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    close(fd);
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const size_t dot = path.rfind('.');
    const std::string_view extension =
        dot == std::string::npos || (slash != std::string::npos && dot < slash)
            ? std::string_view()
            : std::string_view(path).substr(dot + 1);
    CheckedSceneFile checked =
        CheckSceneBytes(std::string_view(bytes.get(), got), &folder, extension);
    checked.bytes = std::move(bytes);
    checked.size = got;
    return checked;
}

void DropUnsafeReaders(Assimp::Importer* importer) {
    for (const char* extension : {"ogex", "smd", "fbx"}) {
        Assimp::BaseImporter* reader = importer->GetImporter(extension);
        // Assimp leaves a reader it lets go to the caller to delete.
        if (reader && importer->UnregisterLoader(reader) == aiReturn_SUCCESS) {
            delete reader;
        }
    }
}

void KeepDefaultReaders(Assimp::Importer* importer) {
    // A reader's extensions are one text, separated by spaces.
    const auto readsDefaultFormat = [](const aiImporterDesc* info) {
        if (!info || !info->mFileExtensions) {
            return false;
        }
        const std::string_view list = info->mFileExtensions;
        size_t start = 0;
        while (start < list.size()) {
            const size_t end = std::min(list.find(' ', start), list.size());
            const std::string_view extension = list.substr(start, end - start);
            for (const char* wanted : {"gltf", "glb", "fbx", "dae", "obj"}) {
                if (IsExtension(extension, wanted)) {
                    return true;
                }
            }
            start = end + 1;
        }
        return false;
    };
    for (size_t i = importer->GetImporterCount(); i-- > 0;) {
        if (readsDefaultFormat(importer->GetImporterInfo(i))) {
            continue;
        }
        Assimp::BaseImporter* reader = importer->GetImporter(i);
        if (reader && importer->UnregisterLoader(reader) == aiReturn_SUCCESS) {
            delete reader;
        }
    }
}

ServedFiles* NewRegularFileSystem() {
    return new RegularFileSystem;
}

} // namespace host

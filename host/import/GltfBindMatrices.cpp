#include "host/import/GltfBindMatrices.h"

#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace host {
namespace {

using Json = nlohmann::json;

constexpr size_t kMatrixBytes = 64; // 16 little-endian floats

void PutLE32(uint32_t v, char* p) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

uint32_t ReadLE32(const char* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    }
    return v;
}

// A "data:" uri of `count` identity matrices.
std::string IdentityMatricesUri(size_t count) {
    std::string bytes(count * kMatrixBytes, '\0');
    for (size_t m = 0; m < count; ++m) {
        for (size_t d = 0; d < 4; ++d) {
            PutLE32(0x3F800000u, &bytes[m * kMatrixBytes + 4 * (5 * d)]); // 1.0f
        }
    }
    std::string uri = "data:application/octet-stream;base64,";
    const size_t head = uri.size();
    uri.resize(head + 4 * ((bytes.size() + 2) / 3) + 1);
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&uri[head]),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    uri.resize(head + static_cast<size_t>(n));
    return uri;
}

// The array doc[key], made when absent; nullptr when it is something else.
Json* ArrayOf(Json& doc, const char* key) {
    Json& v = doc[key];
    if (v.is_null()) {
        v = Json::array();
    }
    return v.is_array() ? &v : nullptr;
}

// The JSON text with the skins given identity matrices.
bool RewriteJson(std::string_view json, const std::vector<GltfBareSkin>& bare, std::string* out,
                 std::string* problem) {
    Json doc;
    try {
        doc = Json::parse(json);
    } catch (const Json::exception& e) {
        *problem = std::string("the JSON cannot be read: ") + e.what();
        return false;
    }
    Json* skins = doc.is_object() ? ArrayOf(doc, "skins") : nullptr;
    Json* buffers = skins ? ArrayOf(doc, "buffers") : nullptr;
    Json* views = buffers ? ArrayOf(doc, "bufferViews") : nullptr;
    Json* accessors = views ? ArrayOf(doc, "accessors") : nullptr;
    if (!accessors) {
        *problem = "the skins, buffers, buffer views or accessors are no arrays";
        return false;
    }
    // One view of as many identities as the longest skin has joints (at
    // least one: an accessor holds one element or more).
    size_t most = 1;
    for (const GltfBareSkin& s : bare) {
        most = std::max(most, s.joints);
    }
    const size_t buffer = buffers->size();
    buffers->push_back(
        Json{{"byteLength", most * kMatrixBytes}, {"uri", IdentityMatricesUri(most)}});
    const size_t view = views->size();
    views->push_back(Json{{"buffer", buffer}, {"byteLength", most * kMatrixBytes}});
    for (const GltfBareSkin& s : bare) {
        if (s.index >= skins->size() || !(*skins)[s.index].is_object()) {
            continue; // Assimp refuses such a skin itself
        }
        (*skins)[s.index]["inverseBindMatrices"] = accessors->size();
        accessors->push_back(Json{{"bufferView", view},
                                  {"componentType", 5126},
                                  {"count", std::max<size_t>(s.joints, 1)},
                                  {"type", "MAT4"}});
    }
    *out = doc.dump();
    return true;
}

} // namespace

bool GiveIdentityBindMatrices(std::string_view file, const std::vector<GltfBareSkin>& bare,
                              std::string* out, std::string* problem) {
    out->clear();
    if (file.compare(0, 4, "glTF") != 0) {
        return RewriteJson(file, bare, out, problem);
    }
    // Binary glTF: the 12-byte header (its length field counts the JSON
    // chunk), the JSON chunk, then the other chunks as they were.
    const char* const gltfHeaderProblem = "the binary glTF header is malformed";
    const char* jsonChunk = nullptr;
    size_t chunkSize = 0;
    if (!GltfJsonChunk(file, &jsonChunk, &chunkSize)) {
        *problem = gltfHeaderProblem;
        return false;
    }
    if (chunkSize % 4 != 0) {
        *problem = "the binary glTF JSON chunk is not padded to 4 bytes";
        return false;
    }
    const uint32_t declared = ReadLE32(file.data() + 8);
    const uint32_t chunk = static_cast<uint32_t>(chunkSize);
    std::string json;
    if (!RewriteJson(std::string_view(jsonChunk, chunkSize), bare, &json, problem)) {
        return false;
    }
    json.resize((json.size() + 3) / 4 * 4, ' ');
    if (declared < uint64_t{chunk} + 20 || uint64_t{declared} - chunk + json.size() > 0xFFFFFFFFu) {
        *problem = gltfHeaderProblem;
        return false;
    }
    const uint64_t length = uint64_t{declared} - chunk + json.size();
    out->reserve(file.size() - chunk + json.size());
    out->append(file.substr(0, 8));
    char words[8];
    PutLE32(static_cast<uint32_t>(length), words);
    PutLE32(static_cast<uint32_t>(json.size()), words + 4);
    out->append(words, 8);
    out->append(file.substr(16, 4)); // "JSON"
    out->append(json);
    out->append(file.substr(20 + chunk));
    return true;
}

} // namespace host

#include "host/import/GltfEmbedded.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace host {
namespace {

// The start of the names the decoded buffers are served under.
const std::string kServedName = "zk-embedded-buffer-";

constexpr std::string_view kMediaTypes[] = {"data:application/octet-stream;base64,",
                                            "data:application/gltf-buffer;base64,"};

// Decodes whole 4-letter groups of base64 text into out (3 bytes a group):
// false when a letter is outside the base64 alphabet. OpenSSL takes an int
// length: long text goes in pieces of whole groups.
bool DecodeGroups(std::string_view text, unsigned char* out) {
    constexpr size_t kPiece = size_t{1} << 30;
    for (size_t at = 0; at < text.size(); at += kPiece) {
        const size_t n = std::min(kPiece, text.size() - at);
        const int got = EVP_DecodeBlock(
            out, reinterpret_cast<const unsigned char*>(text.data() + at), static_cast<int>(n));
        // OpenSSL passes over white space at either end: a shorter result
        // means there was some.
        if (got < 0 || static_cast<size_t>(got) != n / 4 * 3) {
            return false;
        }
        out += got;
    }
    return true;
}

// The base64 text of a data uri of one of the buffer media types, or an
// empty view.
std::string_view Base64Of(std::string_view uri) {
    for (std::string_view type : kMediaTypes) {
        if (uri.substr(0, type.size()) == type) {
            return uri.substr(type.size());
        }
    }
    return {};
}

} // namespace

bool DecodeBase64(std::string_view text, DecodedBuffer* out) {
    out->bytes.reset();
    out->size = 0;
    if (text.empty() || text.size() % 4 != 0) {
        return false;
    }
    // The last group may end in one or two '=': it is decoded with 'A' for
    // them, and their bytes dropped.
    const std::string_view body = text.substr(0, text.size() - 4);
    std::string last(text.substr(body.size()));
    size_t padding = 0;
    while (padding < 2 && last[3 - padding] == '=') {
        last[3 - padding] = 'A';
        ++padding;
    }
    // OpenSSL reads a '=' elsewhere as a letter.
    if (std::memchr(text.data(), '=', text.size() - padding)) {
        return false;
    }
    // Storage left uninitialised: every byte is decoded into. Long text is
    // decoded on two threads, each half whole groups.
    const size_t size = text.size() / 4 * 3;
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[size]);
    bool ok = DecodeGroups(last, bytes.get() + body.size() / 4 * 3);
    constexpr size_t kSplit = size_t{1} << 20;
    if (body.size() < kSplit) {
        ok = ok && DecodeGroups(body, bytes.get());
    } else {
        const size_t half = body.size() / 8 * 4;
        bool secondOk = false;
        std::thread second(
            [&] { secondOk = DecodeGroups(body.substr(half), bytes.get() + half / 4 * 3); });
        ok = DecodeGroups(body.substr(0, half), bytes.get()) && ok;
        second.join();
        ok = ok && secondOk;
    }
    if (!ok) {
        return false;
    }
    out->bytes = std::move(bytes);
    out->size = size - padding;
    return true;
}

bool UnpackEmbeddedBuffers(std::string_view json, const std::vector<GltfEmbeddedBuffer>& embedded,
                           const std::vector<std::string>& bufferFiles, UnpackedGltf* out) {
    *out = UnpackedGltf{};
    for (const std::string& file : bufferFiles) {
        if (file.find(kServedName) != std::string::npos) {
            return false;
        }
    }
    std::vector<const GltfEmbeddedBuffer*> taken;
    for (const GltfEmbeddedBuffer& b : embedded) {
        if (b.uriBegin > b.uriEnd || b.uriEnd > json.size() || b.byteLength < 0) {
            continue;
        }
        DecodedBuffer decoded;
        const std::string_view uri = json.substr(b.uriBegin, b.uriEnd - b.uriBegin);
        if (!DecodeBase64(Base64Of(uri), &decoded) ||
            decoded.size != static_cast<uint64_t>(b.byteLength)) {
            continue;
        }
        decoded.name = kServedName + std::to_string(b.index) + ".bin";
        out->buffers.push_back(std::move(decoded));
        taken.push_back(&b);
    }
    if (taken.empty()) {
        return false;
    }
    // Each uri replaced by its buffer's name; the buffers' uris come in text
    // order, as the buffers do.
    size_t at = 0;
    for (size_t i = 0; i < taken.size(); ++i) {
        if (taken[i]->uriBegin < at) {
            *out = UnpackedGltf{};
            return false;
        }
        out->json.append(json.substr(at, taken[i]->uriBegin - at));
        out->json += out->buffers[i].name;
        at = taken[i]->uriEnd;
    }
    out->json.append(json.substr(at));
    return true;
}

} // namespace host

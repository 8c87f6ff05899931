// What the LWO tests share: reading a file back with Assimp (no
// post-processing, so no vertex is merged) and walking the IFF chunks.
#pragma once

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lwotest {

inline std::uint32_t U4(const std::vector<unsigned char>& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) |
           (std::uint32_t(b[at + 2]) << 8) | std::uint32_t(b[at + 3]);
}

struct Chunk {
    std::string id;
    std::size_t offset; // of the body
    std::uint32_t size;
};

// The top-level chunks inside FORM/LWO2. Fails the calling test (through
// 'problem') when the FORM header, a size or the padding is wrong.
inline std::vector<Chunk> WalkChunks(const std::vector<unsigned char>& b, std::string* problem) {
    std::vector<Chunk> chunks;
    if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "FORM" ||
        std::string(b.begin() + 8, b.begin() + 12) != "LWO2") {
        *problem = "no FORM/LWO2 header";
        return chunks;
    }
    if (U4(b, 4) + 8u != b.size()) {
        *problem = "FORM size " + std::to_string(U4(b, 4)) + " for a file of " +
                   std::to_string(b.size()) + " bytes";
        return chunks;
    }
    std::size_t at = 12;
    while (at < b.size()) {
        if (at + 8 > b.size()) {
            *problem = "truncated chunk header";
            return chunks;
        }
        Chunk c{std::string(b.begin() + at, b.begin() + at + 4), at + 8, U4(b, at + 4)};
        const std::size_t padded = c.size + (c.size & 1u);
        if (c.offset + padded > b.size()) {
            *problem = "chunk " + c.id + " runs past the end";
            return chunks;
        }
        chunks.push_back(c);
        at = c.offset + padded;
    }
    return chunks;
}

// Reads an LWO file with Assimp, no post-processing step.
inline const aiScene* ReadLWO(Assimp::Importer& importer, const std::string& path) {
    return importer.ReadFile(path, 0);
}

} // namespace lwotest

#include "LWOFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// Bytes of one variable-length index: two below 0xFF00, else four.
std::uint64_t VXSize(std::uint32_t index) {
    return index < 0xFF00u ? 2u : 4u;
}

// Bytes of a zero-terminated string padded to an even length.
std::uint64_t S0Size(const char* text) {
    const std::uint64_t n = std::strlen(text) + 1;
    return n + (n & 1u);
}

// A short message, formatted.
template <typename... Args> std::string Text(const char* format, Args... args) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

// Appends big-endian values to a byte buffer.
class ByteOut {
  public:
    explicit ByteOut(std::vector<unsigned char>* out) : m_out(out) {}

    void U2(std::uint32_t v) {
        m_out->push_back(static_cast<unsigned char>((v >> 8) & 0xFFu));
        m_out->push_back(static_cast<unsigned char>(v & 0xFFu));
    }
    void U4(std::uint32_t v) {
        U2(v >> 16);
        U2(v & 0xFFFFu);
    }
    void F4(float f) {
        std::uint32_t v;
        std::memcpy(&v, &f, sizeof v);
        U4(v);
    }
    // Byte by byte: a ranged insert of the four characters right after the
    // reserve makes GCC 12 at -O3 warn of an overflow that cannot happen.
    void ID4(const char* id) {
        for (int i = 0; i < 4; ++i) {
            m_out->push_back(static_cast<unsigned char>(id[i]));
        }
    }
    void S0(const char* text) {
        const std::size_t n = std::strlen(text) + 1;
        m_out->insert(m_out->end(), text, text + n);
        if (n & 1u) {
            m_out->push_back(0);
        }
    }
    // A point or polygon index: U2 below 0xFF00, else U4 with its top byte
    // set to 0xFF.
    void VX(std::uint32_t index) {
        if (index < 0xFF00u) {
            U2(index);
        } else {
            U4(0xFF000000u | index);
        }
    }
    // A chunk header; the size is the body's, without the header and pad.
    void Chunk(const char* id, std::uint64_t size) {
        ID4(id);
        U4(static_cast<std::uint32_t>(size));
    }
    void PadTo(std::uint64_t size) {
        if (size & 1u) {
            m_out->push_back(0);
        }
    }

  private:
    std::vector<unsigned char>* m_out;
};

// Surface colour and diffuse level: a plain light grey.
constexpr float kSurfaceColour = 0.78431374f; // 200 / 255
constexpr float kSurfaceDiffuse = 1.0f;

} // namespace

bool LWOConvertMesh(const double* positions, std::size_t pointCount,
                    const std::int32_t* polygonData, std::size_t polygonDataCount, LWOMesh* out,
                    std::string* error) {
    out->points.clear();
    out->polygonData.clear();
    if (pointCount > static_cast<std::size_t>(kLWOMaxPointIndex) + 1u) {
        *error = Text("the mesh has %zu points, more than an LWO file can index", pointCount);
        return false;
    }

    out->points.reserve(pointCount * 3u);
    for (std::size_t i = 0; i < pointCount; ++i) {
        const float x = static_cast<float>(positions[3 * i]);
        const float y = static_cast<float>(positions[3 * i + 1]);
        const float zs = static_cast<float>(positions[3 * i + 2]);
        // The cache's negation: -0 never appears, a zero z stays +0.
        const float z = zs + zs * -2.0f;
        out->points.push_back(x);
        out->points.push_back(y);
        out->points.push_back(z);
    }

    out->polygonData.reserve(polygonDataCount);
    std::size_t i = 0;
    std::size_t polygon = 0;
    while (i < polygonDataCount) {
        const std::int32_t count = polygonData[i];
        if (count < 1 || static_cast<std::uint32_t>(count) > kLWOMaxPolygonSize) {
            *error = Text("polygon %zu has %d points; an LWO polygon has 1 to 1023", polygon,
                          static_cast<int>(count));
            return false;
        }
        const std::size_t n = static_cast<std::size_t>(count);
        if (n > polygonDataCount - i - 1) {
            *error = Text("the polygon data ends inside polygon %zu", polygon);
            return false;
        }
        out->polygonData.push_back(static_cast<std::uint32_t>(count));
        // Reversed point order: the mirror in z would otherwise turn the
        // polygon's front face inwards.
        for (std::size_t k = n; k > 0; --k) {
            const std::int32_t index = polygonData[i + k];
            if (index < 0 || static_cast<std::size_t>(index) >= pointCount) {
                *error = Text("polygon %zu refers to point %d of %zu", polygon,
                              static_cast<int>(index), pointCount);
                return false;
            }
            out->polygonData.push_back(static_cast<std::uint32_t>(index));
        }
        i += n + 1;
        ++polygon;
    }
    return true;
}

bool LWOBuildFile(const LWOMesh& mesh, const char* surfaceName, std::vector<unsigned char>* out,
                  std::string* error) {
    out->clear();
    const std::uint64_t pointCount = mesh.points.size() / 3u;

    // Sizes first, in 64 bits, so that nothing is written for a mesh whose
    // chunks the format's 32-bit sizes cannot describe.
    std::uint64_t polygonCount = 0;
    std::uint64_t polsSize = 4;
    for (std::size_t i = 0; i < mesh.polygonData.size();) {
        const std::uint32_t n = mesh.polygonData[i];
        polsSize += 2;
        for (std::uint32_t k = 1; k <= n; ++k) {
            polsSize += VXSize(mesh.polygonData[i + k]);
        }
        i += n + 1u;
        ++polygonCount;
    }
    if (polygonCount > static_cast<std::uint64_t>(kLWOMaxPointIndex) + 1u) {
        *error = Text("the mesh has %llu polygons, more than an LWO file can index",
                      static_cast<unsigned long long>(polygonCount));
        return false;
    }
    std::uint64_t ptagSize = 4;
    for (std::uint64_t p = 0; p < polygonCount; ++p) {
        ptagSize += VXSize(static_cast<std::uint32_t>(p)) + 2;
    }
    const std::uint64_t tagsSize = S0Size(surfaceName);
    const std::uint64_t layrSize = 2 + 2 + 12 + S0Size("");
    const std::uint64_t pntsSize = 12 * pointCount;
    // Name, source surface (none), COLR (colour, no envelope) and DIFF.
    const std::uint64_t surfSize = S0Size(surfaceName) + S0Size("") + (6 + 12 + 2) + (6 + 4 + 2);

    const std::uint64_t sizes[] = {tagsSize, layrSize, pntsSize, polsSize, ptagSize, surfSize};
    std::uint64_t formSize = 4;
    for (std::uint64_t s : sizes) {
        formSize += 8 + s + (s & 1u);
    }
    if (formSize > 0xFFFFFFFFu) {
        *error = "the mesh is too large for an LWO file";
        return false;
    }

    out->reserve(static_cast<std::size_t>(formSize + 8));
    ByteOut o(out);
    o.Chunk("FORM", formSize);
    o.ID4("LWO2");

    o.Chunk("TAGS", tagsSize);
    o.S0(surfaceName);
    o.PadTo(tagsSize);

    // Layer 0, no flags, pivot at the origin, no name, no parent.
    o.Chunk("LAYR", layrSize);
    o.U2(0);
    o.U2(0);
    o.F4(0.0f);
    o.F4(0.0f);
    o.F4(0.0f);
    o.S0("");
    o.PadTo(layrSize);

    o.Chunk("PNTS", pntsSize);
    for (float v : mesh.points) {
        o.F4(v);
    }
    o.PadTo(pntsSize);

    // Each polygon: no flags in the top 6 bits, its point count in the
    // low 10, then its point indices.
    o.Chunk("POLS", polsSize);
    o.ID4("FACE");
    for (std::size_t i = 0; i < mesh.polygonData.size();) {
        const std::uint32_t n = mesh.polygonData[i];
        o.U2(n & 0x03FFu);
        for (std::uint32_t k = 1; k <= n; ++k) {
            o.VX(mesh.polygonData[i + k]);
        }
        i += n + 1u;
    }
    o.PadTo(polsSize);

    // Every polygon on surface tag 0.
    o.Chunk("PTAG", ptagSize);
    o.ID4("SURF");
    for (std::uint64_t p = 0; p < polygonCount; ++p) {
        o.VX(static_cast<std::uint32_t>(p));
        o.U2(0);
    }
    o.PadTo(ptagSize);

    o.Chunk("SURF", surfSize);
    o.S0(surfaceName);
    o.S0("");
    o.ID4("COLR");
    o.U2(12 + 2);
    o.F4(kSurfaceColour);
    o.F4(kSurfaceColour);
    o.F4(kSurfaceColour);
    o.VX(0);
    o.ID4("DIFF");
    o.U2(4 + 2);
    o.F4(kSurfaceDiffuse);
    o.VX(0);
    o.PadTo(surfSize);
    return true;
}

bool LWOWriteBytes(const char* path, const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) {
        return false;
    }
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::ferror(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    // Remove what was written, but only from a plain file: a device such
    // as /dev/full stays.
    struct stat st;
    if (!ok && stat(path, &st) == 0 && S_ISREG(st.st_mode)) {
        std::remove(path);
    }
    return ok;
}

#include "host/scene/ModelFile.h"

#include "host/scene/Item.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace host {

namespace {
// Writes little-endian values into a buffer sized beforehand.
class Encoder {
  public:
    explicit Encoder(std::vector<unsigned char>& out) : m_out(out) {}
    void U32(uint32_t v) {
        m_out[m_pos++] = static_cast<unsigned char>(v & 0xff);
        m_out[m_pos++] = static_cast<unsigned char>((v >> 8) & 0xff);
        m_out[m_pos++] = static_cast<unsigned char>((v >> 16) & 0xff);
        m_out[m_pos++] = static_cast<unsigned char>((v >> 24) & 0xff);
    }
    void F32(double v) {
        const float f = static_cast<float>(v);
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        U32(bits);
    }

  private:
    std::vector<unsigned char>& m_out;
    size_t m_pos = 0;
};
} // namespace

std::vector<unsigned char> EncodeModelFile(const Item& item, double frame, bool withoutPoints) {
    std::vector<unsigned char> out;
    const Mesh* mesh = item.GetMesh();
    if (!mesh) {
        return out;
    }
    static const std::vector<int> none;
    const int pointCount = withoutPoints ? 0 : mesh->GetPointCount();
    const std::vector<int>& sizes = withoutPoints ? none : mesh->GetPolygonSizes();
    const std::vector<int>& indices = withoutPoints ? none : mesh->GetPolygonPoints();
    out.resize(16 + 12 * static_cast<size_t>(pointCount) + 4 * (sizes.size() + indices.size()));
    Encoder enc(out);
    enc.U32(0x4C444D45u); // "EMDL" as bytes 'E' 'M' 'D' 'L'
    enc.U32(kModelFileVersion);
    enc.U32(static_cast<uint32_t>(pointCount));
    enc.U32(static_cast<uint32_t>(sizes.size()));

    std::vector<Vec3> points(static_cast<size_t>(pointCount));
    if (pointCount > 0) {
        item.EvalPoints(frame, points.data());
    }
    for (const Vec3& p : points) {
        enc.F32(p.x);
        enc.F32(p.y);
        enc.F32(p.z);
    }
    size_t next = 0;
    for (int n : sizes) {
        enc.U32(static_cast<uint32_t>(n));
        for (int k = 0; k < n; ++k) {
            enc.U32(static_cast<uint32_t>(indices[next++]));
        }
    }
    return out;
}

bool WriteModelFile(const Item& item, double frame, const std::string& path, std::string* error,
                    bool withoutPoints) {
    if (!item.GetMesh()) {
        *error = "the item is not a polygon mesh";
        return false;
    }
    const std::vector<unsigned char> bytes = EncodeModelFile(item, frame, withoutPoints);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = std::string("cannot create the file (") + std::strerror(errno) + ")";
        return false;
    }
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
    const int writeErrno = errno;
    const bool closed = std::fclose(f) == 0;
    if (written != bytes.size() || !closed) {
        *error = std::string("cannot write the file (") +
                 std::strerror(written != bytes.size() ? writeErrno : errno) + ")";
        std::remove(path.c_str());
        return false;
    }
    return true;
}

} // namespace host

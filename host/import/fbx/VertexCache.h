// Vertex caches that FBX scenes point to, read as the points of a mesh at
// each frame:
//   - Maya geometry caches: an .xml description (one file or one file per
//     frame, its channels, their time range and sampling in ticks of 1/6000
//     s) beside its data, .mcx (64-bit IFF: "FOR8" forms, 8-byte aligned) or
//     .mc (32-bit IFF: "FOR4", 4-byte aligned). A "CACH" form heads each
//     data file; each sample is a "MYCH" form holding its time ("TIME",
//     ticks; a file of one frame may leave it out) and, per channel, its
//     name ("CHNM"), its element count ("SIZE") and its elements ("FVCA":
//     big-endian float triples, "DVCA": double triples). Every size and
//     number is big-endian.
//   - 3ds Max point caches (.pc2): a 32-byte little-endian header (the
//     signature "POINTCACHE2\0", version 1, points per sample, start frame
//     and frames between samples as floats, sample count), then each
//     sample's points as little-endian float triples.
//
// Opening a cache reads its description and the headers of its data (never
// the points), checks them against the mesh, and keeps where each sample's
// points lie. The points of a frame are read when the frame is evaluated
// (a cache of 500,000 points over 1,000 frames is 6 GB): the sample at the
// frame's time, or the two around it blended linearly, the first sample
// before the cache's range and the last one after it. A file of one frame
// is opened when it is read and closed after.
//
// Any bytes are safe: sizes and counts are checked against the file before
// they are used. A cache that cannot be read as it says is refused with one
// line naming the file (VertexCacheError). A file that fails later, while
// the scene is evaluated (shortened or removed meanwhile), or a sample
// holding a number that is not finite gives one report naming the file
// (through the reporter) and the mesh's rest points for those frames.
#pragma once

#include "host/scene/Mesh.h"
#include "host/scene/PointArray.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace host {

class VertexCacheError : public std::runtime_error {
  public:
    explicit VertexCacheError(const std::string& message) : std::runtime_error(message) {}
};

// A cache file that does not exist: the mesh bakes without its cache.
class VertexCacheMissing : public VertexCacheError {
  public:
    explicit VertexCacheMissing(const std::string& message) : VertexCacheError(message) {}
};

// Random access to the bytes of one cache file.
class CacheBytes {
  public:
    virtual ~CacheBytes() = default;
    virtual const std::string& GetName() const = 0;
    virtual uint64_t GetSize() const = 0;
    // False when the bytes cannot all be read.
    virtual bool ReadAt(uint64_t offset, void* out, size_t size) const = 0;
};

// A file on disk (throws VertexCacheError when it cannot be opened), or
// bytes in memory named `name`.
std::unique_ptr<CacheBytes> OpenCacheFile(const std::string& path);
std::unique_ptr<CacheBytes> CacheBytesInMemory(std::string name, std::string bytes);

// How each point of a sample is stored.
enum class CacheValues { FloatLE, FloatBE, DoubleBE };

// Where the points of one sample lie.
struct CacheSample {
    double time;     // the cache's own unit: ticks (Maya) or frames (pc2)
    size_t file;     // index into CacheLayout::files
    uint64_t offset; // the first byte of the sample's points
    CacheValues values;
};

// What opening a cache found: its files, and its samples in time order.
struct CacheLayout {
    std::vector<std::string> files;
    std::vector<CacheSample> samples;
};

// The reading of a Maya cache's .xml description that the points need.
struct MayaCacheDescription {
    bool oneFilePerFrame = false;
    bool wide = false;         // .mcx ("mcx"), else .mc ("mcc")
    double timePerFrame = 250; // ticks per frame of the cache
    double startTime = 0;      // the channel's first and last ticks
    double endTime = 0;
    double samplingRate = 0;    // ticks between samples; 0: irregular
    std::string interpretation; // "positions", "normals", ...
};

// The description of `channel` in the .xml text (named `name` in messages),
// and the same read from the file at `xmlPath`.
MayaCacheDescription ReadMayaCacheXml(std::string_view xml, const std::string& name,
                                      const std::string& channel);
MayaCacheDescription ReadMayaCacheDescription(const std::string& xmlPath,
                                              const std::string& channel);

// Adds the samples of `channel` in one Maya cache data file (index `fileIndex`
// of the layout) to `samples`; `fileTime` is the time of a file of one frame
// whose sample names none. Each must hold `pointCount` points.
void ScanMayaCacheData(const CacheBytes& file, size_t fileIndex, const std::string& channel,
                       size_t pointCount, double fileTime, std::vector<CacheSample>* samples);

// The samples of a .pc2 file of `pointCount` points, at their frames.
void ScanPc2(const CacheBytes& file, size_t pointCount, std::vector<CacheSample>* samples);

// Reports a failure while the scene is evaluated (one line).
using CacheReporter = std::function<void(const std::string& line)>;

// A cache as the point source of a mesh. The cache time of a frame is
// frame * timeScale + timeOffset; each point read is mapped by `transform`
// (the importer's units and axes).
class VertexCache : public PointSource {
  public:
    VertexCache(CacheLayout layout, PointArray restPoints, double timeScale, double timeOffset,
                const Mat34& transform, CacheReporter reporter);
    // The same over files already open (tests, fuzzing): files[k] is
    // layout.files[k].
    VertexCache(CacheLayout layout, std::vector<std::unique_ptr<CacheBytes>> files,
                PointArray restPoints, double timeScale, double timeOffset, const Mat34& transform,
                CacheReporter reporter);

    size_t GetPointCount() const override { return m_rest.size(); }
    void ReadPoints(double frame, Vec3* out) override;

    const CacheLayout& GetLayout() const { return m_layout; }

  private:
    // Reads sample k's values into m_buffer[slot]; false (reported) on failure.
    bool ReadSample(size_t k, int slot);
    const CacheBytes* File(size_t index);
    void Report(const std::string& line);

    CacheLayout m_layout;
    PointArray m_rest;
    double m_timeScale;
    double m_timeOffset;
    Mat34 m_transform;
    bool m_identity;
    CacheReporter m_reporter;
    // Open files: every file of a one-file cache; for a cache of one file per
    // frame, the files of the samples last read.
    std::vector<std::unique_ptr<CacheBytes>> m_open;
    bool m_keepOpen;
    std::vector<unsigned char> m_buffer[2];
    std::vector<double> m_values[2]; // the two samples' coordinates
    bool m_reported = false;
};

// Opens the Maya cache described by the .xml at `xmlPath` for `channel`, or
// the .pc2 at `path`, for a mesh with `restPoints`. Frames are at
// `framesPerSecond`; a .pc2 counts frames at `fileFramesPerSecond` (the
// rate of the scene that wrote it). Throws VertexCacheError.
std::shared_ptr<VertexCache> OpenMayaCache(const std::string& xmlPath, const std::string& channel,
                                           const PointArray& restPoints, double framesPerSecond,
                                           const Mat34& transform, CacheReporter reporter);
std::shared_ptr<VertexCache> OpenPc2Cache(const std::string& path, const PointArray& restPoints,
                                          double framesPerSecond, double fileFramesPerSecond,
                                          const Mat34& transform, CacheReporter reporter);

} // namespace host

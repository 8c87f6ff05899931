#include "host/import/fbx/VertexCache.h"

#include <pugixml.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <limits>
#include <new>
#include <utility>

namespace host {

namespace {

constexpr double kTicksPerSecond = 6000.0;
// A description is a few hundred bytes; anything this big is not one.
constexpr uint64_t kMaxDescriptionBytes = 16u << 20;

[[noreturn]] void Refuse(const std::string& name, const std::string& what) {
    throw VertexCacheError("vertex cache " + name + ": " + what);
}

class FileBytes : public CacheBytes {
  public:
    FileBytes(std::string name, int fd, uint64_t size)
        : m_name(std::move(name)), m_fd(fd), m_size(size) {}
    ~FileBytes() override { ::close(m_fd); }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    const std::string& GetName() const override { return m_name; }
    uint64_t GetSize() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* out, size_t size) const override {
        if (offset > m_size || size > m_size - offset) {
            return false;
        }
        unsigned char* p = static_cast<unsigned char*>(out);
        while (size > 0) {
            const ssize_t got = ::pread(m_fd, p, size, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            p += got;
            offset += static_cast<uint64_t>(got);
            size -= static_cast<size_t>(got);
        }
        return true;
    }

  private:
    std::string m_name;
    int m_fd;
    uint64_t m_size;
};

class MemoryBytes : public CacheBytes {
  public:
    MemoryBytes(std::string name, std::string bytes)
        : m_name(std::move(name)), m_bytes(std::move(bytes)) {}
    const std::string& GetName() const override { return m_name; }
    uint64_t GetSize() const override { return m_bytes.size(); }
    bool ReadAt(uint64_t offset, void* out, size_t size) const override {
        if (offset > m_bytes.size() || size > m_bytes.size() - offset) {
            return false;
        }
        if (size > 0) {
            std::memcpy(out, m_bytes.data() + offset, size);
        }
        return true;
    }

  private:
    std::string m_name;
    std::string m_bytes;
};

uint32_t Be32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint64_t Be64(const unsigned char* p) {
    return (uint64_t{Be32(p)} << 32) | Be32(p + 4);
}
uint32_t Le32(const unsigned char* p) {
    return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}
float FloatOf(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
double DoubleOf(uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
constexpr uint32_t Tag(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}
std::string TagText(uint32_t tag) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((tag >> shift) & 0xff);
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return out;
}

size_t ValueSize(CacheValues v) {
    return v == CacheValues::DoubleBE ? 8 : 4;
}

// `count` stored values as numbers, one loop per kind.
void Decode(const unsigned char* p, CacheValues kind, size_t count, double* out) {
    switch (kind) {
    case CacheValues::FloatLE:
        for (size_t i = 0; i < count; ++i) {
            out[i] = FloatOf(Le32(p + 4 * i));
        }
        break;
    case CacheValues::FloatBE:
        for (size_t i = 0; i < count; ++i) {
            out[i] = FloatOf(Be32(p + 4 * i));
        }
        break;
    case CacheValues::DoubleBE:
        for (size_t i = 0; i < count; ++i) {
            out[i] = DoubleOf(Be64(p + 8 * i));
        }
        break;
    }
}

// A number of an XML attribute, read the same in every locale; false for
// anything but a whole finite number.
bool ParseNumber(const char* text, double* out) {
    const char* end = text + std::strlen(text);
    while (text < end && (*text == ' ' || *text == '\t')) {
        ++text;
    }
    double v = 0.0;
    const auto r = std::from_chars(text, end, v);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) {
        return false;
    }
    *out = v;
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}
std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadWholeFile(const std::string& path, uint64_t limit) {
    const std::unique_ptr<CacheBytes> file = OpenCacheFile(path);
    if (file->GetSize() > limit) {
        Refuse(path,
               "too big for a cache description (" + std::to_string(file->GetSize()) + " bytes)");
    }
    std::string text(static_cast<size_t>(file->GetSize()), '\0');
    if (!file->ReadAt(0, text.data(), text.size())) {
        Refuse(path, "cannot be read");
    }
    return text;
}

// One chunk of an IFF file: its tag, where its data starts and its size.
struct Chunk {
    uint32_t tag;
    uint64_t data;
    uint64_t size;
};

bool IsForm(uint32_t tag) {
    return tag == Tag("FOR4") || tag == Tag("FOR8");
}

// The Maya cache IFF: 4-byte tags, then (.mcx) 4 unused bytes and a 64-bit
// size, or (.mc) a 32-bit size; data padded to 8 (4) bytes from its start.
// A form's size counts its 4-byte type and its padded chunks, so the form
// itself ends where its size says.
class IffReader {
  public:
    IffReader(const CacheBytes& file, bool wide) : m_file(file), m_wide(wide) {}

    // The chunk at `offset`, which must end by `end`.
    Chunk At(uint64_t offset, uint64_t end) const {
        const uint64_t header = m_wide ? 16 : 8;
        if (offset > end || end - offset < header) {
            Fail(offset, "a chunk header runs past the end of its form");
        }
        unsigned char h[16];
        if (!m_file.ReadAt(offset, h, header)) {
            Fail(offset, "cannot be read");
        }
        Chunk c{Be32(h), offset + header, m_wide ? Be64(h + 8) : Be32(h + 4)};
        if (c.size > end - c.data) {
            Fail(offset, "chunk \"" + TagText(c.tag) + "\" runs past the end of its form");
        }
        return c;
    }
    // Where the chunk after c starts (at most `end`).
    uint64_t Next(const Chunk& c, uint64_t end) const {
        if (IsForm(c.tag)) {
            return c.data + c.size;
        }
        const uint64_t align = m_wide ? 8 : 4;
        const uint64_t padded = c.size + (align - c.size % align) % align;
        return padded > end - c.data ? end : c.data + padded;
    }
    uint32_t FormType(const Chunk& c) const {
        unsigned char t[4];
        if (c.size < 4 || !m_file.ReadAt(c.data, t, 4)) {
            Fail(c.data, "a form without a type");
        }
        return Be32(t);
    }
    uint32_t Uint32(const Chunk& c) const {
        unsigned char v[4];
        if (c.size != 4 || !m_file.ReadAt(c.data, v, 4)) {
            Fail(c.data, "chunk \"" + TagText(c.tag) + "\" is not one 32-bit number");
        }
        return Be32(v);
    }
    std::string Text(const Chunk& c) const {
        if (c.size > 65536) {
            Fail(c.data, "a channel name of " + std::to_string(c.size) + " bytes");
        }
        std::string s(static_cast<size_t>(c.size), '\0');
        if (!m_file.ReadAt(c.data, s.data(), s.size())) {
            Fail(c.data, "cannot be read");
        }
        const size_t nul = s.find('\0');
        if (nul != std::string::npos) {
            s.resize(nul);
        }
        return s;
    }
    [[noreturn]] void Fail(uint64_t offset, const std::string& what) const {
        Refuse(m_file.GetName(), what + " (at byte " + std::to_string(offset) + ")");
    }

  private:
    const CacheBytes& m_file;
    bool m_wide;
};

// The frame and tick a data file of one frame is named for:
// <base>Frame<N>[Tick<T>].<ext>; false for any other name.
bool FrameFileTime(const std::string& fileName, const std::string& base, const std::string& ext,
                   double timePerFrame, double* time) {
    const std::string head = base + "Frame";
    if (fileName.size() <= head.size() + ext.size() ||
        fileName.compare(0, head.size(), head) != 0 ||
        fileName.compare(fileName.size() - ext.size(), ext.size(), ext) != 0) {
        return false;
    }
    const char* p = fileName.data() + head.size();
    const char* end = fileName.data() + fileName.size() - ext.size();
    long long frame = 0;
    auto r = std::from_chars(p, end, frame);
    if (r.ec != std::errc() || r.ptr == p) {
        return false;
    }
    long long tick = 0;
    p = r.ptr;
    if (p != end) {
        if (end - p <= 4 || std::string(p, 4) != "Tick") {
            return false;
        }
        p += 4;
        r = std::from_chars(p, end, tick);
        if (r.ec != std::errc() || r.ptr != end || tick < 0) {
            return false;
        }
    }
    *time = static_cast<double>(frame) * timePerFrame + static_cast<double>(tick);
    return std::isfinite(*time);
}

void SortAndCheckTimes(const std::string& name, std::vector<CacheSample>* samples) {
    std::stable_sort(samples->begin(), samples->end(),
                     [](const CacheSample& a, const CacheSample& b) { return a.time < b.time; });
    for (size_t k = 1; k < samples->size(); ++k) {
        if (!((*samples)[k].time > (*samples)[k - 1].time)) {
            Refuse(name, "two samples at time " + std::to_string((*samples)[k].time));
        }
    }
}

} // namespace

std::unique_ptr<CacheBytes> OpenCacheFile(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            throw VertexCacheMissing("vertex cache " + path + ": no such file");
        }
        Refuse(path, std::string("cannot be opened: ") + std::strerror(errno));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Refuse(path, "not a regular file");
    }
    return std::make_unique<FileBytes>(path, fd, static_cast<uint64_t>(st.st_size));
}

std::unique_ptr<CacheBytes> CacheBytesInMemory(std::string name, std::string bytes) {
    return std::make_unique<MemoryBytes>(std::move(name), std::move(bytes));
}

MayaCacheDescription ReadMayaCacheXml(std::string_view xml, const std::string& name,
                                      const std::string& channel) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
    if (!parsed) {
        Refuse(name, std::string("not an XML description (") + parsed.description() + " at byte " +
                         std::to_string(parsed.offset) + ")");
    }
    const pugi::xml_node root = doc.child("Autodesk_Cache_File");
    if (!root) {
        Refuse(name, "not a Maya cache description (no Autodesk_Cache_File element)");
    }
    MayaCacheDescription d;
    const pugi::xml_node type = root.child("cacheType");
    const std::string distribution = type.attribute("Type").value();
    if (distribution == "OneFilePerFrame") {
        d.oneFilePerFrame = true;
    } else if (distribution != "OneFile") {
        Refuse(name, "cache type \"" + distribution +
                         "\" is not read (read are OneFile and OneFilePerFrame)");
    }
    const std::string format = type.attribute("Format").value();
    if (format == "mcx") {
        d.wide = true;
    } else if (!format.empty() && format != "mcc") {
        Refuse(name, "data format \"" + format + "\" is not read (read are mcx and mcc)");
    }
    if (const pugi::xml_attribute tpf = root.child("cacheTimePerFrame").attribute("TimePerFrame")) {
        if (!ParseNumber(tpf.value(), &d.timePerFrame) || !(d.timePerFrame > 0.0)) {
            Refuse(name,
                   std::string("time per frame \"") + tpf.value() + "\" is not a number above 0");
        }
    }
    pugi::xml_node found;
    for (const pugi::xml_node c : root.child("Channels").children()) {
        if (channel == c.attribute("ChannelName").value()) {
            found = c;
            break;
        }
    }
    if (!found) {
        Refuse(name, "no channel \"" + channel + "\"");
    }
    d.interpretation = found.attribute("ChannelInterpretation").value();
    const std::string sampling = found.attribute("SamplingType").value();
    const struct {
        const char* attribute;
        double* value;
    } numbers[] = {{"StartTime", &d.startTime}, {"EndTime", &d.endTime}};
    for (const auto& n : numbers) {
        if (!ParseNumber(found.attribute(n.attribute).value(), n.value)) {
            Refuse(name, "channel \"" + channel + "\" has no " + n.attribute);
        }
    }
    if (sampling == "Regular") {
        if (!ParseNumber(found.attribute("SamplingRate").value(), &d.samplingRate) ||
            !(d.samplingRate > 0.0)) {
            Refuse(name, "channel \"" + channel + "\" has no sampling rate above 0");
        }
    } else if (sampling != "Irregular") {
        Refuse(name, "channel \"" + channel + "\" has sampling type \"" + sampling +
                         "\" (read are Regular and Irregular)");
    }
    if (d.endTime < d.startTime) {
        Refuse(name, "channel \"" + channel + "\" ends before it starts");
    }
    return d;
}

MayaCacheDescription ReadMayaCacheDescription(const std::string& xmlPath,
                                              const std::string& channel) {
    return ReadMayaCacheXml(ReadWholeFile(xmlPath, kMaxDescriptionBytes), xmlPath, channel);
}

void ScanMayaCacheData(const CacheBytes& file, size_t fileIndex, const std::string& channel,
                       size_t pointCount, double fileTime, std::vector<CacheSample>* samples) {
    unsigned char magic[4];
    if (!file.ReadAt(0, magic, 4)) {
        Refuse(file.GetName(), "not a Maya cache file (shorter than 4 bytes)");
    }
    const uint32_t first = Be32(magic);
    if (!IsForm(first)) {
        Refuse(file.GetName(), "not a Maya cache file (it starts with \"" + TagText(first) + "\")");
    }
    const bool wide = first == Tag("FOR8");
    const IffReader iff(file, wide);
    const uint64_t end = file.GetSize();
    const size_t before = samples->size();
    bool header = false;
    for (uint64_t at = 0; at < end;) {
        const Chunk form = iff.At(at, end);
        const uint64_t formEnd = form.data + form.size;
        at = iff.Next(form, end);
        if (form.tag != first) {
            iff.Fail(form.data - (wide ? 16 : 8), "chunk \"" + TagText(form.tag) +
                                                      "\" where a form \"" + TagText(first) +
                                                      "\" belongs");
        }
        const uint32_t type = iff.FormType(form);
        if (type == Tag("CACH")) {
            header = true;
            continue;
        }
        if (type != Tag("MYCH")) {
            continue; // a form of another kind: not samples
        }
        if (!header) {
            iff.Fail(form.data, "samples before the cache header");
        }
        double time = fileTime;
        bool timed = false;
        std::string name;
        bool named = false;
        uint64_t size = 0;
        bool sized = false;
        bool seen = false;
        for (uint64_t c = form.data + 4; c < formEnd;) {
            const Chunk chunk = iff.At(c, formEnd);
            c = iff.Next(chunk, formEnd);
            if (chunk.tag == Tag("TIME")) {
                time = static_cast<double>(static_cast<int32_t>(iff.Uint32(chunk)));
                timed = true;
            } else if (chunk.tag == Tag("CHNM")) {
                name = iff.Text(chunk);
                named = true;
                sized = false;
            } else if (chunk.tag == Tag("SIZE")) {
                size = iff.Uint32(chunk);
                sized = true;
            } else if (named && sized && name == channel) {
                if (seen) {
                    iff.Fail(chunk.data, "channel \"" + channel + "\" twice in one sample");
                }
                seen = true;
                CacheValues values;
                if (chunk.tag == Tag("FVCA")) {
                    values = CacheValues::FloatBE;
                } else if (chunk.tag == Tag("DVCA")) {
                    values = CacheValues::DoubleBE;
                } else {
                    iff.Fail(chunk.data, "channel \"" + channel + "\" holds \"" +
                                             TagText(chunk.tag) +
                                             "\" data, not points (FVCA or DVCA)");
                }
                if (size != pointCount) {
                    iff.Fail(chunk.data, "channel \"" + channel + "\" holds " +
                                             std::to_string(size) + " points, the mesh " +
                                             std::to_string(pointCount));
                }
                const uint64_t want = size * 3 * ValueSize(values);
                if (chunk.size != want) {
                    iff.Fail(chunk.data, "channel \"" + channel + "\" has " +
                                             std::to_string(chunk.size) + " bytes of points, " +
                                             std::to_string(want) + " for its size");
                }
                if (!timed && std::isnan(fileTime)) {
                    iff.Fail(form.data, "a sample without a time");
                }
                samples->push_back(CacheSample{time, fileIndex, chunk.data, values});
            }
        }
    }
    if (samples->size() == before) {
        Refuse(file.GetName(), "no samples of channel \"" + channel + "\"");
    }
}

void ScanPc2(const CacheBytes& file, size_t pointCount, std::vector<CacheSample>* samples) {
    unsigned char h[32];
    if (!file.ReadAt(0, h, sizeof h)) {
        Refuse(file.GetName(), "not a pc2 file (shorter than its 32-byte header)");
    }
    if (std::memcmp(h, "POINTCACHE2\0", 12) != 0) {
        Refuse(file.GetName(), "not a pc2 file (no POINTCACHE2 signature)");
    }
    const int32_t version = static_cast<int32_t>(Le32(h + 12));
    const int32_t points = static_cast<int32_t>(Le32(h + 16));
    const double start = FloatOf(Le32(h + 20));
    const double rate = FloatOf(Le32(h + 24));
    const int32_t count = static_cast<int32_t>(Le32(h + 28));
    if (version != 1) {
        Refuse(file.GetName(),
               "pc2 version " + std::to_string(version) + " is not read (read is 1)");
    }
    if (points < 0 || static_cast<size_t>(points) != pointCount) {
        Refuse(file.GetName(), "holds " + std::to_string(points) + " points per sample, the mesh " +
                                   std::to_string(pointCount));
    }
    if (!std::isfinite(start) || !std::isfinite(rate) || !(rate > 0.0)) {
        Refuse(file.GetName(), "start frame and sampling rate must be numbers, the rate above 0");
    }
    if (count < 1) {
        Refuse(file.GetName(), "holds " + std::to_string(count) + " samples");
    }
    const uint64_t sampleBytes = static_cast<uint64_t>(points) * 12;
    const uint64_t want = 32 + sampleBytes * static_cast<uint64_t>(count);
    if (file.GetSize() != want) {
        Refuse(file.GetName(), std::to_string(file.GetSize()) + " bytes where its header says " +
                                   std::to_string(want));
    }
    for (int32_t k = 0; k < count; ++k) {
        samples->push_back(
            CacheSample{start + k * rate, 0, 32 + sampleBytes * k, CacheValues::FloatLE});
    }
}

VertexCache::VertexCache(CacheLayout layout, PointArray restPoints, double timeScale,
                         double timeOffset, const Mat34& transform, CacheReporter reporter)
    : VertexCache(std::move(layout), {}, std::move(restPoints), timeScale, timeOffset, transform,
                  std::move(reporter)) {}

VertexCache::VertexCache(CacheLayout layout, std::vector<std::unique_ptr<CacheBytes>> files,
                         PointArray restPoints, double timeScale, double timeOffset,
                         const Mat34& transform, CacheReporter reporter)
    : m_layout(std::move(layout)), m_rest(std::move(restPoints)), m_timeScale(timeScale),
      m_timeOffset(timeOffset), m_transform(transform), m_reporter(std::move(reporter)),
      m_open(std::move(files)) {
    const Mat34 identity;
    m_identity = std::memcmp(&identity, &m_transform, sizeof identity) == 0;
    // Files given open stay open; a cache of one file keeps it open; files
    // of one frame are opened when read.
    m_keepOpen = !m_open.empty() || m_layout.files.size() <= 1;
    m_open.resize(m_layout.files.size());
}

const CacheBytes* VertexCache::File(size_t index) {
    if (index >= m_open.size()) {
        return nullptr;
    }
    if (!m_open[index]) {
        try {
            m_open[index] = OpenCacheFile(m_layout.files[index]);
        } catch (const VertexCacheError& e) {
            Report(e.what());
            return nullptr;
        }
    }
    return m_open[index].get();
}

void VertexCache::Report(const std::string& line) {
    if (m_reported) {
        return;
    }
    m_reported = true;
    if (m_reporter) {
        m_reporter(line + "; the mesh's rest points stand in where it cannot be read");
    }
}

bool VertexCache::ReadSample(size_t k, int slot) {
    const CacheSample& s = m_layout.samples[k];
    const size_t bytes = m_rest.size() * 3 * ValueSize(s.values);
    std::vector<unsigned char>& buffer = m_buffer[slot];
    if (buffer.size() < bytes) {
        buffer.resize(bytes);
    }
    const CacheBytes* file = File(s.file);
    if (file == nullptr) {
        return false;
    }
    if (!file->ReadAt(s.offset, buffer.data(), bytes)) {
        Report("vertex cache " + m_layout.files[s.file] + ": the sample at byte " +
               std::to_string(s.offset) + " cannot be read (the file changed or failed)");
        return false;
    }
    return true;
}

void VertexCache::ReadPoints(double frame, Vec3* out) {
    const size_t n = m_rest.size();
    const std::vector<CacheSample>& samples = m_layout.samples;
    const double t = frame * m_timeScale + m_timeOffset;
    size_t k0 = 0;
    size_t k1 = 0;
    double u = 0.0;
    if (samples.empty() || !std::isfinite(t) || t <= samples.front().time) {
        k0 = k1 = 0;
    } else if (t >= samples.back().time) {
        k0 = k1 = samples.size() - 1;
    } else {
        const auto next =
            std::upper_bound(samples.begin(), samples.end(), t,
                             [](double v, const CacheSample& s) { return v < s.time; });
        k1 = static_cast<size_t>(next - samples.begin());
        k0 = k1 - 1;
        u = (t - samples[k0].time) / (samples[k1].time - samples[k0].time);
        // A frame on a sample (to rounding) reads that sample alone.
        if (u < 1e-9) {
            k1 = k0;
        } else if (u > 1.0 - 1e-9) {
            k0 = k1;
        }
    }
    bool ok = !samples.empty() && ReadSample(k0, 0) && (k1 == k0 || ReadSample(k1, 1));
    if (ok) {
        const size_t count = 3 * n;
        if (m_values[0].size() < count) {
            m_values[0].resize(count);
            m_values[1].resize(count);
        }
        double* a = m_values[0].data();
        Decode(m_buffer[0].data(), samples[k0].values, count, a);
        if (k1 != k0) {
            double* b = m_values[1].data();
            Decode(m_buffer[1].data(), samples[k1].values, count, b);
            for (size_t i = 0; i < count; ++i) {
                a[i] = (1.0 - u) * a[i] + u * b[i];
            }
        }
        for (size_t i = 0; i < n; ++i) {
            Vec3 p{a[3 * i], a[3 * i + 1], a[3 * i + 2]};
            if (!m_identity) {
                p = Apply(m_transform, p);
            }
            ::new (static_cast<void*>(out + i)) Vec3(p);
        }
        // One check over the whole frame: a sum is finite only when every
        // coordinate is.
        double sum = 0.0;
        for (size_t i = 0; i < n; ++i) {
            sum += 0.0 * (out[i].x + out[i].y + out[i].z);
        }
        if (!std::isfinite(sum)) {
            size_t bad = 0;
            while (bad < n && std::isfinite(out[bad].x) && std::isfinite(out[bad].y) &&
                   std::isfinite(out[bad].z)) {
                ++bad;
            }
            Report("vertex cache " + m_layout.files[samples[k0].file] + ": point " +
                   std::to_string(bad) + " of the sample at time " +
                   std::to_string(samples[k0].time) + " is not a finite number");
            ok = false;
        }
    }
    if (!ok && n > 0) {
        std::memcpy(static_cast<void*>(out), m_rest.data(), sizeof(Vec3) * n);
    }
    if (!m_keepOpen) {
        for (auto& f : m_open) {
            f.reset();
        }
    }
}

std::shared_ptr<VertexCache> OpenMayaCache(const std::string& xmlPath, const std::string& channel,
                                           const PointArray& restPoints, double framesPerSecond,
                                           const Mat34& transform, CacheReporter reporter) {
    const MayaCacheDescription d = ReadMayaCacheDescription(xmlPath, channel);
    const std::string dir = DirectoryOf(xmlPath);
    std::string base = FileNameOf(xmlPath);
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".xml") == 0) {
        base.resize(base.size() - 4);
    }
    const std::string ext = d.wide ? ".mcx" : ".mc";
    CacheLayout layout;
    if (!d.oneFilePerFrame) {
        layout.files.push_back(dir + "/" + base + ext);
        const std::unique_ptr<CacheBytes> file = OpenCacheFile(layout.files[0]);
        ScanMayaCacheData(*file, 0, channel, restPoints.size(),
                          std::numeric_limits<double>::quiet_NaN(), &layout.samples);
    } else {
        std::vector<std::pair<double, std::string>> frames;
        DIR* listing = ::opendir(dir.c_str());
        if (listing == nullptr) {
            Refuse(xmlPath, "its folder cannot be listed");
        }
        while (const dirent* e = ::readdir(listing)) {
            double time = 0.0;
            if (FrameFileTime(e->d_name, base, ext, d.timePerFrame, &time)) {
                frames.emplace_back(time, dir + "/" + e->d_name);
            }
        }
        ::closedir(listing);
        if (frames.empty()) {
            throw VertexCacheMissing("vertex cache " + xmlPath + ": no data files " + base +
                                     "Frame*" + ext + " beside it");
        }
        std::sort(frames.begin(), frames.end());
        for (const auto& [time, path] : frames) {
            const std::unique_ptr<CacheBytes> file = OpenCacheFile(path);
            ScanMayaCacheData(*file, layout.files.size(), channel, restPoints.size(), time,
                              &layout.samples);
            layout.files.push_back(path);
        }
    }
    SortAndCheckTimes(xmlPath, &layout.samples);
    return std::make_shared<VertexCache>(std::move(layout), restPoints,
                                         kTicksPerSecond / framesPerSecond, 0.0, transform,
                                         std::move(reporter));
}

std::shared_ptr<VertexCache> OpenPc2Cache(const std::string& path, const PointArray& restPoints,
                                          double framesPerSecond, double fileFramesPerSecond,
                                          const Mat34& transform, CacheReporter reporter) {
    CacheLayout layout;
    layout.files.push_back(path);
    const std::unique_ptr<CacheBytes> file = OpenCacheFile(path);
    ScanPc2(*file, restPoints.size(), &layout.samples);
    return std::make_shared<VertexCache>(std::move(layout), restPoints,
                                         fileFramesPerSecond / framesPerSecond, 0.0, transform,
                                         std::move(reporter));
}

} // namespace host

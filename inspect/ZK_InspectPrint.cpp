// Summary and JSON printers of the MDD and ZSC readers. Numbers are formatted
// with std::to_chars (shortest text that reads back to the same float), which
// does not depend on any locale, C or C++.
#include "inspect/ZK_Inspect.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Float(float value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <typename T> std::string Int(T value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string Hex(unsigned char c) {
    static const char digits[] = "0123456789abcdef";
    return std::string{digits[c >> 4], digits[c & 15]};
}

// Text in double quotes with quotes and backslashes escaped, and control
// characters and bytes above 127 written as byteEscape followed by two hex
// digits, so that any name prints on one line.
std::string EscapedText(const std::string& text, const char* byteEscape) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            out += byteEscape + Hex(c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Text for the summary.
std::string Quoted(const std::string& text) {
    return EscapedText(text, "\\x");
}

// A JSON string. The files hold 8-bit text (the low byte of each host
// character), so every byte above 127 is the character of that code.
std::string JsonString(const std::string& text) {
    return EscapedText(text, "\\u00");
}

// A JSON number; a value that JSON has no number for becomes a string.
std::string JsonFloat(float value) {
    const std::string text = Float(value);
    return std::isfinite(value) ? text : "\"" + text + "\"";
}

// An MDD file as the printers see it: its header's counts and layout, the
// time of a frame and the values of a frame block, visited piece by piece.
// Held in memory (ZK_MddFile) or read from the file as it is printed
// (StreamedMdd), with the same output.
struct MemoryMdd {
    const ZK_MddFile& mdd;

    float Time(int64_t i) const { return mdd.times[static_cast<size_t>(i)]; }
    // Calls visit(values, count) over the block's 3P values, in order.
    template <class Visit> void VisitTimes(Visit visit) const {
        visit(mdd.times.data(), mdd.times.size());
    }
    template <class Visit> void VisitBlock(int64_t block, Visit visit) const {
        const size_t values = static_cast<size_t>(mdd.pointCount) * 3;
        visit(mdd.points.data() + static_cast<size_t>(block) * values, values);
    }
};

// Bounding box of one frame block.
template <class View> std::string BlockBounds(const View& view, int64_t block) {
    float lo[3] = {0, 0, 0};
    float hi[3] = {0, 0, 0};
    size_t seen = 0; // values so far
    view.VisitBlock(block, [&](const float* v, size_t count) {
        for (size_t k = 0; k < count; ++k, ++seen) {
            const int a = static_cast<int>(seen % 3);
            if (seen < 3) {
                lo[a] = hi[a] = v[k];
                continue;
            }
            if (v[k] < lo[a] || std::isnan(lo[a]))
                lo[a] = v[k];
            if (v[k] > hi[a] || std::isnan(hi[a]))
                hi[a] = v[k];
        }
    });
    return "(" + Float(lo[0]) + ", " + Float(lo[1]) + ", " + Float(lo[2]) + ") .. (" +
           Float(hi[0]) + ", " + Float(hi[1]) + ", " + Float(hi[2]) + ")";
}

template <class View> void MddSummary(std::ostream& out, const ZK_MddFile& mdd, const View& view) {
    const int64_t wanted = int64_t{mdd.frameCount} + 1;
    out << mdd.path << ": MDD point cache, " << Int(mdd.fileSize) << " bytes\n";
    out << "  frames " << Int(mdd.frameCount) << ", points " << Int(mdd.pointCount)
        << ", frame blocks " << Int(mdd.blockCount) << " of " << Int(wanted);
    if (!mdd.complete)
        out << " (partial: the frame walk stopped early)";
    out << "\n";
    if (mdd.frameCount == 0)
        out << "  time: none\n";
    else
        out << "  time " << Float(view.Time(0)) << " .. " << Float(view.Time(mdd.frameCount - 1))
            << " s\n";
    if (mdd.blockCount == 0) {
        out << "  no frame blocks\n";
    } else if (mdd.pointCount == 0) {
        out << "  no points\n";
    } else {
        out << "  first block bounds " << BlockBounds(view, 0) << "\n";
        out << "  last block bounds " << BlockBounds(view, mdd.blockCount - 1) << "\n";
    }
}

template <class View> void MddJson(std::ostream& out, const ZK_MddFile& mdd, const View& view) {
    out << "{\"file\": " << JsonString(mdd.path)
        << ", \"format\": \"mdd\", \"fileSize\": " << Int(mdd.fileSize)
        << ", \"frameCount\": " << Int(mdd.frameCount)
        << ", \"pointCount\": " << Int(mdd.pointCount)
        << ", \"blockCount\": " << Int(mdd.blockCount)
        << ", \"complete\": " << (mdd.complete ? "true" : "false") << ",\n \"times\": [";
    size_t written = 0;
    view.VisitTimes([&](const float* v, size_t count) {
        for (size_t i = 0; i < count; ++i, ++written)
            out << (written ? ", " : "") << JsonFloat(v[i]);
    });
    out << "],\n \"blocks\": [";
    for (int64_t b = 0; b < mdd.blockCount; ++b) {
        out << (b ? ",\n  [" : "\n  [");
        size_t seen = 0; // values of the block so far
        view.VisitBlock(b, [&](const float* v, size_t count) {
            for (size_t k = 0; k < count; ++k, ++seen) {
                const size_t axis = seen % 3;
                if (axis == 0)
                    out << (seen ? ", [" : "[");
                out << JsonFloat(v[k]) << (axis == 2 ? "]" : ", ");
            }
        });
        out << "]";
    }
    out << "]}";
}

// A regular file read in pieces at given offsets; a read that fails (the
// file shrank while it was read) leaves zeros and is remembered.
class Source {
  public:
    ~Source() {
        if (m_fd >= 0)
            close(m_fd);
    }
    // Opens a regular file, as ZK_ReadFileBytes does, with its messages.
    bool Open(const std::string& path, std::string* error) {
        m_fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            *error = "cannot be opened: " + std::string(std::strerror(errno));
            return false;
        }
        struct stat st = {};
        if (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            *error =
                S_ISDIR(st.st_mode) ? "is a folder, not a regular file" : "is not a regular file";
            return false;
        }
        m_size = static_cast<uint64_t>(st.st_size);
        return true;
    }
    uint64_t Size() const { return m_size; }
    int Fd() const { return m_fd; }
    // n bytes at offset into buffer.
    void Read(uint64_t offset, unsigned char* buffer, size_t n) const {
        size_t done = 0;
        while (done < n) {
            const ssize_t got =
                pread(m_fd, buffer + done, n - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                std::memset(buffer + done, 0, n - done);
                m_failed = m_failed.empty()
                               ? std::string(got < 0 ? std::strerror(errno) : "it got shorter")
                               : m_failed;
                return;
            }
            done += static_cast<size_t>(got);
        }
    }
    // Why a read failed; empty when none did.
    const std::string& Failed() const { return m_failed; }

  private:
    int m_fd = -1;
    uint64_t m_size = 0;
    mutable std::string m_failed;
};

// Floats of an MDD file read as they are printed, a piece of 64 Ki values
// at a time: memory that does not grow with the file.
struct StreamedMdd {
    const Source& source;
    const ZK_MddFile& mdd;

    static constexpr size_t kPiece = 1 << 16;

    float Time(int64_t i) const {
        unsigned char b[4];
        source.Read(8 + 4 * static_cast<uint64_t>(i), b, 4);
        return Decode(b);
    }
    template <class Visit> void VisitTimes(Visit visit) const {
        Visit32(8, static_cast<uint64_t>(mdd.frameCount), visit);
    }
    template <class Visit> void VisitBlock(int64_t block, Visit visit) const {
        const uint64_t values = 3 * static_cast<uint64_t>(mdd.pointCount);
        Visit32(8 + 4 * static_cast<uint64_t>(mdd.frameCount) + 4 * values * block, values, visit);
    }

  private:
    static float Decode(const unsigned char* b) {
        const uint32_t bits = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) |
                              (uint32_t{b[2]} << 8) | uint32_t{b[3]};
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    template <class Visit> void Visit32(uint64_t offset, uint64_t count, Visit visit) const {
        std::vector<unsigned char> bytes(4 * std::min<uint64_t>(count, kPiece));
        std::vector<float> values(bytes.size() / 4);
        for (uint64_t done = 0; done < count;) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(count - done, kPiece));
            source.Read(offset + 4 * done, bytes.data(), 4 * n);
            for (size_t i = 0; i < n; ++i)
                values[i] = Decode(&bytes[4 * i]);
            visit(values.data(), n);
            done += n;
        }
    }
};

} // namespace

void ZK_PrintMddSummary(std::ostream& out, const ZK_MddFile& mdd) {
    MddSummary(out, mdd, MemoryMdd{mdd});
}

void ZK_PrintZscSummary(std::ostream& out, const ZK_ZscFile& zsc) {
    out << zsc.path << ": ZSC scene file, " << Int(zsc.fileSize) << " bytes\n";
    out << "  version " << Float(zsc.version) << ", frames " << Int(zsc.frameCount) << " ("
        << Int(zsc.startFrame) << " .. " << Int(zsc.endFrame) << ") at " << Float(zsc.frameRate)
        << " fps, items " << Int(zsc.itemCount) << ", constants " << Float(zsc.constOne) << " and "
        << Int(zsc.constZero) << "\n";
    for (const ZK_ZscRecord& r : zsc.records) {
        out << "  " << ZK_ZscKindName(r.kind) << " " << Quoted(r.name);
        switch (r.kind) {
        case ZK_ZscRecordKind::Camera:
            out << ": fov type " << Int(r.fovType);
            break;
        case ZK_ZscRecordKind::Light:
            out << ": type " << Int(r.lightType);
            break;
        case ZK_ZscRecordKind::Null:
            out << ":";
            break;
        case ZK_ZscRecordKind::MddObject:
        case ZK_ZscRecordKind::KeyedObject:
            out << ": mesh " << (r.hasMeshPath ? Quoted(r.meshPath) : std::string("none"))
                << " (format " << Int(r.meshFormat) << ")";
            if (r.kind == ZK_ZscRecordKind::MddObject)
                out << ", mdd " << Quoted(r.mddPath);
            break;
        }
        if (r.kind != ZK_ZscRecordKind::MddObject)
            out << (r.kind == ZK_ZscRecordKind::Null ? " " : ", ") << Int(r.samples.size())
                << " samples of " << Int(r.sampleSize) << " bytes";
        out << "\n";
    }
}

void ZK_PrintMddJson(std::ostream& out, const ZK_MddFile& mdd) {
    MddJson(out, mdd, MemoryMdd{mdd});
}

void ZK_PrintZscJson(std::ostream& out, const ZK_ZscFile& zsc) {
    out << "{\"file\": " << JsonString(zsc.path)
        << ", \"format\": \"zsc\", \"fileSize\": " << Int(zsc.fileSize)
        << ", \"version\": " << JsonFloat(zsc.version)
        << ", \"frameCount\": " << Int(zsc.frameCount)
        << ", \"startFrame\": " << Int(zsc.startFrame) << ", \"endFrame\": " << Int(zsc.endFrame)
        << ", \"frameRate\": " << JsonFloat(zsc.frameRate)
        << ", \"itemCount\": " << Int(zsc.itemCount)
        << ", \"constOne\": " << JsonFloat(zsc.constOne)
        << ", \"constZero\": " << Int(zsc.constZero) << ",\n \"records\": [";
    for (size_t i = 0; i < zsc.records.size(); ++i) {
        const ZK_ZscRecord& r = zsc.records[i];
        out << (i ? ",\n  {" : "\n  {") << "\"offset\": " << Int(r.offset)
            << ", \"size\": " << Int(r.size) << ", \"kindCode\": " << Int(r.kindCode)
            << ", \"kind\": " << JsonString(ZK_ZscKindName(r.kind))
            << ", \"name\": " << JsonString(r.name);
        switch (r.kind) {
        case ZK_ZscRecordKind::Camera:
            out << ", \"imageHeight\": " << Int(r.imageHeight)
                << ", \"imageWidth\": " << Int(r.imageWidth)
                << ", \"pixelRatio\": " << JsonFloat(r.pixelRatio)
                << ", \"aspect\": " << JsonFloat(r.aspect)
                << ", \"filmHeight\": " << JsonFloat(r.filmHeight)
                << ", \"fovType\": " << Int(r.fovType);
            break;
        case ZK_ZscRecordKind::Light:
            out << ", \"lightType\": " << Int(r.lightType);
            break;
        case ZK_ZscRecordKind::Null:
            break;
        case ZK_ZscRecordKind::MddObject:
        case ZK_ZscRecordKind::KeyedObject:
            out << ", \"meshPath\": " << (r.hasMeshPath ? JsonString(r.meshPath) : "null")
                << ", \"meshFormat\": " << Int(r.meshFormat);
            if (r.kind == ZK_ZscRecordKind::MddObject)
                out << ", \"mddPath\": " << JsonString(r.mddPath);
            break;
        }
        if (r.kind != ZK_ZscRecordKind::MddObject) {
            out << ", \"sampleSize\": " << Int(r.sampleSize) << ", \"samples\": [";
            for (size_t k = 0; k < r.samples.size(); ++k) {
                const ZK_ZscSample& s = r.samples[k];
                out << (k ? ",\n    {" : "\n    {") << "\"time\": " << JsonFloat(s.time)
                    << ", \"frame\": " << Int(s.frame);
                for (size_t v = 0; v < s.values.size() && v < r.valueNames.size(); ++v)
                    out << ", \"" << r.valueNames[v] << "\": " << JsonFloat(s.values[v]);
                out << "}";
            }
            out << "]";
        }
        out << "}";
    }
    out << "]}";
}

// An MDD file is printed as it is read (StreamedMdd); a ZSC file is parsed
// from the file mapped into memory, whose pages are the file's own.
int ZK_InspectFiles(const std::vector<std::string>& paths, bool json, std::ostream& out,
                    std::ostream& err) {
    int status = ZK_INSPECT_COMPLETE;
    bool first = true;
    if (json)
        out << "[";
    for (const std::string& path : paths) {
        std::string error;
        Source source;
        bool ok = source.Open(path, &error);
        if (json)
            out << (first ? "\n" : ",\n");
        first = false;
        unsigned char head[8] = {};
        const size_t headSize = static_cast<size_t>(std::min<uint64_t>(source.Size(), 8));
        if (ok)
            source.Read(0, head, headSize);
        if (ok && headSize >= 4 && std::memcmp(head, "ZKSC", 4) == 0) {
            const size_t size = static_cast<size_t>(source.Size());
            void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, source.Fd(), 0);
            ZK_ZscFile zsc;
            if (mapped == MAP_FAILED) {
                ok = false;
                error = "cannot be read: " + std::string(std::strerror(errno));
            } else {
                ok = ZK_ParseZsc(static_cast<const unsigned char*>(mapped), size, &zsc, &error);
                munmap(mapped, size);
            }
            zsc.path = path;
            if (ok)
                json ? ZK_PrintZscJson(out, zsc) : ZK_PrintZscSummary(out, zsc);
        } else if (ok) {
            ZK_MddLayout layout;
            ok = ZK_MddLayoutOf(head, source.Size(), &layout, &error);
            if (ok) {
                ZK_MddFile mdd; // the counts only: the values are read as printed
                mdd.path = path;
                mdd.fileSize = source.Size();
                mdd.frameCount = layout.frameCount;
                mdd.pointCount = layout.pointCount;
                mdd.blockCount = layout.blockCount;
                mdd.complete = layout.complete;
                const StreamedMdd view{source, mdd};
                json ? MddJson(out, mdd, view) : MddSummary(out, mdd, view);
                if (!source.Failed().empty()) {
                    ok = false;
                    error = "cannot be read: " + source.Failed();
                } else if (!mdd.complete) {
                    status = std::max(status, ZK_INSPECT_PARTIAL);
                    err << path << ": partial: " << Int(mdd.blockCount) << " of "
                        << Int(int64_t{mdd.frameCount} + 1) << " frame blocks\n";
                }
            }
        }
        if (!ok) {
            status = ZK_INSPECT_FAILED;
            err << path << ": " << error << "\n";
            if (json)
                out << "{\"file\": " << JsonString(path) << ", \"error\": " << JsonString(error)
                    << "}";
        }
    }
    if (json)
        out << (first ? "]\n" : "\n]\n");
    return status;
}

// Readers of MDD point caches and ZSC scene files. Every read goes through a
// bounds-checked cursor; sizes are compared before anything is allocated.
#include "inspect/ZK_Inspect.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <set>
#include <tuple>
#include <utility>

namespace {

uint32_t BigEndian32(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

uint32_t LittleEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

float BitsToFloat(uint32_t bits) {
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string Num(uint64_t value) {
    return std::to_string(value);
}
std::string Num(int64_t value) {
    return std::to_string(value);
}

bool Fail(std::string* error, const std::string& message) {
    if (error)
        *error = message;
    return false;
}

} // namespace

bool ZK_ReadFileBytes(const std::string& path, std::vector<unsigned char>* bytes,
                      std::string* error) {
    // Opened without blocking, so that a FIFO cannot stall the open, and
    // checked on the open descriptor, so that what is read is what was checked.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Fail(error, "cannot be opened: " + std::string(std::strerror(errno)));
    struct stat st = {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string message =
            S_ISDIR(st.st_mode) ? "is a folder, not a regular file" : "is not a regular file";
        close(fd);
        return Fail(error, message);
    }
    bytes->clear();
    std::string message;
    try {
        // The size the file had when it was opened: a file still growing is
        // read as it was then.
        bytes->resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < bytes->size()) {
            const ssize_t n = read(fd, bytes->data() + done, bytes->size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                message = "cannot be read: " + std::string(std::strerror(errno));
                break;
            }
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        bytes->resize(done);
    } catch (const std::bad_alloc&) {
        message = "is too large to be read into memory";
    }
    close(fd);
    return message.empty() ? true : Fail(error, message);
}

namespace {

// ---------------------------------------------------------------------------
// ZSC

constexpr size_t kZscHeaderSize = 36;

// Group order of the records; a record never comes before one of a lower rank.
int Rank(ZK_ZscRecordKind kind) {
    switch (kind) {
    case ZK_ZscRecordKind::Camera:
        return 0;
    case ZK_ZscRecordKind::Light:
        return 1;
    case ZK_ZscRecordKind::Null:
        return 2;
    case ZK_ZscRecordKind::MddObject:
        return 3;
    case ZK_ZscRecordKind::KeyedObject:
        return 4;
    }
    return 0;
}

const std::vector<const char*> kCameraValues44Unknown = {
    "posX", "posY", "posZ", "rotX", "rotY", "rotZ", "fovSlot0", "fovSlot1", "projPlaneDist"};
const std::vector<const char*> kCameraValues44Type0 = {
    "posX", "posY", "posZ", "rotX", "rotY", "rotZ", "zero", "fov", "projPlaneDist"};
const std::vector<const char*> kCameraValues44Type1 = {
    "posX", "posY", "posZ", "rotX", "rotY", "rotZ", "fov", "zero", "projPlaneDist"};
const std::vector<const char*> kCameraValues36 = {"posX", "posY", "posZ",         "rotX",
                                                  "rotY", "rotZ", "projPlaneDist"};
const std::vector<const char*> kLightValues = {"posX",   "posY",   "posZ",   "rotX",     "rotY",
                                               "rotZ",   "scaleX", "scaleY", "scaleZ",   "colorR",
                                               "colorG", "colorB", "colorA", "intensity"};
const std::vector<const char*> kNullValues = {"posX", "posY",   "posZ",   "rotX",  "rotY",
                                              "rotZ", "scaleX", "scaleY", "scaleZ"};
const std::vector<const char*> kKeyedObjectValues = {"posX",  "posY",   "posZ",   "pposX",
                                                     "pposY", "pposZ",  "rotX",   "rotY",
                                                     "rotZ",  "scaleX", "scaleY", "scaleZ"};

// The failure met furthest into the file is the one reported: it is where
// the most plausible reading of the file broke down.
struct Failure {
    bool set = false;
    size_t at = 0;
    std::string message;

    void Note(size_t position, const std::string& text) {
        if (!set || position > at) {
            set = true;
            at = position;
            message = text;
        }
    }
};

// A bounds-checked little-endian reader over one record.
class Cursor {
  public:
    Cursor(const unsigned char* data, size_t size, size_t pos, Failure* failure,
           const std::string& where)
        : m_data(data), m_size(size), m_pos(pos), m_failure(failure), m_where(where) {}

    size_t Pos() const { return m_pos; }
    size_t Remaining() const { return m_size - m_pos; }

    bool Fail(const std::string& text) {
        m_failure->Note(m_pos, m_where + ": " + text);
        return false;
    }

    bool Int(int32_t* value, const char* what) {
        if (Remaining() < 4)
            return Fail(std::string("the file ends inside ") + what);
        *value = static_cast<int32_t>(LittleEndian32(m_data + m_pos));
        m_pos += 4;
        return true;
    }

    bool Float(float* value, const char* what) {
        if (Remaining() < 4)
            return Fail(std::string("the file ends inside ") + what);
        *value = BitsToFloat(LittleEndian32(m_data + m_pos));
        m_pos += 4;
        return true;
    }

    // An int that the layout fixes.
    bool Expect(int32_t expected, const char* what) {
        const size_t at = m_pos;
        int32_t value = 0;
        if (!Int(&value, what))
            return false;
        if (value != expected) {
            m_pos = at;
            return Fail(std::string(what) + " is " + Num(int64_t{value}) + ", not " +
                        Num(int64_t{expected}));
        }
        return true;
    }

    bool Text(std::string* text, const char* what) {
        int32_t length = 0;
        if (!Int(&length, what))
            return false;
        if (length < 0)
            return Fail(std::string(what) + " has a negative length " + Num(int64_t{length}));
        if (static_cast<uint64_t>(length) > Remaining())
            return Fail(std::string(what) + " of " + Num(int64_t{length}) +
                        " bytes runs past the end of the file");
        text->assign(reinterpret_cast<const char*>(m_data + m_pos), static_cast<size_t>(length));
        m_pos += static_cast<size_t>(length);
        return true;
    }

    // count samples of the given byte size: time, frame and values floats.
    // Sample k must carry frame startFrame + k.
    bool Samples(int32_t count, uint32_t sampleSize, int32_t startFrame,
                 std::vector<ZK_ZscSample>* samples) {
        const uint64_t need = static_cast<uint64_t>(count) * sampleSize;
        if (need > Remaining())
            return Fail(Num(int64_t{count}) + " samples of " + Num(uint64_t{sampleSize}) +
                        " bytes need " + Num(need) + " bytes, " + Num(uint64_t{Remaining()}) +
                        " remain");
        const size_t values = (sampleSize - 8) / 4;
        samples->resize(static_cast<size_t>(count));
        for (int32_t k = 0; k < count; ++k) {
            ZK_ZscSample& s = (*samples)[static_cast<size_t>(k)];
            s.time = BitsToFloat(LittleEndian32(m_data + m_pos));
            s.frame = static_cast<int32_t>(LittleEndian32(m_data + m_pos + 4));
            const int64_t expected = int64_t{startFrame} + k;
            if (s.frame != expected)
                return Fail("sample " + Num(int64_t{k}) + " holds frame " + Num(int64_t{s.frame}) +
                            ", not " + Num(expected));
            s.values.resize(values);
            for (size_t v = 0; v < values; ++v)
                s.values[v] = BitsToFloat(LittleEndian32(m_data + m_pos + 8 + 4 * v));
            m_pos += sampleSize;
        }
        return true;
    }

  private:
    const unsigned char* m_data;
    size_t m_size;
    size_t m_pos;
    Failure* m_failure;
    const std::string& m_where;
};

struct Candidate {
    ZK_ZscRecord record;
    size_t end = 0;
    int rank = 0;
};

struct Reader {
    const unsigned char* data;
    size_t size;
    const ZK_ZscFile& header;
    Failure* failure;

    void Add(std::vector<Candidate>* out, ZK_ZscRecord record, size_t end) {
        Candidate c;
        c.rank = Rank(record.kind);
        record.size = end - record.offset;
        c.record = std::move(record);
        c.end = end;
        out->push_back(std::move(c));
    }

    // The camera's sample size is not stored: both sizes are tried.
    void Camera(Cursor c, ZK_ZscRecord r, std::vector<Candidate>* out) {
        r.kind = ZK_ZscRecordKind::Camera;
        if (!c.Int(&r.imageHeight, "the image height") ||
            !c.Int(&r.imageWidth, "the image width") ||
            !c.Float(&r.pixelRatio, "the pixel ratio") || !c.Float(&r.aspect, "the aspect") ||
            !c.Float(&r.filmHeight, "the film height") || !c.Expect(3, "the camera's tag"))
            return;
        if (header.frameCount == 0) {
            r.fovType = -1;
            Add(out, std::move(r), c.Pos());
            return;
        }
        for (uint32_t size : {44u, 36u}) {
            Cursor s = c;
            ZK_ZscRecord t = r;
            t.sampleSize = size;
            if (!s.Samples(header.frameCount, size, header.startFrame, &t.samples))
                continue;
            if (size == 36) {
                t.fovType = 2;
                t.valueNames = kCameraValues36;
            } else {
                bool firstZero = true, secondZero = true;
                for (const ZK_ZscSample& sample : t.samples) {
                    firstZero = firstZero && sample.values[6] == 0.0f;
                    secondZero = secondZero && sample.values[7] == 0.0f;
                }
                t.fovType = firstZero && !secondZero ? 0 : (secondZero && !firstZero ? 1 : -1);
                t.valueNames = t.fovType == 0   ? kCameraValues44Type0
                               : t.fovType == 1 ? kCameraValues44Type1
                                                : kCameraValues44Unknown;
            }
            Add(out, std::move(t), s.Pos());
        }
    }

    void Light(Cursor c, ZK_ZscRecord r, std::vector<Candidate>* out) {
        r.kind = ZK_ZscRecordKind::Light;
        if (!c.Int(&r.lightType, "the light type") || !c.Expect(5, "the light's tag"))
            return;
        r.sampleSize = 64;
        r.valueNames = kLightValues;
        if (!c.Samples(header.frameCount, r.sampleSize, header.startFrame, &r.samples))
            return;
        Add(out, std::move(r), c.Pos());
    }

    void Null(Cursor c, ZK_ZscRecord r, std::vector<Candidate>* out) {
        r.kind = ZK_ZscRecordKind::Null;
        if (!c.Expect(0, "the null's tag"))
            return;
        r.sampleSize = 44;
        r.valueNames = kNullValues;
        if (!c.Samples(header.frameCount, r.sampleSize, header.startFrame, &r.samples))
            return;
        Add(out, std::move(r), c.Pos());
    }

    // One object layout. format 0: LWO path, 1: EMDL path, 2: any other mesh
    // format, which stores no mesh path.
    void Object(Cursor c, ZK_ZscRecord r, bool mdd, int format, std::vector<Candidate>* out) {
        r.kind = mdd ? ZK_ZscRecordKind::MddObject : ZK_ZscRecordKind::KeyedObject;
        r.hasMeshPath = format != 2;
        if (r.hasMeshPath && !c.Text(&r.meshPath, "the mesh path"))
            return;
        if (mdd && format == 0 && !c.Expect(0, "the value after the LWO path"))
            return;
        if (!c.Int(&r.meshFormat, "the mesh format"))
            return;
        if ((format == 0 && r.meshFormat != 0) || (format == 1 && r.meshFormat != 1) ||
            (format == 2 && (r.meshFormat == 0 || r.meshFormat == 1))) {
            c.Fail("mesh format " + Num(int64_t{r.meshFormat}) + " does not match the layout");
            return;
        }
        if (!c.Expect(0, "the value after the mesh format"))
            return;
        if (mdd) {
            if (!c.Text(&r.mddPath, "the MDD path"))
                return;
        } else {
            if (!c.Expect(1, "the keyed object's tag") || !c.Expect(0, "the keyed object's tag"))
                return;
            r.sampleSize = 56;
            r.valueNames = kKeyedObjectValues;
            if (!c.Samples(header.frameCount, r.sampleSize, header.startFrame, &r.samples))
                return;
        }
        Add(out, std::move(r), c.Pos());
    }

    // Every reading of the record at offset that is consistent on its own
    // and keeps the group order after a record of rank minRank.
    std::vector<Candidate> Candidates(size_t index, size_t offset, int minRank) {
        std::vector<Candidate> out;
        const std::string where =
            "record " + Num(uint64_t{index + 1}) + " at byte " + Num(uint64_t{offset});
        Cursor c(data, size, offset, failure, where);
        ZK_ZscRecord r;
        r.offset = offset;
        if (!c.Int(&r.kindCode, "the kind code"))
            return out;
        if (r.kindCode < 0 || r.kindCode > 3) {
            c.Fail("unknown kind code " + Num(int64_t{r.kindCode}));
            return out;
        }
        if (!c.Text(&r.name, "the name"))
            return out;
        switch (r.kindCode) {
        case 0:
            Camera(c, r, &out);
            break;
        case 2:
            Light(c, r, &out);
            break;
        case 3:
            Null(c, r, &out);
            break;
        default:
            for (bool mdd : {true, false})
                for (int format : {0, 1, 2})
                    Object(c, r, mdd, format, &out);
            break;
        }
        std::vector<Candidate> ordered;
        for (Candidate& candidate : out) {
            if (candidate.rank >= minRank)
                ordered.push_back(std::move(candidate));
            else
                failure->Note(offset, where + ": a " +
                                          std::string(ZK_ZscKindName(candidate.record.kind)) +
                                          " record after the group it belongs before");
        }
        return ordered;
    }
};

// Finds the reading of the whole file: a depth-first search over the
// candidate readings of each record, on an explicit stack (a file may hold
// many records), remembering the (record, offset, group) states that led
// nowhere so that no state is explored twice.
bool ReadRecords(const unsigned char* data, size_t size, ZK_ZscFile* file, std::string* error) {
    const size_t itemCount = static_cast<size_t>(file->itemCount);
    if (itemCount == 0) {
        if (size == kZscHeaderSize)
            return true;
        return Fail(error, "the header announces no items, but " +
                               Num(uint64_t{size - kZscHeaderSize}) + " bytes follow it");
    }
    Failure failure;
    Reader reader{data, size, *file, &failure};
    struct Node {
        std::vector<Candidate> candidates;
        size_t next = 0;
    };
    std::vector<Node> stack;
    std::set<std::tuple<size_t, size_t, int>> deadEnds;

    Node first;
    first.candidates = reader.Candidates(0, kZscHeaderSize, 0);
    if (!first.candidates.empty())
        stack.push_back(std::move(first));
    while (!stack.empty()) {
        Node& top = stack.back();
        const size_t index = stack.size() - 1;
        if (top.next == top.candidates.size()) {
            stack.pop_back();
            continue;
        }
        const size_t end = top.candidates[top.next].end;
        const int rank = top.candidates[top.next].rank;
        ++top.next;
        if (index + 1 == itemCount) {
            if (end == size) {
                file->records.reserve(stack.size());
                for (Node& node : stack)
                    file->records.push_back(std::move(node.candidates[node.next - 1].record));
                return true;
            }
            failure.Note(end, "the header announces " + Num(uint64_t{itemCount}) + " items, but " +
                                  Num(uint64_t{size - end}) + " bytes follow the last of them");
            continue;
        }
        if (end == size) {
            failure.Note(end, "the file ends after " + Num(uint64_t{index + 1}) + " of the " +
                                  Num(uint64_t{itemCount}) + " items its header announces");
            continue;
        }
        const auto state = std::make_tuple(index + 1, end, rank);
        if (deadEnds.count(state))
            continue;
        Node next;
        next.candidates = reader.Candidates(index + 1, end, rank);
        deadEnds.insert(state); // explored now, whatever it leads to
        if (!next.candidates.empty())
            stack.push_back(std::move(next));
    }
    return Fail(error, failure.set ? failure.message : "no record could be read");
}

} // namespace

// ---------------------------------------------------------------------------

bool ZK_MddLayoutOf(const unsigned char* data, uint64_t size, ZK_MddLayout* out,
                    std::string* error) {
    *out = ZK_MddLayout{};
    if (size < 8)
        return Fail(error, "too short for an MDD header: " + Num(uint64_t{size}) +
                               " bytes, at least 8 needed");
    const int32_t frames = static_cast<int32_t>(BigEndian32(data));
    const int32_t points = static_cast<int32_t>(BigEndian32(data + 4));
    if (frames < 0)
        return Fail(error, "the header's frame count is negative (" + Num(int64_t{frames}) + ")");
    if (points < 0)
        return Fail(error, "the header's point count is negative (" + Num(int64_t{points}) + ")");
    out->frameCount = frames;
    out->pointCount = points;

    const uint64_t timesEnd = 8 + 4 * static_cast<uint64_t>(frames);
    const uint64_t blockSize = 12 * static_cast<uint64_t>(points);
    const uint64_t blocksWanted = static_cast<uint64_t>(frames) + 1;
    // A complete file's size, unless it does not fit 64 bits.
    const bool fitsSize = blockSize == 0 || blocksWanted <= (UINT64_MAX - timesEnd) / blockSize;
    const std::string completeSize =
        fitsSize ? Num(timesEnd + blockSize * blocksWanted) : std::string("more than 2^64");
    const std::string shape = "a complete file of " + Num(int64_t{frames}) + " frames and " +
                              Num(int64_t{points}) + " points is " + completeSize + " bytes";
    if (size < timesEnd)
        return Fail(error,
                    "truncated inside the time table: " + Num(uint64_t{size}) + " bytes; " + shape);
    const uint64_t rest = size - timesEnd;
    uint64_t blocks = 0;
    if (blockSize == 0) {
        if (rest != 0)
            return Fail(error, Num(rest) + " bytes after the time table of a file of 0 points");
        blocks = blocksWanted;
    } else {
        blocks = rest / blockSize;
        if (blocks > blocksWanted || (blocks == blocksWanted && rest % blockSize != 0))
            return Fail(error,
                        Num(uint64_t{size}) + " bytes, longer than the header says: " + shape);
        if (rest % blockSize != 0)
            return Fail(error, "truncated inside frame block " + Num(blocks + 1) + ": " +
                                   Num(uint64_t{size}) + " bytes; " + shape);
    }
    out->blockCount = static_cast<int64_t>(blocks);
    out->complete = blocks == blocksWanted;
    return true;
}

bool ZK_ParseMdd(const unsigned char* data, size_t size, ZK_MddFile* out, std::string* error) {
    *out = ZK_MddFile{};
    out->fileSize = size;
    ZK_MddLayout layout;
    const bool fits = ZK_MddLayoutOf(data, size, &layout, error);
    const int32_t frames = layout.frameCount;
    out->frameCount = frames;
    out->pointCount = layout.pointCount;
    if (!fits)
        return false;
    const uint64_t timesEnd = 8 + 4 * static_cast<uint64_t>(frames);
    const uint64_t blockSize = 12 * static_cast<uint64_t>(layout.pointCount);
    const uint64_t blocks = static_cast<uint64_t>(layout.blockCount);
    out->blockCount = layout.blockCount;
    out->complete = layout.complete;
    try {
        out->times.resize(static_cast<size_t>(frames));
        for (size_t i = 0; i < out->times.size(); ++i)
            out->times[i] = BitsToFloat(BigEndian32(data + 8 + 4 * i));
        const size_t values = static_cast<size_t>(blocks * blockSize / 4);
        out->points.resize(values);
        const unsigned char* p = data + timesEnd;
        for (size_t i = 0; i < values; ++i)
            out->points[i] = BitsToFloat(BigEndian32(p + 4 * i));
    } catch (const std::bad_alloc&) {
        return Fail(error, "too large to be held in memory");
    }
    return true;
}

bool ZK_ReadMdd(const std::string& path, ZK_MddFile* out, std::string* error) {
    std::vector<unsigned char> bytes;
    if (!ZK_ReadFileBytes(path, &bytes, error))
        return false;
    const bool ok = ZK_ParseMdd(bytes.data(), bytes.size(), out, error);
    out->path = path;
    return ok;
}

const char* ZK_ZscKindName(ZK_ZscRecordKind kind) {
    switch (kind) {
    case ZK_ZscRecordKind::Camera:
        return "camera";
    case ZK_ZscRecordKind::Light:
        return "light";
    case ZK_ZscRecordKind::Null:
        return "null";
    case ZK_ZscRecordKind::MddObject:
        return "mdd object";
    case ZK_ZscRecordKind::KeyedObject:
        return "keyed object";
    }
    return "unknown";
}

bool ZK_ParseZsc(const unsigned char* data, size_t size, ZK_ZscFile* out, std::string* error) {
    *out = ZK_ZscFile{};
    out->fileSize = size;
    if (size < kZscHeaderSize)
        return Fail(error,
                    "too short for a ZSC header: " + Num(uint64_t{size}) + " bytes, 36 needed");
    if (std::memcmp(data, "ZKSC", 4) != 0)
        return Fail(error, "not a ZSC file: it does not start with ZKSC");
    out->version = BitsToFloat(LittleEndian32(data + 4));
    out->frameCount = static_cast<int32_t>(LittleEndian32(data + 8));
    out->startFrame = static_cast<int32_t>(LittleEndian32(data + 12));
    out->endFrame = static_cast<int32_t>(LittleEndian32(data + 16));
    out->frameRate = BitsToFloat(LittleEndian32(data + 20));
    out->itemCount = static_cast<int32_t>(LittleEndian32(data + 24));
    out->constOne = BitsToFloat(LittleEndian32(data + 28));
    out->constZero = static_cast<int32_t>(LittleEndian32(data + 32));
    if (out->frameCount < 0)
        return Fail(error,
                    "the header's frame count is negative (" + Num(int64_t{out->frameCount}) + ")");
    if (out->itemCount < 0)
        return Fail(error,
                    "the header's item count is negative (" + Num(int64_t{out->itemCount}) + ")");
    try {
        return ReadRecords(data, size, out, error);
    } catch (const std::bad_alloc&) {
        out->records.clear();
        return Fail(error, "too large to be held in memory");
    }
}

bool ZK_ReadZsc(const std::string& path, ZK_ZscFile* out, std::string* error) {
    std::vector<unsigned char> bytes;
    if (!ZK_ReadFileBytes(path, &bytes, error))
        return false;
    const bool ok = ZK_ParseZsc(bytes.data(), bytes.size(), out, error);
    out->path = path;
    return ok;
}

#include "MddJoin.h"

#include "Subcommands.h"

#include "inspect/ZK_Inspect.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

namespace xsihost {

namespace {

namespace fs = std::filesystem;

// Pieces of this size are read and written at a time.
constexpr size_t kPieceBytes = size_t{1} << 20;

// A path as a message shows it: as it stands, or quoted when it holds a
// control character, so that the message stays one line.
std::string Shown(const std::string& path) {
    const bool plain = std::none_of(path.begin(), path.end(), [](char c) {
        const unsigned char b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
    return plain ? path : Quote(path);
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw JoinError(Shown(path) + ": " + why, true);
}

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw JoinError(Shown(path) + ": " + why, false);
}

std::string Errno() {
    return std::strerror(errno);
}

// The shortest text that reads back as the value, whatever the locale.
std::string Number(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}
std::string Number(float value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}
// A rate told by times: four significant digits.
std::string Rate(double value) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4);
    return std::string(text, result.ptr);
}

uint32_t BigEndian32(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

float FloatAt(const unsigned char* p) {
    const uint32_t bits = BigEndian32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A file descriptor closed when it goes.
class Fd {
  public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }

  private:
    int m_fd;
};

// Opens a part for reading: a regular file only, never waited on.
int OpenPart(const std::string& path, struct stat* st, bool refusal) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const std::string why = "cannot be opened: " + Errno();
        refusal ? Refuse(path, why) : Fail(path, why);
    }
    if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        const bool folder = S_ISDIR(st->st_mode);
        close(fd);
        const std::string why = folder ? "is a folder, not an MDD cache" : "is not a regular file";
        refusal ? Refuse(path, why) : Fail(path, why);
    }
    return fd;
}

// Reads exactly n bytes at offset; false at the end of the file.
bool ReadAt(int fd, unsigned char* out, size_t n, uint64_t offset, const std::string& path) {
    size_t done = 0;
    while (done < n) {
        const ssize_t got = pread(fd, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Fail(path, "cannot be read: " + Errno());
        if (got == 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

void WriteAll(int fd, const unsigned char* data, size_t n, const std::string& path) {
    size_t done = 0;
    while (done < n) {
        const ssize_t put = write(fd, data + done, n - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            Fail(path, "cannot be written: " + Errno());
        done += static_cast<size_t>(put);
    }
}

uint64_t TimesEnd(const MddPart& part) {
    return 8 + 4 * static_cast<uint64_t>(part.frames);
}
uint64_t BlockBytes(const MddPart& part) {
    return 12 * static_cast<uint64_t>(part.points);
}

// Reads a part's header, checks its layout as `xsihost inspect` does, and
// reads its times: finite and rising.
MddPart ReadPart(const std::string& path) {
    struct stat st = {};
    const Fd fd(OpenPart(path, &st, true));
    MddPart part;
    part.path = path;
    part.size = static_cast<uint64_t>(st.st_size);
    unsigned char header[8] = {};
    ReadAt(fd.Get(), header, std::min<uint64_t>(8, part.size), 0, path);
    ZK_MddLayout layout;
    std::string error;
    if (!ZK_MddLayoutOf(header, part.size, &layout, &error))
        Refuse(path, "not an MDD cache: " + error);
    if (!layout.complete)
        Refuse(path, "incomplete: it holds " + std::to_string(layout.blockCount) + " of " +
                         std::to_string(int64_t{layout.frameCount} + 1) +
                         " frame blocks (the bake that wrote it did not finish)");
    if (layout.frameCount == 0)
        Refuse(path, "not an MDD cache of a bake: it holds no frame");
    part.frames = layout.frameCount;
    part.points = layout.pointCount;

    std::vector<unsigned char> piece(kPieceBytes);
    float previous = 0.0f;
    for (uint64_t at = 8, k = 0; at < TimesEnd(part);) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kPieceBytes, TimesEnd(part) - at));
        if (!ReadAt(fd.Get(), piece.data(), n, at, path))
            Fail(path, "changed while it was read");
        for (size_t i = 0; i < n; i += 4, ++k) {
            const float t = FloatAt(piece.data() + i);
            if (!std::isfinite(t))
                Refuse(path, "not an MDD cache of a bake: time " + std::to_string(k) +
                                 " is not a finite number");
            if (k > 0 && !(t > previous))
                Refuse(path, "not an MDD cache of a bake: time " + std::to_string(k) + " (" +
                                 Number(t) + " s) is not after the one before (" +
                                 Number(previous) + " s)");
            if (k == 0)
                part.firstTime = t;
            previous = t;
        }
        at += n;
    }
    part.lastTime = previous;
    return part;
}

// The distance between two single-precision values of this size: what a
// time is rounded to.
double Ulp(float value) {
    const float a = std::fabs(value);
    return static_cast<double>(std::nextafter(a, INFINITY) - a);
}

// The time the bake writes for a frame at a rate: the frame and the rate
// rounded to single precision, then divided in single precision.
float FrameTime(long long frame, float rate) {
    return static_cast<float>(frame) / rate;
}

// Frames of parts at a known rate: each part's first frame from its first
// time, then every time the rate gives checked to the bit at both ends.
std::vector<long long> FramesAtRate(const std::vector<MddPart>& parts, double frameRate) {
    const float rate = static_cast<float>(frameRate);
    std::vector<long long> firsts;
    for (const MddPart& part : parts) {
        const double exact = static_cast<double>(part.firstTime) * static_cast<double>(rate);
        const long long first = std::llround(exact);
        const long long last = first + part.frames - 1;
        if (std::fabs(exact) > 4e18 || FrameTime(first, rate) != part.firstTime)
            Refuse(part.path, "not baked at " + Number(frameRate) + " fps: its first time " +
                                  Number(part.firstTime) + " s is no frame at that rate");
        if (FrameTime(last, rate) != part.lastTime)
            Refuse(part.path, "not baked at " + Number(frameRate) + " fps: its times run from " +
                                  Number(part.firstTime) + " to " + Number(part.lastTime) +
                                  " s, not those of frames " + std::to_string(first) + " to " +
                                  std::to_string(last));
        firsts.push_back(first);
    }
    return firsts;
}

// The frames between two parts, in frame steps, told by their times: the
// step is that of the longest part (whose time span gives it best).
void CheckStepsByTimes(const std::vector<MddPart>& parts) {
    const MddPart* longest = &parts[0];
    for (const MddPart& part : parts)
        if (part.frames > longest->frames)
            longest = &part;
    if (longest->frames < 2)
        Refuse(longest->path,
               "every part holds one frame, so the times do not tell the frame rate; give --fps");
    const double step =
        (static_cast<double>(longest->lastTime) - longest->firstTime) / (longest->frames - 1);
    auto stepError = [](const MddPart& part) {
        return 2.0 * std::max(Ulp(part.firstTime), Ulp(part.lastTime)) / (part.frames - 1);
    };
    const double refError = stepError(*longest);
    for (const MddPart& part : parts) {
        if (part.frames < 2 || &part == longest)
            continue;
        const double own =
            (static_cast<double>(part.lastTime) - part.firstTime) / (part.frames - 1);
        if (std::fabs(own - step) > 2.0 * (stepError(part) + refError))
            Refuse(part.path, "baked at about " + Rate(1.0 / own) + " fps, but " +
                                  Shown(longest->path) + " at about " + Rate(1.0 / step) + " fps");
    }
    for (size_t k = 1; k < parts.size(); ++k) {
        const MddPart& before = parts[k - 1];
        const MddPart& part = parts[k];
        const double distance = static_cast<double>(part.firstTime) - before.lastTime;
        const double steps = distance / step;
        const double error = (Ulp(part.firstTime) + Ulp(before.lastTime)) / step +
                             std::fabs(steps) * refError / step;
        if (error > 0.2)
            Refuse(part.path, "its times are too coarse to tell whether it follows " +
                                  Shown(before.path) + " frame for frame; give --fps");
        if (std::fabs(steps - 1.0) <= 0.25)
            continue;
        if (steps >= 1.75)
            Refuse(part.path, "leaves a gap after " + Shown(before.path) + ": about " +
                                  std::to_string(std::llround(steps) - 1) +
                                  " frames missing between " + Number(before.lastTime) + " and " +
                                  Number(part.firstTime) + " s");
        Refuse(part.path, "its first time " + Number(part.firstTime) +
                              " s is not one frame after the last of " + Shown(before.path) + " (" +
                              Number(before.lastTime) +
                              " s): baked at another frame rate or frame offset");
    }
}

void CheckFramesAtRate(const std::vector<MddPart>& parts, const JoinExpectation& expect) {
    const std::vector<long long> firsts = FramesAtRate(parts, expect.frameRate);
    for (size_t k = 1; k < parts.size(); ++k) {
        const long long beforeLast = firsts[k - 1] + parts[k - 1].frames - 1;
        if (firsts[k] > beforeLast + 1)
            Refuse(parts[k].path, "leaves a gap after " + Shown(parts[k - 1].path) + ": frames " +
                                      std::to_string(beforeLast + 1) + " to " +
                                      std::to_string(firsts[k] - 1) + " are missing");
    }
    if (!expect.haveRange)
        return;
    const long long first = firsts.front();
    const long long last = firsts.back() + parts.back().frames - 1;
    if (first != expect.firstFrame)
        Refuse(parts.front().path, "the parts start at frame " + std::to_string(first) +
                                       ", not at frame " + std::to_string(expect.firstFrame));
    if (last != expect.lastFrame)
        Refuse(parts.back().path, "the parts end at frame " + std::to_string(last) +
                                      ", not at frame " + std::to_string(expect.lastFrame));
}

} // namespace

int64_t JoinPlan::Frames() const {
    int64_t frames = 0;
    for (const MddPart& part : parts)
        frames += part.frames;
    return frames;
}

uint64_t JoinPlan::Bytes() const {
    const uint64_t frames = static_cast<uint64_t>(Frames());
    return 8 + 4 * frames + 12 * static_cast<uint64_t>(parts.front().points) * (frames + 1);
}

JoinPlan PlanJoin(const std::string& output, const std::vector<std::string>& paths,
                  const JoinExpectation& expect) {
    if (paths.empty())
        Refuse(output, "no part to join into it");
    JoinPlan plan;
    plan.output = output;
    struct stat out = {};
    const bool outputExists = stat(output.c_str(), &out) == 0;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const std::string& path : paths) {
        plan.parts.push_back(ReadPart(path));
        struct stat st = {};
        if (stat(path.c_str(), &st) == 0) {
            if (outputExists && st.st_dev == out.st_dev && st.st_ino == out.st_ino)
                Refuse(path, "is the output itself");
            if (!seen.insert({st.st_dev, st.st_ino}).second)
                Refuse(path, "is given twice");
        }
    }
    std::stable_sort(plan.parts.begin(), plan.parts.end(),
                     [](const MddPart& a, const MddPart& b) { return a.firstTime < b.firstTime; });

    const MddPart& first = plan.parts.front();
    for (const MddPart& part : plan.parts)
        if (part.points != first.points)
            Refuse(part.path, std::to_string(part.points) + " points, but " + Shown(first.path) +
                                  " has " + std::to_string(first.points));
    for (size_t k = 1; k < plan.parts.size(); ++k) {
        const MddPart& before = plan.parts[k - 1];
        const MddPart& part = plan.parts[k];
        if (part.firstTime <= before.lastTime)
            Refuse(part.path, "overlaps " + Shown(before.path) + ": both hold times from " +
                                  Number(part.firstTime) + " to " +
                                  Number(std::min(part.lastTime, before.lastTime)) + " s");
    }
    if (plan.Frames() > INT32_MAX)
        Refuse(plan.parts.back().path, "the parts hold more frames than an MDD cache can count");
    if (expect.frameRate > 0.0)
        CheckFramesAtRate(plan.parts, expect);
    else if (plan.parts.size() > 1)
        CheckStepsByTimes(plan.parts);
    return plan;
}

namespace {

// Copies n bytes of a part from offset to out, in pieces, in the kernel
// where it can.
void CopyRange(int in, const std::string& inPath, uint64_t offset, uint64_t n, int out,
               const std::string& outPath, std::vector<unsigned char>& piece) {
    bool kernel = true;
    while (n > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(n, kPieceBytes * 64));
        if (kernel) {
            loff_t from = static_cast<loff_t>(offset);
            const ssize_t done = copy_file_range(in, &from, out, nullptr, want, 0);
            if (done > 0) {
                offset += static_cast<uint64_t>(done);
                n -= static_cast<uint64_t>(done);
                continue;
            }
            if (done == 0)
                Fail(inPath, "changed while it was joined (shorter than when it was read)");
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                errno != EPERM && errno != EBADF)
                Fail(outPath, "cannot be written: " + Errno());
            kernel = false; // this pair of files: through memory
        }
        const size_t m = std::min(want, piece.size());
        if (!ReadAt(in, piece.data(), m, offset, inPath))
            Fail(inPath, "changed while it was joined (shorter than when it was read)");
        WriteAll(out, piece.data(), m, outPath);
        offset += m;
        n -= m;
    }
}

// Removes the temporary file unless it was renamed.
class TempFile {
  public:
    explicit TempFile(const std::string& output) {
        const fs::path out(output);
        const std::string name = out.filename().string();
        m_path = (out.parent_path() / ("." + name + ".join-XXXXXX")).string();
        std::vector<char> text(m_path.begin(), m_path.end());
        text.push_back('\0');
        m_fd = mkostemp(text.data(), O_CLOEXEC);
        if (m_fd < 0)
            Fail(output, "cannot be written: no temporary file beside it (" + Errno() + ")");
        m_path = text.data();
    }
    ~TempFile() {
        if (m_fd >= 0)
            close(m_fd);
        if (!m_kept)
            unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }
    // Closes the file (reporting a failure as the output's) and renames it.
    void RenameTo(const std::string& output) {
        const int fd = m_fd;
        m_fd = -1;
        if (close(fd) != 0)
            Fail(output, "cannot be written: " + Errno());
        if (rename(m_path.c_str(), output.c_str()) != 0)
            Fail(output, "cannot be replaced: " + Errno());
        m_kept = true;
    }

  private:
    std::string m_path;
    int m_fd = -1;
    bool m_kept = false;
};

// The parts, open, each checked to be the size it was planned at.
std::vector<std::unique_ptr<Fd>> OpenParts(const JoinPlan& plan) {
    std::vector<std::unique_ptr<Fd>> fds;
    for (const MddPart& part : plan.parts) {
        struct stat st = {};
        fds.push_back(std::make_unique<Fd>(OpenPart(part.path, &st, false)));
        if (static_cast<uint64_t>(st.st_size) != part.size)
            Fail(part.path, "changed since it was checked (its size is now " +
                                std::to_string(st.st_size) + " bytes)");
    }
    return fds;
}

void BigEndianInt(unsigned char* out, uint32_t value) {
    out[0] = static_cast<unsigned char>(value >> 24);
    out[1] = static_cast<unsigned char>(value >> 16);
    out[2] = static_cast<unsigned char>(value >> 8);
    out[3] = static_cast<unsigned char>(value);
}

} // namespace

void WriteJoin(const JoinPlan& plan) {
    const std::vector<std::unique_ptr<Fd>> fds = OpenParts(plan);
    TempFile temp(plan.output);
    const std::string& out = plan.output;
    std::vector<unsigned char> piece(kPieceBytes);

    unsigned char header[8];
    BigEndianInt(header, static_cast<uint32_t>(plan.Frames()));
    BigEndianInt(header + 4, static_cast<uint32_t>(plan.parts.front().points));
    WriteAll(temp.Fd(), header, sizeof header, out);
    for (size_t k = 0; k < plan.parts.size(); ++k)
        CopyRange(fds[k]->Get(), plan.parts[k].path, 8, TimesEnd(plan.parts[k]) - 8, temp.Fd(), out,
                  piece);
    const MddPart& first = plan.parts.front();
    CopyRange(fds[0]->Get(), first.path, TimesEnd(first), BlockBytes(first), temp.Fd(), out, piece);
    for (size_t k = 0; k < plan.parts.size(); ++k) {
        const MddPart& part = plan.parts[k];
        CopyRange(fds[k]->Get(), part.path, TimesEnd(part) + BlockBytes(part),
                  BlockBytes(part) * static_cast<uint64_t>(part.frames), temp.Fd(), out, piece);
    }

    // Read back as `xsihost inspect` reads it: a complete cache of the
    // frames and points joined.
    struct stat st = {};
    unsigned char back[8] = {};
    ZK_MddLayout layout;
    std::string error;
    if (fstat(temp.Fd(), &st) != 0 || !ReadAt(temp.Fd(), back, 8, 0, out) ||
        !ZK_MddLayoutOf(back, static_cast<uint64_t>(st.st_size), &layout, &error) ||
        !layout.complete || layout.frameCount != plan.Frames() ||
        static_cast<uint64_t>(st.st_size) != plan.Bytes())
        Fail(out, "the joined cache did not read back whole" + (error.empty() ? "" : ": " + error));
    // As a file the bake creates: readable and writable as the mask allows,
    // and, as a bake's caches, written back to the disk when the kernel
    // does (a sync here would double the join's time on a large cache).
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(temp.Fd(), 0666 & ~mask) != 0)
        Fail(out, "cannot be written: " + Errno());
    temp.RenameTo(out);
}

std::string CheckJoin(const JoinPlan& plan) {
    const std::string& out = plan.output;
    struct stat st = {};
    const int raw = open(out.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (raw < 0)
        return Shown(out) + ": cannot be opened: " + Errno();
    const Fd fd(raw);
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Shown(out) + ": is not a regular file";
    if (static_cast<uint64_t>(st.st_size) != plan.Bytes())
        return Shown(out) + ": " + std::to_string(st.st_size) + " bytes, where the join of its " +
               std::to_string(plan.parts.size()) + " parts is " + std::to_string(plan.Bytes());
    const std::vector<std::unique_ptr<Fd>> fds = OpenParts(plan);

    unsigned char header[8], have[8];
    BigEndianInt(header, static_cast<uint32_t>(plan.Frames()));
    BigEndianInt(header + 4, static_cast<uint32_t>(plan.parts.front().points));
    if (!ReadAt(fd.Get(), have, 8, 0, out) || std::memcmp(header, have, 8) != 0)
        return Shown(out) + ": its header is not the joined frame and point counts";

    std::vector<unsigned char> a(kPieceBytes), b(kPieceBytes);
    uint64_t at = 8;
    std::string difference;
    auto compare = [&](size_t k, uint64_t offset, uint64_t n) {
        while (n > 0 && difference.empty()) {
            const size_t m = static_cast<size_t>(std::min<uint64_t>(n, kPieceBytes));
            if (!ReadAt(fds[k]->Get(), a.data(), m, offset, plan.parts[k].path) ||
                !ReadAt(fd.Get(), b.data(), m, at, out)) {
                difference = Shown(out) + ": ends early";
                return;
            }
            if (std::memcmp(a.data(), b.data(), m) != 0) {
                const size_t i = static_cast<size_t>(
                    std::mismatch(a.begin(), a.begin() + m, b.begin()).first - a.begin());
                difference = Shown(out) + ": byte " + std::to_string(at + i) + " differs from " +
                             Shown(plan.parts[k].path) + " (its byte " +
                             std::to_string(offset + i) + ")";
                return;
            }
            at += m;
            offset += m;
            n -= m;
        }
    };
    for (size_t k = 0; k < plan.parts.size(); ++k)
        compare(k, 8, TimesEnd(plan.parts[k]) - 8);
    compare(0, TimesEnd(plan.parts[0]), BlockBytes(plan.parts[0]));
    for (size_t k = 0; k < plan.parts.size(); ++k) {
        const MddPart& part = plan.parts[k];
        compare(k, TimesEnd(part) + BlockBytes(part),
                BlockBytes(part) * static_cast<uint64_t>(part.frames));
    }
    return difference;
}

std::vector<std::pair<std::string, std::vector<std::string>>>
PartsInTree(const std::string& tree, const std::string& outputFolder) {
    std::error_code ec;
    if (!fs::is_directory(tree, ec))
        Refuse(tree, "is not a folder of parts");
    const fs::path root = fs::weakly_canonical(fs::absolute(tree), ec);
    const fs::path target = fs::weakly_canonical(fs::absolute(outputFolder), ec);
    const fs::path rel = target.lexically_relative(root);
    if (!rel.empty() && *rel.begin() != "..")
        Refuse(outputFolder, "lies inside the folder of parts " + Shown(tree));

    // name -> folder -> path, every level sorted.
    std::map<std::string, std::map<std::string, std::string>> caches;
    std::set<std::string> folders;
    fs::recursive_directory_iterator it(tree, ec), end;
    if (ec)
        Refuse(tree, "cannot be read: " + ec.message());
    for (; it != end; it.increment(ec)) {
        if (ec)
            Refuse(tree, "cannot be read: " + ec.message());
        const fs::path& path = it->path();
        if (path.extension() != ".mdd" || !it->is_regular_file(ec))
            continue;
        const std::string folder = path.parent_path().string();
        folders.insert(folder);
        caches[path.filename().string()][folder] = path.string();
    }
    if (caches.empty())
        Refuse(tree, "holds no MDD cache");
    std::vector<std::pair<std::string, std::vector<std::string>>> jobs;
    for (const auto& [name, parts] : caches) {
        for (const std::string& folder : folders)
            if (!parts.count(folder))
                Refuse((fs::path(folder) / name).string(),
                       "missing: other folders of parts hold " + name);
        std::vector<std::string> paths;
        for (const auto& [folder, path] : parts)
            paths.push_back(path);
        jobs.emplace_back((fs::path(outputFolder) / name).string(), paths);
    }
    return jobs;
}

} // namespace xsihost

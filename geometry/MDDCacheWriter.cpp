#include "geometry/MDDCacheWriter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

// Pieces in flight: one being mapped while the others wait for or go through
// the write. Eight pieces (3 MB) hold a whole frame of a mesh of up to
// 262,144 points, so that the walk can map such a frame at once and go on to
// the next frame's geometry while the second thread writes this one.
constexpr size_t kPieceBuffers = 8;

// Blocks of fewer words (2,048 points) are small: when held, an object's
// blocks gather up to kHeldWords (32 KB) before one write, so that a scene
// of many small objects costs a few large writes instead of one small write
// per object and frame, with at most 32 KB held per object.
constexpr size_t kSmallBlockWords = 3 * 2048;
constexpr size_t kHeldWords = 8192;

} // namespace

struct MDDCacheWriter::State {
    struct Job {
        FILE* file;
        const uint32_t* words;
        size_t count;
    };

    bool pipelined;
    bool holdSmallBlocks;
    std::vector<uint32_t> buffers[kPieceBuffers];
    // The piece last returned by NextPiece.
    // Blocks held for one file: kHeldWords of room, `size` of them used.
    struct Held {
        std::unique_ptr<uint32_t[]> words{new uint32_t[kHeldWords]};
        size_t size = 0;
    };

    Job current = {};
    bool currentHeld = false;
    std::unordered_map<FILE*, Held> held;

    Job jobs[kPieceBuffers] = {};
    // Pieces handed to the writing thread and pieces it has written; piece n
    // uses buffer n % kPieceBuffers. Guarded by `mutex`.
    size_t handed = 0;
    size_t written = 0;
    bool stop = false;
    std::mutex mutex;
    std::condition_variable wakeWriter;
    std::condition_variable wakeMapper;
    std::thread thread;
    std::vector<const ObjectData*> reported;

    void WriteLoop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wakeWriter.wait(lock, [this] { return stop || written < handed; });
            if (written == handed)
                return;
            const Job job = jobs[written % kPieceBuffers];
            lock.unlock();
            std::fwrite(job.words, sizeof(uint32_t), job.count, job.file);
            lock.lock();
            ++written;
            wakeMapper.notify_one();
        }
    }
};

MDDCacheWriter::MDDCacheWriter(bool pipelined, bool holdSmallBlocks)
    : m_state(std::make_unique<State>()) {
    m_state->pipelined = pipelined;
    m_state->holdSmallBlocks = holdSmallBlocks;
}

MDDCacheWriter::~MDDCacheWriter() {
    State& s = *m_state;
    for (auto& [file, held] : s.held)
        if (held.size > 0)
            std::fwrite(held.words.get(), sizeof(uint32_t), held.size, file);
    if (!s.thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stop = true;
    }
    s.wakeWriter.notify_one();
    s.thread.join();
}

bool MDDCacheWriter::DefaultPipelined() {
    return std::thread::hardware_concurrency() > 1;
}

uint32_t* MDDCacheWriter::NextPiece(FILE* file, size_t words, size_t blockWords) {
    State& s = *m_state;
    s.current = {file, nullptr, words};
    s.currentHeld = false;
    if (s.holdSmallBlocks && blockWords < kSmallBlockWords) {
        // An object's blocks are all small or all not, so its held words
        // never overtake pieces handed to the thread.
        State::Held& held = s.held[file];
        if (held.size + words > kHeldWords) {
            std::fwrite(held.words.get(), sizeof(uint32_t), held.size, file);
            held.size = 0;
        }
        s.currentHeld = true;
        held.size += words;
        return held.words.get() + held.size - words;
    }
    size_t index = 0;
    if (s.thread.joinable()) {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.wakeMapper.wait(lock, [&s] { return s.handed - s.written < kPieceBuffers; });
        index = s.handed % kPieceBuffers;
    }
    std::vector<uint32_t>& buffer = s.buffers[index];
    if (buffer.size() < words)
        buffer.resize(words);
    s.current.words = buffer.data();
    return buffer.data();
}

void MDDCacheWriter::WritePiece() {
    State& s = *m_state;
    if (s.currentHeld)
        return;
    const State::Job job = s.current;
    if (!s.pipelined) {
        std::fwrite(job.words, sizeof(uint32_t), job.count, job.file);
        return;
    }
    if (!s.thread.joinable()) {
        // The piece was mapped into buffer 0; the thread starts with it. A
        // system that cannot start it leaves every write to this thread.
        try {
            s.thread = std::thread([&s] { s.WriteLoop(); });
        } catch (const std::system_error&) {
            s.pipelined = false;
            std::fwrite(job.words, sizeof(uint32_t), job.count, job.file);
            return;
        }
    }
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.jobs[s.handed % kPieceBuffers] = job;
        ++s.handed;
    }
    s.wakeWriter.notify_one();
}

void MDDCacheWriter::Finish() {
    State& s = *m_state;
    if (!s.thread.joinable())
        return;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.wakeMapper.wait(lock, [&s] { return s.written == s.handed; });
}

bool MDDCacheWriter::FirstReport(const ObjectData* object) {
    std::vector<const ObjectData*>& reported = m_state->reported;
    if (std::find(reported.begin(), reported.end(), object) != reported.end())
        return false;
    reported.push_back(object);
    return true;
}

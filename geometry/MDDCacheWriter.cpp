#include "geometry/MDDCacheWriter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Pieces in flight: one being mapped while up to two wait for or go through
// the write.
constexpr size_t kPieceBuffers = 3;

// Pieces smaller than this are written at once: handing them to the other
// thread would cost more than the write itself.
constexpr size_t kSmallPieceWords = 3 * 4096;

} // namespace

struct MDDCacheWriter::State {
    struct Job {
        FILE* file;
        const uint32_t* words;
        size_t count;
    };

    bool pipelined;
    std::vector<uint32_t> buffers[kPieceBuffers];
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

MDDCacheWriter::MDDCacheWriter(bool pipelined) : m_state(std::make_unique<State>()) {
    m_state->pipelined = pipelined;
}

MDDCacheWriter::~MDDCacheWriter() {
    State& s = *m_state;
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

uint32_t* MDDCacheWriter::NextPiece(size_t words) {
    State& s = *m_state;
    size_t index = 0;
    if (s.thread.joinable()) {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.wakeMapper.wait(lock, [&s] { return s.handed - s.written < kPieceBuffers; });
        index = s.handed % kPieceBuffers;
    }
    std::vector<uint32_t>& buffer = s.buffers[index];
    if (buffer.size() < words)
        buffer.resize(words);
    return buffer.data();
}

void MDDCacheWriter::WritePiece(FILE* file, uint32_t* piece, size_t words) {
    State& s = *m_state;
    // A small piece is written at once unless pieces handed over before it,
    // of the same file maybe, still wait: a file's pieces go out in order.
    if (!s.pipelined || (words < kSmallPieceWords && Idle())) {
        std::fwrite(piece, sizeof(uint32_t), words, file);
        return;
    }
    if (!s.thread.joinable()) {
        // The piece was mapped into buffer 0; the thread starts with it.
        s.thread = std::thread([&s] { s.WriteLoop(); });
    }
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.jobs[s.handed % kPieceBuffers] = {file, piece, words};
        ++s.handed;
    }
    s.wakeWriter.notify_one();
}

bool MDDCacheWriter::Idle() {
    State& s = *m_state;
    if (!s.thread.joinable())
        return true;
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.written == s.handed;
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

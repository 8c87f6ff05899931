#include "geometry/MDDCacheWriter.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Pieces handed to the second thread and not yet written, at most: the walk
// waits beyond that, so that it never runs far ahead of the writing.
constexpr size_t kPiecesInFlight = 32;

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
        size_t count;
        Fill fill;
    };
    // Blocks held for one file: kHeldWords of room, `size` of them used.
    struct Held {
        std::unique_ptr<uint32_t[]> words{new uint32_t[kHeldWords]};
        size_t size = 0;
    };

    bool pipelined;
    bool holdSmallBlocks;
    // The buffer that pieces are filled in before their write: the caller's
    // when it writes itself, the second thread's otherwise.
    std::vector<uint32_t> buffer;
    std::unordered_map<FILE*, Held> held;
    // What the fills read, each with the count of pieces handed over when
    // it was kept; only the caller's thread touches it.
    std::deque<std::pair<size_t, std::shared_ptr<const void>>> kept;
    size_t frameMark = 0;

    // Pieces handed to the second thread, in order; `handed` counts them all
    // and `written` those written. Guarded by `mutex`.
    std::deque<Job> jobs;
    size_t handed = 0;
    size_t written = 0;
    bool stop = false;
    std::mutex mutex;
    std::condition_variable wakeWriter;
    std::condition_variable wakeCaller;
    std::thread thread;
    std::vector<const ObjectData*> reported;

    void FillAndWrite(const Job& job) {
        if (buffer.size() < job.count)
            buffer.resize(job.count);
        job.fill(buffer.data());
        std::fwrite(buffer.data(), sizeof(uint32_t), job.count, job.file);
    }

    void WriteLoop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wakeWriter.wait(lock, [this] { return stop || !jobs.empty(); });
            if (jobs.empty())
                return;
            const Job job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            FillAndWrite(job);
            lock.lock();
            ++written;
            wakeCaller.notify_one();
        }
    }

    // Waits until `count` pieces are written, then releases what was kept
    // for them.
    void WaitWritten(size_t count) {
        if (thread.joinable()) {
            std::unique_lock<std::mutex> lock(mutex);
            wakeCaller.wait(lock, [this, count] { return written >= count; });
        }
        while (!kept.empty() && kept.front().first <= count)
            kept.pop_front();
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
    if (s.thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.stop = true;
        }
        s.wakeWriter.notify_one();
        s.thread.join();
    }
    s.kept.clear(); // on this thread, once nothing reads it any more
}

bool MDDCacheWriter::DefaultPipelined() {
    return std::thread::hardware_concurrency() > 1;
}

void MDDCacheWriter::AddPiece(FILE* file, size_t words, size_t blockWords, Fill fill) {
    State& s = *m_state;
    if (s.holdSmallBlocks && blockWords < kSmallBlockWords) {
        // An object's blocks are all small or all not, so its held words
        // never overtake pieces handed to the thread.
        State::Held& held = s.held[file];
        if (held.size + words > kHeldWords) {
            std::fwrite(held.words.get(), sizeof(uint32_t), held.size, file);
            held.size = 0;
        }
        fill(held.words.get() + held.size);
        held.size += words;
        return;
    }
    State::Job job{file, words, std::move(fill)};
    if (s.pipelined && !s.thread.joinable()) {
        // A system that cannot start the thread leaves every write to this
        // one.
        try {
            s.thread = std::thread([&s] { s.WriteLoop(); });
        } catch (const std::system_error&) {
            s.pipelined = false;
        }
    }
    if (!s.pipelined) {
        s.FillAndWrite(job);
        return;
    }
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.wakeCaller.wait(lock, [&s] { return s.handed - s.written < kPiecesInFlight; });
        s.jobs.push_back(std::move(job));
        ++s.handed;
    }
    s.wakeWriter.notify_one();
}

void MDDCacheWriter::Keep(std::shared_ptr<const void> owner) {
    State& s = *m_state;
    if (!s.thread.joinable())
        return; // every piece handed over is already written
    std::lock_guard<std::mutex> lock(s.mutex);
    s.kept.emplace_back(s.handed, std::move(owner));
}

void MDDCacheWriter::NextFrame() {
    State& s = *m_state;
    s.WaitWritten(s.frameMark);
    std::lock_guard<std::mutex> lock(s.mutex);
    s.frameMark = s.handed;
}

void MDDCacheWriter::Finish() {
    State& s = *m_state;
    size_t handed;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        handed = s.handed;
    }
    s.WaitWritten(handed);
}

bool MDDCacheWriter::FirstReport(const ObjectData* object) {
    std::vector<const ObjectData*>& reported = m_state->reported;
    if (std::find(reported.begin(), reported.end(), object) != reported.end())
        return false;
    reported.push_back(object);
    return true;
}

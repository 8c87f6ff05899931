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

// Pieces waiting for the second thread beyond which the caller, rather than
// hand over more, fills waiting pieces itself (the newest first) into one of
// kCallerBuffers buffers; it does the same whenever it has to wait for the
// writing. So the second thread fills and writes while the caller has other
// work (the host evaluating the next frame), and only writes when the caller
// has none (a rigid mesh, whose points cost the host nothing). A frame of a
// mesh of up to 262,144 points (8 pieces) can go to the second thread whole.
constexpr size_t kFillHereAfter = 8;
constexpr int kCallerBuffers = 8;

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
        // -1: to be filled by whoever takes it; -2: being filled by the
        // caller; else the caller's buffer that holds it filled.
        int filled;
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
    // The caller's buffers for pieces it fills while the second thread
    // writes; `callerBusy` (guarded by `mutex`) until the piece is written.
    std::vector<uint32_t> callerBuffers[kCallerBuffers];
    bool callerBusy[kCallerBuffers] = {};
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
    bool callerWaiting = false;
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
            wakeWriter.wait(lock, [this] {
                return (stop && jobs.empty()) || (!jobs.empty() && jobs.front().filled != -2);
            });
            if (jobs.empty())
                return;
            const Job job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            if (job.filled >= 0)
                std::fwrite(callerBuffers[job.filled].data(), sizeof(uint32_t), job.count,
                            job.file);
            else
                FillAndWrite(job);
            lock.lock();
            ++written;
            if (job.filled >= 0)
                callerBusy[job.filled] = false;
            if (callerWaiting)
                wakeCaller.notify_one();
        }
    }

    // On the caller's thread, with `lock` held: fills the newest piece that
    // no one has taken yet into a free buffer of the caller's. False when
    // there is no such piece or no free buffer.
    bool HelpFill(std::unique_lock<std::mutex>& lock) {
        const int free = static_cast<int>(
            std::find(callerBusy, callerBusy + kCallerBuffers, false) - callerBusy);
        if (free == kCallerBuffers)
            return false;
        auto job =
            std::find_if(jobs.rbegin(), jobs.rend(), [](const Job& j) { return j.filled == -1; });
        if (job == jobs.rend())
            return false;
        // The job stays in the deque (only the second thread takes jobs,
        // from the front, and it waits for this one), so the reference holds.
        Job& taken = *job;
        taken.filled = -2;
        callerBusy[free] = true;
        lock.unlock();
        std::vector<uint32_t>& out = callerBuffers[free];
        if (out.size() < taken.count)
            out.resize(taken.count);
        taken.fill(out.data());
        lock.lock();
        taken.filled = free;
        wakeWriter.notify_one();
        return true;
    }

    // Waits until `count` pieces are written, filling waiting pieces in the
    // meantime, then releases what was kept for them.
    void WaitWritten(size_t count) {
        if (thread.joinable()) {
            std::unique_lock<std::mutex> lock(mutex);
            while (written < count) {
                if (HelpFill(lock))
                    continue;
                callerWaiting = true;
                wakeCaller.wait(lock);
                callerWaiting = false;
            }
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

uint32_t* MDDCacheWriter::HeldRoom(FILE* file, size_t words, size_t blockWords) {
    State& s = *m_state;
    if (!s.holdSmallBlocks || blockWords >= kSmallBlockWords)
        return nullptr;
    // An object's blocks are all small or all not, so its held words never
    // overtake pieces handed to the thread.
    State::Held& held = s.held[file];
    if (held.size + words > kHeldWords) {
        std::fwrite(held.words.get(), sizeof(uint32_t), held.size, file);
        held.size = 0;
    }
    held.size += words;
    return held.words.get() + held.size - words;
}

bool MDDCacheWriter::HandOver(FILE* file, size_t words, Fill fill) {
    State& s = *m_state;
    State::Job job{file, words, std::move(fill), -1};
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
        return false;
    }
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        while (s.jobs.size() >= kFillHereAfter) {
            if (s.HelpFill(lock))
                continue;
            s.callerWaiting = true;
            s.wakeCaller.wait(lock);
            s.callerWaiting = false;
        }
        s.jobs.push_back(std::move(job));
        ++s.handed;
    }
    s.wakeWriter.notify_one();
    return true;
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

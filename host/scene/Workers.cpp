#include "host/scene/Workers.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <sched.h>
#include <system_error>
#include <thread>
#include <vector>

namespace host {

bool ParseWorkerCount(const char* text, int* out) {
    if (!text || *text < '0' || *text > '9') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || n < 1 || n > 64) {
        return false;
    }
    *out = static_cast<int>(n);
    return true;
}

int DefaultWorkerCount() {
    int n = 0;
    if (ParseWorkerCount(std::getenv("ZK_HOST_THREADS"), &n)) {
        return n;
    }
    const unsigned cpus = AllowedCpuCount();
    return static_cast<int>(std::clamp(cpus > 1 ? cpus - 1 : 1u, 1u, 8u));
}

unsigned AllowedCpuCount() {
    // The set the process may run on: a batch system (Slurm, a container's
    // cpuset) gives a job fewer CPUs than the machine has, and a pool sized
    // from the machine would crowd them.
    unsigned count = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        count = static_cast<unsigned>(std::max(CPU_COUNT(&set), 0));
    }
    if (count == 0) {
        const unsigned hardware = std::thread::hardware_concurrency();
        count = hardware > 0 ? hardware : 1u;
    }
    // A Slurm job step's share where the cluster does not bind tasks to
    // CPUs (TaskPlugin=task/none): its mask is the whole node, but the job
    // was given --cpus-per-task of it.
    const char* slurm = std::getenv("SLURM_CPUS_PER_TASK");
    if (slurm && *slurm >= '0' && *slurm <= '9') {
        char* end = nullptr;
        errno = 0;
        const unsigned long given = std::strtoul(slurm, &end, 10);
        if (errno == 0 && *end == '\0' && given >= 1 && given < count) {
            count = static_cast<unsigned>(given);
        }
    }
    return count;
}

struct WorkerPool::State {
    std::mutex mutex;
    std::condition_variable wakeWorkers;
    std::condition_variable wakeCaller;
    std::vector<std::thread> threads;
    bool stop = false;
    // The current loop: a new generation wakes the workers; `busy` counts
    // the workers still in it.
    unsigned long generation = 0;
    int busy = 0;
    const std::function<void(size_t, size_t)>* body = nullptr;
    size_t count = 0;
    size_t rangeSize = 1;
    std::atomic<size_t> nextRange{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;

    // Takes ranges until none is left.
    void Run() {
        const size_t ranges = (count + rangeSize - 1) / rangeSize;
        for (;;) {
            const size_t k = nextRange.fetch_add(1, std::memory_order_relaxed);
            if (k >= ranges || failed.load(std::memory_order_relaxed)) {
                return;
            }
            const size_t begin = k * rangeSize;
            try {
                (*body)(begin, std::min(count, begin + rangeSize));
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!error) {
                    error = std::current_exception();
                }
                failed.store(true, std::memory_order_relaxed);
            }
        }
    }

    void WorkerLoop() {
        unsigned long seen = 0;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wakeWorkers.wait(lock, [&] { return stop || generation != seen; });
            if (stop) {
                return;
            }
            seen = generation;
            lock.unlock();
            Run();
            lock.lock();
            if (--busy == 0) {
                wakeCaller.notify_one();
            }
        }
    }
};

WorkerPool::WorkerPool(int threads)
    : m_threads(std::max(threads, 1)), m_state(std::make_unique<State>()) {}

WorkerPool::~WorkerPool() {
    State& s = *m_state;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stop = true;
    }
    s.wakeWorkers.notify_all();
    for (std::thread& t : s.threads) {
        t.join();
    }
}

void WorkerPool::ForRanges(size_t count, size_t rangeSize,
                           const std::function<void(size_t, size_t)>& body) {
    rangeSize = std::max<size_t>(rangeSize, 1);
    if (count == 0) {
        return;
    }
    if (m_threads == 1 || count <= rangeSize) {
        for (size_t begin = 0; begin < count; begin += rangeSize) {
            body(begin, std::min(count, begin + rangeSize));
        }
        return;
    }
    State& s = *m_state;
    if (s.threads.empty()) {
        // A system that cannot start them all runs the loops on those it
        // started (the caller alone at least).
        try {
            for (int i = 1; i < m_threads; ++i) {
                s.threads.emplace_back([&s] { s.WorkerLoop(); });
            }
        } catch (const std::system_error&) {
        }
        m_threads = static_cast<int>(s.threads.size()) + 1;
        if (m_threads == 1) {
            ForRanges(count, rangeSize, body);
            return;
        }
    }
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.body = &body;
        s.count = count;
        s.rangeSize = rangeSize;
        s.nextRange.store(0, std::memory_order_relaxed);
        s.failed.store(false, std::memory_order_relaxed);
        s.error = nullptr;
        s.busy = static_cast<int>(s.threads.size());
        ++s.generation;
    }
    s.wakeWorkers.notify_all();
    s.Run();
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.wakeCaller.wait(lock, [&s] { return s.busy == 0; });
        s.body = nullptr;
        error = s.error;
        s.error = nullptr;
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

} // namespace host

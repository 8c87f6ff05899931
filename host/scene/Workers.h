// A small pool of threads that evaluates a loop over fixed ranges of points.
//
// The ranges depend only on the loop's length and its range size, never on
// the number of threads, so a loop whose body gives each point the same
// value wherever it runs gives the same values with any number of threads.
// The calling thread takes ranges too; the other threads sleep between
// loops and are started the first time a loop needs them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace host {

// The number of threads a scene evaluates on unless told otherwise: the
// value of the environment variable ZK_HOST_THREADS when it is a number from
// 1 to 64, else the CPUs the process may run on less one (at least 1, at
// most 8): one core is left to the plug-ins' own threads, such as a cache
// writer that maps and writes one frame while the host evaluates the next.
int DefaultWorkerCount();

// The CPUs the process may run on (its affinity mask, which a batch system
// or a container narrows), else the machine's hardware threads, and no more
// than SLURM_CPUS_PER_TASK when that is a whole number (a Slurm job on a
// cluster that does not bind tasks to CPUs); at least 1.
unsigned AllowedCpuCount();

// A thread count as ZK_HOST_THREADS gives it: a whole number from 1 to 64.
// False (out untouched) for any other text.
bool ParseWorkerCount(const char* text, int* out);

class WorkerPool {
  public:
    // threads: the threads that run a loop, the caller included (at least 1).
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int GetThreadCount() const { return m_threads; }

    // Calls body(begin, end) once for each range [k * rangeSize, min(count,
    // (k + 1) * rangeSize)), spread over the threads, and returns when every
    // range is done. An exception thrown by the body is thrown again here
    // (the first one; the remaining ranges are skipped). Not reentrant:
    // one loop at a time.
    void ForRanges(size_t count, size_t rangeSize, const std::function<void(size_t, size_t)>& body);

  private:
    struct State;
    int m_threads;
    std::unique_ptr<State> m_state;
};

} // namespace host

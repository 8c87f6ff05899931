#include "LoadWatch.h"

#include "Subcommands.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <new>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace xsihost {
namespace {

// In the child: the pipe's end the load's start and end are written to.
int g_noteFd = -1;
// In the waiting process: the child signals are passed on to.
volatile sig_atomic_t g_child = 0;

constexpr int kPassedOn[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Passes on a signal another process sent (si_code SI_USER, SI_QUEUE,
// SI_TKILL: 0 or less); one from the terminal (SI_KERNEL) has reached the
// child already, and a second would count as a second Ctrl-C there. The
// copy carries the sender's pid: when the sender signalled the whole
// process group, the child got the signal directly too and takes the two as
// one (host/ui/Terminal.h).
void PassOn(int sig, siginfo_t* info, void*) {
    if (g_child > 0 && info && info->si_code <= 0) {
        union sigval sender = {};
        sender.sival_int = static_cast<int>(info->si_pid);
        sigqueue(static_cast<pid_t>(g_child), sig, sender);
    }
}

// Faults a reader can stop on.
bool IsFault(int sig) {
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL || sig == SIGABRT ||
           sig == SIGSYS || sig == SIGTRAP;
}

void Note(char what) {
    if (g_noteFd >= 0) {
        ssize_t n;
        do {
            n = write(g_noteFd, &what, 1);
        } while (n < 0 && errno == EINTR);
    }
}

// While the file is read: an allocation the system refuses is noted before
// it fails as usual.
std::new_handler g_previousNewHandler = nullptr;
void NoteRefusedAllocation() {
    Note('M');
    throw std::bad_alloc();
}

// How far the child has got, from its notes: reading the scene file, and
// whether an allocation failed since it started reading.
struct LoadState {
    bool loading = false;
    bool allocationFailed = false;

    void Take(char note) {
        if (note == 'S') {
            loading = true;
            allocationFailed = false;
        } else if (note == 'E') {
            loading = false;
        } else if (note == 'M' && loading) {
            allocationFailed = true;
        }
    }
};

// Reads the notes written so far (the pipe does not block).
void ReadNotes(int fd, LoadState* state) {
    char buffer[64];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        for (ssize_t i = 0; i < n; ++i) {
            state->Take(buffer[i]);
        }
    }
}

// The resident memory of a process that no file backs (/proc/PID/statm:
// resident less shared pages); 0 when it cannot be read.
unsigned long long AnonymousBytes(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    char text[256];
    ssize_t n;
    do {
        n = read(fd, text, sizeof text - 1);
    } while (n < 0 && errno == EINTR);
    close(fd);
    if (n <= 0) {
        return 0;
    }
    text[n] = '\0';
    unsigned long long size = 0, resident = 0, shared = 0;
    if (std::sscanf(text, "%llu %llu %llu", &size, &resident, &shared) != 3 || shared > resident) {
        return 0;
    }
    return (resident - shared) * static_cast<unsigned long long>(sysconf(_SC_PAGESIZE));
}

// A number of /proc/meminfo ("MemAvailable:  123 kB") in bytes; 0 if absent.
unsigned long long MemInfoBytes(const char* key) {
    std::ifstream in("/proc/meminfo");
    std::string name;
    unsigned long long kb = 0;
    std::string unit;
    while (in >> name >> kb) {
        std::getline(in, unit);
        if (name == key) {
            return kb * 1024ULL;
        }
    }
    return 0;
}

// What this process's control group (cgroup v2) still lets it take:
// memory.max less memory.current; ULLONG_MAX when it sets no limit.
unsigned long long ControlGroupHeadroom() {
    std::ifstream groups("/proc/self/cgroup");
    std::string line, path;
    while (std::getline(groups, line)) {
        if (line.compare(0, 3, "0::") == 0) {
            path = line.substr(3);
        }
    }
    if (path.empty()) {
        return ULLONG_MAX;
    }
    const std::string dir = "/sys/fs/cgroup" + (path == "/" ? std::string() : path);
    std::ifstream maxFile(dir + "/memory.max");
    std::ifstream currentFile(dir + "/memory.current");
    std::string max;
    unsigned long long current = 0;
    if (!(maxFile >> max) || max == "max" || !(currentFile >> current)) {
        return ULLONG_MAX;
    }
    const unsigned long long limit = std::strtoull(max.c_str(), nullptr, 10);
    return limit > current ? limit - current : 0;
}

void SleepMilliseconds(int ms) {
    struct timespec t = {0, ms * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

} // namespace

void SceneLoadStarts() {
    Note('S');
    if (g_noteFd >= 0) {
        g_previousNewHandler = std::set_new_handler(NoteRefusedAllocation);
    }
}

void SceneLoadEnded() {
    if (g_noteFd >= 0) {
        std::set_new_handler(g_previousNewHandler);
    }
    Note('E');
}

MemoryLimit MemoryLimitOf(const std::string& given) {
    MemoryLimit limit;
    if (given.empty() || !ParseMemoryLimit(given, &limit)) {
        return DefaultMemoryLimit();
    }
    return limit;
}

std::string MemoryText(unsigned long long bytes) {
    static const char* const units[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    int unit = 0;
    double value = static_cast<double>(bytes);
    // Up while the value shown would read 1024 or more.
    while (value >= 1023.95 && unit < 6 && (unit > 0 || value >= 1024.0)) {
        value /= 1024.0;
        ++unit;
    }
    char text[64];
    if (unit == 0 || std::fabs(value - std::round(value)) < 0.05) {
        std::snprintf(text, sizeof text, "%.0f %s", std::round(value), units[unit]);
    } else {
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    }
    return text;
}

bool ParseMemoryLimit(const std::string& text, MemoryLimit* limit) {
    if (text == "none") {
        *limit = MemoryLimit();
        limit->said = "none";
        return true;
    }
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    if (digits == 0 || digits > 19) {
        return false;
    }
    unsigned long long value = std::strtoull(text.substr(0, digits).c_str(), nullptr, 10);
    std::string unit = text.substr(digits);
    for (char& c : unit) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    static const char* const units[] = {"K", "M", "G", "T"};
    int shift = 0;
    if (!unit.empty() && unit != "B") {
        for (int i = 0; i < 4; ++i) {
            const std::string u = units[i];
            if (unit == u || unit == u + "B" || unit == u + "IB") {
                shift = 10 * (i + 1);
            }
        }
        if (shift == 0) {
            return false;
        }
    }
    if (shift > 0 && value > (ULLONG_MAX >> shift)) {
        return false;
    }
    value <<= shift;
    if (value < kMinMemoryLimit) {
        return false;
    }
    limit->bytes = value;
    limit->said = MemoryText(value);
    return true;
}

MemoryLimit DefaultMemoryLimit() {
    unsigned long long available = MemInfoBytes("MemAvailable:");
    const unsigned long long group = ControlGroupHeadroom();
    if (available == 0 || group < available) {
        available = group == ULLONG_MAX ? 0 : group;
    }
    MemoryLimit limit;
    if (available == 0) {
        return limit; // nothing to go by: no limit
    }
    limit.bytes = std::max(kMinMemoryLimit, available / 4 * 3);
    limit.said = MemoryText(limit.bytes) + " (three quarters of the memory available)";
    return limit;
}

int RunWatchingSceneLoad(const std::string& sceneFile, const std::function<int()>& run,
                         const MemoryLimit& limit) {
    int notes[2];
    if (pipe2(notes, O_CLOEXEC) != 0) {
        return run(); // no watch: the command runs as it would without one
    }
    std::fflush(nullptr); // nothing buffered is written twice
    // The signals to pass on are held from before the fork until the child
    // is known, so that none is lost or taken the default way in between.
    constexpr size_t kCount = sizeof kPassedOn / sizeof *kPassedOn;
    sigset_t held, mask;
    sigemptyset(&held);
    for (const int sig : kPassedOn) {
        sigaddset(&held, sig);
    }
    pthread_sigmask(SIG_BLOCK, &held, &mask);
    struct sigaction passOn = {};
    passOn.sa_sigaction = PassOn;
    passOn.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&passOn.sa_mask);
    struct sigaction before[kCount];
    for (size_t i = 0; i < kCount; ++i) {
        sigaction(kPassedOn[i], &passOn, &before[i]);
    }
    const auto restore = [&] {
        for (size_t i = 0; i < kCount; ++i) {
            sigaction(kPassedOn[i], &before[i], nullptr);
        }
        pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    };
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        restore();
        close(notes[0]);
        close(notes[1]);
        return run();
    }
    if (child == 0) {
        restore();
        close(notes[0]);
        // Ends with the waiting process, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(kExitCommandFailed);
        }
        g_noteFd = notes[1];
        std::exit(run());
    }
    close(notes[1]);
    g_child = child;
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    fcntl(notes[0], F_SETFL, fcntl(notes[0], F_GETFL) | O_NONBLOCK);
    // Waits for the child; with a limit, looks at its memory every 10 ms.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    LoadState state;
    bool overLimit = false;
    unsigned long long heldBytes = 0;
    int status = 0;
    pid_t waited;
    for (;;) {
        waited = waitpid(child, &status, limit.bytes > 0 || pidfd >= 0 ? WNOHANG : 0);
        if (waited == child || (waited < 0 && errno != EINTR)) {
            break;
        }
        ReadNotes(notes[0], &state);
        if (limit.bytes > 0 && (heldBytes = AnonymousBytes(child)) > limit.bytes) {
            kill(child, SIGKILL);
            overLimit = true;
            do {
                waited = waitpid(child, &status, 0);
            } while (waited < 0 && errno == EINTR);
            break;
        }
        if (pidfd >= 0) {
            struct pollfd ended = {pidfd, POLLIN, 0};
            poll(&ended, 1, limit.bytes > 0 ? 10 : -1);
        } else if (limit.bytes > 0) {
            SleepMilliseconds(10);
        }
    }
    if (pidfd >= 0) {
        close(pidfd);
    }
    restore();
    g_child = 0;
    ReadNotes(notes[0], &state);
    close(notes[0]);
    if (waited < 0) {
        std::fprintf(stderr, "xsihost: lost the command's process: %s\n", std::strerror(errno));
        return kExitCommandFailed;
    }
    if (overLimit) {
        if (state.loading) {
            std::fprintf(stderr,
                         "xsihost: %s: cannot read the scene: its reader went over the memory "
                         "limit of %s (it held %s); the file is damaged, or give it more with "
                         "--max-memory\n",
                         sceneFile.c_str(), limit.said.c_str(), MemoryText(heldBytes).c_str());
            return kExitUsage;
        }
        std::fprintf(stderr,
                     "xsihost: stopped: the command went over the memory limit of %s (it held "
                     "%s); give it more with --max-memory\n",
                     limit.said.c_str(), MemoryText(heldBytes).c_str());
        return kExitCommandFailed;
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    const int sig = WIFSIGNALED(status) ? WTERMSIG(status) : SIGKILL;
    if (state.loading && state.allocationFailed) {
        std::fprintf(stderr,
                     "xsihost: %s: cannot read the scene: the system refused its reader memory "
                     "(%s); the file is damaged, or the machine is short of memory\n",
                     sceneFile.c_str(), strsignal(sig));
        return kExitUsage;
    }
    if (state.loading && IsFault(sig)) {
        std::fprintf(stderr,
                     "xsihost: %s: cannot read the scene: the file's reader stopped on a fault "
                     "(%s); the file is damaged or not one it can read\n",
                     sceneFile.c_str(), strsignal(sig));
        return kExitUsage;
    }
    if (state.loading && sig == SIGKILL) {
        std::fprintf(stderr,
                     "xsihost: %s: cannot read the scene: its reader was killed (%s), by the "
                     "system short of memory or by another process; --max-memory sets a limit "
                     "that stops a load before the system must\n",
                     sceneFile.c_str(), strsignal(sig));
        return kExitUsage;
    }
    // Stopped otherwise: this process ends the same way.
    std::fflush(nullptr);
    std::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    prctl(PR_SET_DUMPABLE, 0); // the child left its core already, if any
    kill(getpid(), sig);
    return 128 + sig;
}

} // namespace xsihost

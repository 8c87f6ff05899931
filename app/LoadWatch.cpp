#include "LoadWatch.h"

#include "Subcommands.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
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
// child already, and a second would count as a second Ctrl-C there.
void PassOn(int sig, siginfo_t* info, void*) {
    if (g_child > 0 && info && info->si_code <= 0) {
        kill(static_cast<pid_t>(g_child), sig);
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

} // namespace

void SceneLoadStarts() {
    Note('S');
}

void SceneLoadEnded() {
    Note('E');
}

int RunWatchingSceneLoad(const std::string& sceneFile, const std::function<int()>& run) {
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
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    restore();
    g_child = 0;
    // The last note tells whether the child was reading the scene file.
    char last = 0;
    char buffer[64];
    ssize_t n;
    while ((n = read(notes[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) {
            last = buffer[n - 1];
        }
    }
    close(notes[0]);
    if (waited < 0) {
        std::fprintf(stderr, "xsihost: lost the command's process: %s\n", std::strerror(errno));
        return kExitCommandFailed;
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    const int sig = WIFSIGNALED(status) ? WTERMSIG(status) : SIGKILL;
    if (last == 'S' && IsFault(sig)) {
        std::fprintf(stderr,
                     "xsihost: %s: cannot read the scene: the file's reader stopped on a fault "
                     "(%s); the file is damaged or not one it can read\n",
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

// A scene file is read by Assimp's readers, some forty of them, and not all
// of them stand up to every damaged file. xsihost therefore runs a command
// that reads a scene file in a child process and waits for it: when the
// child is stopped by a fault while it reads the file, the command ends as
// any unreadable file does, with one line naming the file and exit status
// 2, instead of a crash. Anything else the child does is passed on as it
// stands: its output, its exit status, or the signal that stopped it.
//
// Memory. A damaged file of a few bytes can make a reader allocate without
// end. The child runs under a memory limit: the watch reads the child's
// resident anonymous memory (what it allocated and touched: heap, thread
// stacks, a sanitizer's shadow; not the libraries and files it maps) every
// 10 ms, and stops the child with SIGKILL once it is over the limit. A load
// stopped so is one line naming the file and the limit, exit status 2; a
// command stopped so after the load, one line naming the limit, exit status
// 1. The limit is checked, not enforced by the kernel: the child may go over
// it by what it allocates in 10 ms. An allocation that fails while the file
// is read (the system refused the memory) is named as such, not as a fault.
#pragma once

#include <functional>
#include <string>

namespace xsihost {

// The most memory the child may hold; 0 for no limit. `said` names the
// limit in the messages ("256 MiB").
struct MemoryLimit {
    unsigned long long bytes = 0;
    std::string said;
};

// The smallest limit --max-memory takes: below it the host cannot start.
constexpr unsigned long long kMinMemoryLimit = 16ULL << 20;

// --max-memory SIZE: "none", or a whole number of bytes, optionally followed
// by K, M, G or T (powers of 1024; "KiB", "MB", ... read the same), at least
// kMinMemoryLimit. False for any other text.
bool ParseMemoryLimit(const std::string& text, MemoryLimit* limit);

// The default: three quarters of the memory available to this process when
// it starts (the system's available memory, or what its control group still
// allows when that is less), at least kMinMemoryLimit.
MemoryLimit DefaultMemoryLimit();

// The limit --max-memory gave (text as given, already checked), else the
// default.
MemoryLimit MemoryLimitOf(const std::string& given);

// Bytes as the messages show them: "256 MiB", "1.5 GiB", "512 KiB".
std::string MemoryText(unsigned long long bytes);

// Runs `run` in a child process and returns its exit status; the child
// exits with what `run` returned. `sceneFile` names the file in the message
// of a fault while it is read.
//
// Signals: SIGINT, SIGTERM, SIGHUP and SIGQUIT that a process sends to this
// one are passed on to the child; those from the terminal reach the child
// directly, as it runs in the same process group. The child ends when this
// process ends.
int RunWatchingSceneLoad(const std::string& sceneFile, const std::function<int()>& run,
                         const MemoryLimit& limit = {});

// Said by the child around its reading of the scene file (nothing when no
// watch runs).
void SceneLoadStarts();
void SceneLoadEnded();

} // namespace xsihost

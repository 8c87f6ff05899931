// xsihost's watch over a scene load: a child stopped by a fault while it
// reads the scene file is one line naming the file and exit status 2; any
// other end of the child is this process's own, and signals another
// process sends are passed on to the child.
#include "LoadWatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <new>
#include <vector>
#include <string>
#include <unistd.h>

namespace {

// Stops the calling process with sig, whatever handler a sanitizer set.
[[noreturn]] void Die(int sig) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    _exit(99);
}

TEST(LoadWatch, AFaultWhileReadingTheSceneIsAnUnreadableFile) {
    for (const int sig : {SIGSEGV, SIGBUS, SIGABRT}) {
        testing::internal::CaptureStderr();
        const int code = xsihost::RunWatchingSceneLoad("/scenes/a b.lws", [sig] {
            xsihost::SceneLoadStarts();
            Die(sig);
            return 0;
        });
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 2) << sig;
        EXPECT_EQ(err, std::string("xsihost: /scenes/a b.lws: cannot read the scene: the "
                                   "file's reader stopped on a fault (") +
                           strsignal(sig) + "); the file is damaged or not one it can read\n");
    }
}

TEST(LoadWatch, TheChildsEndIsPassedOnAsItStands) {
    // Its exit status, after a load or without one.
    EXPECT_EQ(xsihost::RunWatchingSceneLoad("s.fbx", [] { return 0; }), 0);
    EXPECT_EQ(xsihost::RunWatchingSceneLoad("s.fbx",
                                            [] {
                                                xsihost::SceneLoadStarts();
                                                xsihost::SceneLoadEnded();
                                                return 7;
                                            }),
              7);
    // A fault after the load is the program's own: this process ends the
    // same way, with no message of a damaged file.
    EXPECT_EXIT(xsihost::RunWatchingSceneLoad("s.fbx",
                                              [] {
                                                  xsihost::SceneLoadStarts();
                                                  xsihost::SceneLoadEnded();
                                                  Die(SIGSEGV);
                                                  return 0;
                                              }),
                testing::KilledBySignal(SIGSEGV), "^$");
}

TEST(LoadWatch, SignalsSentToTheWatchReachTheChild) {
    // The child asks its watch to end; the watch passes SIGTERM on and ends
    // as the child did.
    EXPECT_EXIT(xsihost::RunWatchingSceneLoad("s.fbx",
                                              [] {
                                                  kill(getppid(), SIGTERM);
                                                  for (;;) {
                                                      pause();
                                                  }
                                                  return 0;
                                              }),
                testing::KilledBySignal(SIGTERM), "");
    // A SIGINT the child handles (a cancel) ends it with its own status.
    EXPECT_EXIT(
        {
            const int code = xsihost::RunWatchingSceneLoad("s.fbx", [] {
                std::signal(SIGINT, [](int) { _exit(130); });
                kill(getppid(), SIGINT);
                for (;;) {
                    pause();
                }
                return 0;
            });
            std::exit(code);
        },
        testing::ExitedWithCode(130), "");
}

} // namespace

namespace {

// Allocates and touches memory in 1 MiB blocks until stopped.
[[noreturn]] void AllocateWithoutEnd() {
    for (;;) {
        char* block = new char[1 << 20];
        for (int i = 0; i < (1 << 20); i += 4096) {
            static_cast<volatile char*>(block)[i] = 1;
        }
    }
}

// A limit for a child that allocates without end: never none, even when the
// text does not read.
xsihost::MemoryLimit Limit(const char* text) {
    xsihost::MemoryLimit limit;
    if (!xsihost::ParseMemoryLimit(text, &limit)) {
        ADD_FAILURE() << text;
        limit.bytes = xsihost::kMinMemoryLimit;
    }
    return limit;
}

} // namespace

TEST(LoadWatch, AChildOverTheMemoryLimitIsStoppedAndTheLimitNamed) {
    const struct {
        bool loading;
        int exitCode;
        const char* message;
    } cases[] = {
        {true, 2,
         "xsihost: bomb.nff: cannot read the scene: its reader went over the memory limit of "
         "128 MiB (it held "},
        {false, 1, "xsihost: stopped: the command went over the memory limit of 128 MiB (it held "},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const int code = xsihost::RunWatchingSceneLoad(
            "bomb.nff",
            [&c] {
                xsihost::SceneLoadStarts();
                if (!c.loading) {
                    xsihost::SceneLoadEnded();
                }
                AllocateWithoutEnd();
                return 0;
            },
            Limit("128M"));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, c.exitCode);
        EXPECT_EQ(err.rfind(c.message, 0), 0u) << err;
        EXPECT_NE(err.find("give it more with --max-memory\n"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    // Memory under the limit, given back or kept, is no matter.
    EXPECT_EQ(xsihost::RunWatchingSceneLoad(
                  "s.gltf",
                  [] {
                      xsihost::SceneLoadStarts();
                      std::vector<char> kept(32 << 20, 1);
                      xsihost::SceneLoadEnded();
                      return kept[12345] == 1 ? 3 : 4;
                  },
                  Limit("128M")),
              3);
}

TEST(LoadWatch, AnAllocationRefusedWhileReadingIsNamedAsSuch) {
    // The handler a refused allocation calls (the allocator's own refusal
    // differs with the build): noted, then bad_alloc as usual, which ends
    // the child uncaught.
    testing::internal::CaptureStderr();
    const int code = xsihost::RunWatchingSceneLoad("big.dae", [] {
        xsihost::SceneLoadStarts();
        std::set_terminate([] { Die(SIGABRT); });
        // Thrown where nothing may throw, as in a reader's destructor.
        []() noexcept {
            if (const std::new_handler handler = std::get_new_handler()) {
                handler();
            }
        }();
        return 5;
    });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 2);
    EXPECT_EQ(err, std::string("xsihost: big.dae: cannot read the scene: the system refused its "
                               "reader memory (") +
                       strsignal(SIGABRT) +
                       "); the file is damaged, or the machine is short of memory\n");
    // After the load the handler is the one before it.
    EXPECT_EQ(xsihost::RunWatchingSceneLoad("s.dae",
                                            [] {
                                                const std::new_handler before =
                                                    std::get_new_handler();
                                                xsihost::SceneLoadStarts();
                                                xsihost::SceneLoadEnded();
                                                return std::get_new_handler() == before ? 0 : 1;
                                            }),
              0);
}

TEST(LoadWatch, MaxMemoryTakesSizesOfAtLeastSixteenMebibytes) {
    const struct {
        const char* text;
        bool ok;
        unsigned long long bytes;
        const char* said;
    } cases[] = {
        {"16M", true, 16ULL << 20, "16 MiB"},
        {"16777216", true, 16ULL << 20, "16 MiB"},
        {"16777215", false, 0, ""},
        {"16383K", false, 0, ""},
        {"16384k", true, 16ULL << 20, "16 MiB"},
        {"512MB", true, 512ULL << 20, "512 MiB"},
        {"1536MiB", true, 1536ULL << 20, "1.5 GiB"},
        {"8g", true, 8ULL << 30, "8 GiB"},
        {"2T", true, 2ULL << 40, "2 TiB"},
        {"none", true, 0, "none"},
        {"16777216B", true, 16ULL << 20, "16 MiB"},
        {"", false, 0, ""},
        {"0", false, 0, ""},
        {"-1G", false, 0, ""},
        {"1.5G", false, 0, ""},
        {"16 M", false, 0, ""},
        {"16X", false, 0, ""},
        {"16777215T", true, (16777215ULL << 40), "16 EiB"}, // 2^64 - 2^40 bytes
        {"16777216T", false, 0, ""},                        // 2^64 bytes
        {"99999999T", false, 0, ""},
        {"99999999999999999999", false, 0, ""},
        {"None", false, 0, ""},
    };
    for (const auto& c : cases) {
        xsihost::MemoryLimit limit;
        limit.bytes = 7;
        ASSERT_EQ(xsihost::ParseMemoryLimit(c.text, &limit), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(limit.bytes, c.bytes) << c.text;
            EXPECT_EQ(limit.said, c.said) << c.text;
        }
    }
    // The default: a share of what is available, named as such.
    const xsihost::MemoryLimit fallback = xsihost::DefaultMemoryLimit();
    EXPECT_GE(fallback.bytes, xsihost::kMinMemoryLimit);
    EXPECT_NE(fallback.said.find("three quarters of the memory available"), std::string::npos);
    EXPECT_EQ(xsihost::MemoryLimitOf("").said, fallback.said);
    EXPECT_EQ(xsihost::MemoryLimitOf("64M").bytes, 64ULL << 20);
}

TEST(LoadWatch, MemoryIsShownInTheUnitThatReadsBest) {
    const std::pair<unsigned long long, const char*> cases[] = {
        {0, "0 bytes"},
        {1023, "1023 bytes"},
        {1024, "1 KiB"},
        {1536, "1.5 KiB"},
        {(1ULL << 20) - 1, "1 MiB"},
        {268u << 20, "268 MiB"},
        {(5ULL << 30) / 2, "2.5 GiB"},
        {~0ULL, "16 EiB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(xsihost::MemoryText(bytes), text) << bytes;
    }
}

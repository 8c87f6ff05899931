// xsihost's watch over a scene load: a child stopped by a fault while it
// reads the scene file is one line naming the file and exit status 2; any
// other end of the child is this process's own, and signals another
// process sends are passed on to the child.
#include "LoadWatch.h"

#include <gtest/gtest.h>

#include <csignal>
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

// A scene file is read by Assimp's readers, some forty of them, and not all
// of them stand up to every damaged file. xsihost therefore runs a command
// that reads a scene file in a child process and waits for it: when the
// child is stopped by a fault while it reads the file, the command ends as
// any unreadable file does, with one line naming the file and exit status
// 2, instead of a crash. Anything else the child does is passed on as it
// stands: its output, its exit status, or the signal that stopped it.
#pragma once

#include <functional>
#include <string>

namespace xsihost {

// Runs `run` in a child process and returns its exit status; the child
// exits with what `run` returned. `sceneFile` names the file in the message
// of a fault while it is read.
//
// Signals: SIGINT, SIGTERM, SIGHUP and SIGQUIT that a process sends to this
// one are passed on to the child; those from the terminal reach the child
// directly, as it runs in the same process group. The child ends when this
// process ends.
int RunWatchingSceneLoad(const std::string& sceneFile, const std::function<int()>& run);

// Said by the child around its reading of the scene file (nothing when no
// watch runs).
void SceneLoadStarts();
void SceneLoadEnded();

} // namespace xsihost

// Runs a scene load on a thread of its own with a large stack.
//
// Assimp reads and converts a node hierarchy one call deeper per level, with
// large frames: an FBX chain of 1,000 models whose names clash needs more
// than the 8 MB a process's main thread usually has. The pre-load checks let
// hierarchies up to kMaxSceneNesting levels through, so the load runs where
// they fit whatever the caller's stack (and in the sanitizer builds, whose
// frames are larger still).
#pragma once

#include <cstddef>
#include <functional>

namespace host {

// The stack the load thread asks for. It is address space only: the pages
// a load does not reach are never used.
constexpr size_t kLoadStackBytes = size_t{512} << 20;

// Calls f on a thread with a stack of kLoadStackBytes and returns when it
// has returned; an exception f throws is thrown again here. When no such
// thread can be made, f runs on the caller's thread.
void RunOnLargeStack(const std::function<void()>& f);

} // namespace host

// Files whose writes the host discards.
//
// A host that runs a command only for some of its outputs can still let the
// command open and write the others: the paths named here open, for
// writing, a stream that discards what is written and counts the bytes, so
// nothing reaches the file system and nothing there changes. xsihost uses it
// to write scene files that link point caches other jobs make: the command
// still opens and fills each cache, at no cost of disk or time, and the
// caches already at those paths stay as they are.
//
// The same layer redirects writes: a path given a stand-in opens, for
// writing, the stand-in instead (created afresh, never through a symbolic
// link), and removing the path removes the stand-in. xsihost bake writes
// every output under a temporary name beside it so, and renames the ones
// completed into place: a file complete before the bake stays as it was
// until its new version is complete.
//
// The stand-in host provides the C library's fopen, fopen64 and remove in
// libsicppsdk.so, ahead of the C library, so that a plug-in's own calls
// reach them: a path that is neither a sink nor redirected (or any path
// while none is set) goes straight to the C library. While set, opening a
// sink or a redirected path for reading reads the real file; removing a
// sink removes nothing and succeeds. A sink takes precedence over a
// redirection of the same path.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace host {

namespace FileSinks {

// The paths that become sinks, replacing any set before. A path matches
// when both read the same once "." and ".." and repeated slashes are
// resolved as text (no file-system look-up).
void Set(const std::vector<std::string>& paths);

// No sink any more; every path goes to the file system again.
void Clear();

// Bytes written to the sink of a path of the current set over all its
// openings so far; -1 when it was never opened (or is not a sink).
long long BytesWritten(const std::string& path);

// Writes to each first path go to the second instead (pairs of paths,
// matched as sinks are), replacing any redirections set before; an empty
// list ends them.
void Redirect(const std::vector<std::pair<std::string, std::string>>& redirections);

// Whether a redirected path was opened for writing since Redirect.
bool Redirected(const std::string& path);

} // namespace FileSinks

} // namespace host

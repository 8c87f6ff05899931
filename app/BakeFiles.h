// How `xsihost bake` treats the files of its output folder: one bake per
// folder at a time, no output written through a symbolic link, and every
// output written under a temporary name beside it, put in place once it is
// complete, so that a failed or cancelled bake leaves every file that was
// there before it as it was.
#pragma once

#include <string>
#include <vector>

namespace xsihost {

// The lock of an output folder: OUT/.xsihost-bake.lock, locked with flock
// for the lifetime of the object, so that a bake that ends in any way (a
// crash included) leaves no stale lock. The file holds the process id, host
// and start time of the bake that holds it, for the message of the next.
class OutDirLock {
  public:
    // Throws UsageError when another bake holds the folder (naming it) or
    // the lock cannot be made. The folder must exist.
    explicit OutDirLock(const std::string& outDir);
    ~OutDirLock();
    OutDirLock(const OutDirLock&) = delete;
    OutDirLock& operator=(const OutDirLock&) = delete;

  private:
    std::string m_path;
    int m_fd = -1;
};

// The lock file's name inside the output folder.
constexpr const char* kLockName = ".xsihost-bake.lock";

// Throws UsageError, naming the first, when a folder or file an output goes
// to is a symbolic link, or a file is there that is not a regular file (a
// folder, a FIFO, ...). Run before anything is written.
void CheckOutputPlaces(const std::vector<std::string>& folders,
                       const std::vector<std::string>& files);

// The outputs of one bake, each written under a temporary name in its own
// folder (".xsihost-N.part"): while the object lives the host's file layer
// sends the command's writes to each path there (host/app/FileSinks.h).
// When it goes, the redirection ends and the temporary files left are
// removed.
class StagedFiles {
  public:
    explicit StagedFiles(const std::vector<std::string>& paths);
    ~StagedFiles();
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    // The temporary name of file i.
    const std::string& Temporary(size_t i) const { return m_temps[i]; }
    // Where the command's file i was written, if it was ("" when it was not,
    // or removed it).
    std::string Written(size_t i) const;
    // Renames file i into place, replacing what is there; false with the
    // reason when it cannot.
    bool Commit(size_t i, std::string* error);
    // Removes what file i wrote.
    void Discard(size_t i);
    // Ends the redirection: the command has run.
    void Finish();

  private:
    std::vector<std::string> m_paths, m_temps;
    bool m_redirecting = false;
};

// Removes the temporary files of an earlier bake that ended before it could
// (killed, or stopped by a second interrupt) from the given folders. Only
// called while the folder's lock is held.
void RemoveStaleTemporaries(const std::vector<std::string>& folders);

} // namespace xsihost

// What every test folder shares: a scratch folder removed at the end, whole
// files read back, and programs (xsihost first of all) run with their output
// and exit status captured.
#pragma once

#include <filesystem>
#include <functional>
#include <iterator>
#include <fstream>
#include <string>
#include <vector>

namespace zkt {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

// A fresh empty folder below the system's temporary folder, removed with
// everything in it (read-only folders too) when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Dir() const { return m_dir; }
    fs::path Path() const { return m_dir; }
    std::string operator/(const std::string& name) const { return m_dir + "/" + name; }
    // The names in the folder, sorted.
    Strings Files() const;

  private:
    std::string m_dir;
};

// A whole file as text (or as Bytes); empty when it cannot be read.
template <class Content = std::string> Content Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Content(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline std::string ReadFile(const fs::path& path) {
    return Read(path);
}

// The lines of a text, without their line ends.
Strings Lines(const std::string& text);
inline bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}
inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
// The names in a folder, sorted.
Strings FilesIn(const fs::path& dir);
// Every regular file below a folder, as full paths, sorted.
Strings FilesBelow(const fs::path& root);
// Every entry below a folder (or its regular files only), relative, sorted.
Strings EntriesBelow(const fs::path& root, bool filesOnly = false);

struct RunResult {
    int exitCode = -1; // -1 when the program did not exit normally
    std::string out, err;
    bool interrupted = false; // whether interruptWhen sent the signal
};

struct RunOptions {
    // NAME=value entries added to (or replacing in) the environment.
    Strings env;
    // Where stdout.txt and stderr.txt are kept; a scratch folder when empty.
    fs::path captureDir;
    // When set, polled while the program runs: the first time it answers
    // true the program gets one SIGINT (as from one Ctrl-C); a program still
    // running after a minute is killed.
    std::function<bool()> interruptWhen;
    // Whether the program leads a process group of its own and the SIGINT
    // goes to the whole group, as a shell's `kill -INT %job` sends it.
    bool interruptGroup = false;
};

// Runs a program (found on PATH when the name has no slash) with the
// arguments as they stand, no shell between.
RunResult RunProgram(const std::string& program, const Strings& args,
                     const RunOptions& options = {});

// The xsihost of this build, and xsihost run with the arguments.
const std::string& XsihostPath();
RunResult RunXsihost(const Strings& args, const RunOptions& options = {});

} // namespace zkt

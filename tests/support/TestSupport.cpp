#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <system_error>

extern char** environ;

namespace zkt {

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "zk_test_XXXXXX").string();
    m_dir = mkdtemp(pattern.data()) ? pattern : "/nonexistent";
}

ScratchDir::~ScratchDir() {
    // Tests take write permission from folders; give it back so that
    // everything below can go.
    std::error_code ec;
    fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(m_dir, ec); !ec && it != fs::end(it);
         it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_dir, ec);
}

Strings ScratchDir::Files() const {
    return FilesIn(m_dir);
}

Strings Lines(const std::string& text) {
    Strings lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

Strings FilesIn(const fs::path& dir) {
    Strings names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Strings FilesBelow(const fs::path& root) {
    Strings files = EntriesBelow(root, true);
    for (std::string& file : files)
        file = (root / file).string();
    return files;
}

Strings EntriesBelow(const fs::path& root, bool filesOnly) {
    Strings entries;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (!filesOnly || entry.is_regular_file())
            entries.push_back(fs::relative(entry.path(), root).string());
    std::sort(entries.begin(), entries.end());
    return entries;
}

namespace {

// The process environment with the entries given added or replaced.
Strings Environment(const Strings& extra) {
    Strings env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string& entry : extra) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        env.erase(std::remove_if(
                      env.begin(), env.end(),
                      [&](const std::string& e) { return e.compare(0, name.size(), name) == 0; }),
                  env.end());
        env.push_back(entry);
    }
    return env;
}

std::vector<char*> Pointers(Strings& texts) {
    std::vector<char*> pointers;
    for (std::string& t : texts)
        pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

RunResult RunProgram(const std::string& program, const Strings& args, const RunOptions& options) {
    std::unique_ptr<ScratchDir> scratch;
    fs::path captureDir = options.captureDir;
    if (captureDir.empty()) {
        scratch = std::make_unique<ScratchDir>();
        captureDir = scratch->Path();
    }
    const fs::path out = captureDir / "stdout.txt", err = captureDir / "stderr.txt";
    Strings argvTexts = {program};
    argvTexts.insert(argvTexts.end(), args.begin(), args.end());
    Strings envTexts = Environment(options.env);
    std::vector<char*> argv = Pointers(argvTexts), envp = Pointers(envTexts);

    RunResult result;
    const pid_t pid = fork();
    if (pid == 0) {
        if (options.interruptGroup)
            setpgid(0, 0);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0)
            _exit(127);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0)
        return result;
    if (options.interruptGroup)
        setpgid(pid, pid); // either side may run first
    const pid_t target = options.interruptGroup ? -pid : pid;
    int status = 0;
    if (!options.interruptWhen) {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    } else {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waitpid(pid, &status, WNOHANG) != pid) {
            if (!result.interrupted && options.interruptWhen()) {
                kill(target, SIGINT);
                result.interrupted = true;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(target, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            usleep(500);
        }
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

const std::string& XsihostPath() {
    static const std::string path = XSIHOST_PATH;
    return path;
}

RunResult RunXsihost(const Strings& args, const RunOptions& options) {
    return RunProgram(XsihostPath(), args, options);
}

} // namespace zkt

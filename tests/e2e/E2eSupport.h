// Helpers of the end-to-end tests: running the built xsihost (or valgrind on
// it) as a program, a fresh output folder per test, and reading back what a
// bake wrote.
#pragma once

#include "inspect/ZK_Inspect.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct RunResult {
    int exitCode = -1; // -1 when the program did not exit normally
    std::string out, err;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline Strings Lines(const std::string& text) {
    Strings lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// A folder of its own for the running test, empty, below the build folder;
// tests may run in parallel.
inline fs::path TestDir() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir =
        fs::path(ZK_E2E_OUT_DIR) / (std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Runs a program with the arguments, each quoted for the shell; stdout and
// stderr are kept in the capture folder.
inline RunResult RunProgram(const std::string& program, const Strings& args,
                            const fs::path& captureDir) {
    auto quote = [](const std::string& s) {
        std::string q = "'";
        for (char c : s)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    const fs::path out = captureDir / "stdout.txt", err = captureDir / "stderr.txt";
    std::string command = quote(program);
    for (const std::string& a : args)
        command += " " + quote(a);
    const int status = std::system((command + " >" + quote(out) + " 2>" + quote(err)).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

inline RunResult Xsihost(const Strings& args, const fs::path& captureDir) {
    return RunProgram(XSIHOST_PATH, args, captureDir);
}

// Starts xsihost, waits until the file watched holds more than size bytes,
// sends it one SIGINT (as one Ctrl-C does) and waits for it to end.
// *interrupted tells whether the signal was sent before the program ended.
inline RunResult XsihostInterrupted(const Strings& args, const fs::path& watched, uintmax_t size,
                                    const fs::path& captureDir, bool* interrupted) {
    const fs::path out = captureDir / "stdout.txt", err = captureDir / "stderr.txt";
    std::vector<char*> argv;
    std::string program = XSIHOST_PATH;
    argv.push_back(program.data());
    Strings copies = args;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0)
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    *interrupted = false;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            break;
        std::error_code ec;
        const uintmax_t now = fs::file_size(watched, ec);
        if (!*interrupted && !ec && now > size) {
            kill(pid, SIGINT);
            *interrupted = true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        usleep(500);
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

// Runs `xsihost bake --quiet <options> <out>`.
inline RunResult Bake(Strings options, const fs::path& out, const fs::path& captureDir) {
    options.insert(options.begin(), {"bake", "--quiet"});
    options.push_back(out.string());
    return Xsihost(options, captureDir);
}

// Every regular file below a folder, as full paths, sorted.
inline Strings FilesBelow(const fs::path& root) {
    Strings files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

inline ZK_MddFile ReadMdd(const fs::path& path) {
    ZK_MddFile mdd;
    std::string error;
    EXPECT_TRUE(ZK_ReadMdd(path.string(), &mdd, &error)) << error;
    return mdd;
}

inline ZK_ZscFile ReadZsc(const fs::path& path) {
    ZK_ZscFile zsc;
    std::string error;
    EXPECT_TRUE(ZK_ReadZsc(path.string(), &zsc, &error)) << error;
    return zsc;
}

// Point i of frame block b of an MDD file, as stored (z negated).
using P3 = std::array<double, 3>;
inline P3 MddPoint(const ZK_MddFile& mdd, int64_t block, int point) {
    const float* p = &mdd.points[(static_cast<size_t>(block) * mdd.pointCount + point) * 3];
    return {p[0], p[1], p[2]};
}

} // namespace e2e

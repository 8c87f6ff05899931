// Helpers of the end-to-end tests: running the built xsihost (or valgrind on
// it) as a program, a fresh output folder per test, and reading back what a
// bake wrote.
#pragma once

#include "inspect/ZK_Inspect.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1; // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

inline bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

inline bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A folder of its own for the running test, empty, below the build folder;
// tests may run in parallel.
inline fs::path TestDir() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir =
        fs::path(ZK_E2E_OUT_DIR) / (std::string(info->test_suite_name()) + "." + info->name());
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    return dir;
}

// Runs a program with the arguments (no shell), stdout and stderr captured.
inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const fs::path& captureDir) {
    const std::string outPath = (captureDir / "stdout.txt").string();
    const std::string errPath = (captureDir / "stderr.txt").string();
    RunResult r;
    const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (outFd < 0 || errFd < 0) {
        ADD_FAILURE() << "cannot create the capture files in " << captureDir;
        return r;
    }
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0) {
        waitpid(pid, &status, 0);
    }
    close(outFd);
    close(errFd);
    r.exitCode = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    return r;
}

// Runs xsihost; stdout and stderr are kept beside the test's outputs.
inline RunResult Xsihost(const std::vector<std::string>& args, const fs::path& captureDir) {
    return RunProgram(XSIHOST_PATH, args, captureDir);
}

inline std::string Example(const std::string& name) {
    return std::string(ZK_EXAMPLES_DIR) + "/" + name;
}

// Every regular file below a folder, as full paths, sorted.
inline std::vector<std::string> FilesBelow(const fs::path& root) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// One line of `xsihost list`: name, kind, class id, point count.
struct ListedItem {
    std::string name;
    std::string kind;
    int classId = 0;
    int pointCount = 0;
};

inline std::vector<ListedItem> ListItems(const std::vector<std::string>& sceneArgs,
                                         const fs::path& captureDir) {
    std::vector<std::string> args = {"list"};
    args.insert(args.end(), sceneArgs.begin(), sceneArgs.end());
    const RunResult r = Xsihost(args, captureDir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<ListedItem> items;
    for (const std::string& line : Lines(r.out)) {
        std::istringstream in(line);
        ListedItem item;
        in >> item.name >> item.kind >> item.classId >> item.pointCount;
        EXPECT_TRUE(in && in.peek() == EOF) << "list line: " << line;
        items.push_back(item);
    }
    return items;
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
struct Stored {
    float x, y, z;
};
inline Stored MddPoint(const ZK_MddFile& mdd, int64_t block, int point) {
    const size_t at = (static_cast<size_t>(block) * mdd.pointCount + point) * 3;
    return {mdd.points[at], mdd.points[at + 1], mdd.points[at + 2]};
}

// The stand-in host's model file (host/scene/ModelFile.h): little-endian
// "EMDL", version, point count, polygon count, the points, the polygons.
struct ModelFile {
    uint32_t pointCount = 0;
    uint32_t polygonCount = 0;
    std::vector<Stored> points;
};

inline uint32_t LittleU32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return v;
}

inline ModelFile ReadModelFile(const fs::path& path) {
    ModelFile m;
    const std::string bytes = ReadFile(path.string());
    if (bytes.size() < 16 || bytes.compare(0, 4, "EMDL") != 0 || LittleU32(bytes, 4) != 1) {
        ADD_FAILURE() << path << " is no model file";
        return m;
    }
    m.pointCount = LittleU32(bytes, 8);
    m.polygonCount = LittleU32(bytes, 12);
    if (bytes.size() < 16 + 12 * static_cast<size_t>(m.pointCount)) {
        ADD_FAILURE() << path << " is shorter than its points";
        return m;
    }
    for (uint32_t i = 0; i < m.pointCount; ++i) {
        float v[3];
        for (int k = 0; k < 3; ++k) {
            const uint32_t bits = LittleU32(bytes, 16 + 12 * i + 4 * k);
            std::memcpy(&v[k], &bits, 4);
        }
        m.points.push_back({v[0], v[1], v[2]});
    }
    return m;
}

} // namespace e2e

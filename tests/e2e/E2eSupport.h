// Helpers of the end-to-end tests: running the built xsihost (or valgrind on
// it) as a program, a fresh output folder per test, and reading back what a
// bake wrote.
#pragma once

#include "inspect/ZK_Inspect.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;
using zkt::Contains;
using zkt::EntriesBelow;
using zkt::FilesBelow;
using zkt::Lines;
using zkt::ReadFile;
using zkt::RunResult;
using zkt::StartsWith;
using zkt::Strings;

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

// Runs a program with the arguments; stdout and stderr are kept in the
// capture folder.
inline RunResult RunProgram(const std::string& program, const Strings& args,
                            const fs::path& captureDir) {
    return zkt::RunProgram(program, args, {{}, captureDir, {}});
}

inline RunResult Xsihost(const Strings& args, const fs::path& captureDir) {
    return RunProgram(zkt::XsihostPath(), args, captureDir);
}

// The size of a file, or of the largest file in a folder (a bake writes its
// files under temporary names there until they are complete); 0 when there
// is none.
inline uintmax_t WatchedSize(const fs::path& watched) {
    std::error_code ec;
    if (!fs::is_directory(watched, ec)) {
        const uintmax_t size = fs::file_size(watched, ec);
        return ec ? 0 : size;
    }
    uintmax_t largest = 0;
    for (fs::directory_iterator it(watched, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code sizeError;
        const uintmax_t size = fs::file_size(it->path(), sizeError);
        if (!sizeError)
            largest = std::max(largest, size);
    }
    return largest;
}

// Starts xsihost, waits until the file watched (or the largest file of the
// folder watched) holds more than size bytes, sends it one SIGINT (as one
// Ctrl-C does) and waits for it to end. *interrupted tells whether the
// signal was sent before the program ended.
inline RunResult XsihostInterrupted(const Strings& args, const fs::path& watched, uintmax_t size,
                                    const fs::path& captureDir, bool* interrupted) {
    const RunResult r =
        zkt::RunXsihost(args, {{}, captureDir, [&] { return WatchedSize(watched) > size; }});
    *interrupted = r.interrupted;
    return r;
}

// Runs `xsihost bake --quiet <options> <out>`.
inline RunResult Bake(Strings options, const fs::path& out, const fs::path& captureDir) {
    options.insert(options.begin(), {"bake", "--quiet"});
    options.push_back(out.string());
    return Xsihost(options, captureDir);
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

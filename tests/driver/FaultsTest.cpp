// Every file operation of a demo bake made to fail in turn, one per run of
// xsihost, through a preloaded library (FaultShim.cpp): each run must end
// with a failure status and one message of the plug-in (none when xsihost
// itself cannot make a folder), without a crash, and every file it leaves
// that differs from a clean bake must be named by a message, so that nothing
// incomplete passes for complete.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using zkt::Lines;
using zkt::Read;
using zkt::StartsWith;
using zkt::Strings;
using Tree = std::map<std::string, std::string>; // relative path -> bytes

Tree Files(const fs::path& root) {
    Tree tree;
    if (fs::exists(root))
        for (const std::string& file : zkt::EntriesBelow(root, true))
            tree[file] = Read(root / file);
    return tree;
}

// The files that are not in both trees with the same bytes.
Strings Differing(const Tree& a, const Tree& b) {
    Strings names;
    for (const auto& [file, bytes] : a) {
        auto it = b.find(file);
        if (it == b.end() || it->second != bytes)
            names.push_back(file);
    }
    for (const auto& [file, bytes] : b)
        if (!a.count(file))
            names.push_back(file);
    return names;
}

struct Outcome {
    int exitCode = -1; // -1 when xsihost did not exit by itself
    Strings out, err;
    Strings operations; // as the shim logged them
    std::string failed; // the operation that failed, empty when none did
};

// xsihost bake --quiet OPTIONS OUT with the k-th file operation below OUT
// failing (none when k is 0).
Outcome BakeFailingAt(long k, const Strings& options, const fs::path& out,
                      const fs::path& scratch) {
    const fs::path log = scratch / "operations.txt";
    fs::remove(log);
    Strings args = {"bake", "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(out.string());
    const zkt::RunResult r = zkt::RunXsihost(
        args, {{"LD_PRELOAD=" ZK_FAULT_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0",
                "ZK_FAULT_DIR=" + out.string(), "ZK_FAULT_AT=" + std::to_string(k),
                "ZK_FAULT_LOG=" + log.string()},
               scratch,
               {}});
    Outcome o;
    o.exitCode = r.exitCode;
    o.out = Lines(r.out);
    o.err = Lines(r.err);
    o.operations = Lines(Read(log));
    for (const std::string& op : o.operations)
        if (op.size() > 7 && op.compare(op.size() - 7, 7, " FAILED") == 0)
            o.failed = op;
    return o;
}

TEST(FaultInjection, EveryFileOperationOfADemoBakeFailsCleanly) {
    const zkt::ScratchDir scratchDir;
    const fs::path scratch = scratchDir.Path();
    const std::string plugin = "ERROR: ZK_XSI_Baker - ";

    const Strings bakes[] = {{"--demo"}, {"--demo", "--motion-files"}};
    for (const Strings& options : bakes) {
        SCOPED_TRACE(options.back());
        // Every run bakes into the same folder (the scene files hold its
        // path), made afresh: the clean bake first, to compare with.
        const fs::path out = scratch / "out";
        const Outcome clean = BakeFailingAt(0, options, out, scratch);
        ASSERT_EQ(clean.exitCode, 0);
        ASSERT_FALSE(clean.operations.empty()) << "the shim saw no file operation";
        const Tree reference = Files(out);
        fs::remove_all(out);

        for (long k = 1;; ++k) {
            const Outcome run = BakeFailingAt(k, options, out, scratch);
            if (run.failed.empty()) {
                // Past the last operation: the bake completes as the clean
                // one did.
                EXPECT_EQ(run.exitCode, 0);
                EXPECT_EQ(Differing(Files(out), reference), Strings{});
                EXPECT_EQ(run.operations.size(), clean.operations.size());
                fs::remove_all(out);
                break;
            }
            SCOPED_TRACE(run.failed);
            ASSERT_LT(k, 1000) << "more operations than a demo bake makes";
            // A failure status, never a crash.
            EXPECT_TRUE(run.exitCode == 1 || run.exitCode == 2) << run.exitCode;

            // One message of the plug-in, naming the files it left
            // incomplete; a folder xsihost cannot make stops it before the
            // plug-in runs, with one line of its own.
            std::set<std::string> named;
            int messages = 0;
            for (const std::string& line : run.err)
                if (StartsWith(line, plugin)) {
                    ++messages;
                    named.insert(line.substr(line.rfind(": ") + 2));
                }
            if (run.failed.find(" mkdir ") != std::string::npos) {
                EXPECT_EQ(run.exitCode, 2);
                EXPECT_EQ(messages, 0);
                EXPECT_FALSE(run.err.empty());
            } else {
                EXPECT_EQ(messages, 1) << ::testing::PrintToString(run.err);
            }

            // Every file left behind is complete or named as not, and so is
            // every file xsihost lists on a line of its own.
            const Tree left = Files(out);
            std::set<std::string> incomplete;
            for (const std::string& file : Differing(left, reference))
                if (left.count(file))
                    incomplete.insert((out / file).string());
            for (const std::string& file : incomplete)
                EXPECT_TRUE(named.count(file)) << file << " is incomplete and not named";
            for (const std::string& line : run.out)
                if (StartsWith(line, out.string() + "/") && !named.count(line)) {
                    EXPECT_TRUE(fs::exists(line)) << line << " is listed but missing";
                    EXPECT_FALSE(incomplete.count(line)) << line << " is listed but incomplete";
                }
            fs::remove_all(out);
        }
    }
}

} // namespace

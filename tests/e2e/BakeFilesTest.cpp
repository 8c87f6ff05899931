// How `xsihost bake` treats its output folder: a failed or cancelled bake
// leaves every file that was complete before it as it was, and names it; no
// output is written through a symbolic link; one bake per folder at a time;
// as many meshes as the open-file limit allows; the free space counted for
// every output.
#include "E2eSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <limits>

namespace e2e {
namespace {

// What a bake with the demo scene's Grid over frames 1 to `last` writes.
const char* const kGridFiles[] = {"emdl/Grid.emdl", "lwo/Grid.lwo", "mdd/Grid.mdd", "scene.fxs",
                                  "scene.lws",      "scene.mel",    "scene.zsc"};

Strings GridBake(int last) {
    return {"--demo", "--items", "Grid", "--frames", "1:" + std::to_string(last)};
}

// Every file below a folder with its bytes.
std::map<std::string, std::string> Contents(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const std::string& rel : EntriesBelow(root, true))
        files[rel] = ReadFile(root / rel);
    return files;
}

// xsihost bake --quiet with the first file operation on paths starting with
// `failing` refused as a full disk refuses it (tests/driver/FaultShim.cpp).
RunResult BakeWithFault(const Strings& options, const fs::path& out, const fs::path& failing,
                        const fs::path& dir) {
    Strings args = {"bake", "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(out.string());
    return zkt::RunXsihost(args,
                           {{"LD_PRELOAD=" ZK_FAULT_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0",
                             "ZK_FAULT_DIR=" + failing.string(), "ZK_FAULT_AT=1",
                             "ZK_FAULT_LOG=" + (dir / "faults.txt").string()},
                            dir,
                            {}});
}

// The lines of a text that start with a prefix, without it.
Strings LinesAfter(const std::string& text, const std::string& prefix) {
    Strings out;
    for (const std::string& line : Lines(text))
        if (StartsWith(line, prefix))
            out.push_back(line.substr(prefix.size()));
    return out;
}

bool AnyTemporaryFile(const fs::path& root) {
    for (const std::string& rel : EntriesBelow(root))
        if (Contains(rel, ".xsihost-"))
            return true;
    return false;
}

} // namespace

// A bake over a complete one that fails (a file the disk refuses) or is
// cancelled: each file it did not complete is the earlier one, byte for
// byte, named as left as it was; what it completed replaces the earlier
// file; no temporary file is left.
TEST(BakeFiles, AFailedOrCancelledBakeLeavesTheEarlierFilesAsTheyWere) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    constexpr int kLong = 30000; // frames of 1024 points: 368 MB if it ran to the end
    // A file other than a cache is complete only when the command returned
    // OK; a cache when it holds every frame.
    const Strings allButCache = {"emdl/Grid.emdl", "lwo/Grid.lwo", "scene.fxs",
                                 "scene.lws",      "scene.mel",    "scene.zsc"};
    const struct {
        const char* what;
        const char* failing; // below out; empty: cancelled instead
        Strings kept;        // the earlier files left as they were
    } cases[] = {
        // The MEL script cannot be made: the cache is whole and replaced.
        {"mel refused", "scene.mel", allButCache},
        // The cache cannot be made: the command stops after the mesh files.
        {"cache refused",
         "mdd/Grid.mdd",
         {"emdl/Grid.emdl", "lwo/Grid.lwo", "mdd/Grid.mdd", "scene.fxs", "scene.lws", "scene.mel",
          "scene.zsc"}},
        // Ctrl-C during the walk: the cache holds part of the frames.
        {"cancelled",
         "",
         {"emdl/Grid.emdl", "lwo/Grid.lwo", "mdd/Grid.mdd", "scene.fxs", "scene.lws", "scene.mel",
          "scene.zsc"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        ASSERT_EQ(Bake(GridBake(3), out, dir).exitCode, 0);
        const std::map<std::string, std::string> earlier = Contents(out);
        ASSERT_EQ(earlier.size(), 7u);

        RunResult r;
        if (*c.failing) {
            r = BakeWithFault(GridBake(5), out, out / c.failing, dir);
            EXPECT_EQ(r.exitCode, 1) << r.err;
        } else {
            bool interrupted = false;
            Strings args = {"bake", "--quiet"};
            for (const std::string& a : GridBake(kLong))
                args.push_back(a);
            args.push_back(out.string());
            r = XsihostInterrupted(args, out / "mdd", 8 + 4 * kLong + 2 * 1024 * 12, dir,
                                   &interrupted);
            ASSERT_TRUE(interrupted);
            EXPECT_EQ(r.exitCode, 130) << r.err;
        }
        Strings kept;
        for (const std::string& rel : c.kept)
            kept.push_back((out / rel).string());
        EXPECT_EQ(LinesAfter(r.err, "xsihost: left as it was: "), kept) << r.err;
        const std::map<std::string, std::string> now = Contents(out);
        EXPECT_EQ(now.size(), 7u);
        for (const char* rel : kGridFiles) {
            ASSERT_TRUE(now.count(rel)) << rel;
            const bool isKept = std::find(c.kept.begin(), c.kept.end(), rel) != c.kept.end();
            EXPECT_EQ(now.at(rel) == earlier.at(rel), isKept) << rel;
        }
        // What was listed as complete is the new bake's, a cache of 5 frames.
        for (const std::string& line : Lines(r.out))
            EXPECT_EQ(std::find(kept.begin(), kept.end(), line), kept.end()) << line;
        if (std::string(c.what) == "mel refused") {
            const ZK_MddFile mdd = ReadMdd(out / "mdd" / "Grid.mdd");
            EXPECT_TRUE(mdd.complete);
            EXPECT_EQ(mdd.frameCount, 5);
        }
        EXPECT_FALSE(AnyTemporaryFile(out));
    }

    // Into an empty folder, a file the command left incomplete is put in
    // place and named as incomplete, as before.
    fs::remove_all(out);
    const RunResult r = BakeWithFault(GridBake(3), out, out / "mdd" / "Grid.mdd", dir);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LinesAfter(r.err, "xsihost: left as it was: "), Strings{});
    EXPECT_EQ(LinesAfter(r.err, "xsihost: incomplete: "),
              (Strings{(out / "emdl/Grid.emdl").string(), (out / "lwo/Grid.lwo").string()}));
    EXPECT_FALSE(AnyTemporaryFile(out));
}

// A symbolic link where an output or an output folder goes is refused
// before anything is written: the file it points to stays as it is, and a
// dangling link makes no file.
TEST(BakeFiles, OutputsAreNeverWrittenThroughALink) {
    const fs::path dir = TestDir();
    const fs::path elsewhere = dir / "elsewhere";
    fs::create_directories(elsewhere / "mdd");
    std::ofstream(elsewhere / "precious.txt") << "precious";
    const struct {
        const char* link;   // below OUT
        fs::path target;    // what it points to
        const char* folder; // "folder" or "path"
    } cases[] = {
        {"scene.mel", elsewhere / "precious.txt", "path"},
        {"scene.lws", elsewhere / "dangling.lws", "path"},
        {"mdd/Grid.mdd", elsewhere / "precious.txt", "path"},
        {"mdd", elsewhere / "mdd", "folder"},
        {"lwo", elsewhere / "lwo", "folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        const fs::path out = dir / "out";
        fs::remove_all(out);
        fs::create_directories((out / c.link).parent_path());
        fs::create_symlink(c.target, out / c.link);
        const Strings before = EntriesBelow(out);
        const RunResult r = Bake(GridBake(3), out, dir);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string("xsihost: the output ") + c.folder + " \"" +
                             (out / c.link).string() +
                             "\" is a symbolic link; bake writes nothing through a link: remove "
                             "it or bake into another folder\n");
        EXPECT_EQ(EntriesBelow(out), before);
        EXPECT_EQ(ReadFile(elsewhere / "precious.txt"), "precious");
        EXPECT_EQ(EntriesBelow(elsewhere), (Strings{"mdd", "precious.txt"}));
    }
    // OUT itself may be a link: the folder the user names.
    fs::remove_all(dir / "out");
    fs::create_symlink(elsewhere, dir / "out");
    EXPECT_EQ(Bake(GridBake(3), dir / "out", dir).exitCode, 0);
    EXPECT_TRUE(fs::is_regular_file(elsewhere / "mdd" / "Grid.mdd"));
}

// A second bake into a folder a bake is writing into is refused, naming
// the first; the lock goes with the bake however it ends, and a lock file
// left by a bake that was killed holds nothing.
TEST(BakeFiles, OneBakePerOutputFolderAtATime) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const fs::path lockPath = out / ".xsihost-bake.lock";
    {
        // A bake that holds the folder, as the lock file tells it.
        const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
        const std::string holder = "process 4242 on farm7, started 2024-05-01 10:00:00\n";
        ASSERT_EQ(write(fd, holder.data(), holder.size()), static_cast<ssize_t>(holder.size()));
        const RunResult r = Bake(GridBake(3), out, dir);
        close(fd);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, "xsihost: another bake is writing into \"" + out.string() +
                             "\" (process 4242 on farm7, started 2024-05-01 10:00:00); one bake "
                             "per output folder at a time\n");
        EXPECT_EQ(EntriesBelow(out), Strings{".xsihost-bake.lock"});
    }
    // Unlocked, the same file left behind is no obstacle; the bake removes
    // it when it is done, and the temporary files a killed bake left.
    std::ofstream(lockPath) << "process 1 on gone, started long ago\n";
    fs::create_directories(out / "mdd");
    std::ofstream(out / "mdd" / ".xsihost-3.part") << "partial";
    const RunResult r = Bake(GridBake(3), out, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    Strings expected(std::begin(kGridFiles), std::end(kGridFiles));
    EXPECT_EQ(EntriesBelow(out, true), expected);
}

// xsihost raises its open-file limit to the hard limit: a bake of more
// meshes than the soft limit allows goes through; one that needs more than
// the hard limit is refused before anything is written, naming the numbers.
TEST(BakeFiles, AsManyMeshesAsTheOpenFileLimitAllows) {
    const fs::path dir = TestDir();
    // 300 nodes of one triangle mesh: 300 mesh items, 300 caches.
    std::string nodes, list;
    for (int i = 0; i < 300; ++i) {
        nodes += std::string(i ? "," : "") + "{\"name\":\"n" + std::to_string(i) + "\",\"mesh\":0}";
        list += std::string(i ? "," : "") + std::to_string(i);
    }
    const fs::path scene = dir / "many.gltf";
    std::ofstream(scene)
        << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[)" << list
        << R"(]}],"nodes":[)" << nodes
        << R"(],"meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
        << R"("buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,)"
        << R"(AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}],)"
        << R"("bufferViews":[{"buffer":0,"byteLength":36}],)"
        << R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",)"
        << R"("min":[0,0,0],"max":[1,1,0]}]})";
    const auto bakeUnder = [&](const std::string& ulimit, const fs::path& out) {
        return zkt::RunProgram("sh",
                               {"-c", ulimit + " && exec \"$0\" \"$@\"", zkt::XsihostPath(), "bake",
                                "--quiet", "--scene", scene.string(), "--outputs", "mdd",
                                "--frames", "1:2", out.string()},
                               {{}, dir, {}});
    };
    // A soft limit of 64 files, the hard one as it is (the test machines
    // allow more than 400).
    const RunResult raised = bakeUnder("ulimit -Sn 64", dir / "raised");
    EXPECT_EQ(raised.exitCode, 0) << raised.err;
    EXPECT_EQ(Lines(raised.out).size(), 300u);
    // Both limits 256.
    const RunResult refused = bakeUnder("ulimit -n 256", dir / "refused");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(StartsWith(refused.err, "xsihost: the bake keeps its 300 point caches open at "
                                        "once and needs "))
        << refused.err;
    EXPECT_TRUE(Contains(refused.err, " open files in all, but xsihost may open 256 (the hard "
                                      "limit of open files, ulimit -Hn); bake fewer meshes at "
                                      "a time with --items, or raise the limit\n"))
        << refused.err;
    EXPECT_FALSE(fs::exists(dir / "refused"));
    // At the limit the bake needs it goes through; one file fewer is refused.
    const std::string needs = "and needs ";
    const size_t at = refused.err.find(needs);
    ASSERT_NE(at, std::string::npos) << refused.err;
    const int needed = std::stoi(refused.err.substr(at + needs.size()));
    ASSERT_GT(needed, 300);
    const RunResult atLimit = bakeUnder("ulimit -n " + std::to_string(needed), dir / "at");
    EXPECT_EQ(atLimit.exitCode, 0) << atLimit.err;
    EXPECT_EQ(Lines(atLimit.out).size(), 300u);
    const RunResult below = bakeUnder("ulimit -n " + std::to_string(needed - 1), dir / "below");
    EXPECT_EQ(below.exitCode, 2);
    EXPECT_TRUE(Contains(below.err, "needs " + std::to_string(needed) +
                                        " open files in all, but xsihost may open " +
                                        std::to_string(needed - 1) + " "))
        << below.err;
    EXPECT_FALSE(fs::exists(dir / "below"));
}

// The free space is checked for every output, not only the caches: a
// camera's scene files over two billion frames are refused up front.
TEST(BakeFiles, TheFreeSpaceCheckCountsTheSceneFiles) {
    const fs::path dir = TestDir();
    const RunResult r = Bake({"--demo", "--items", "Camera", "--frames", "-999999999:1000000000"},
                             dir / "out", dir);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(StartsWith(r.err, "xsihost: the files need about ")) << r.err;
    EXPECT_TRUE(Contains(r.err, " bytes (0 of them point caches), but ")) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out"));
}

} // namespace e2e

namespace e2e {
namespace {

// A glTF scene of one triangle, "Tri", whose corners lie on the three axes
// at (at, 0, 0), (0, -at, 0) and (0, 0, atZ), and whose node is scaled by
// `scale`, or, when `scaleAt1s` is set, by a scale keyed linearly from 1 at
// 0 s to it at 1 s. Its buffer is a file of its own beside it:
// little-endian floats.
void WriteTriangle(const fs::path& scene, float at, float atZ, double scale,
                   double scaleAt1s = 0.0) {
    std::string bin;
    const auto put = [&bin](float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int i = 0; i < 4; ++i)
            bin += static_cast<char>((bits >> (8 * i)) & 0xFF);
    };
    for (float v : {at, 0.0f, 0.0f, 0.0f, -at, 0.0f, 0.0f, 0.0f, atZ})
        put(v);
    for (float v : {0.0f, 1.0f, 1.0f, 1.0f, 1.0f})
        put(v); // key times, and the scale at 0 s
    for (int i = 0; i < 3; ++i)
        put(static_cast<float>(scaleAt1s));
    std::ofstream(scene.string() + ".bin", std::ios::binary) << bin;
    const auto text = [](double v) {
        char number[64];
        std::snprintf(number, sizeof number, "%.17g", v);
        return std::string(number);
    };
    const std::string s = text(scale), big = text(std::max(at, atZ));
    std::ofstream(scene)
        << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
        << R"("nodes":[{"name":"Tri","mesh":0,"scale":[)" << s << "," << s << "," << s << "]}],"
        << R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
        << R"("buffers":[{"byteLength":68,"uri":")" << scene.filename().string() << R"(.bin"}],)"
        << R"("bufferViews":[{"buffer":0,"byteLength":36},{"buffer":0,"byteOffset":36,)"
        << R"("byteLength":8},{"buffer":0,"byteOffset":44,"byteLength":24}],)"
        << R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",)"
        << R"("min":[-)" << big << ",-" << big << ",-" << big << R"(],"max":[)" << big << "," << big
        << "," << big << R"(]},{"bufferView":1,"componentType":5126,"count":2,"type":"SCALAR",)"
        << R"("min":[0],"max":[1]},{"bufferView":2,"componentType":5126,"count":2,"type":"VEC3"}])"
        << (scaleAt1s != 0.0 ? R"(,"animations":[{"samplers":[{"input":1,"output":2}],)"
                               R"("channels":[{"sampler":0,"target":{"node":0,"path":"scale"}}]}])"
                             : "")
        << "}";
}

} // namespace

// Points a 32-bit float cannot hold at some frame (past the largest float
// once mapped by the item's transform, or not finite) fail the bake with
// one line naming the item and the first such frame; nothing it wrote is
// put in place, and an earlier bake stays as it was. The largest float
// itself bakes; the points in the mesh's own space (--local) are checked
// there.
TEST(BakeFiles, PointsAFloatCannotHoldFailTheBake) {
    const fs::path dir = TestDir();
    // The largest float is 3.4028e38 (2^128 - 2^104); a cache's z holds
    // less than 2^127, 1.7014e38, as it stores z - 2z in floats. A scene
    // file's own vertices reach 1e30 at most: its scale takes them further.
    const std::string range = "leave the range of 32-bit floats at frame ";
    const struct {
        const char* what;
        float at, atZ;
        double scale, scaleAt1s;
        Strings options;
        std::string fault; // the line's middle; empty: baked
    } cases[] = {
        {"1e10 scaled by 1e30", 1e10f, 1e10f, 1e30, 0.0, {}, range + "1 in world space"},
        {"the same in its own space", 1e10f, 1e10f, 1e30, 0.0, {"--local"}, ""},
        {"x and y at 3.37e38", 9.9e29f, 1.0f, 3.4e8, 0.0, {}, ""},
        {"x and y at 3.42e38", 9.9e29f, 1.0f, 3.45e8, 0.0, {}, range + "1 in world space"},
        {"z at 1.683e38", 9.9e29f, 9.9e29f, 1.7e8, 0.0, {}, ""},
        {"z at 1.703e38", 9.9e29f, 9.9e29f, 1.72e8, 0.0, {}, range + "1 in world space"},
        // 1e10 * (1 + (1e30 - 1) * f / 30): 3.3e38 at frame 1, 6.7e38 at 2.
        {"scaled up to 1e30 at 1 s",
         1e10f,
         1.0f,
         1.0,
         1e30,
         {"--frames", "0:30"},
         range + "2 in world space"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path scene = dir / "tri.gltf";
        WriteTriangle(scene, c.at, c.atZ, c.scale, c.scaleAt1s);
        const fs::path out = dir / "out";
        fs::remove_all(out);
        Strings options = {"--scene", scene.string()};
        options.insert(options.end(), c.options.begin(), c.options.end());
        if (c.scaleAt1s == 0.0)
            options.insert(options.end(), {"--frames", "1:3"});
        const RunResult r = Bake(options, out, dir);
        if (!c.fault.empty()) {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "xsihost: the points of Tri " + c.fault +
                                 "; nothing this bake wrote was put in place\n");
            EXPECT_FALSE(fs::exists(out)); // nor its folders, left empty
            continue;
        }
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const ZK_MddFile mdd = ReadMdd(out / "mdd" / "Tri.mdd");
        ASSERT_TRUE(mdd.complete);
        ASSERT_EQ(mdd.pointCount, 3);
        // Where the scale is applied (world space), the file's float times it.
        const bool local = !c.options.empty();
        const float at = local ? c.at : static_cast<float>(c.at * c.scale);
        const float atZ = local ? c.atZ : static_cast<float>(c.atZ * c.scale);
        for (int64_t block = 0; block < mdd.blockCount; ++block) {
            EXPECT_EQ(MddPoint(mdd, block, 0), (P3{at, 0, 0}));
            EXPECT_EQ(MddPoint(mdd, block, 1), (P3{0, -at, 0}));
            EXPECT_EQ(MddPoint(mdd, block, 2), (P3{0, 0, -atZ})); // z as stored: negated
        }
    }

    // Over an earlier complete bake: every file stays as it was, named.
    const fs::path scene = dir / "grows.gltf";
    WriteTriangle(scene, 1e10f, 1.0f, 1.0, 1e30);
    const fs::path out = dir / "earlier";
    ASSERT_EQ(Bake({"--scene", scene.string(), "--frames", "0:1"}, out, dir).exitCode, 0);
    const std::map<std::string, std::string> before = Contents(out);
    const RunResult r = Bake({"--scene", scene.string(), "--frames", "0:30"}, out, dir);
    EXPECT_EQ(r.exitCode, 1);
    Strings kept;
    for (const auto& [rel, bytes] : before)
        if (!fs::is_directory(out / rel))
            kept.push_back((out / rel).string());
    EXPECT_EQ(LinesAfter(r.err, "xsihost: left as it was: "), kept) << r.err;
    EXPECT_EQ(Lines(r.err).back(), "xsihost: the points of Tri leave the range of 32-bit floats "
                                   "at frame 2 in world space; nothing this bake wrote was put "
                                   "in place");
    EXPECT_TRUE(Contents(out) == before);
    EXPECT_FALSE(AnyTemporaryFile(out));
}

} // namespace e2e

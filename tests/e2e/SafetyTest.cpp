// Hostile and careless use of the real programs: output places that would
// leave the output folder, values that do not read, requests that cannot be
// met, a bake cancelled with Ctrl-C, a failed bake's leftovers, and files
// that are not regular given to inspect. Each refusal is one line and a
// failure status, before anything is written.
#include "E2eSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>

using namespace e2e;

namespace {

// A node whose translation is keyed from 0 to 20 seconds: 600 frames at 30
// fps, 2,000,000 at 100,000 fps.
constexpr const char* kLongScene = R"({
 "asset": {"version": "2.0"},
 "scene": 0, "scenes": [{"nodes": [0, 1]}],
 "nodes": [{"name": "Mover"}, {"name": "Still"}],
 "buffers": [{"byteLength": 32,
   "uri": "data:application/octet-stream;base64,AAAAAAAAoEEAAAAAAAAAAAAAAAAAAIA/AAAAAAAAAAA="}],
 "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 8},
                 {"buffer": 0, "byteOffset": 8, "byteLength": 24}],
 "accessors": [{"bufferView": 0, "componentType": 5126, "count": 2, "type": "SCALAR",
                "min": [0], "max": [20]},
               {"bufferView": 1, "componentType": 5126, "count": 2, "type": "VEC3"}],
 "animations": [{"samplers": [{"input": 0, "output": 1}],
                 "channels": [{"sampler": 0, "target": {"node": 0, "path": "translation"}}]}]
}
)";

} // namespace

TEST(BakeSafety, RefusesUnsafeOrImpossibleRequestsBeforeWritingAnything) {
    const fs::path dir = TestDir();
    const fs::path work = dir / "work"; // the current folder of each run
    fs::create_directories(work / "a");
    std::ofstream(dir / "long.gltf") << kLongScene;
    const std::string out = (work / "out").string();
    const std::string longOut = out + "/" + std::string(200, 'd');
    const struct {
        Strings args; // after "bake --quiet"; the output folder is given here
        std::string mention;
    } cases[] = {
        // Output folders that are no place, or that the command would read
        // otherwise (a backslash is its separator; a newline splits a line
        // of the LightWave scene).
        {{"--demo", ""}, "the output folder is empty"},
        {{"--demo", "a\\..\\..\\b"}, "holds a backslash"},
        {{"--demo", out + "\nLoadObjectLayer 1 x"}, "holds a control character"},
        {{"--demo", out + "\t"}, "holds a control character"},
        // Prefixes and item names that would leave the output folder.
        {{"--demo", "--prefix", "../../X_", out}, "the prefix \"../../X_\" holds a path separator"},
        {{"--demo", "--prefix", "..", out}, "the prefix \"..\" holds \"..\""},
        {{"--demo", "--prefix", "a\\b", out}, "holds a path separator"},
        {{"--demo", "--prefix", "p\n", out}, "the prefix \"p\\x0A\" holds a control character"},
        {{"--demo", "--items", "../Grid", out}, "the item name \"../Grid\" holds a path separator"},
        {{"--demo", "--items", "Grid,..", out}, "the item name \"..\" holds \"..\""},
        // Items that match nothing.
        {{"--demo", "--items", "NoSuchName", out}, "--items: \"NoSuchName\" names no item"},
        {{"--demo", "--items", "Grid,NoSuchName", out}, "\"NoSuchName\" names no item"},
        {{"--demo", "--items", "", out}, "--items: \"\" names no item"},
        {{"--demo", "--items", "Grid,", out}, "--items: \"\" names no item"},
        {{"--demo", "--items", "grid", out}, "\"grid\" names no item"},
        // Frame rates that are not finite or out of range.
        {{"--demo", "--fps", "nan", out}, "not \"nan\""},
        {{"--demo", "--fps", "inf", out}, "not \"inf\""},
        {{"--demo", "--fps", "1e308", out}, "from 0.001 to 100000"},
        {{"--demo", "--fps", "1e-300", out}, "from 0.001 to 100000"},
        {{"--demo", "--fps", "0.0009", out}, "from 0.001 to 100000"},
        {{"--demo", "--fps", "100001", out}, "from 0.001 to 100000"},
        {{"--demo", "--fps", "30fps", out}, "not \"30fps\""},
        // A scene longer than the limit on its own; it may be baked in parts.
        {{"--scene", (dir / "long.gltf").string(), "--fps", "100000", out},
         "the scene's frame range 0:1000000 is longer than 1000000 frames; bake a part of it "
         "with --frames A:B"},
        // Files that cannot fit the file system; paths the command cannot hold.
        // The scene files of a billion frames (caches that long would not
        // tell their frames apart and are refused before this).
        {{"--demo", "--frames", "1:1000000000", "--outputs", "lws,mel,fxs,zsc", out},
         "bytes free; bake fewer frames or items"},
        {{"--demo", longOut}, "is longer than 254 bytes"},
    };
    for (const auto& c : cases) {
        Strings args = {"bake", "--quiet"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const std::string shown = c.args[0] + " ... " + c.args.back();
        // Run from inside work, so that relative places land there.
        Strings full = {"-c", "cd \"$1\" && shift && exec \"$@\"", "sh", work.string(),
                        zkt::XsihostPath()};
        full.insert(full.end(), args.begin(), args.end());
        const RunResult run = RunProgram("/bin/sh", full, dir);
        EXPECT_EQ(run.exitCode, 2) << shown << "\n" << run.err;
        EXPECT_EQ(Lines(run.err).size(), 1u) << shown << "\n" << run.err;
        EXPECT_TRUE(StartsWith(run.err, "xsihost: ")) << run.err;
        EXPECT_TRUE(Contains(run.err, c.mention)) << shown << "\n" << run.err;
        EXPECT_EQ(run.out, "") << shown;
        // Nothing was written, here or anywhere around.
        EXPECT_EQ(EntriesBelow(work), Strings{"a"}) << shown;
        EXPECT_EQ(EntriesBelow(dir),
                  (Strings{"long.gltf", "stderr.txt", "stdout.txt", "work", "work/a"}))
            << shown;
    }
}

// The host's thread count from the environment: a bad one is refused before
// anything runs; an empty one is no value.
TEST(BakeSafety, RefusesAThreadCountThatIsNoNumberOfThreads) {
    const fs::path dir = TestDir();
    const std::string out = (dir / "out").string();
    for (const char* value : {"abc", "0", "65", "-2", "2x", " 2", "99999999999999999999", "\n"}) {
        const RunResult run = RunProgram("/usr/bin/env",
                                         {std::string("ZK_HOST_THREADS=") + value,
                                          zkt::XsihostPath(), "bake", "--quiet", "--demo", out},
                                         dir);
        EXPECT_EQ(run.exitCode, 2) << value << "\n" << run.err;
        EXPECT_EQ(Lines(run.err).size(), 1u) << value << "\n" << run.err;
        EXPECT_TRUE(StartsWith(run.err, "xsihost: ZK_HOST_THREADS must be a whole number from 1 "
                                        "to 64, not \""))
            << run.err;
        EXPECT_FALSE(fs::exists(out)) << value;
    }
    for (const char* value : {"", "1", "64"}) {
        const RunResult run = RunProgram(
            "/usr/bin/env",
            {std::string("ZK_HOST_THREADS=") + value, zkt::XsihostPath(), "list", "--demo"}, dir);
        EXPECT_EQ(run.exitCode, 0) << value << "\n" << run.err;
    }
}

TEST(BakeSafety, RunReadsSwitchesAndNumbersAsTheCommandReadsThem) {
    const fs::path dir = TestDir();
    const std::string mdd = (dir / "mdd").string();
    fs::create_directories(mdd);
    const std::string cache = mdd + "/Rig.Cube.mdd";
    const struct {
        Strings args; // after "run --quiet --demo ZK_XSI_Baker ZK_ObjString=Rig.Cube"
        int exitCode;
        std::string err; // the whole of stderr
        bool cacheWritten;
    } cases[] = {
        // Switches in any of their words and cases.
        {{"ZK_MDDAct=yes", "ZK_StartFrame=1", "ZK_EndFrame=2"}, 0, "", true},
        {{"ZK_MDDAct=On", "ZK_StartFrame=+1", "ZK_EndFrame=2"}, 0, "", true},
        {{"ZK_MDDAct=TRUE", "ZK_StartFrame=1", "ZK_EndFrame=2"}, 0, "", true},
        {{"ZK_MDDAct=no", "ZK_StartFrame=1", "ZK_EndFrame=2"}, 0, "", false},
        {{"ZK_MDDAct=OFF", "ZK_StartFrame=1", "ZK_EndFrame=2"}, 0, "", false},
        // Values that are not of their argument's kind, refused by name.
        {{"ZK_MDDAct=1", "ZK_StartFrame=abc", "ZK_EndFrame=2"},
         2,
         "xsihost: argument \"ZK_StartFrame\" of command \"ZK_XSI_Baker\" takes a whole number, "
         "not \"abc\"\n",
         false},
        {{"ZK_MDDAct=1", "ZK_StartFrame=1", "ZK_EndFrame=2.5"}, 2, "\"ZK_EndFrame\"", false},
        {{"ZK_MDDAct=1", "ZK_StartFrame=1", "ZK_EndFrame=99999999999"},
         2,
         "\"ZK_EndFrame\"",
         false},
        {{"ZK_MDDAct=1", "ZK_StartFrame=", "ZK_EndFrame=2"}, 2, "\"ZK_StartFrame\"", false},
        {{"ZK_MDDAct=maybe", "ZK_StartFrame=1", "ZK_EndFrame=2"},
         2,
         "xsihost: argument \"ZK_MDDAct\" of command \"ZK_XSI_Baker\" takes a switch (true/false, "
         "1/0, yes/no, on/off), not \"maybe\"\n",
         false},
        {{"ZK_MDDAct=2", "ZK_StartFrame=1", "ZK_EndFrame=2"}, 2, "\"ZK_MDDAct\"", false},
        {{"ZK_MDDAct=1", "ZK_StartFrame=1", "ZK_EndFrame=2", "ZK_LOCALSPACE=local"},
         2,
         "\"ZK_LOCALSPACE\"",
         false},
    };
    for (const auto& c : cases) {
        fs::remove(cache);
        Strings args = {"run",
                        "--quiet",
                        "--demo",
                        "ZK_XSI_Baker",
                        "ZK_ObjString=Rig.Cube",
                        "ZK_FilePath=" + mdd};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = Xsihost(args, dir);
        const std::string shown = c.args[0] + " " + c.args[1] + " " + c.args[2];
        EXPECT_EQ(r.exitCode, c.exitCode) << shown << "\n" << r.err;
        if (c.exitCode == 0 || StartsWith(c.err, "xsihost: ")) {
            EXPECT_EQ(r.err, c.err) << shown;
        } else {
            EXPECT_TRUE(Contains(r.err, c.err) && Lines(r.err).size() == 1) << shown << r.err;
        }
        EXPECT_EQ(fs::exists(cache), c.cacheWritten) << shown;
        if (c.cacheWritten) { // 2 frames of 8 points
            EXPECT_EQ(fs::file_size(cache), 8u + 2 * 4 + 3 * 8 * 12) << shown;
        }
    }
}

TEST(BakeSafety, ListsOnlyTheFilesItCompletedAndRemovesTheFoldersItLeftEmpty) {
    const fs::path dir = TestDir();

    // Items without geometry: the mesh folders are created, stay empty and
    // are removed; the output folder holds the scene files only.
    const fs::path cameraOut = dir / "camera" / "deep";
    RunResult r = Bake({"--demo", "--items", "Camera,Spot", "--frames", "1:3"}, cameraOut, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(EntriesBelow(dir / "camera"), (Strings{"deep", "deep/scene.fxs", "deep/scene.lws",
                                                     "deep/scene.mel", "deep/scene.zsc"}));

    // A folder where the cache goes: refused before anything is written,
    // and a file that was there before is left alone.
    const fs::path out = dir / "failed";
    fs::create_directories(out / "mdd" / "Grid.mdd");
    std::ofstream(out / "kept.txt") << "kept";
    r = Bake({"--demo", "--items", "Grid", "--frames", "1:3"}, out, dir);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "xsihost: the output path \"" + (out / "mdd" / "Grid.mdd").string() +
                         "\" is there and is not a regular file\n");
    EXPECT_EQ(EntriesBelow(out), (Strings{"kept.txt", "mdd", "mdd/Grid.mdd"}));
    EXPECT_EQ(ReadFile(out / "kept.txt"), "kept");

    // The same folder baked again once the obstacle is gone: every file is
    // complete and listed, the old file still is not.
    fs::remove(out / "mdd" / "Grid.mdd");
    r = Bake({"--demo", "--items", "Grid", "--frames", "1:3"}, out, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Strings expected;
    for (const char* rel : {"emdl/Grid.emdl", "lwo/Grid.lwo", "mdd/Grid.mdd", "scene.fxs",
                            "scene.lws", "scene.mel", "scene.zsc"})
        expected.push_back((out / rel).string());
    EXPECT_EQ(Lines(r.out), expected);
}

// One Ctrl-C during the frame walk of a long cache: the run says at once what
// it still writes, ends early, exits 130, lists nothing as complete and
// names every file it wrote as incomplete, with --quiet as well; the cache
// it left reads as partial.
TEST(BakeSafety, ACancelledRunExits130AndNamesWhatIsIncomplete) {
    const fs::path dir = TestDir();
    constexpr int kFrames = 30000; // of 1024 points: 368 MB if it ran to the end
    const uintmax_t walkStarted = 8 + 4 * kFrames + 2 * 1024 * 12;
    const struct {
        bool bake;
        bool quiet;
    } cases[] = {{true, true}, {true, false}, {false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bake ? "bake" : "run") + (c.quiet ? " --quiet" : ""));
        const fs::path out = dir / (std::string(c.bake ? "bake" : "run") + (c.quiet ? "q" : ""));
        const fs::path cache = out / "mdd" / "Grid.mdd";
        Strings args;
        if (c.bake) {
            args = {"bake",      "--demo",   "--items",
                    "Grid",      "--frames", "1:" + std::to_string(kFrames),
                    out.string()};
        } else {
            fs::create_directories(out / "mdd");
            args = {"run",
                    "--demo",
                    "ZK_XSI_Baker",
                    "ZK_ObjString=Grid",
                    "ZK_StartFrame=1",
                    "ZK_EndFrame=" + std::to_string(kFrames),
                    "ZK_MDDAct=on",
                    "ZK_FilePath=" + (out / "mdd").string()};
        }
        if (c.quiet)
            args.insert(args.begin() + 1, "--quiet");
        RunResult r;
        bool interrupted = false;
        // A loaded machine may finish the walk before the signal lands: try again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            fs::remove_all(out);
            if (!c.bake)
                fs::create_directories(out / "mdd");
            r = XsihostInterrupted(args, c.bake ? out / "mdd" : cache, walkStarted, dir,
                                   &interrupted);
            if (r.exitCode != 0)
                break;
        }
        ASSERT_TRUE(interrupted);
        EXPECT_EQ(r.exitCode, 130) << r.err;
        EXPECT_EQ(r.out, "");
        const Strings err = Lines(r.err);
        ASSERT_FALSE(err.empty());
        if (c.bake) {
            for (const char* rel : {"emdl/Grid.emdl", "lwo/Grid.lwo", "mdd/Grid.mdd", "scene.fxs",
                                    "scene.lws", "scene.mel", "scene.zsc"})
                EXPECT_NE(std::find(err.begin(), err.end(),
                                    "xsihost: incomplete: " + (out / rel).string()),
                          err.end())
                    << rel << "\n"
                    << r.err;
            EXPECT_TRUE(StartsWith(err.back(), "xsihost: ZK_XSI_Baker was cancelled")) << r.err;
        } else {
            EXPECT_TRUE(StartsWith(err.back(), "xsihost: ZK_XSI_Baker was cancelled")) << r.err;
        }
        // Without --quiet the cancel is said at once, before the walk's bar
        // ends (what the run still does), and the walk's bar ends short.
        const size_t note = r.err.find("xsihost: cancelled: the point caches end");
        EXPECT_EQ(note != std::string::npos, !c.quiet) << r.err;
        if (!c.quiet) {
            const size_t walkEnd = r.err.find("Zelkin Mesh Processing....: cancelled at ");
            EXPECT_LT(note, walkEnd) << r.err;
            EXPECT_NE(walkEnd, std::string::npos) << r.err;
        }
        const ZK_MddFile mdd = ReadMdd(cache);
        EXPECT_FALSE(mdd.complete);
        EXPECT_GT(mdd.blockCount, 1);
        EXPECT_LT(mdd.blockCount, kFrames + 1);
        EXPECT_EQ(Xsihost({"inspect", cache.string()}, dir).exitCode, 1);
    }
}

// A run that reads a scene file runs in a child process xsihost waits for:
// a SIGINT sent to xsihost reaches the run, which cancels as it does without
// one.
TEST(BakeSafety, ACancelReachesARunThatReadsASceneFile) {
    const fs::path dir = TestDir();
    constexpr int kFrames = 200000; // of 72 points: 173 MB if it ran to the end
    const uintmax_t walkStarted = 8 + 4 * kFrames + 2 * 72 * 12;
    const fs::path cache = dir / "mdd" / "SkinMesh.mdd";
    const Strings args = {"run",
                          "--quiet",
                          "--scene",
                          std::string(ZK_EXAMPLES_DIR) + "/skinned.gltf",
                          "ZK_XSI_Baker",
                          "ZK_ObjString=SkinMesh",
                          "ZK_StartFrame=1",
                          "ZK_EndFrame=" + std::to_string(kFrames),
                          "ZK_MDDAct=on",
                          "ZK_FilePath=" + (dir / "mdd").string()};
    RunResult r;
    bool interrupted = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        fs::remove_all(dir / "mdd");
        fs::create_directories(dir / "mdd");
        r = XsihostInterrupted(args, cache, walkStarted, dir, &interrupted);
        if (r.exitCode != 0)
            break;
    }
    ASSERT_TRUE(interrupted);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    const Strings err = Lines(r.err);
    ASSERT_FALSE(err.empty());
    EXPECT_TRUE(StartsWith(err.back(), "xsihost: ZK_XSI_Baker was cancelled")) << r.err;
    EXPECT_FALSE(ReadMdd(cache).complete);
}

namespace {

// Runs xsihost as the leader of a process group of its own, with extra
// environment entries; the first time `when` answers true, sends one SIGINT
// to the whole group.
RunResult XsihostInterruptedAsAGroup(const Strings& args, const Strings& env,
                                     const fs::path& captureDir,
                                     const std::function<bool()>& when) {
    zkt::RunOptions options;
    options.env = env;
    options.captureDir = captureDir;
    options.interruptWhen = when;
    options.interruptGroup = true;
    return zkt::RunXsihost(args, options);
}

} // namespace

// One SIGINT sent to the process group of an xsihost that reads a scene
// file reaches both xsihost and the child that reads the file, and counts
// once. Sent while the file is read (the scene file's first open held until
// the signal, tests/driver/FaultShim.cpp), it cancels before anything is
// written: no folder is made, an earlier bake stays byte for byte. Sent
// during the frame walk, the run ends as after one Ctrl-C and every file
// it leaves is named.
TEST(BakeSafety, OneSignalToTheProcessGroupIsOneCancel) {
    const fs::path dir = TestDir();
    const std::string scene = std::string(ZK_EXAMPLES_DIR) + "/skinned.gltf";
    const fs::path mark = dir / "reading";
    const Strings hold = {"LD_PRELOAD=" ZK_FAULT_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0",
                          "ZK_HOLD_OPEN=" + scene, "ZK_HOLD_MARK=" + mark.string()};
    const fs::path earlier = dir / "earlier";
    const RunResult first = Bake({"--scene", scene, "--frames", "0:5"}, earlier, dir);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    std::map<std::string, std::string> before;
    for (const std::string& rel : EntriesBelow(earlier, true))
        before[rel] = ReadFile(earlier / rel);

    const std::string nothingYet = "xsihost: cancelled: nothing is written yet; stopping before ";
    Strings leftAsTheyWere;
    for (const auto& [rel, bytes] : before)
        if (!fs::is_directory(earlier / rel))
            leftAsTheyWere.push_back("xsihost: left as it was: " + (earlier / rel).string());
    ASSERT_EQ(leftAsTheyWere.size(), 7u);
    leftAsTheyWere.push_back("xsihost: cancelled before ZK_XSI_Baker ran; nothing was written");
    const struct {
        const char* what;
        Strings args;
        Strings err; // every line, each starting so
    } whileReading[] = {
        {"bake into a new folder",
         {"bake", "--scene", scene, (dir / "new" / "out").string()},
         {nothingYet + "the bake begins",
          "xsihost: cancelled before ZK_XSI_Baker ran; nothing was written"}},
        {"bake --quiet over an earlier bake",
         {"bake", "--quiet", "--scene", scene, "--frames", "0:5", earlier.string()},
         leftAsTheyWere},
        {"run",
         {"run", "--scene", scene, "ZK_XSI_Baker", "ZK_ObjString=SkinMesh", "ZK_MDDAct=on",
          "ZK_FilePath=" + (dir / "new").string()},
         {nothingYet + "ZK_XSI_Baker runs",
          "xsihost: cancelled before ZK_XSI_Baker ran; nothing was written"}},
    };
    for (const auto& c : whileReading) {
        SCOPED_TRACE(c.what);
        fs::remove(mark);
        const RunResult r =
            XsihostInterruptedAsAGroup(c.args, hold, dir, [&] { return fs::exists(mark); });
        ASSERT_TRUE(r.interrupted);
        EXPECT_EQ(r.exitCode, 130) << r.err;
        EXPECT_EQ(r.out, "");
        const Strings err = Lines(r.err);
        ASSERT_EQ(err.size(), c.err.size()) << r.err;
        for (size_t i = 0; i < err.size(); ++i)
            EXPECT_TRUE(StartsWith(err[i], c.err[i])) << err[i];
        EXPECT_FALSE(fs::exists(dir / "new"));
        std::map<std::string, std::string> after;
        for (const std::string& rel : EntriesBelow(earlier, true))
            after[rel] = ReadFile(earlier / rel);
        EXPECT_TRUE(after == before) << "the earlier bake changed";
    }

    // During the walk of a long cache (72 points, 173 MB if it ran to the end).
    constexpr int kFrames = 200000;
    const uintmax_t walkStarted = 8 + 4 * kFrames + 2 * 72 * 12;
    const fs::path out = dir / "walk";
    RunResult r;
    for (int attempt = 0; attempt < 3; ++attempt) {
        fs::remove_all(out);
        r = XsihostInterruptedAsAGroup(
            {"bake", "--scene", scene, "--frames", "1:" + std::to_string(kFrames), out.string()},
            {}, dir, [&] { return WatchedSize(out / "mdd") > walkStarted; });
        if (r.exitCode != 0)
            break; // else the walk ended before the signal: again
    }
    ASSERT_TRUE(r.interrupted);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_EQ(r.out, "");
    const Strings err = Lines(r.err);
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(std::count_if(
                  err.begin(), err.end(),
                  [](const std::string& line) { return StartsWith(line, "xsihost: cancelled: "); }),
              1)
        << r.err;
    EXPECT_TRUE(StartsWith(err.back(), "xsihost: ZK_XSI_Baker was cancelled")) << r.err;
    // Every entry below the folder is a file named incomplete, or a folder
    // that holds one.
    Strings named;
    for (const std::string& line : err)
        if (StartsWith(line, "xsihost: incomplete: "))
            named.push_back(line.substr(std::string("xsihost: incomplete: ").size()));
    EXPECT_EQ(named.size(), 7u) << r.err;
    for (const std::string& rel : EntriesBelow(out)) {
        const fs::path path = out / rel;
        if (fs::is_directory(path))
            EXPECT_FALSE(fs::is_empty(path)) << rel;
        else
            EXPECT_NE(std::find(named.begin(), named.end(), path.string()), named.end()) << rel;
    }
}

TEST(InspectSafety, ReadsOnlyRegularFilesAndTellsAPartialCacheFromAMalformedFile) {
    const fs::path dir = TestDir();
    const RunResult bake =
        Bake({"--demo", "--items", "Rig.Cube", "--frames", "1:4"}, dir / "out", dir);
    ASSERT_EQ(bake.exitCode, 0) << bake.err;
    const std::string whole = ReadFile(dir / "out" / "mdd" / "Rig.Cube.mdd");
    const std::string complete = (dir / "out" / "mdd" / "Rig.Cube.mdd").string();
    const std::string zsc = (dir / "out" / "scene.zsc").string();
    const std::string partial = (dir / "partial.mdd").string();
    std::ofstream(partial, std::ios::binary) << whole.substr(0, 8 + 16 + 2 * 96);
    const std::string headerOnly = (dir / "header.mdd").string();
    std::ofstream(headerOnly, std::ios::binary) << whole.substr(0, 8 + 16);
    const std::string cut = (dir / "cut.mdd").string();
    std::ofstream(cut, std::ios::binary) << whole.substr(0, 8 + 16 + 50);
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const struct {
        Strings files;
        int exitCode;
        Strings err; // the lines on stderr, each starting so
        size_t summaries;
    } cases[] = {
        {{complete, zsc}, 0, {}, 2},
        {{partial}, 1, {partial + ": partial: 2 of 5 frame blocks"}, 1},
        {{headerOnly, complete}, 1, {headerOnly + ": partial: 0 of 5 frame blocks"}, 2},
        {{cut}, 2, {cut + ": truncated inside frame block 1"}, 0},
        {{partial, cut}, 2, {partial + ": partial", cut + ": truncated"}, 1},
        {{fifo}, 2, {fifo + ": is not a regular file"}, 0},
        {{"/dev/zero"}, 2, {"/dev/zero: is not a regular file"}, 0},
        {{dir.string()}, 2, {dir.string() + ": is a folder, not a regular file"}, 0},
        {{(dir / "missing.mdd").string()},
         2,
         {(dir / "missing.mdd").string() + ": cannot be opened: No such file or directory"},
         0},
        {{fifo, complete}, 2, {fifo + ": is not a regular file"}, 1},
    };
    for (const auto& c : cases) {
        const std::string shown = c.files.front();
        const RunResult r = RunProgram(
            "/usr/bin/timeout",
            [&] {
                Strings args = {"20", zkt::XsihostPath(), "inspect"};
                args.insert(args.end(), c.files.begin(), c.files.end());
                return args;
            }(),
            dir);
        EXPECT_EQ(r.exitCode, c.exitCode) << shown << "\n" << r.err;
        const Strings err = Lines(r.err);
        ASSERT_EQ(err.size(), c.err.size()) << shown << "\n" << r.err;
        for (size_t i = 0; i < err.size(); ++i)
            EXPECT_TRUE(StartsWith(err[i], c.err[i])) << err[i];
        size_t summaries = 0;
        for (const std::string& line : Lines(r.out))
            summaries += Contains(line, ": MDD point cache, ") || Contains(line, ": ZSC") ? 1 : 0;
        EXPECT_EQ(summaries, c.summaries) << shown << "\n" << r.out;
    }
    // A scene file that is no regular file is refused at once, not read.
    for (const std::string& scene : {fifo, std::string("/dev/zero")}) {
        const RunResult r = RunProgram("/usr/bin/timeout",
                                       {"20", zkt::XsihostPath(), "list", "--scene", scene}, dir);
        EXPECT_EQ(r.exitCode, 2) << scene << "\n" << r.err;
        EXPECT_TRUE(Contains(r.err, "not a regular file")) << r.err;
    }
}

// Failures seen through the real programs: a refused output path inside the
// plug-in, errors of use of xsihost bake, and a damaged cache given to
// xsihost inspect. Each gives one clear line and a failure status.
#include "E2eSupport.h"

#include <cstdlib>

using namespace e2e;

TEST(Errors, AnXsiFolderThatIsAFileFailsTheCommand) {
    const fs::path dir = TestDir();
    const fs::path file = dir / "not_a_folder";
    std::ofstream(file) << "kept";
    const RunResult r = Xsihost(
        {"run", "--demo", "ZK_XSI_Baker", "ZK_XSIAct=1", "ZK_XSIString=" + file.string()}, dir);
    EXPECT_EQ(r.exitCode, 1);
    const Strings err = Lines(r.err);
    ASSERT_EQ(err.size(), 2u) << r.err;
    EXPECT_EQ(err[0], "ERROR: ZK_XSI_Baker - the XSI folder is invalid: " + file.string());
    EXPECT_NE(err[1].find("0x80070057"), std::string::npos) << err[1];
    EXPECT_EQ(r.out.find("ZK_XSI_Baker - "), std::string::npos) << r.out;
    // Nothing else was written beside the file, which is kept.
    EXPECT_EQ(ReadFile(file), "kept");
    EXPECT_EQ(FilesBelow(dir), (Strings{file.string(), (dir / "stderr.txt").string(),
                                        (dir / "stdout.txt").string()}));
}

TEST(Errors, BakeRefusesBadUse) {
    const fs::path dir = TestDir();
    const std::string out = (dir / "out").string();
    const std::pair<Strings, std::string> cases[] = {
        {{"bake", "--demo", "--frames", "5:4", out}, "5:4"},
        {{"bake", "--demo", "--frames", "1-4", out}, "1-4"},
        {{"bake", "--scene", (dir / "missing.gltf").string(), out}, "missing.gltf"},
        {{"bake", out}, "--demo"}};
    for (const auto& [args, mention] : cases) {
        const RunResult r = Xsihost(args, dir);
        EXPECT_EQ(r.exitCode, 2) << mention;
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(mention), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out)) << mention;
    }
}

// An MDD cache's times are frame / rate as 32-bit floats. At 30 fps frames
// 15728640 and 15728641 are 524288 s and 524288.0333 s, which is
// 524288.0625 as a float (floats are 1/16 apart there); 15728642 is
// 524288.0667 s, also 524288.0625: from there on two frames share a time,
// and a range that holds two such frames is refused before anything is
// written. At 24 fps the same happens from 12582913 on (524288.0417 s).
TEST(Errors, BakeRefusesFramesWhoseCacheTimesDoNotIncrease) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    const struct {
        std::string frames, fps;
        const char* refused; // the frames named, or nullptr: baked
        float times[2];      // the cache's two times when baked
    } cases[] = {
        {"15728640:15728641", "30", nullptr, {524288.0f, 524288.0625f}},
        {"15728641:15728642", "30", "frames 15728641 and 15728642 ", {}},
        {"-15728641:-15728640", "30", nullptr, {-524288.0625f, -524288.0f}},
        {"-15728642:-15728641", "30", "frames -15728642 and -15728641 ", {}},
        {"12582912:12582913", "24", nullptr, {524288.0f, 524288.0625f}},
        {"12582913:12582914", "24", "frames 12582913 and 12582914 ", {}},
        {"999999990:1000000000", "30", "frames 999999990 and 999999991 ", {}},
        {"0:16777217", "30", "frames 15728641 and 15728642 ", {}}, // a long range
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames + " at " + c.fps);
        fs::remove_all(out);
        const RunResult r = Bake(
            {"--demo", "--items", "Grid", "--outputs", "mdd", "--frames", c.frames, "--fps", c.fps},
            out, dir);
        if (c.refused) {
            EXPECT_EQ(r.exitCode, 2);
            ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
            EXPECT_TRUE(StartsWith(r.err, "xsihost: --frames " + c.frames + ": " + c.refused))
                << r.err;
            EXPECT_FALSE(fs::exists(out));
            continue;
        }
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const ZK_MddFile mdd = ReadMdd(out / "mdd" / "Grid.mdd");
        ASSERT_EQ(mdd.times.size(), 2u);
        EXPECT_EQ(mdd.times[0], c.times[0]);
        EXPECT_EQ(mdd.times[1], c.times[1]);
    }
    // A farm's range is checked as a bake's, before any job is submitted.
    fs::create_directories(dir / "slurm");
    const RunResult farm =
        zkt::RunXsihost({"farm", "slurm", "--demo", "--items", "Grid", "--frames",
                         "15728641:15728642", "--chunks", "2", (dir / "farm").string()},
                        {{"PATH=" + std::string(ZK_FAKE_SLURM_DIR) + ":" + std::getenv("PATH"),
                          "ZK_FAKE_SLURM=" + (dir / "slurm").string()},
                         dir,
                         {}});
    EXPECT_EQ(farm.exitCode, 2);
    EXPECT_TRUE(StartsWith(farm.err, "xsihost: --frames 15728641:15728642: frames 15728641 and "))
        << farm.err;
    EXPECT_FALSE(fs::exists(dir / "farm"));
    EXPECT_TRUE(fs::is_empty(dir / "slurm"));
}

TEST(Errors, InspectRefusesATruncatedCache) {
    const fs::path dir = TestDir();
    const fs::path mdd = dir / "out" / "mdd" / "Rig.Cube.mdd";
    const RunResult bake =
        Bake({"--demo", "--items", "Rig.Cube", "--frames", "1:4"}, dir / "out", dir);
    ASSERT_EQ(bake.exitCode, 0) << bake.err;
    const std::string whole = ReadFile(mdd);
    ASSERT_EQ(whole.size(), 8u + 16u + 5u * 96u); // 4 frames of 8 points
    EXPECT_EQ(Xsihost({"inspect", mdd.string()}, dir).exitCode, 0);

    // Inside the header, inside the time table, inside a frame block, and one
    // byte past a complete file.
    for (size_t size : {size_t{6}, size_t{20}, size_t{24 + 96 + 50}, whole.size() + 1}) {
        const fs::path cut = dir / ("cut_" + std::to_string(size) + ".mdd");
        std::string bytes = whole.substr(0, size);
        bytes.resize(size, '\0');
        std::ofstream(cut, std::ios::binary) << bytes;
        const RunResult r = Xsihost({"inspect", cut.string()}, dir);
        EXPECT_EQ(r.exitCode, 2) << size;
        const Strings err = Lines(r.err);
        ASSERT_EQ(err.size(), 1u) << r.err;
        EXPECT_TRUE(StartsWith(err[0], cut.string() + ": ")) << err[0];
    }
}

// What a command writes on stdout that is lost (a full disk: /dev/full) ends
// it with exit status 1 and one line saying so; a command that failed
// already keeps its own status.
TEST(Errors, AWriteErrorOnStdoutFailsTheCommand) {
    const fs::path dir = TestDir();
    ASSERT_EQ(
        Bake({"--demo", "--items", "Rig.Cube", "--frames", "1:4"}, dir / "whole", dir).exitCode, 0);
    ASSERT_EQ(
        Bake({"--demo", "--items", "Rig.Cube", "--frames", "5:8"}, dir / "later", dir).exitCode, 0);
    const std::string cache = (dir / "whole" / "mdd" / "Rig.Cube.mdd").string();
    const std::string later = (dir / "later" / "mdd" / "Rig.Cube.mdd").string();
    const std::string joined = (dir / "joined.mdd").string();
    const std::string cut = (dir / "cut.mdd").string();
    std::ofstream(cut, std::ios::binary) << ReadFile(cache).substr(0, 8 + 16 + 96 + 96);
    const std::string skinned = std::string(ZK_EXAMPLES_DIR) + "/skinned.gltf";
    fs::create_directories(dir / "slurm");
    const std::string farmPath =
        "PATH=" + std::string(ZK_FAKE_SLURM_DIR) + ":" + std::getenv("PATH");
    const std::string farmRecords = "ZK_FAKE_SLURM=" + (dir / "slurm").string();
    const struct {
        Strings args;
        int exitCode;
        Strings env = {};
    } cases[] = {
        {{"inspect", cache}, 1},
        {{"inspect", "--json", cache}, 1},
        {{"inspect", cut}, 1}, // partial: 1 either way
        {{"inspect", (dir / "missing.mdd").string(), cache}, 2},
        {{"list", "--demo"}, 1},
        {{"list", "--json", "--demo"}, 1},
        {{"list", "--scene", skinned}, 1}, // through the load's child process
        {{"bake", "--quiet", "--demo", "--items", "Camera", "--frames", "1:2",
          (dir / "bake").string()},
         1},
        {{"bake", "--quiet", "--json", "--demo", "--items", "Camera", "--frames", "1:2",
          (dir / "bakejson").string()},
         1},
        {{"run", "--json", "--demo", "ZK_XSI_Baker"}, 1}, // refused: 1 either way
        {{"join", joined, cache, later}, 1},
        {{"join", "--check", joined, cache, later}, 1}, // joined by the case before
        {{"farm", "slurm", "--quiet", "--poll", "0.1", "--demo", "--items", "Rig.Cube", "--frames",
          "1:4", "--chunks", "2", (dir / "farm").string()},
         1,
         {farmPath, farmRecords}},
        {{"--help-all"}, 1},
        {{"--version"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        Strings args = {"-c", "exec \"$0\" \"$@\" > /dev/full", zkt::XsihostPath()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = zkt::RunProgram("sh", args, {c.env, dir, {}});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        const Strings err = Lines(r.err);
        EXPECT_EQ(std::count(err.begin(), err.end(),
                             "xsihost: cannot write to standard output: No space left on device"),
                  1)
            << r.err;
    }
}

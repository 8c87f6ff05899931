// `xsihost join`: caches baked over parts of a frame range, joined, are the
// cache of a bake of the whole range byte for byte, whatever the order the
// parts are given in; every bad part is refused with one line naming it and
// exit status 2, nothing written; a tree of part folders joins every cache
// in one call, and --check compares what was joined with its parts.
#include "E2eSupport.h"

using namespace e2e;

namespace {

// Bakes the demo's caches over frames `range` into dir/name; the folder of
// its caches.
fs::path BakeCaches(const fs::path& dir, const std::string& name, const std::string& range,
                    Strings more = {}) {
    Strings options = {"--demo", "--outputs", "mdd", "--frames", range};
    options.insert(options.end(), more.begin(), more.end());
    const RunResult r = Bake(options, dir / name, dir);
    EXPECT_EQ(r.exitCode, 0) << name << ": " << r.err;
    return dir / name / "mdd";
}

RunResult Join(const Strings& args, const fs::path& dir) {
    Strings all = {"join"};
    all.insert(all.end(), args.begin(), args.end());
    return Xsihost(all, dir);
}

// The names in a folder but those of the captured output.
Strings Written(const fs::path& dir) {
    Strings names;
    for (const std::string& name : zkt::FilesIn(dir))
        if (name != "stdout.txt" && name != "stderr.txt")
            names.push_back(name);
    return names;
}

} // namespace

TEST(Join, PartsInAnyOrderJoinIntoTheWholeBakeByteForByte) {
    const fs::path dir = TestDir();
    struct Case {
        std::string whole;
        Strings parts;
        Strings more; // bake options
        std::string fps;
    };
    const Case cases[] = {
        {"1:48", {"31:48", "1:10", "11:30"}, {}, "30"},
        {"1:48", {"1:1", "2:47", "48:48"}, {}, "30"},
        {"-5:4", {"0:4", "-5:-1"}, {"--fps", "24", "--local"}, "24"},
        {"99990:100009", {"100000:100009", "99990:99999"}, {"--fps", "29.97"}, "29.97"},
    };
    int k = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.whole + " in " + std::to_string(c.parts.size()));
        const fs::path caseDir = dir / std::to_string(k++);
        fs::create_directories(caseDir);
        const fs::path whole = BakeCaches(caseDir, "whole", c.whole, c.more) / "Grid.mdd";
        Strings parts;
        for (const std::string& range : c.parts)
            parts.push_back(
                (BakeCaches(caseDir, "part" + range, range, c.more) / "Grid.mdd").string());
        const fs::path joined = caseDir / "Grid.mdd";
        for (const Strings& given :
             {Strings{}, Strings{"--fps", c.fps}, Strings{"--fps", c.fps, "--frames", c.whole}}) {
            Strings args = given;
            args.push_back(joined.string());
            args.insert(args.end(), parts.begin(), parts.end());
            const RunResult r = Join(args, caseDir);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.out, joined.string() + "\n");
            EXPECT_EQ(r.err, "");
            ASSERT_EQ(ReadFile(joined), ReadFile(whole));
            args.insert(args.begin(), "--check");
            const RunResult check = Join(args, caseDir);
            EXPECT_EQ(check.exitCode, 0) << check.err;
        }
        // inspect reads it as the whole bake's: complete, every frame.
        const RunResult inspect = Xsihost({"inspect", joined.string()}, caseDir);
        EXPECT_EQ(inspect.exitCode, 0) << inspect.err;
        EXPECT_EQ(ReadMdd(joined).frameCount, ReadMdd(whole).frameCount);
        EXPECT_EQ(Written(caseDir).size(), 1u + 1u + c.parts.size()); // no temporary file left
    }
}

TEST(Join, RefusesEachBadPartWithOneLineNamingItAndWritesNothing) {
    const fs::path dir = TestDir();
    const fs::path a = BakeCaches(dir, "a", "1:10");  // frames 1..10 at 30 fps
    const fs::path b = BakeCaches(dir, "b", "11:20"); // the next part
    const fs::path over = BakeCaches(dir, "over", "10:20");
    const fs::path gap = BakeCaches(dir, "gap", "12:20");
    const fs::path slow = BakeCaches(dir, "slow", "11:20", {"--fps", "24"});
    const std::string grid = "Grid.mdd";
    const std::string cut = (dir / "cut.mdd").string(); // b's Grid without its last block
    {
        std::string bytes = ReadFile(b / grid);
        bytes.resize(bytes.size() - 1024 * 12);
        std::ofstream(cut, std::ios::binary) << bytes;
    }
    const std::string text = (dir / "notes.mdd").string();
    std::ofstream(text) << "not a cache at all\n";
    const std::string out = (dir / "joined" / grid).string();
    fs::create_directories(dir / "joined");

    struct Case {
        Strings args; // after "join"
        std::string named;
        std::string says;
    };
    const std::string A = (a / grid).string(), B = (b / grid).string();
    const Case cases[] = {
        {{out, A, (over / grid).string()}, (over / grid).string(), "overlaps " + A},
        {{out, (gap / grid).string(), A}, (gap / grid).string(), "leaves a gap after " + A},
        {{"--fps", "30", out, A, (gap / grid).string()},
         (gap / grid).string(),
         "frames 11 to 11 are missing"},
        {{out, A, (b / "Rig.Cube.mdd").string()},
         (b / "Rig.Cube.mdd").string(),
         "8 points, but " + A + " has 1024"},
        {{out, A, (slow / grid).string()}, (slow / grid).string(), "baked at about 24 fps"},
        {{"--fps", "30", out, (slow / grid).string(), A},
         (slow / grid).string(),
         "not baked at 30 fps"},
        {{out, A, cut}, cut, "incomplete: it holds 10 of 11 frame blocks"},
        {{out, A, text}, text, "not an MDD cache: "},
        {{out, A, (dir / "a").string()}, (dir / "a").string(), "is a folder"},
        {{out, A, (dir / "missing.mdd").string()},
         (dir / "missing.mdd").string(),
         "cannot be opened"},
        {{A, A, B}, A, "is the output itself"},
        {{out, A, B, A}, A, "is given twice"},
        {{"--fps", "30", "--frames", "1:21", out, B, A}, B, "the parts end at frame 20"},
        {{"--fps", "30", "--frames", "0:20", out, B, A}, A, "the parts start at frame 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const std::string before = ReadFile(A);
        const RunResult r = Join(c.args, dir);
        EXPECT_EQ(r.exitCode, 2);
        const Strings err = Lines(r.err);
        ASSERT_EQ(err.size(), 1u) << r.err;
        EXPECT_TRUE(StartsWith(err[0], "xsihost: " + c.named + ": ")) << err[0];
        EXPECT_TRUE(Contains(err[0], c.says)) << err[0];
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(zkt::FilesIn(dir / "joined").empty());
        EXPECT_EQ(ReadFile(A), before);
    }
    // Errors of use.
    for (const Strings& args : {Strings{out}, Strings{"--frames", "1:20", out, A, B},
                                Strings{"--tree", dir.string(), out, A}}) {
        const RunResult r = Join(args, dir);
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    }
}

TEST(Join, ATreeOfPartFoldersJoinsEveryCacheAndCheckFindsADifference) {
    const fs::path dir = TestDir();
    const fs::path whole = BakeCaches(dir, "whole", "1:48");
    const fs::path parts = dir / "parts";
    fs::create_directories(parts);
    for (const std::string range : {"1:16", "17:32", "33:48"})
        BakeCaches(parts, range.substr(0, range.find(':')), range);
    const fs::path out = dir / "out" / "mdd";
    fs::create_directories(out);
    std::ofstream(out / "Grid.mdd") << "an older cache, replaced whole";

    const Strings args = {"join", "--tree",   parts.string(), "--fps",
                          "30",   "--frames", "1:48",         out.string()};
    const RunResult r = Xsihost(args, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out),
              (Strings{(out / "Grid.mdd").string(), (out / "Rig.Cube.mdd").string()}));
    EXPECT_EQ(Written(out), (Strings{"Grid.mdd", "Rig.Cube.mdd"}));
    for (const std::string name : {"Grid.mdd", "Rig.Cube.mdd"})
        EXPECT_EQ(ReadFile(out / name), ReadFile(whole / name)) << name;
    EXPECT_EQ(
        Xsihost({"inspect", (out / "Grid.mdd").string(), (out / "Rig.Cube.mdd").string()}, dir)
            .exitCode,
        0);

    Strings check = args;
    check.insert(check.begin() + 1, "--check");
    EXPECT_EQ(Xsihost(check, dir).exitCode, 0);
    // One byte of a frame block changed: --check names the cache and where.
    {
        std::fstream f(out / "Rig.Cube.mdd", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(1000);
        f.put('\x55');
    }
    // Joined: 8 + 4 x 48 bytes of header and times, a 96-byte lead block,
    // then 96-byte blocks; byte 1000 is byte 32 of frame 8's block, which
    // part 1:16 holds after its 8 + 4 x 16 bytes and its lead block.
    const RunResult changed = Xsihost(check, dir);
    EXPECT_EQ(changed.exitCode, 1);
    EXPECT_EQ(Lines(changed.err),
              (Strings{"xsihost: " + (out / "Rig.Cube.mdd").string() + ": byte 1000 differs from " +
                       (parts / "1" / "mdd" / "Rig.Cube.mdd").string() + " (its byte " +
                       std::to_string(72 + 96 + 7 * 96 + 32) + ")"}));
    EXPECT_EQ(1000, 200 + 96 + 7 * 96 + 32);

    // One cache into a folder not made yet.
    const fs::path fresh = dir / "fresh" / "sub" / "Grid.mdd";
    EXPECT_EQ(Xsihost({"join", fresh.string(), (parts / "17" / "mdd" / "Grid.mdd").string(),
                       (parts / "1" / "mdd" / "Grid.mdd").string()},
                      dir)
                  .exitCode,
              0);
    EXPECT_EQ(ReadMdd(fresh).frameCount, 32);

    // A folder of parts that lacks one mesh's part: refused before anything
    // is written.
    fs::remove(parts / "17" / "mdd" / "Grid.mdd");
    const fs::path other = dir / "other";
    const RunResult missing = Xsihost({"join", "--tree", parts.string(), other.string()}, dir);
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(Lines(missing.err),
              (Strings{"xsihost: " + (parts / "17" / "mdd" / "Grid.mdd").string() +
                       ": missing: other folders of parts hold Grid.mdd"}));
    EXPECT_FALSE(fs::exists(other));
}

// `xsihost bake --outputs` writes just the outputs it names; `--link-caches`
// writes the scene files and mesh files of a bake that writes the caches,
// byte for byte, without writing or touching the caches.
#include "E2eSupport.h"

using namespace e2e;

namespace {

// The files below a folder, relative, sorted.
Strings Relative(const fs::path& root) {
    return EntriesBelow(root, true);
}

// The printed lines of a bake, relative to its output folder, sorted.
Strings PrintedRelative(const RunResult& r, const fs::path& out) {
    Strings printed;
    for (const std::string& line : Lines(r.out))
        printed.push_back(fs::path(line).lexically_relative(out).string());
    std::sort(printed.begin(), printed.end());
    return printed;
}

const Strings kDemoItems = {"--demo", "--items", "Grid,Camera", "--frames", "1:3"};

Strings With(Strings base, const Strings& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

} // namespace

TEST(Outputs, EachNamedOutputAloneOrInPairsIsExactlyWhatIsWritten) {
    const fs::path dir = TestDir();
    const fs::path whole = dir / "whole";
    ASSERT_EQ(Bake(kDemoItems, whole, dir).exitCode, 0);
    const Strings all = {"emdl/Grid.emdl", "lwo/Grid.lwo", "mdd/Grid.mdd", "scene.fxs",
                         "scene.lws",      "scene.mel",    "scene.zsc"};
    ASSERT_EQ(Relative(whole), all);

    const std::pair<std::string, Strings> cases[] = {
        {"mdd", {"mdd/Grid.mdd"}},
        {"lwo", {"lwo/Grid.lwo"}},
        {"emdl", {"emdl/Grid.emdl"}},
        {"lws", {"scene.lws"}},
        {"mel", {"scene.mel"}},
        {"fxs", {"scene.fxs"}},
        {"zsc", {"scene.zsc"}},
        {"mdd,zsc", {"mdd/Grid.mdd", "scene.zsc"}},
        {"mel,lwo", {"lwo/Grid.lwo", "scene.mel"}},
        {"lws,lws", {"scene.lws"}},
        {"zsc,fxs,mel,lws,emdl,lwo,mdd", all},
    };
    int k = 0;
    for (const auto& [list, files] : cases) {
        SCOPED_TRACE(list);
        const fs::path out = dir / ("out" + std::to_string(k++));
        const RunResult r = Bake(With(kDemoItems, {"--outputs", list}), out, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(Relative(out), files);
        EXPECT_EQ(PrintedRelative(r, out), files);
        // Caches and mesh files hold no path: each is the whole bake's.
        for (const std::string& file : files) {
            if (!StartsWith(file, "scene.")) {
                EXPECT_EQ(ReadFile(out / file), ReadFile(whole / file)) << file;
            }
        }
    }
    // A scene file links the caches only when they are baked with it.
    const std::string link = "mdd/Grid.mdd";
    EXPECT_FALSE(Contains(ReadFile(dir / "out3" / "scene.lws"), link));
    EXPECT_TRUE(Contains(ReadFile(whole / "scene.lws"), link));
    EXPECT_TRUE(Contains(ReadFile(dir / "out7" / "scene.zsc"), "out7/" + link));
}

TEST(Outputs, AnUnknownOrEmptyListAndCachesBothLinkedAndWrittenAreRefused) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    const std::pair<Strings, std::string> cases[] = {
        {{"--outputs", "obj"}, "\"obj\""},
        {{"--outputs", "MDD"}, "\"MDD\""},
        {{"--outputs", "mdd,,lwo"}, "\"\""},
        {{"--outputs", "mdd, lwo"}, "\" lwo\""},
        {{"--outputs", ""}, "names no output"},
        {{"--outputs", "lws,mdd", "--link-caches"}, "leave mdd out"},
    };
    for (const auto& [options, mention] : cases) {
        SCOPED_TRACE(mention);
        const RunResult r = Bake(With(kDemoItems, options), out, dir);
        EXPECT_EQ(r.exitCode, 2);
        const Strings err = Lines(r.err);
        ASSERT_EQ(err.size(), 1u) << r.err;
        EXPECT_TRUE(StartsWith(err[0], "xsihost: ")) << err[0];
        EXPECT_TRUE(Contains(err[0], mention)) << err[0];
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out));
    }
}

// The scene files' job of a split bake: its files against a bake that
// writes the caches into the same output folder, for the demo scene and a
// skinned glTF scene, with and without motion files, a prefix, object-space
// caches and a narrower list of outputs. The caches already in mdd/ (from
// the chunk jobs' join) stay as they are.
TEST(LinkCaches, WritesTheWholeBakesFilesButNoCacheAndLeavesTheCachesAlone) {
    const fs::path dir = TestDir();
    const std::string skinned = std::string(ZK_EXAMPLES_DIR) + "/skinned.gltf";
    const std::pair<Strings, Strings> cases[] = {
        {{"--demo"}, {"Grid.mdd", "Rig.Cube.mdd"}},
        {{"--demo", "--prefix", "take2_", "--motion-files", "--local", "--frames", "-3:5"},
         {"take2_Grid.mdd", "take2_Rig.Cube.mdd"}},
        {{"--scene", skinned, "--fps", "24"}, {"SkinMesh.mdd"}},
        {{"--scene", skinned, "--outputs", "lws,zsc,emdl"}, {"SkinMesh.mdd"}},
    };
    int k = 0;
    for (const auto& [options, caches] : cases) {
        SCOPED_TRACE(options[0] + " " + std::to_string(k));
        const fs::path out = dir / ("out" + std::to_string(k++));
        const fs::path whole = out.string() + ".whole";
        Strings wholeOptions = options;
        if (wholeOptions.size() > 2 && wholeOptions[2] == "--outputs")
            wholeOptions[3] += ",mdd";
        const RunResult w = Bake(wholeOptions, out, dir);
        ASSERT_EQ(w.exitCode, 0) << w.err;
        fs::rename(out, whole);

        // What the chunks' join left in mdd/: kept, not even rewritten.
        fs::create_directories(out / "mdd");
        for (const std::string& cache : caches)
            std::ofstream(out / "mdd" / cache) << "joined cache";
        const auto stamp = fs::last_write_time(out / "mdd" / caches[0]);

        const RunResult r = Bake(With(options, {"--link-caches"}), out, dir);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        Strings expected;
        for (const std::string& file : Relative(whole))
            if (!StartsWith(file, "mdd/"))
                expected.push_back(file);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(PrintedRelative(r, out), expected);
        for (const std::string& file : expected)
            EXPECT_EQ(ReadFile(out / file), ReadFile(whole / file)) << file;
        for (const std::string& cache : caches) {
            EXPECT_EQ(ReadFile(out / "mdd" / cache), "joined cache") << cache;
            EXPECT_TRUE(Contains(ReadFile(out / "scene.zsc"), (out / "mdd" / cache).string()));
        }
        EXPECT_EQ(fs::last_write_time(out / "mdd" / caches[0]), stamp);
        EXPECT_EQ(Relative(out).size(), expected.size() + caches.size());
    }
}

// Nothing is needed in mdd/ for the scene files: the folder is not made.
TEST(LinkCaches, NeedsNoCacheFolder) {
    const fs::path dir = TestDir();
    const fs::path out = dir / "out";
    const RunResult r = Bake(With(kDemoItems, {"--link-caches"}), out, dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(out / "mdd"));
    EXPECT_TRUE(Contains(ReadFile(out / "scene.lws"), (out / "mdd" / "Grid.mdd").string()));
}

// --json of list, bake and run: one JSON document on stdout, read back with
// nlohmann-json and checked against the text forms of the same commands, the
// scenes' own facts (examples/make_scenes.py) and the files on disk, for the
// demo scene and the glTF examples.
#include "E2eSupport.h"

#include <nlohmann/json.hpp>

#include <map>
#include <sstream>
#include <set>

using namespace e2e;
using nlohmann::json;

namespace {

const std::string kExamples = ZK_EXAMPLES_DIR;

// Runs xsihost and reads its stdout as one JSON document.
json JsonOf(const Strings& args, const fs::path& dir, RunResult* result = nullptr) {
    const RunResult r = Xsihost(args, dir);
    if (result)
        *result = r;
    json document;
    try {
        document = json::parse(r.out);
    } catch (const json::exception& e) {
        ADD_FAILURE() << e.what() << "\n" << r.out << r.err;
    }
    return document;
}

// "name kind classid points" of `xsihost list`, without its '#' line.
Strings ListLines(const Strings& scene, const fs::path& dir) {
    Strings args = {"list"};
    args.insert(args.end(), scene.begin(), scene.end());
    Strings lines;
    for (const std::string& line : Lines(Xsihost(args, dir).out))
        if (!StartsWith(line, "#"))
            lines.push_back(line);
    return lines;
}

} // namespace

TEST(Json, ListGivesTheSceneFactsAndTheItemsOfTheTextList) {
    const fs::path dir = TestDir();
    const struct {
        Strings scene;
        bool demo;
        double frameRate, start, end;
        Strings animations;
        int animation; // -1: null
    } cases[] = {
        // The demo: 48 frames at the host's 30 fps, no animation to choose.
        {{"--demo"}, true, 30.0, 1.0, 48.0, {}, -1},
        // One second at the default 30 fps (glTF names no rate).
        {{"--scene", kExamples + "/skinned.gltf"}, false, 30.0, 0.0, 30.0, {"Bend"}, 0},
        // Three animations; "Snap" chosen by name, two seconds.
        {{"--scene", kExamples + "/morph.gltf", "--anim", "Snap"},
         false,
         30.0,
         0.0,
         60.0,
         {"Wave", "Snap", "Drift"},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene.back());
        Strings args = {"list", "--json"};
        args.insert(args.end(), c.scene.begin(), c.scene.end());
        RunResult r;
        const json doc = JsonOf(args, dir, &r);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const json& scene = doc.at("scene");
        EXPECT_EQ(scene.at("demo"), c.demo);
        EXPECT_EQ(scene.at("file").is_null(), c.demo);
        if (!c.demo) {
            EXPECT_EQ(scene.at("file"), c.scene[1]);
        }
        EXPECT_TRUE(scene.at("metresPerUnit").is_null()); // neither names a unit
        EXPECT_EQ(scene.at("frameRate"), c.frameRate);
        EXPECT_TRUE(scene.at("fileFrameRate").is_null());
        EXPECT_EQ(scene.at("startFrame"), c.start);
        EXPECT_EQ(scene.at("endFrame"), c.end);
        EXPECT_EQ(scene.at("animations").get<Strings>(), c.animations);
        if (c.animation < 0) {
            EXPECT_TRUE(scene.at("animation").is_null());
        } else {
            EXPECT_EQ(scene.at("animation"), c.animation);
        }

        // The items are those of the text list, in its order; each names its
        // parent, listed before it, whose full name its own extends.
        const Strings text = ListLines(c.scene, dir);
        const json& items = doc.at("items");
        ASSERT_EQ(items.size(), text.size());
        EXPECT_EQ(scene.at("itemCount"), text.size());
        std::set<std::string> seen;
        for (size_t i = 0; i < items.size(); ++i) {
            const json& item = items[i];
            const std::string fullName = item.at("fullName");
            EXPECT_EQ(fullName + " " + item.at("kind").get<std::string>() + " " +
                          std::to_string(item.at("classId").get<int>()) + " " +
                          std::to_string(item.at("pointCount").get<long>()),
                      text[i]);
            if (item.at("parent").is_null()) {
                EXPECT_EQ(fullName, item.at("name"));
            } else {
                const std::string parent = item.at("parent");
                EXPECT_TRUE(seen.count(parent)) << fullName;
                EXPECT_EQ(fullName, parent + "." + item.at("name").get<std::string>());
            }
            seen.insert(fullName);
        }
    }
}

// Every file bake was asked for, as it lies on disk: the document lists
// exactly the files below OUTDIR, each complete with its size, the caches
// with their header's counts and the frames they hold; the complete files
// are those the text form prints; the items, frames, status and timings
// are the bake's.
TEST(Json, BakeDescribesEveryFileItWroteAsItIsOnDisk) {
    const fs::path dir = TestDir();
    const struct {
        Strings options;
        long long first, last;
        Strings kinds; // of the files, in path order
    } cases[] = {
        {{"--demo", "--frames", "1:5"},
         1,
         5,
         {"emdl", "emdl", "lwo", "lwo", "mdd", "mdd", "fxs", "lws", "mel", "zsc"}},
        {{"--scene", kExamples + "/skinned.gltf", "--fps", "24", "--frames", "0:24",
          "--motion-files"},
         0,
         24,
         {"emdl", "lwo", "mdd", "mot", "mot", "mot", "mot", "fxs", "lws", "mel", "zsc"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options[0]);
        const fs::path out = dir / (c.options[0] == "--demo" ? "demo" : "gltf");
        Strings args = {"bake", "--quiet", "--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(out.string());
        RunResult r;
        const json doc = JsonOf(args, dir, &r);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(doc.at("exitStatus"), 0);
        EXPECT_EQ(doc.at("commandStatus"), "0x00000000");
        EXPECT_EQ(doc.at("cancelled"), false);
        EXPECT_EQ(doc.at("outDir"), out.string());
        EXPECT_EQ(doc.at("startFrame"), c.first);
        EXPECT_EQ(doc.at("endFrame"), c.last);
        EXPECT_EQ(doc.at("frameCount"), c.last - c.first + 1);

        // Items: every item of the scene, with the point counts of the list.
        std::map<std::string, long> points;
        Strings names;
        const Strings scene =
            c.options[0] == "--demo" ? Strings{"--demo"} : Strings{c.options[0], c.options[1]};
        for (const std::string& line : ListLines(scene, dir)) {
            const Strings words = [&] {
                Strings w;
                std::istringstream in(line);
                for (std::string word; in >> word;)
                    w.push_back(word);
                return w;
            }();
            names.push_back(words[0]);
            points[words[0]] = std::stol(words[3]);
        }
        EXPECT_EQ(doc.at("items").get<Strings>(), names);

        Strings listed, kinds;
        for (const json& file : doc.at("outputs")) {
            const std::string path = file.at("file");
            listed.push_back(path);
            kinds.push_back(file.at("kind"));
            EXPECT_EQ(file.at("state"), "complete") << path;
            EXPECT_EQ(file.at("complete"), true) << path;
            EXPECT_EQ(file.at("fileSize"), fs::file_size(path)) << path;
            const std::string kind = file.at("kind");
            const bool sceneFile = kind == "lws" || kind == "mel" || kind == "fxs" || kind == "zsc";
            EXPECT_EQ(file.at("item").is_null(), sceneFile) << path;
            if (!sceneFile) {
                EXPECT_EQ(fs::path(path).stem().string(), file.at("item").get<std::string>());
            }
            if (kind != "mdd") {
                EXPECT_FALSE(file.contains("frameCount")) << path;
                continue;
            }
            const ZK_MddFile mdd = ReadMdd(path);
            EXPECT_EQ(file.at("frameCount"), mdd.frameCount);
            EXPECT_EQ(file.at("pointCount"), mdd.pointCount);
            EXPECT_EQ(file.at("pointCount"), points.at(file.at("item")));
            EXPECT_EQ(file.at("framesWritten"), mdd.blockCount - 1);
            EXPECT_TRUE(mdd.complete);
        }
        EXPECT_EQ(listed, FilesBelow(out)); // every file on disk, in path order
        EXPECT_EQ(kinds, c.kinds);

        // The text form of the same bake prints the same complete files.
        const fs::path textOut = out.string() + "-text";
        const RunResult text = Bake(c.options, textOut, dir);
        ASSERT_EQ(text.exitCode, 0) << text.err;
        Strings relative;
        for (const std::string& line : Lines(text.out))
            relative.push_back(fs::relative(line, textOut).string());
        Strings relativeJson;
        for (const std::string& path : listed)
            relativeJson.push_back(fs::relative(path, out).string());
        EXPECT_EQ(relative, relativeJson);

        // Timings: the load, the command within the whole, and each bar the
        // command showed with its last value.
        const json& timings = doc.at("timings");
        EXPECT_GE(timings.at("loadSeconds").get<double>(), 0.0);
        EXPECT_GE(timings.at("commandSeconds").get<double>(), 0.0);
        EXPECT_LE(timings.at("commandSeconds").get<double>(),
                  timings.at("totalSeconds").get<double>());
        const json& bars = timings.at("bars");
        ASSERT_EQ(bars.size(), 2u);
        EXPECT_EQ(bars[0].at("caption"), "Zelkin Mesh Processing....");
        EXPECT_EQ(bars[0].at("value"), c.last - c.first + 1);
        EXPECT_EQ(bars[0].at("maximum"), c.last - c.first + 1);
        EXPECT_EQ(bars[1].at("caption"), "Zelkin Export Processing....");
        for (const json& bar : bars)
            EXPECT_GE(bar.at("seconds").get<double>(), 0.0);
    }
}

// A bake cancelled with Ctrl-C: the document still comes, with exit status
// 130, and the cache it left holds what its entry says.
TEST(Json, ACancelledBakeStillDescribesWhatItLeft) {
    const fs::path dir = TestDir();
    constexpr int kFrames = 30000;
    const fs::path out = dir / "out";
    const fs::path cache = out / "mdd" / "Grid.mdd";
    const Strings args = {"bake",      "--quiet", "--json",   "--demo",
                          "--items",   "Grid",    "--frames", "1:" + std::to_string(kFrames),
                          out.string()};
    RunResult r;
    bool interrupted = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        fs::remove_all(out);
        // The cache is written under a temporary name in mdd/ until it is judged.
        r = XsihostInterrupted(args, out / "mdd", 8 + 4 * kFrames + 2 * 1024 * 12, dir,
                               &interrupted);
        if (r.exitCode != 0)
            break;
    }
    ASSERT_TRUE(interrupted);
    ASSERT_EQ(r.exitCode, 130) << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc.at("exitStatus"), 130);
    EXPECT_EQ(doc.at("cancelled"), true);
    EXPECT_NE(doc.at("commandStatus"), "0x00000000");
    bool sawCache = false;
    for (const json& file : doc.at("outputs")) {
        EXPECT_EQ(file.at("complete"), false) << file;
        if (file.at("kind") != "mdd")
            continue;
        sawCache = true;
        const ZK_MddFile mdd = ReadMdd(cache);
        EXPECT_EQ(file.at("state"), "incomplete");
        EXPECT_EQ(file.at("fileSize"), fs::file_size(cache));
        EXPECT_EQ(file.at("frameCount"), kFrames);
        EXPECT_EQ(file.at("framesWritten"), mdd.blockCount - 1);
        EXPECT_LT(file.at("framesWritten").get<long>(), kFrames);
    }
    EXPECT_TRUE(sawCache);
}

TEST(Json, RunGivesTheCommandsStatusAndAnErrorOfUseNoDocument) {
    const fs::path dir = TestDir();
    fs::create_directories(dir / "mdd");
    const struct {
        const char* last;
        int exit;
        const char* status;
    } cases[] = {{"3", 0, "0x00000000"}, {"0", 1, "0x80070057"}}; // frames 1:0 are refused
    for (const auto& c : cases) {
        RunResult r;
        const json doc =
            JsonOf({"run", "--quiet", "--json", "--demo", "ZK_XSI_Baker", "ZK_ObjString=Grid",
                    "ZK_StartFrame=1", std::string("ZK_EndFrame=") + c.last, "ZK_MDDAct=on",
                    "ZK_FilePath=" + (dir / "mdd").string()},
                   dir, &r);
        EXPECT_EQ(r.exitCode, c.exit) << r.err;
        EXPECT_EQ(doc.at("command"), "ZK_XSI_Baker");
        EXPECT_EQ(doc.at("commandStatus"), c.status);
        EXPECT_TRUE(doc.at("returnValue").is_null());
        EXPECT_EQ(doc.at("cancelled"), false);
        EXPECT_EQ(doc.at("exitStatus"), c.exit);
        EXPECT_GE(doc.at("commandSeconds").get<double>(), 0.0);
    }
    // An error of use: one line on stderr, nothing on stdout.
    const RunResult r = Xsihost({"bake", "--json", "--demo", "--frames", "5:1", "x"}, dir);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
}

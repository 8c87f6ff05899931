// `xsihost bake --demo` as a program: every file it writes, the list it
// prints, and each file read back: the MDD caches and the ZSC file with the
// inspect readers, the scene files by their heads and item lines, the LWS and
// LWO files with Assimp, and the cached points against the demo scene's own
// description (host/import/DemoScene.h).
#include "E2eSupport.h"

#include <assimp/cimport.h>
#include <assimp/scene.h>

using namespace e2e;

namespace {

constexpr int kDemoFrames = 48; // frames 1 to 48
constexpr float kDemoRate = 30.0f;

std::vector<ListedItem> DemoItems(const fs::path& dir) {
    const std::vector<ListedItem> items = ListItems({"--demo"}, dir);
    // The checks below rely on the demo holding every kind.
    std::set<std::string> kinds;
    for (const ListedItem& item : items) {
        kinds.insert(item.kind);
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"mesh", "null", "camera", "light"}));
    return items;
}

std::vector<std::string> NamesOfKind(const std::vector<ListedItem>& items, const char* kind) {
    std::vector<std::string> names;
    for (const ListedItem& item : items) {
        if (item.kind == kind) {
            names.push_back(item.name);
        }
    }
    return names;
}

// Runs the bake and checks that it succeeded and printed exactly the files
// below its (fresh) output folder, which must be the expected ones.
fs::path Bake(const fs::path& dir, const std::vector<std::string>& options,
              const std::vector<std::string>& expectedRelative) {
    const fs::path out = dir / "out";
    std::vector<std::string> args = {"bake", "--demo", "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(out.string());
    const RunResult r = Xsihost(args, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> expected;
    for (const std::string& rel : expectedRelative) {
        expected.push_back((out / rel).string());
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesBelow(out), expected);
    std::vector<std::string> printed = Lines(r.out);
    std::sort(printed.begin(), printed.end());
    EXPECT_EQ(printed, expected);
    return out;
}

std::vector<std::string> MeshFiles(const std::vector<ListedItem>& items) {
    std::vector<std::string> files;
    for (const std::string& mesh : NamesOfKind(items, "mesh")) {
        files.push_back("mdd/" + mesh + ".mdd");
        files.push_back("lwo/" + mesh + ".lwo");
        files.push_back("emdl/" + mesh + ".emdl");
    }
    return files;
}

std::vector<std::string> SceneFiles() {
    return {"scene.lws", "scene.mel", "scene.fxs", "scene.zsc"};
}

// Every mesh's cache: the whole frame range, the listed point count, complete,
// times frame / rate, and a lead block equal to the first frame's block.
void CheckMddFiles(const fs::path& out, const std::vector<ListedItem>& items) {
    for (const ListedItem& item : items) {
        if (item.kind != "mesh") {
            continue;
        }
        SCOPED_TRACE(item.name);
        const ZK_MddFile mdd = ReadMdd(out / "mdd" / (item.name + ".mdd"));
        EXPECT_EQ(mdd.frameCount, kDemoFrames);
        EXPECT_EQ(mdd.pointCount, item.pointCount);
        EXPECT_TRUE(mdd.complete);
        EXPECT_EQ(mdd.blockCount, kDemoFrames + 1);
        ASSERT_EQ(mdd.times.size(), static_cast<size_t>(kDemoFrames));
        for (int i = 0; i < kDemoFrames; ++i) {
            EXPECT_EQ(mdd.times[i], static_cast<float>(i + 1) / kDemoRate) << "time " << i;
        }
        const size_t block = static_cast<size_t>(mdd.pointCount) * 3;
        ASSERT_EQ(mdd.points.size(), block * (kDemoFrames + 1));
        EXPECT_TRUE(
            std::equal(mdd.points.begin(), mdd.points.begin() + block, mdd.points.begin() + block))
            << "the lead block is not the first frame";
    }
}

void CheckSampledRecord(const ZK_ZscRecord& record) {
    ASSERT_EQ(record.samples.size(), static_cast<size_t>(kDemoFrames)) << record.name;
    for (int k = 0; k < kDemoFrames; ++k) {
        EXPECT_EQ(record.samples[k].frame, k + 1) << record.name;
        EXPECT_EQ(record.samples[k].time, static_cast<float>(k + 1) / kDemoRate) << record.name;
    }
}

// The mesh path of an object record names the written EMDL or LWO file.
void CheckMeshPath(const fs::path& out, const ZK_ZscRecord& record) {
    ASSERT_TRUE(record.hasMeshPath) << record.name;
    if (record.meshFormat == 1) {
        EXPECT_EQ(record.meshPath, (out / "emdl" / (record.name + ".emdl")).string());
    } else {
        EXPECT_EQ(record.meshFormat, 0) << record.name;
        EXPECT_EQ(record.meshPath, (out / "lwo" / (record.name + ".lwo")).string());
    }
    EXPECT_TRUE(fs::is_regular_file(record.meshPath)) << record.meshPath;
}

} // namespace

TEST(BakeDemo, WritesEveryOutputAndTheFilesReadBack) {
    const fs::path dir = TestDir();
    const std::vector<ListedItem> items = DemoItems(dir);
    std::vector<std::string> files = MeshFiles(items);
    for (const std::string& f : SceneFiles()) {
        files.push_back(f);
    }
    const fs::path out = Bake(dir, {}, files);
    EXPECT_EQ(NamesOfKind(items, "mesh"), (std::vector<std::string>{"Grid", "Rig.Cube"}));

    CheckMddFiles(out, items);

    // ZSC: cameras, lights, nulls, then every mesh twice (its cache, then its
    // keyed motion).
    const ZK_ZscFile zsc = ReadZsc(out / "scene.zsc");
    EXPECT_EQ(zsc.frameCount, kDemoFrames);
    EXPECT_EQ(zsc.startFrame, 1);
    EXPECT_EQ(zsc.endFrame, kDemoFrames);
    EXPECT_EQ(zsc.frameRate, kDemoRate);
    std::vector<std::pair<ZK_ZscRecordKind, std::string>> expected;
    for (const auto& [kind, listed] :
         {std::pair{ZK_ZscRecordKind::Camera, "camera"},
          std::pair{ZK_ZscRecordKind::Light, "light"}, std::pair{ZK_ZscRecordKind::Null, "null"},
          std::pair{ZK_ZscRecordKind::MddObject, "mesh"},
          std::pair{ZK_ZscRecordKind::KeyedObject, "mesh"}}) {
        for (const std::string& name : NamesOfKind(items, listed)) {
            expected.push_back({kind, name});
        }
    }
    std::vector<std::pair<ZK_ZscRecordKind, std::string>> actual;
    for (const ZK_ZscRecord& record : zsc.records) {
        actual.push_back({record.kind, record.name});
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(zsc.itemCount, static_cast<int32_t>(expected.size()));
    for (const ZK_ZscRecord& record : zsc.records) {
        switch (record.kind) {
        case ZK_ZscRecordKind::MddObject:
            CheckMeshPath(out, record);
            EXPECT_EQ(record.mddPath, (out / "mdd" / (record.name + ".mdd")).string());
            EXPECT_TRUE(record.samples.empty());
            break;
        case ZK_ZscRecordKind::KeyedObject:
            CheckMeshPath(out, record);
            CheckSampledRecord(record);
            break;
        default:
            CheckSampledRecord(record);
            break;
        }
    }

    // LightWave scene: its head, a cached layer per mesh pointing at the
    // written files, and every other item by name.
    const std::string lws = ReadFile((out / "scene.lws").string());
    EXPECT_TRUE(StartsWith(lws, "LWSC\n3\n")) << lws.substr(0, 40);
    for (const std::string& mesh : NamesOfKind(items, "mesh")) {
        const std::string layer = "LoadObjectLayer 1 " + (out / "lwo" / (mesh + ".lwo")).string();
        const std::string cache = "\n\"" + (out / "mdd" / (mesh + ".mdd")).string() + "\"\n";
        EXPECT_NE(lws.find("\n" + layer + "\nShowObject 6 3\nSubdivisionOrder 5\n"),
                  std::string::npos)
            << mesh;
        EXPECT_NE(lws.find(cache), std::string::npos) << mesh;
    }
    for (const std::string& null : NamesOfKind(items, "null")) {
        EXPECT_NE(lws.find("\nAddNullObject " + null + "\n"), std::string::npos) << null;
    }
    for (const std::string& light : NamesOfKind(items, "light")) {
        EXPECT_NE(lws.find("\nAddLight\nLightName " + light + "\n"), std::string::npos) << light;
    }
    for (const std::string& camera : NamesOfKind(items, "camera")) {
        EXPECT_NE(lws.find("\nAddCamera\nCameraName " + camera + "\n"), std::string::npos)
            << camera;
    }
    EXPECT_EQ(lws.find('\r'), std::string::npos);

    const std::string mel = ReadFile((out / "scene.mel").string());
    EXPECT_TRUE(StartsWith(mel, "// Mel script generated by Zelkin.\n")) << mel.substr(0, 40);
    EXPECT_TRUE(EndsWith(mel, "autoKeyframe -state off;\n"));
    for (const std::string& mesh : NamesOfKind(items, "mesh")) {
        EXPECT_NE(mel.find("ZK_Reader -d \"" + (out / "mdd" / (mesh + ".mdd")).string() + "\";\n"),
                  std::string::npos)
            << mesh;
    }

    const std::string fxs = ReadFile((out / "scene.fxs").string());
    EXPECT_TRUE(StartsWith(fxs, "FXSCENE 301")) << fxs.substr(0, 40);
}

TEST(BakeDemo, MotionFilesReplaceTheKeyedMotion) {
    const fs::path dir = TestDir();
    const std::vector<ListedItem> items = DemoItems(dir);
    std::vector<std::string> files = MeshFiles(items);
    for (const std::string& f : SceneFiles()) {
        files.push_back(f);
    }
    for (const ListedItem& item : items) {
        files.push_back("motion/" + item.name + ".mot");
    }
    for (const std::string& camera : NamesOfKind(items, "camera")) {
        files.push_back("motion/" + camera + "_zoom.env");
    }
    const fs::path out = Bake(dir, {"--motion-files"}, files);

    CheckMddFiles(out, items);
    for (const ListedItem& item : items) {
        const std::string mot = ReadFile((out / "motion" / (item.name + ".mot")).string());
        const int channels = item.kind == "camera" || item.kind == "light" ? 6 : 9;
        EXPECT_TRUE(StartsWith(mot, "LWMO\n3\n\nNumChannels " + std::to_string(channels) +
                                        "\nChannel 0\n{ Envelope\n  48\n"))
            << item.name << ": " << mot.substr(0, 60);
    }
    for (const std::string& camera : NamesOfKind(items, "camera")) {
        const std::string env = ReadFile((out / "motion" / (camera + "_zoom.env")).string());
        EXPECT_TRUE(StartsWith(env, "{ Envelope\n  48\n")) << env.substr(0, 40);
    }

    // The scene file keeps the cached layers and the fixed default light;
    // the motion is in the motion files only.
    const std::string lws = ReadFile((out / "scene.lws").string());
    EXPECT_TRUE(StartsWith(lws, "LWSC\n3\n"));
    EXPECT_NE(lws.find("\nAddLight\nLightName Light\n"), std::string::npos);
    for (const char* absent : {"AddNullObject", "AddCamera", "ObjectMotion"}) {
        EXPECT_EQ(lws.find(absent), std::string::npos) << absent;
    }
    const ZK_ZscFile zsc = ReadZsc(out / "scene.zsc");
    for (const ZK_ZscRecord& record : zsc.records) {
        EXPECT_EQ(record.kind, ZK_ZscRecordKind::MddObject) << record.name;
    }
    EXPECT_EQ(zsc.records.size(), NamesOfKind(items, "mesh").size());
}

// Assimp 5.2 cannot read the "LightColor (envelope)" line of a sampled light,
// so the scene read by Assimp is baked without the demo's spot light.
TEST(BakeDemo, AssimpReadsTheSceneAndTheMeshes) {
    const fs::path dir = TestDir();
    const std::vector<ListedItem> items = DemoItems(dir);
    std::string withoutLights;
    std::vector<ListedItem> baked;
    for (const ListedItem& item : items) {
        if (item.kind != "light") {
            withoutLights += (withoutLights.empty() ? "" : ",") + item.name;
            baked.push_back(item);
        }
    }
    std::vector<std::string> files = MeshFiles(items);
    for (const std::string& f : SceneFiles()) {
        files.push_back(f);
    }
    const fs::path out = Bake(dir, {"--items", withoutLights}, files);

    const aiScene* scene = aiImportFile((out / "scene.lws").c_str(), 0);
    ASSERT_NE(scene, nullptr) << aiGetErrorString();
    // Assimp names the nodes "<name>_(<id>)".
    std::vector<std::string> nodes;
    std::vector<const aiNode*> stack = {scene->mRootNode};
    while (!stack.empty()) {
        const aiNode* node = stack.back();
        stack.pop_back();
        nodes.push_back(node->mName.C_Str());
        for (unsigned i = 0; i < node->mNumChildren; ++i) {
            stack.push_back(node->mChildren[i]);
        }
    }
    for (const ListedItem& item : baked) {
        const std::string prefix = item.name + "_(";
        EXPECT_TRUE(std::any_of(nodes.begin(), nodes.end(),
                                [&](const std::string& n) { return StartsWith(n, prefix); }))
            << "no node for " << item.name;
    }
    EXPECT_EQ(scene->mNumCameras, NamesOfKind(items, "camera").size());
    EXPECT_EQ(scene->mNumLights, 1u); // the default light
    ASSERT_EQ(scene->mNumAnimations, 1u);
    const aiAnimation* anim = scene->mAnimations[0];
    EXPECT_EQ(anim->mTicksPerSecond, 30.0);
    // Keyed meshes, nulls and cameras.
    EXPECT_EQ(anim->mNumChannels, baked.size());
    for (unsigned i = 0; i < anim->mNumChannels; ++i) {
        EXPECT_EQ(anim->mChannels[i]->mNumPositionKeys, static_cast<unsigned>(kDemoFrames))
            << anim->mChannels[i]->mNodeName.C_Str();
    }
    aiReleaseImport(scene);

    // Every LWO file reads, with the polygons of the mesh (counted in the
    // model file of the same bake).
    for (const std::string& mesh : NamesOfKind(items, "mesh")) {
        const aiScene* lwo = aiImportFile((out / "lwo" / (mesh + ".lwo")).c_str(), 0);
        ASSERT_NE(lwo, nullptr) << mesh << ": " << aiGetErrorString();
        unsigned faces = 0;
        for (unsigned i = 0; i < lwo->mNumMeshes; ++i) {
            faces += lwo->mMeshes[i]->mNumFaces;
        }
        const ModelFile model = ReadModelFile(out / "emdl" / (mesh + ".emdl"));
        EXPECT_GT(model.polygonCount, 0u) << mesh;
        EXPECT_EQ(faces, model.polygonCount) << mesh;
        aiReleaseImport(lwo);
    }
}

// The cube's cache at frame 1, in world and in local space, against the
// points the host exports for it (ExportModel, local space, frame 1): at
// frame 1 the Rig null sits at (0, 1, 0) and the cube at (3, 0, 0) under it,
// both unrotated, so world = local + (3, 1, 0). Every later frame is a rigid
// motion of the local points. The grid's cache follows its wave deformer.
TEST(BakeDemo, CachedPointsMatchTheScene) {
    const fs::path dir = TestDir();
    const fs::path model = dir / "cube_frame1.emdl";
    const RunResult r = Xsihost(
        {"run", "--demo", "--frame", "1", "--quiet", "ExportModel", "Rig.Cube", model.string()},
        dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const ModelFile cube = ReadModelFile(model);
    ASSERT_EQ(cube.pointCount, 8u);

    const fs::path world = dir / "world";
    const fs::path local = dir / "local";
    for (const auto& [out, extra] : {std::pair{world, ""}, std::pair{local, "--local"}}) {
        std::vector<std::string> args = {"bake", "--demo", "--quiet", "--items", "Grid,Rig.Cube"};
        if (*extra) {
            args.push_back(extra);
        }
        args.push_back(out.string());
        const RunResult bake = Xsihost(args, dir);
        ASSERT_EQ(bake.exitCode, 0) << bake.err;
    }
    const ZK_MddFile w = ReadMdd(world / "mdd" / "Rig.Cube.mdd");
    const ZK_MddFile l = ReadMdd(local / "mdd" / "Rig.Cube.mdd");
    ASSERT_TRUE(w.complete && l.complete);
    ASSERT_EQ(w.pointCount, 8);
    ASSERT_EQ(l.pointCount, 8);
    for (int block : {0, 1}) {
        for (int i = 0; i < 8; ++i) {
            const Stored p = cube.points[i];
            const Stored lp = MddPoint(l, block, i);
            EXPECT_EQ(lp.x, p.x) << "block " << block << " point " << i;
            EXPECT_EQ(lp.y, p.y) << "block " << block << " point " << i;
            EXPECT_EQ(lp.z, -p.z) << "block " << block << " point " << i;
            const Stored wp = MddPoint(w, block, i);
            EXPECT_FLOAT_EQ(wp.x, p.x + 3.0f) << "block " << block << " point " << i;
            EXPECT_FLOAT_EQ(wp.y, p.y + 1.0f) << "block " << block << " point " << i;
            EXPECT_FLOAT_EQ(wp.z, -p.z) << "block " << block << " point " << i;
        }
    }
    // The cube is only moved: its local points never change, its world
    // points keep every distance between them, and they do move.
    auto distance = [](const Stored& a, const Stored& b) {
        return std::sqrt(double(a.x - b.x) * (a.x - b.x) + double(a.y - b.y) * (a.y - b.y) +
                         double(a.z - b.z) * (a.z - b.z));
    };
    for (int64_t block = 2; block < w.blockCount; ++block) {
        for (int i = 0; i < 8; ++i) {
            const Stored lp = MddPoint(l, block, i);
            EXPECT_EQ(lp.x, cube.points[i].x);
            EXPECT_EQ(lp.y, cube.points[i].y);
            EXPECT_EQ(lp.z, -cube.points[i].z);
            for (int j = 0; j < i; ++j) {
                EXPECT_NEAR(distance(MddPoint(w, block, i), MddPoint(w, block, j)),
                            distance(cube.points[i], cube.points[j]), 1e-5)
                    << "block " << block << " points " << i << ", " << j;
            }
        }
    }
    EXPECT_GT(distance(MddPoint(w, 1, 0), MddPoint(w, w.blockCount - 1, 0)), 1.0);

    // The grid: 32 x 32 points on a 10 x 10 square, rows along x, with
    // y = 0.5 sin(2 pi (x / 5 - (frame - 1) / 24)); it has no transform, so
    // world and local caches agree.
    const ZK_MddFile grid = ReadMdd(world / "mdd" / "Grid.mdd");
    const ZK_MddFile gridLocal = ReadMdd(local / "mdd" / "Grid.mdd");
    ASSERT_TRUE(grid.complete);
    ASSERT_EQ(grid.pointCount, 32 * 32);
    EXPECT_EQ(grid.points, gridLocal.points);
    const double pi = 3.14159265358979323846;
    for (int64_t block = 0; block < grid.blockCount; ++block) {
        const double frame = block == 0 ? 1.0 : static_cast<double>(block);
        for (int r = 0; r < 32; ++r) {
            for (int c = 0; c < 32; ++c) {
                const double x = -5.0 + c * 10.0 / 31.0;
                const double z = -5.0 + r * 10.0 / 31.0;
                const double y = 0.5 * std::sin(2.0 * pi * (x / 5.0 - (frame - 1.0) / 24.0));
                const Stored p = MddPoint(grid, block, r * 32 + c);
                ASSERT_NEAR(p.x, x, 1e-5) << "block " << block << " row " << r << " col " << c;
                ASSERT_NEAR(p.y, y, 1e-5) << "block " << block << " row " << r << " col " << c;
                ASSERT_NEAR(p.z, -z, 1e-5) << "block " << block << " row " << r << " col " << c;
            }
        }
    }
}

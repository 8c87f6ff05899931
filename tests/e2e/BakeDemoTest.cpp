// `xsihost bake --demo` as a program: every file it writes and prints, each
// file read back (the MDD caches and the ZSC file with the inspect readers,
// the scene files by their heads and item lines, the LWS and LWO files with
// Assimp), and the cached points against the demo scene
// (host/import/DemoScene.h): meshes Grid (1024 points) and Rig.Cube (8), the
// null Rig, the camera Camera and the light Spot, frames 1 to 48 at 30 fps.
#include "E2eSupport.h"

#include <assimp/cimport.h>
#include <assimp/scene.h>

#include <set>

using namespace e2e;

namespace {

constexpr int kFrames = 48;
const Strings kMeshes = {"Grid", "Rig.Cube"};

// The files of a full bake, relative to the output folder.
Strings DemoFiles() {
    Strings files = {"scene.fxs", "scene.lws", "scene.mel", "scene.zsc"};
    for (const std::string& mesh : kMeshes)
        for (const std::string kind : {"mdd", "lwo", "emdl"})
            files.push_back(kind + "/" + mesh + "." + kind);
    return files;
}

// Bakes the demo into dir/out and checks that the bake succeeded and printed
// exactly the files below its output folder, which are the expected ones.
fs::path BakeDemo(const fs::path& dir, Strings options, const Strings& expectedRelative) {
    const fs::path out = dir / "out";
    options.push_back("--demo");
    const RunResult r = Bake(options, out, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Strings expected, printed = Lines(r.out);
    for (const std::string& rel : expectedRelative)
        expected.push_back((out / rel).string());
    std::sort(expected.begin(), expected.end());
    std::sort(printed.begin(), printed.end());
    EXPECT_EQ(FilesBelow(out), expected);
    EXPECT_EQ(printed, expected);
    return out;
}

// Every mesh's cache: the whole frame range, complete, times frame / rate,
// and a lead block equal to the first frame's block.
void CheckCaches(const fs::path& out) {
    for (const auto& [mesh, points] : {std::pair{"Grid", 1024}, std::pair{"Rig.Cube", 8}}) {
        SCOPED_TRACE(mesh);
        const ZK_MddFile mdd = ReadMdd(out / "mdd" / (std::string(mesh) + ".mdd"));
        EXPECT_EQ(mdd.frameCount, kFrames);
        EXPECT_EQ(mdd.pointCount, points);
        ASSERT_TRUE(mdd.complete);
        ASSERT_EQ(mdd.times.size(), size_t(kFrames));
        for (int i = 0; i < kFrames; ++i)
            EXPECT_EQ(mdd.times[i], float(i + 1) / 30.0f) << "time " << i;
        const auto block = mdd.points.begin() + points * 3;
        EXPECT_TRUE(std::equal(mdd.points.begin(), block, block)) << "lead block";
    }
}

} // namespace

TEST(BakeDemo, WritesEveryOutputAndTheFilesReadBack) {
    const fs::path dir = TestDir();
    const fs::path out = BakeDemo(dir, {}, DemoFiles());
    CheckCaches(out);

    // ZSC: cameras, lights, nulls, then every mesh twice (its cache, then its
    // keyed motion); both mesh exports ran, so the mesh path is the EMDL file.
    const ZK_ZscFile zsc = ReadZsc(out / "scene.zsc");
    EXPECT_EQ(zsc.frameCount, kFrames);
    EXPECT_EQ(zsc.startFrame, 1);
    EXPECT_EQ(zsc.endFrame, kFrames);
    EXPECT_EQ(zsc.frameRate, 30.0f);
    Strings records;
    auto in = [&](const std::string& path) { // relative to the output folder
        return StartsWith(path, out.string() + "/") ? path.substr(out.string().size() + 1) : path;
    };
    for (const ZK_ZscRecord& r : zsc.records) {
        records.push_back(ZK_ZscKindName(r.kind) + (" " + r.name) + " " +
                          std::to_string(r.samples.size()));
        if (r.hasMeshPath)
            records.back() += " " + std::to_string(r.meshFormat) + " " + in(r.meshPath);
        if (r.kind == ZK_ZscRecordKind::MddObject)
            records.back() += " " + in(r.mddPath);
        for (size_t k = 0; k < r.samples.size(); ++k)
            EXPECT_EQ(r.samples[k].time, float(k + 1) / 30.0f) << r.name;
    }
    EXPECT_EQ(records, (Strings{"camera Camera 48", "light Spot 48", "null Rig 48",
                                "mdd object Grid 0 1 emdl/Grid.emdl mdd/Grid.mdd",
                                "mdd object Rig.Cube 0 1 emdl/Rig.Cube.emdl mdd/Rig.Cube.mdd",
                                "keyed object Grid 48 1 emdl/Grid.emdl",
                                "keyed object Rig.Cube 48 1 emdl/Rig.Cube.emdl"}));

    // LightWave scene: its head, a cached layer per mesh pointing at the
    // written files, and every other item by name.
    const std::string lws = ReadFile(out / "scene.lws");
    EXPECT_TRUE(StartsWith(lws, "LWSC\n3\n")) << lws.substr(0, 40);
    EXPECT_EQ(lws.find('\r'), std::string::npos);
    Strings lines = {"\nAddNullObject Rig\n", "\nAddLight\nLightName Spot\n",
                     "\nAddCamera\nCameraName Camera\n"};
    for (const std::string& mesh : kMeshes) {
        lines.push_back("\nLoadObjectLayer 1 " + (out / "lwo" / (mesh + ".lwo")).string() +
                        "\nShowObject 6 3\nSubdivisionOrder 5\n");
        lines.push_back("\n\"" + (out / "mdd" / (mesh + ".mdd")).string() + "\"\n");
    }
    for (const std::string& line : lines)
        EXPECT_NE(lws.find(line), std::string::npos) << line;

    const std::string mel = ReadFile(out / "scene.mel");
    EXPECT_TRUE(StartsWith(mel, "// Mel script generated by Zelkin.\n")) << mel.substr(0, 40);
    const std::string end = "autoKeyframe -state off;\n";
    EXPECT_EQ(mel.rfind(end), mel.size() - end.size());
    for (const std::string& mesh : kMeshes) {
        const std::string reader = "ZK_Reader -d \"" + (out / "mdd" / (mesh + ".mdd")).string();
        EXPECT_NE(mel.find(reader + "\";\n"), std::string::npos) << mesh;
    }
    EXPECT_TRUE(StartsWith(ReadFile(out / "scene.fxs"), "FXSCENE 301"));

    // Assimp reads every LWO file with the mesh's polygons.
    for (const auto& [mesh, polygons] : {std::pair{"Grid", 31u * 31u}, std::pair{"Rig.Cube", 6u}}) {
        const fs::path lwo = out / "lwo" / (std::string(mesh) + ".lwo");
        const aiScene* scene = aiImportFile(lwo.c_str(), 0);
        ASSERT_NE(scene, nullptr) << mesh << ": " << aiGetErrorString();
        unsigned faces = 0;
        for (unsigned i = 0; i < scene->mNumMeshes; ++i)
            faces += scene->mMeshes[i]->mNumFaces;
        EXPECT_EQ(faces, polygons) << mesh;
        aiReleaseImport(scene);
    }
}

TEST(BakeDemo, MotionFilesReplaceTheKeyedMotion) {
    const fs::path dir = TestDir();
    // A motion file per item (6 channels for cameras and lights, 9 for the
    // others) and a zoom envelope per camera.
    const std::vector<std::pair<std::string, int>> items = {
        {"Grid", 9}, {"Rig", 9}, {"Rig.Cube", 9}, {"Camera", 6}, {"Spot", 6}};
    Strings files = DemoFiles();
    for (const auto& [item, channels] : items)
        files.push_back("motion/" + item + ".mot");
    files.push_back("motion/Camera_zoom.env");
    const fs::path out = BakeDemo(dir, {"--motion-files"}, files);
    CheckCaches(out);

    for (const auto& [item, channels] : items) {
        const std::string mot = ReadFile(out / "motion" / (item + ".mot"));
        EXPECT_TRUE(StartsWith(mot, "LWMO\n3\n\nNumChannels " + std::to_string(channels) +
                                        "\nChannel 0\n{ Envelope\n  48\n"))
            << item << ": " << mot.substr(0, 60);
    }
    EXPECT_TRUE(StartsWith(ReadFile(out / "motion" / "Camera_zoom.env"), "{ Envelope\n  48\n"));

    // The scene file keeps the cached layers and the fixed default light;
    // the motion is in the motion files only.
    const std::string lws = ReadFile(out / "scene.lws");
    EXPECT_TRUE(StartsWith(lws, "LWSC\n3\n"));
    EXPECT_NE(lws.find("\nAddLight\nLightName Light\n"), std::string::npos);
    for (const char* absent : {"AddNullObject", "AddCamera", "ObjectMotion"})
        EXPECT_EQ(lws.find(absent), std::string::npos) << absent;
    const ZK_ZscFile zsc = ReadZsc(out / "scene.zsc");
    ASSERT_EQ(zsc.records.size(), kMeshes.size());
    for (const ZK_ZscRecord& record : zsc.records)
        EXPECT_EQ(record.kind, ZK_ZscRecordKind::MddObject) << record.name;
}

// Assimp 5.2 cannot read the "LightColor (envelope)" line of a sampled light,
// so the scene read by Assimp is baked without the demo's spot light.
TEST(BakeDemo, AssimpReadsTheScene) {
    const fs::path dir = TestDir();
    const Strings items = {"Grid", "Rig", "Rig.Cube", "Camera"};
    const fs::path out = BakeDemo(dir, {"--items", "Grid,Rig,Rig.Cube,Camera"}, DemoFiles());
    const aiScene* scene = aiImportFile((out / "scene.lws").c_str(), 0);
    ASSERT_NE(scene, nullptr) << aiGetErrorString();
    // Assimp names the nodes "<name>_(<id>)".
    std::set<std::string> nodes;
    for (std::vector<const aiNode*> stack = {scene->mRootNode}; !stack.empty();) {
        const aiNode* node = stack.back();
        stack.pop_back();
        const std::string name = node->mName.C_Str();
        nodes.insert(name.substr(0, name.rfind("_(")));
        stack.insert(stack.end(), node->mChildren, node->mChildren + node->mNumChildren);
    }
    for (const std::string& item : items)
        EXPECT_EQ(nodes.count(item), 1u) << "no node for " << item;
    EXPECT_EQ(scene->mNumCameras, 1u);
    EXPECT_EQ(scene->mNumLights, 1u); // the default light
    ASSERT_EQ(scene->mNumAnimations, 1u);
    const aiAnimation* anim = scene->mAnimations[0];
    EXPECT_EQ(anim->mTicksPerSecond, 30.0);
    EXPECT_EQ(anim->mNumChannels, items.size()); // keyed meshes, nulls and cameras
    for (unsigned i = 0; i < anim->mNumChannels; ++i)
        EXPECT_EQ(anim->mChannels[i]->mNumPositionKeys, unsigned(kFrames))
            << anim->mChannels[i]->mNodeName.C_Str();
    aiReleaseImport(scene);
}

// The caches in world and in local space against the demo scene. Cube point
// i has x, y, z = -0.5 or +0.5 by bits 0, 1, 2 of i; at frame 1 the Rig sits
// at (0, 1, 0) and the cube at (3, 0, 0) under it, both unrotated, so world =
// local + (3, 1, 0). Every later frame only moves the cube.
TEST(BakeDemo, CachedCubeInWorldAndLocalSpace) {
    const fs::path dir = TestDir();
    for (const std::string space : {"world", "local"}) {
        Strings options = {"--demo", "--items", "Rig.Cube"};
        if (space == "local")
            options.push_back("--local");
        const RunResult bake = Bake(options, dir / space, dir);
        ASSERT_EQ(bake.exitCode, 0) << bake.err;
    }
    const ZK_MddFile w = ReadMdd(dir / "world" / "mdd" / "Rig.Cube.mdd");
    const ZK_MddFile l = ReadMdd(dir / "local" / "mdd" / "Rig.Cube.mdd");
    ASSERT_TRUE(w.complete && l.complete);
    ASSERT_EQ(w.pointCount, 8);
    ASSERT_EQ(l.pointCount, 8);
    auto cube = [](int i) -> P3 {
        return {i & 1 ? 0.5 : -0.5, i & 2 ? 0.5 : -0.5, i & 4 ? -0.5 : 0.5}; // as stored
    };
    auto distance = [](const P3& a, const P3& b) {
        return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
    };
    for (int64_t block = 0; block < w.blockCount; ++block) {
        for (int i = 0; i < 8; ++i) {
            SCOPED_TRACE(testing::Message() << "block " << block << " point " << i);
            EXPECT_EQ(MddPoint(l, block, i), cube(i));
            const P3 wp = MddPoint(w, block, i);
            if (block < 2) {
                EXPECT_NEAR(wp[0], cube(i)[0] + 3.0, 1e-6);
                EXPECT_NEAR(wp[1], cube(i)[1] + 1.0, 1e-6);
                EXPECT_NEAR(wp[2], cube(i)[2], 1e-6);
            }
            for (int j = 0; j < i; ++j) // a rigid motion keeps every distance
                EXPECT_NEAR(distance(wp, MddPoint(w, block, j)), distance(cube(i), cube(j)), 1e-5);
        }
    }
    EXPECT_GT(distance(MddPoint(w, 1, 0), MddPoint(w, w.blockCount - 1, 0)), 1.0);
}

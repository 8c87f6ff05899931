// The FBX deformer scenes of the project's fixture script
// (tests/importer/data/make_fbx_fixtures.py) loaded as scene files: each
// mesh's points at some frames against values worked out by hand from the
// numbers the script writes (joints turned about Z, points a unit from a
// joint, shapes moving one axis), or by a plain formula where hand work
// would be a formula anyway (the angle of a normalised sum of two
// quaternions about one axis).
#include "host/app/HostApp.h"
#include "host/import/AssimpScene.h"
#include "host/scene/Item.h"
#include "host/scene/Scene.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

using host::Vec3;

namespace {

using Pts = std::vector<Vec3>;
const double h = std::sqrt(0.5);
const double kPi = 3.14159265358979323846;

std::string Fixture(const std::string& name) {
    return std::string(ZK_FBX_FIXTURES) + "/" + name;
}

const host::Item* Load(const std::string& file, const wchar_t* mesh) {
    host::HostApp& app = host::HostApp::Get();
    app.Reset();
    app.SetEchoLog(false);
    host::LoadSceneFile(file);
    const host::Item* item = app.GetScene()->FindItem(mesh);
    EXPECT_NE(item, nullptr) << file;
    return item;
}

Pts Local(const host::Item& item, double frame) {
    Pts out(static_cast<size_t>(item.GetPointCount()));
    item.EvalPoints(frame, out.data());
    return out;
}

Pts World(const host::Item& item, double frame) {
    Pts out = Local(item, frame);
    const host::Mat34 m = item.EvalGlobalMatrix(frame);
    for (Vec3& p : out)
        p = host::Apply(m, p);
    return out;
}

void ExpectPoints(const Pts& got, const Pts& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got[i].x, want[i].x, 1e-6) << what << ", point " << i;
        EXPECT_NEAR(got[i].y, want[i].y, 1e-6) << what << ", point " << i;
        EXPECT_NEAR(got[i].z, want[i].z, 1e-6) << what << ", point " << i;
    }
}

std::vector<std::string> Warnings() {
    std::vector<std::string> out;
    for (const auto& e : host::HostApp::Get().GetLog()) {
        if (e.severity == XSI::siWarningMsg)
            out.push_back(e.text);
    }
    return out;
}

// J1 stands at (0,1,0) turned 90 degrees about Z, bound unturned: a point
// a unit from it turns about it. Half on J0 (which keeps it) and half on J1,
// dual quaternions turn it by 45 degrees; 1:3 by the angle of the
// normalised sum of the two quaternions; on one joint it follows that joint.
TEST(FbxDeformers, DualQuaternionSkin) {
    const host::Item* arm = Load(Fixture("skin_dq.fbx"), L"Arm");
    ASSERT_NE(arm, nullptr);
    const double theta =
        2.0 * std::atan2(0.75 * std::sin(kPi / 4), 0.25 + 0.75 * std::cos(kPi / 4));
    ExpectPoints(World(*arm, 0),
                 {{h, 1 + h, 0}, {std::cos(theta), 1 + std::sin(theta), 0}, {0, 3, 0}, {0, 3, 0.5}},
                 "frame 0");
}

// Blend weight 0: the linear blend, the corner cut to (0.5,1.5,0); 1: the
// dual-quaternion arc; 0.5 halfway between the two; a point the skin gives
// no blend weight skins linearly.
TEST(FbxDeformers, BlendedSkin) {
    const host::Item* arm = Load(Fixture("skin_blend.fbx"), L"Arm");
    ASSERT_NE(arm, nullptr);
    ExpectPoints(
        World(*arm, 0),
        {{0.5, 1.5, 0}, {0.25 + 0.5 * h, 0.75 + 0.5 * (1 + h), 0}, {h, 1 + h, 0}, {1, 2, 0}},
        "frame 0");
}

// The mesh was bound at (0,0,1) and its node moves on along x; its joint J
// stands at the origin turned 90 degrees about Z. Maya skins in the mesh's
// own space: the skin deforms the mesh as it was bound and its node's own
// transform then moves it. Point 0 on J: bound at world (1,0,1), turned to
// (0,1,1), which is (0,1,0) from the bind place; point 1 has no influences
// and stays where it is on the mesh. Written by Blender (whose meshes hang
// under their armature), the skinned points stay where the joint puts them,
// (0,1,1) in the world, wherever the mesh node goes.
TEST(FbxDeformers, TheSkinnedMeshsOwnTransformMovesItAsTheWritingProgramShowsIt) {
    const host::Item* maya = Load(Fixture("skin_moved_maya.fbx"), L"Flag");
    ASSERT_NE(maya, nullptr);
    for (double frame : {0.0, 5.0, 10.0}) {
        const double x = 2.0 * frame / 10.0;
        ExpectPoints(Local(*maya, frame), {{0, 1, 0}, {0, 0, 0}, {-1, 0, 0}},
                     "Maya, local, frame " + std::to_string(frame));
        ExpectPoints(World(*maya, frame), {{x, 1, 1}, {x, 0, 1}, {x - 1, 0, 1}},
                     "Maya, world, frame " + std::to_string(frame));
    }
    const host::Item* blender = Load(Fixture("skin_moved_blender.fbx"), L"Flag");
    ASSERT_NE(blender, nullptr);
    for (double frame : {0.0, 5.0, 10.0}) {
        const double x = 2.0 * frame / 10.0;
        ExpectPoints(World(*blender, frame), {{0, 1, 1}, {x, 0, 1}, {-1, 0, 1}},
                     "Blender, world, frame " + std::to_string(frame));
    }
}

// Lift's shapes sit at 50 (point 0 up 1) and 100 percent (point 0 up 4,
// point 1 along x 1), the base at 0; its weight runs 0, 100, 150 at frames
// 0, 10, 20. Between neighbours the two blend linearly; past 100 the last
// two go on: at 125 percent, -0.5 of the first and 1.5 of the second.
TEST(FbxDeformers, InBetweenShapes) {
    const host::Item* box = Load(Fixture("inbetween.fbx"), L"Box");
    ASSERT_NE(box, nullptr);
    const struct {
        double frame, up, along;
    } cases[] = {{0, 0, 0},  {2.5, 0.5, 0},  {5, 1, 0}, {7.5, 2.5, 0.5},
                 {10, 4, 1}, {15, 5.5, 1.5}, {20, 7, 2}};
    for (const auto& c : cases) {
        ExpectPoints(Local(*box, c.frame),
                     {{0, c.up, 0}, {1 + c.along, 0, 0}, {1, 1, 0}, {0, 1, 0}},
                     "frame " + std::to_string(c.frame));
    }
}

// Unanimated weights: Squash at 35 percent with Blender's per-point weights
// (100 and 50 percent), Stretch at -40 percent.
TEST(FbxDeformers, StaticWeights) {
    const host::Item* box = Load(Fixture("shape_weights.fbx"), L"Box");
    ASSERT_NE(box, nullptr);
    for (double frame : {0.0, 7.0})
        ExpectPoints(Local(*box, frame), {{0.7, 0, 0}, {1, 0.35, 0}, {1, 1, -2}, {0, 1, 0}},
                     "frame " + std::to_string(frame));
}

// Samples at frames 1, 2, 3 hold the rest points moved by k (i + 1) along x
// and -k along z (sample k, point i); between frames the samples blend, past
// the ends they hold. The .pc2 scene is in centimetres, baked in metres.
Pts CacheAt(double k, double scale) {
    const Pts rest = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    Pts out;
    for (size_t i = 0; i < rest.size(); ++i)
        out.push_back(Vec3{rest[i].x + k * (i + 1), rest[i].y, rest[i].z - k} * scale);
    return out;
}

TEST(FbxDeformers, VertexCaches) {
    const struct {
        const char* file;
        double scale;
    } files[] = {{"cache_pc2.fbx", 0.01},
                 {"cache_pc2_6100.fbx", 0.01},
                 {"cache_mcx.fbx", 1.0},
                 {"cache_mcx_6100.fbx", 1.0}};
    for (const auto& f : files) {
        const host::Item* wave = Load(Fixture(f.file), L"Wave");
        ASSERT_NE(wave, nullptr);
        const struct {
            double frame, k;
        } cases[] = {{0, 0}, {1, 0}, {1.5, 0.5}, {2, 1}, {2.75, 1.75}, {3, 2}, {9, 2}};
        for (const auto& c : cases)
            ExpectPoints(Local(*wave, c.frame), CacheAt(c.k, f.scale),
                         std::string(f.file) + ", frame " + std::to_string(c.frame));
    }
}

// A cache file that is not there: one warning naming it, and the mesh bakes
// its rest points. A broken one refuses the scene, naming the cache.
TEST(FbxDeformers, MissingAndBrokenCaches) {
    for (const std::string file : {"cache_missing.fbx", "cache_missing_6100.fbx"}) {
        const host::Item* wave = Load(Fixture(file), L"Wave");
        ASSERT_NE(wave, nullptr);
        ExpectPoints(Local(*wave, 2), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, file);
        int naming = 0;
        for (const std::string& w : Warnings())
            naming += zkt::Contains(w, "gone/wave.pc2") && zkt::Contains(w, "bakes without it");
        EXPECT_EQ(naming, 1) << file;
    }

    zkt::ScratchDir dir;
    std::filesystem::copy(Fixture("cache_pc2.fbx"), dir / "cache_pc2.fbx");
    std::filesystem::create_directory(dir / "pc2_cache");
    std::filesystem::copy(Fixture("pc2_cache/wave.pc2"), dir / "pc2_cache/wave.pc2");
    std::filesystem::resize_file(dir / "pc2_cache/wave.pc2", 100);
    try {
        Load(dir / "cache_pc2.fbx", L"Wave");
        ADD_FAILURE() << "a cut pc2 loads";
    } catch (const host::SceneLoadError& e) {
        EXPECT_TRUE(zkt::Contains(e.what(), "pc2_cache/wave.pc2")) << e.what();
        EXPECT_TRUE(zkt::Contains(e.what(), "where its header says")) << e.what();
        EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
    }
}

// A linear skin in 7.4 and 6.1 text (6.1: objects named, the skin connected
// to the model): half on each joint cuts the corner, one joint carries its
// point.
TEST(FbxDeformers, LinearSkin) {
    for (const char* file : {"skin_linear.fbx", "skin_linear_6100.fbx"}) {
        const host::Item* arm = Load(Fixture(file), L"Arm");
        ASSERT_NE(arm, nullptr);
        ExpectPoints(World(*arm, 0), {{0.5, 1.5, 0}, {0, 3, 0}, {0, 3, 0.5}}, file);
    }
}

// Blender writes a weight per shape point in FullWeights: for a shape of
// one point the one number is that point's weight (50 percent), not an
// in-between at 50 percent (which at 100 would move it twice as far).
TEST(FbxDeformers, BlendersPointWeightOfAOnePointShape) {
    const host::Item* box = Load(Fixture("shape_blender_point.fbx"), L"Box");
    ASSERT_NE(box, nullptr);
    ExpectPoints(Local(*box, 0), {{0, 0, 0}, {1, 0, 1}, {1, 1, 0}, {0, 1, 0}}, "frame 0");
}

// One shape at an unanimated 35 percent, in 7.4 (a channel) and 6.1 (the
// shape in the model, its weight the model's property of its name).
TEST(FbxDeformers, StaticShape) {
    for (const char* file : {"shape_static.fbx", "shape_static_6100.fbx"}) {
        const host::Item* box = Load(Fixture(file), L"Box");
        ASSERT_NE(box, nullptr);
        ExpectPoints(Local(*box, 3), {{0.7, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, file);
    }
}

} // namespace

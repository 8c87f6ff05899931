// The example glTF scenes, loaded into the host and read back through the
// SDK at every frame and between frames, against the closed-form motion
// each scene is built from (see examples/make_scenes.py).
#include "ImporterTestUtil.h"

#include <xsi_camera.h>

#include <string>

using namespace importer_test;

namespace {

std::vector<std::string> ItemList() {
    std::vector<std::string> out;
    const host::Scene* scene = host::HostApp::Get().GetScene();
    for (int i = 0; i < scene->ItemCount(); ++i) {
        const std::wstring name = scene->GetItem(i)->GetFullName();
        out.push_back(std::string(name.begin(), name.end()) + " " +
                      scene->GetItem(i)->GetKindName());
    }
    return out;
}

// hierarchy.gltf
const std::vector<double> kArmTimes = {0.1, 0.55, 1.3, 1.7};
const std::vector<double> kArmAngles = {0, 90, 170, 190};
const std::vector<P3> kBoxPoints = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 0}, {0, 1, 0},
                                    {0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};

} // namespace

TEST(ExampleScenes, HierarchyItemsNamesAndPoints) {
    LoadIntoHost(ScenePath("hierarchy.gltf"));
    // "Rig" is the file's single top node and holds nothing: no item. Names
    // lose their '.' and ' '; the second "Box" gets a number.
    EXPECT_EQ(ItemList(), (std::vector<std::string>{"Arm_L null", "Arm_L.Box mesh", "Box1 mesh",
                                                    "my_node null"}));
    const host::Scene* scene = host::HostApp::Get().GetScene();
    EXPECT_EQ(scene->GetStartFrame(), 0.0);
    EXPECT_EQ(scene->GetEndFrame(), 51.0); // 1.7 s at 30 fps

    // Both primitives' vertices, in file order; the points that share a
    // position stay separate points.
    for (const wchar_t* box : {L"Arm_L.Box", L"Box1"}) {
        const std::vector<P3> pts = LocalPoints(box, 10);
        ASSERT_EQ(pts.size(), kBoxPoints.size());
        for (size_t i = 0; i < pts.size(); ++i) {
            EXPECT_P3_NEAR(pts[i], kBoxPoints[i], "point " << i);
        }
        EXPECT_EQ(Find(box)->GetMesh()->GetPolygonCount(), 3);
    }
    // Node extras naming host parameters set them; others are left alone.
    EXPECT_DOUBLE_EQ(Param(L"Arm_L.Box", L"pposx"), 1.5);
    EXPECT_DOUBLE_EQ(Param(L"Arm_L.Box", L"pposy"), 0.0);
    EXPECT_DOUBLE_EQ(Param(L"Arm_L.Box", L"pposz"), -0.25);
}

TEST(ExampleScenes, HierarchyMotionAtEveryFrame) {
    LoadIntoHost(ScenePath("hierarchy.gltf"));
    for (double f : FramesToCheck(51)) {
        const double t = f / 30.0;
        const double angle = PiecewiseLinear(kArmTimes, kArmAngles, t);
        const double sx = 1.0 + std::min(std::max(t, 0.0), 1.0);
        const std::vector<P3> world = WorldPoints(L"Arm_L.Box", f);
        const std::vector<P3> local = LocalPoints(L"Arm_L.Box", f);
        ASSERT_EQ(world.size(), kBoxPoints.size());
        for (size_t i = 0; i < world.size(); ++i) {
            const P3& p = kBoxPoints[i];
            const P3 expected = Add({0, 0, -2}, RotZ({2 + sx * p.x, p.y, p.z}, angle));
            EXPECT_P3_NEAR(world[i], expected, "frame " << f << " point " << i);
            EXPECT_P3_NEAR(local[i], p, "frame " << f << " point " << i);
        }
        const std::vector<P3> world1 = WorldPoints(L"Box1", f);
        for (size_t i = 0; i < world1.size(); ++i) {
            EXPECT_P3_NEAR(world1[i], Add({0, 3, -2}, kBoxPoints[i]), "frame " << f);
        }
        // STEP keys hold until the next key.
        const double x = Stepped({0.0, 0.5, 1.0}, {0, 1, 3}, t);
        EXPECT_P3_NEAR(Translation(L"my_node", f), (P3{x, 0, -2}), "frame " << f);
    }
}

TEST(ExampleScenes, RotationTakesTheShortArc) {
    LoadIntoHost(ScenePath("hierarchy.gltf"));
    // Halfway between 170 and 190 degrees (the last key stored negated) is
    // 180 degrees; the long way round would pass 0.
    EXPECT_P3_NEAR(Axis(L"Arm_L", 45.0, {1, 0, 0}), (P3{-1, 0, 0}), "frame 45");
    EXPECT_P3_NEAR(Axis(L"Arm_L", 100.0, {1, 0, 0}), RotZ({1, 0, 0}, 190), "after the last key");
    EXPECT_P3_NEAR(Axis(L"Arm_L", 2.0, {1, 0, 0}), (P3{1, 0, 0}), "before the first key");
}

TEST(ExampleScenes, SkinnedStripFollowsTheBentJoint) {
    LoadIntoHost(ScenePath("skinned.gltf"));
    EXPECT_EQ(ItemList(), (std::vector<std::string>{"Armature null", "Armature.Bone0 null",
                                                    "Armature.Bone0.Bone1 null", "SkinMesh mesh"}));
    EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), 30.0);
    for (double f : FramesToCheck(30)) {
        const double angle = 90.0 * std::min(std::max(f / 30.0, 0.0), 1.0);
        const std::vector<P3> local = LocalPoints(L"SkinMesh", f);
        const std::vector<P3> world = WorldPoints(L"SkinMesh", f);
        ASSERT_EQ(local.size(), 10u);
        size_t i = 0;
        for (double y : {1.0, 1.5, 2.0, 2.5, 3.0}) {
            for (double x : {-0.5, 0.5}) {
                const P3 rest{x, y, 0};
                const double w1 = y <= 1.5 ? 0.0 : y == 2.0 ? 0.5 : 1.0;
                // Bone1 turns about its origin, (0, 2, 0) in world space.
                const P3 bent = Add(RotZ(Sub(rest, {0, 2, 0}), angle), {0, 2, 0});
                const P3 expected = Add(Scale(rest, 1 - w1), Scale(bent, w1));
                EXPECT_P3_NEAR(world[i], expected, "frame " << f << " point " << i);
                // Local space is the mesh node's: it sits at (5, 0, 0).
                EXPECT_P3_NEAR(local[i], Sub(expected, {5, 0, 0}), "frame " << f << " point " << i);
                ++i;
            }
        }
    }
}

namespace {

const P3 kBlobRest[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
const P3 kBlobDelta0[3] = {{0, 0, 1}, {0, 0, 0}, {0, 0, 0}};
const P3 kBlobDelta1[3] = {{0, 0, 0}, {1, 1, 0}, {0, 0, -1}};

void ExpectBlob(double f, double w0, double w1, double z) {
    const std::vector<P3> local = LocalPoints(L"Blob", f);
    const std::vector<P3> world = WorldPoints(L"Blob", f);
    ASSERT_EQ(local.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const P3 p = Add(kBlobRest[i], Add(Scale(kBlobDelta0[i], w0), Scale(kBlobDelta1[i], w1)));
        EXPECT_P3_NEAR(local[i], p, "frame " << f << " point " << i);
        EXPECT_P3_NEAR(world[i], Add(p, {0, 0, z}), "frame " << f << " point " << i);
    }
}

} // namespace

TEST(ExampleScenes, MorphWeightsFollowTheirCurve) {
    // The first animation by default: "Wave", linear weights. The root node
    // holds the mesh, so it is an item.
    LoadIntoHost(ScenePath("morph.gltf"));
    EXPECT_EQ(ItemList(), (std::vector<std::string>{"Blob mesh"}));
    EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), 60.0);
    for (double f : FramesToCheck(60)) {
        const double t = f / 30.0;
        ExpectBlob(f, PiecewiseLinear({0, 1, 2}, {0, 1, 0}, t),
                   PiecewiseLinear({0, 1, 2}, {0, 0.5, 1}, t), 1.0);
    }
}

TEST(ExampleScenes, AnimationChosenByNameOrIndex) {
    for (const char* choice : {"Snap", "1"}) {
        LoadIntoHost(ScenePath("morph.gltf"), choice);
        for (double f : FramesToCheck(60)) {
            const double t = f / 30.0;
            ExpectBlob(f, Stepped({0, 1, 2}, {0, 1, 0}, t), Stepped({0, 1, 2}, {0, 0.5, 1}, t),
                       1.0);
        }
    }
    // An animation that leaves the weights alone: the file's weights.
    LoadIntoHost(ScenePath("morph.gltf"), "Drift");
    EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), 30.0);
    for (double f : FramesToCheck(30)) {
        ExpectBlob(f, 0.25, 0.0, 1.0 + std::min(std::max(f / 30.0, 0.0), 1.0));
    }
    // A name that is neither a name nor an index of the file.
    for (const char* bad : {"Nope", "3", "-1"}) {
        try {
            LoadIntoHost(ScenePath("morph.gltf"), bad);
            ADD_FAILURE() << "no error for " << bad;
        } catch (const host::SceneLoadError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(std::string("\"") + bad + "\""), std::string::npos) << what;
            EXPECT_NE(what.find("Wave, Snap, Drift"), std::string::npos) << what;
            EXPECT_EQ(what.find('\n'), std::string::npos);
        }
    }
}

TEST(ExampleScenes, CameraLightsAndNull) {
    LoadIntoHost(ScenePath("camera_light.gltf"));
    EXPECT_EQ(ItemList(), (std::vector<std::string>{"Cam camera", "Spot light", "Sun light",
                                                    "Bulb light", "Locator null"}));
    EXPECT_EQ(Find(L"Cam")->GetClassID(), 80);
    EXPECT_EQ(Find(L"Spot")->GetClassID(), 81);

    // The file's vertical angle, 0.5 rad, as a vertical fov in degrees.
    EXPECT_NEAR(Param(L"Cam", L"fov"), 0.5 * 180 / kPi, 1e-4);
    EXPECT_EQ(Param(L"Cam", L"fovtype"), 0.0);
    EXPECT_NEAR(Param(L"Cam", L"aspect"), 1.5, 1e-6);
    EXPECT_NEAR(Param(L"Cam", L"projplaneheight"), 0.6, 1e-9); // from the node's extras
    for (double f : FramesToCheck(60)) {
        const double y = 4.0 * std::min(std::max(f / 60.0, 0.0), 1.0);
        EXPECT_P3_NEAR(Translation(L"Cam", f), (P3{0, y, 10}), "frame " << f);
        // The camera looks along its -Z axis, as the file's does.
        EXPECT_P3_NEAR(Axis(L"Cam", f, {0, 0, -1}), (P3{0, 0, -1}), "frame " << f);
    }

    struct Expected {
        const wchar_t* name;
        double type;
        float r, g, b;
        double intensity;
    };
    // Assimp multiplies colour and intensity; they come apart with the
    // intensity as the largest component.
    for (const Expected& e :
         {Expected{L"Spot", 2, 1.0f, 0.5f, 0.25f, 4.0}, Expected{L"Sun", 0, 1.0f, 1.0f, 1.0f, 2.0},
          Expected{L"Bulb", 1, 0.25f, 0.5f, 1.0f, 8.0}}) {
        EXPECT_EQ(Param(e.name, L"Type"), e.type) << "light type";
        const XSI::CRefArray shaders = XSI::Light(Find(e.name)->GetRef()).GetShaders();
        ASSERT_EQ(shaders.GetCount(), 1);
        const XSI::Shader shader(shaders[0]);
        float r = 0, g = 0, b = 0, a = 0;
        shader.GetColorParameterValue(L"color", r, g, b, a, 5.0);
        EXPECT_NEAR(r, e.r, 1e-6);
        EXPECT_NEAR(g, e.g, 1e-6);
        EXPECT_NEAR(b, e.b, 1e-6);
        EXPECT_EQ(a, 1.0f);
        EXPECT_NEAR(static_cast<double>(shader.GetParameterValue(L"intensity", 5.0)), e.intensity,
                    1e-6);
    }
    // The spot light is turned to point down.
    EXPECT_P3_NEAR(Axis(L"Spot", 0, {0, 0, -1}), (P3{0, -1, 0}), "spot direction");
    EXPECT_P3_NEAR(Translation(L"Spot", 0), (P3{0, 5, 0}), "spot position");
    EXPECT_P3_NEAR(Translation(L"Locator", 12), (P3{1, 2, 3}), "null position");
    EXPECT_EQ(Find(L"Locator")->GetPointCount(), 0);
}

TEST(ExampleScenes, EvaluatingLeavesTheCurrentFrame) {
    LoadIntoHost(ScenePath("skinned.gltf"));
    host::HostApp::Get().SetCurrentFrame(7.0);
    LocalPoints(L"SkinMesh", 25.0);
    Global(L"Armature.Bone0.Bone1", 25.0);
    EXPECT_EQ(host::HostApp::Get().GetCurrentFrame(), 7.0);
    // The default time is the current frame.
    const std::vector<P3> now = LocalPoints(L"SkinMesh", DBL_MAX);
    const std::vector<P3> at7 = LocalPoints(L"SkinMesh", 7.0);
    for (size_t i = 0; i < now.size(); ++i) {
        EXPECT_P3_NEAR(now[i], at7[i], "point " << i);
    }
}

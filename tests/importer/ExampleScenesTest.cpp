// The example glTF scenes, loaded into the host and read back through the
// SDK at every frame and between frames, in local and world space, against
// the closed-form motion each scene is built from (examples/make_scenes.py):
// every quarter frame from three frames before the animation to three after.
#include "ImporterSupport.h"

using namespace importer_test;

TEST(ExampleScenes, HierarchyAsTextAndBinaryGltf) {
    const std::vector<P3> box = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 0}, {0, 1, 0},
                                 {0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
    for (const char* file : {"hierarchy.gltf", "hierarchy.glb"}) {
        SCOPED_TRACE(file);
        LoadIntoHost(std::string(ZK_SCENE_DIR "/") + file);
        EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), 51.0); // 1.7 s at 30 fps
        EXPECT_EQ(Find(L"Box1")->GetMesh()->GetPolygonCount(), 3);
        // Node extras naming host parameters set them; others are left alone.
        EXPECT_DOUBLE_EQ(Param(L"Arm_L.Box", L"pposx"), 1.5);
        EXPECT_DOUBLE_EQ(Param(L"Arm_L.Box", L"pposy"), 0.0);
        EXPECT_DOUBLE_EQ(Param(L"Arm_L.Box", L"pposz"), -0.25);
        // Halfway between 170 and 190 degrees (the last key stored negated) is
        // 180 degrees; the long way round would pass 0.
        EXPECT_P3_NEAR(Axis(L"Arm_L", 45.0, {1, 0, 0}), (P3{-1, 0, 0}), "short arc");

        for (double f = -3; f <= 54; f += 0.25) {
            const double t = f / 30.0, sx = 1.0 + Clamp01(t);
            const double angle = Keyed({0.1, 0.55, 1.3, 1.7}, {0, 90, 170, 190}, t);
            std::vector<P3> world, world1;
            for (const P3& p : box) {
                world.push_back(P3{0, 0, -2} + RotZ({2 + sx * p.x, p.y, p.z}, angle));
                world1.push_back(P3{0, 3, -2} + p);
            }
            // Points in file order; the ones that share a position stay two.
            ExpectPoints(Points(L"Arm_L.Box", f), box, f);
            ExpectPoints(Points(L"Arm_L.Box", f, true), world, f);
            ExpectPoints(Points(L"Box1", f, true), world1, f);
            // STEP keys hold until the next key.
            const double x = Keyed({0.0, 0.5, 1.0}, {0, 1, 3}, t, true);
            EXPECT_P3_NEAR(Translation(L"my_node", f), (P3{x, 0, -2}), "frame " << f);
        }
    }
}

TEST(ExampleScenes, SkinnedStripFollowsTheBentJoint) {
    LoadIntoHost(ZK_SCENE_DIR "/skinned.gltf");
    EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), 30.0);
    const std::vector<P3> rest = {{-0.5, 1, 0}, {0.5, 1, 0}, {-0.5, 1.5, 0}, {0.5, 1.5, 0},
                                  {-0.5, 2, 0}, {0.5, 2, 0}, {-0.5, 2.5, 0}, {0.5, 2.5, 0},
                                  {-0.5, 3, 0}, {0.5, 3, 0}};
    for (double f = -3; f <= 33; f += 0.25) {
        // Bone1 turns about its origin, (0, 2, 0) in world space; its weight
        // is 0 up to y = 1.5, 0.5 at y = 2 and 1 from y = 2.5. Local space is
        // the mesh node's: it sits at (5, 0, 0).
        const P3 pivot{0, 2, 0};
        std::vector<P3> world, local;
        for (const P3& p : rest) {
            const double w1 = Clamp01(p.y - 1.5);
            world.push_back(p * (1 - w1) + (RotZ(p - pivot, 90 * Clamp01(f / 30)) + pivot) * w1);
            local.push_back(world.back() - P3{5, 0, 0});
        }
        ExpectPoints(Points(L"SkinMesh", f, true), world, f);
        ExpectPoints(Points(L"SkinMesh", f), local, f);
    }

    // Evaluating at a frame leaves the current frame, which is the default time.
    host::HostApp::Get().SetCurrentFrame(7.0);
    Points(L"SkinMesh", 25.0);
    Global(L"Armature.Bone0.Bone1", 25.0);
    EXPECT_EQ(host::HostApp::Get().GetCurrentFrame(), 7.0);
    ExpectPoints(Points(L"SkinMesh", DBL_MAX), Points(L"SkinMesh", 7.0), 7.0);
}

TEST(ExampleScenes, MorphWeightsFollowTheChosenAnimation) {
    const P3 rest[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const P3 delta0[3] = {{0, 0, 1}, {0, 0, 0}, {0, 0, 0}};
    const P3 delta1[3] = {{0, 0, 0}, {1, 1, 0}, {0, 0, -1}};
    struct Case {
        const char* anim; // "" is the first, "Wave"
        double end;
        bool step, drift; // "Snap" steps the weights; "Drift" moves the node only
    };
    for (const Case& c : {Case{"", 60, false, false}, Case{"Snap", 60, true, false},
                          Case{"1", 60, true, false}, Case{"Drift", 30, false, true}}) {
        SCOPED_TRACE(c.anim);
        LoadIntoHost(ZK_SCENE_DIR "/morph.gltf", c.anim);
        EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), c.end);
        for (double f = -3; f <= c.end + 3; f += 0.25) {
            const double t = f / 30.0, z = 1.0 + (c.drift ? Clamp01(t) : 0.0);
            // Without weight keys, the file's weights (0.25, 0).
            const double w0 = c.drift ? 0.25 : Keyed({0, 1, 2}, {0, 1, 0}, t, c.step);
            const double w1 = c.drift ? 0.0 : Keyed({0, 1, 2}, {0, 0.5, 1}, t, c.step);
            std::vector<P3> local, world;
            for (int i = 0; i < 3; ++i) {
                local.push_back(rest[i] + delta0[i] * w0 + delta1[i] * w1);
                world.push_back(local.back() + P3{0, 0, z});
            }
            ExpectPoints(Points(L"Blob", f), local, f);
            ExpectPoints(Points(L"Blob", f, true), world, f);
        }
    }
    // A name that is neither a name nor an index of the file.
    for (const char* bad : {"Nope", "3", "-1"}) {
        try {
            LoadIntoHost(ZK_SCENE_DIR "/morph.gltf", bad);
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
    LoadIntoHost(ZK_SCENE_DIR "/camera_light.gltf");
    // The file's vertical angle, 0.5 rad, as a vertical fov in degrees.
    EXPECT_NEAR(Param(L"Cam", L"fov"), 0.5 * 180 / kPi, 1e-4);
    EXPECT_EQ(Param(L"Cam", L"fovtype"), 0.0);
    EXPECT_NEAR(Param(L"Cam", L"aspect"), 1.5, 1e-6);
    EXPECT_NEAR(Param(L"Cam", L"projplaneheight"), 0.6, 1e-9); // from the node's extras
    for (double f = -3; f <= 63; f += 0.25) {
        const P3 at{0, 4.0 * Clamp01(f / 60.0), 10};
        EXPECT_P3_NEAR(Translation(L"Cam", f), at, "frame " << f);
        // The camera looks along its -Z axis, as the file's does.
        EXPECT_P3_NEAR(Axis(L"Cam", f, {0, 0, -1}), (P3{0, 0, -1}), "frame " << f);
    }

    // Assimp multiplies colour and intensity; they come apart with the
    // intensity as the largest component.
    const auto light = [](const wchar_t* name, double type, const P3& color, double intensity) {
        EXPECT_EQ(Param(name, L"Type"), type) << name;
        const auto [c, i] = LightValues(name, 5.0);
        EXPECT_P3_NEAR(c, color, name);
        EXPECT_NEAR(i, intensity, 1e-6) << name;
    };
    light(L"Spot", 2, {1, 0.5, 0.25}, 4.0);
    light(L"Sun", 0, {1, 1, 1}, 2.0);
    light(L"Bulb", 1, {0.25, 0.5, 1}, 8.0);
    // The spot light is turned to point down.
    EXPECT_P3_NEAR(Axis(L"Spot", 0, {0, 0, -1}), (P3{0, -1, 0}), "spot direction");
    EXPECT_P3_NEAR(Translation(L"Spot", 0), (P3{0, 5, 0}), "spot position");
    EXPECT_P3_NEAR(Translation(L"Locator", 12), (P3{1, 2, 3}), "null position");
}

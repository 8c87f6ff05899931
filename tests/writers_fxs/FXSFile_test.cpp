// FXS scene writer: whole files against hand-written golden files, the
// sections each switch adds or removes, the item links, the value
// conversions, the C number format under any locale, and output failures.
#include "writers/FXSFile.h"

#include "ZK_TestFiles.h"
#include "ZK_TestScene.h"

#include <clocale>

namespace {

const std::string kGolden = ZK_FXS_GOLDEN_DIR;

// The ball scene: one object under MDD and LWO, frames 1 to 10 at 24 fps.
ZK_TestScene BallScene() {
    ZK_TestScene scene(1, 10, 24.0f);
    scene.ctrl.lwoAct = 1;
    scene.ctrl.mddAct = 1;
    scene.AddObject("ball", "/out/lwo/ball.lwo", "/out/mdd/ball.mdd");
    return scene;
}

// Frames 1 and 2 at 30 fps, motion for every kind, no MDD: a keyed object,
// a camera, a null and a light, with values whose text is known.
ZK_TestScene KeyedScene() {
    ZK_TestScene scene(1, 2, 30.0f);
    scene.Motion(ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS | ZK_MOT_OBJECTS);
    MotionFrame_st* box = scene.AddObject("box", "/out/lwo/box.lwo");
    ZK_Set3(box[0].pos, 1.5f, 2.25f, 3.0f);
    ZK_Set3(box[0].hpb, 90.0f, 45.0f, 90.0f);
    ZK_Set3(box[1].pos, 0.0f, -1.0f, -0.0f);
    ZK_Set3(box[1].hpb, -0.0f, 0.0f, 0.0f);
    CameraFrame_st* cam = scene.AddCamera("cam", 0.5f, 1.5f);
    cam[0].zoom = 3.2f;
    ZK_Set3(cam[0].pos, 0.0f, 1.0f, -5.0f);
    ZK_Set3(cam[0].hpb, 0.0f, 10.0f, 0.0f);
    cam[1].zoom = 2.5f;
    ZK_Set3(cam[1].pos, 0.25f, 1.0f, -5.0f);
    ZK_Set3(cam[1].hpb, 30.0f, 0.0f, 0.0f);
    MotionFrame_st* pivot = scene.AddNull("pivot");
    ZK_Set3(pivot[0].pos, 10.0f, 0.0f, 0.5f);
    ZK_Set3(pivot[0].hpb, 0.0f, 0.0f, 45.0f);
    ZK_Set3(pivot[1].pos, 10.0f, 0.0f, 0.5f);
    ZK_Set3(pivot[1].hpb, 180.0f, 0.0f, 0.0f);
    LightFrame_st* key = scene.AddLight("key");
    for (int k = 0; k < 2; ++k) {
        ZK_Set3(key[k].pos, -2.0f, 4.0f, 6.0f);
        ZK_Set3(key[k].hpb, 0.0f, 90.0f, 0.0f);
    }
    return scene;
}

std::string WriteToText(ZK_TestScene& scene, const ZK_ScratchDir& dir) {
    const std::string path = dir.File("scene.fxs");
    EXPECT_EQ(scene.Write(WriteFXS, path), 1);
    return ZK_ReadText(path);
}

TEST(FXSFile, DefaultCameraMatchesGolden) {
    ZK_ScratchDir dir;
    const std::string path = dir.File("camera.fxs");
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    DefaultCamera(f);
    std::fclose(f);
    EXPECT_EQ(ZK_ReadText(path), ZK_ReadText(kGolden + "/default_camera.fxs"));
}

TEST(FXSFile, BallSceneMatchesGolden) {
    ZK_ScratchDir dir;
    ZK_TestScene scene = BallScene();
    EXPECT_EQ(WriteToText(scene, dir), ZK_ReadText(kGolden + "/ball_mdd.fxs"));
}

TEST(FXSFile, KeyedSceneMatchesGoldenUnderAnyLocale) {
    ZK_ScratchDir dir;
    const std::string golden = ZK_ReadText(kGolden + "/keyed_scene.fxs");
    ZK_TestScene scene = KeyedScene();
    EXPECT_EQ(WriteToText(scene, dir), golden);

    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
        std::printf("de_DE.UTF-8 is not installed: the locale check is skipped\n");
        return;
    }
    ZK_TestScene again = KeyedScene();
    const std::string text = WriteToText(again, dir);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(text, golden);
}

TEST(FXSFile, MddOffWritesNoNullsNoEffectsAndKeyedObjectsWithoutChildren) {
    ZK_ScratchDir dir;
    ZK_TestScene scene(1, 3, 24.0f);
    scene.Motion(ZK_MOT_OBJECTS);
    scene.AddObject("ball", "/l/ball.lwo", "/m/ball.mdd");
    const std::string text = WriteToText(scene, dir);
    EXPECT_EQ(ZK_Count(text, "Null_"), 0);
    EXPECT_EQ(ZK_Count(text, "BeginSectionEffects"), 0);
    EXPECT_EQ(ZK_Count(text, "/m/ball.mdd"), 0);
    EXPECT_EQ(ZK_Count(text, "NumChildren 1\n"), 0);
    EXPECT_EQ(ZK_Count(text, "ObjectAlias ball\n"), 1);
    // No camera at all: the default one.
    EXPECT_EQ(ZK_Count(text, "ObjectAlias Camera\n"), 1);
}

TEST(FXSFile, MddAndObjectMotionWriteEveryObjectTwice) {
    ZK_ScratchDir dir;
    ZK_TestScene scene(1, 3, 24.0f);
    scene.ctrl.mddAct = 1;
    scene.Motion(ZK_MOT_OBJECTS);
    scene.AddObject("ball", "/l/ball.lwo", "/m/ball.mdd");
    scene.AddObject("cube", "/l/cube.lwo", "/m/cube.mdd");
    const std::string text = WriteToText(scene, dir);
    EXPECT_EQ(ZK_Count(text, "ObjectAlias ball\n"), 2);
    EXPECT_EQ(ZK_Count(text, "ObjectAlias cube\n"), 2);
    // Both the MDD object and the keyed object have the null as child.
    EXPECT_EQ(ZK_Count(text, "NumChildren 1\nBeginLayerIndexGeometry 1 /l/ball.lwo\n"), 2);
    EXPECT_EQ(ZK_Count(text, "BeginKeyframe 3 12\n"), 2);
    // The effects link the MDD object and null of their own object only.
    EXPECT_EQ(ZK_Count(text, "LinkObject 0\nLinkTool 1\n"), 1);
    EXPECT_EQ(ZK_Count(text, "LinkObject 2\nLinkTool 3\n"), 1);
    EXPECT_EQ(ZK_Count(text, "\t\tMDDFile 6 /m/cube.mdd\n"), 1);
    EXPECT_NE(text.find("ObjectAlias Null_1\n"), std::string::npos);
    EXPECT_NE(text.find("EffectID 1\nEffectName Zelkin_Reader_1\n"), std::string::npos);
}

TEST(FXSFile, SeparateMotionFilesLeaveOutKeyedObjectsOnly) {
    ZK_ScratchDir dir;
    ZK_TestScene scene(1, 3, 24.0f);
    scene.ctrl.motSep = 1;
    scene.Motion(ZK_MOT_OBJECTS | ZK_MOT_CAMERAS);
    scene.AddObject("ball", "/l/ball.lwo");
    scene.AddCamera("cam");
    const std::string text = WriteToText(scene, dir);
    EXPECT_EQ(ZK_Count(text, "ObjectAlias ball"), 0);
    EXPECT_EQ(ZK_Count(text, "ObjectAlias cam\n"), 1);
}

TEST(FXSFile, CameraSection) {
    ZK_ScratchDir dir;
    {
        // Cameras present, motion on, camera switch off: no camera at all.
        ZK_TestScene scene(1, 3, 24.0f);
        scene.Motion(ZK_MOT_NULLS);
        scene.AddCamera("cam");
        const std::string text = WriteToText(scene, dir);
        EXPECT_EQ(ZK_Count(text, "ObjectType 8\n"), 0);
    }
    {
        // Motion on but no camera: the default camera.
        ZK_TestScene scene(1, 3, 24.0f);
        scene.Motion(ZK_MOT_CAMERAS);
        const std::string text = WriteToText(scene, dir);
        EXPECT_EQ(ZK_Count(text, "ObjectType 8\n"), 1);
        EXPECT_EQ(ZK_Count(text, "ObjectAlias Camera\n"), 1);
    }
    {
        // Motion off with cameras: the default camera in their place.
        ZK_TestScene scene(1, 3, 24.0f);
        scene.AddCamera("cam");
        const std::string text = WriteToText(scene, dir);
        EXPECT_EQ(ZK_Count(text, "ObjectAlias Camera\n"), 1);
        EXPECT_EQ(ZK_Count(text, "ObjectAlias cam\n"), 0);
    }
    {
        // The aperture channel: 0.5 / 25.4 * 1000 on every key.
        ZK_TestScene scene(1, 4, 24.0f);
        scene.Motion(ZK_MOT_CAMERAS);
        scene.AddCamera("cam", 0.5f);
        const std::string text = WriteToText(scene, dir);
        EXPECT_EQ(ZK_Count(text, "  19.685039 0 0 0 2 1 0 0 0 0 0 0 0\n"), 4);
        EXPECT_EQ(ZK_Count(text, ".000 4159 default\n"), 3);
    }
}

TEST(FXSFile, NullsAndLightsFollowTheirSwitches) {
    ZK_ScratchDir dir;
    ZK_TestScene scene(1, 3, 24.0f);
    scene.Motion(ZK_MOT_OBJECTS);
    scene.AddNull("pivot");
    scene.AddLight("key");
    const std::string text = WriteToText(scene, dir);
    EXPECT_EQ(ZK_Count(text, "pivot"), 0);
    EXPECT_EQ(ZK_Count(text, "key_"), 0);
}

TEST(FXSFile, LightPairsLinkPastTheCountedItems) {
    // Two objects under MDD (items 0 to 3), no keyed objects, one camera
    // (item 4), no nulls: c is 5, the light pairs carry 6 and 8.
    ZK_ScratchDir dir;
    ZK_TestScene scene(1, 2, 24.0f);
    scene.ctrl.mddAct = 1;
    scene.Motion(ZK_MOT_CAMERAS | ZK_MOT_LIGHTS);
    scene.AddObject("a", "/l/a.lwo", "/m/a.mdd");
    scene.AddObject("b", "/l/b.lwo", "/m/b.mdd");
    scene.AddCamera("cam");
    scene.AddLight("sun");
    scene.AddLight("fill");
    const std::string text = WriteToText(scene, dir);
    EXPECT_NE(text.find("ObjectAlias sun_1\n"), std::string::npos);
    EXPECT_EQ(ZK_Count(text, "LinkObject 6\nEndLink\n"), 1);
    EXPECT_EQ(ZK_Count(text, "ObjectMaster 6\nNumChildren 0\nObjectAlias sun_2\n"), 1);
    EXPECT_EQ(ZK_Count(text, "LinkObject 8\nEndLink\n"), 1);
    EXPECT_EQ(ZK_Count(text, "ObjectMaster 8\nNumChildren 0\nObjectAlias fill_2\n"), 1);
    // The lights come before the effects, which still link items 0 to 3.
    EXPECT_LT(text.find("ObjectAlias fill_2"), text.find("BeginSectionEffects"));
    EXPECT_EQ(ZK_Count(text, "LinkTool 3\n"), 1);
}

TEST(FXSFile, KeysRunFromTheFirstToTheLastFrame) {
    ZK_ScratchDir dir;
    {
        ZK_TestScene scene(5, 5, 24.0f);
        scene.Motion(ZK_MOT_NULLS);
        scene.AddNull("n");
        const std::string text = WriteToText(scene, dir);
        EXPECT_EQ(ZK_Count(text, "BeginKeyframe 1 12\n  5.000 -1 default\n"), 1);
    }
    {
        ZK_TestScene scene(-2, 7, 24.0f);
        scene.Motion(ZK_MOT_NULLS);
        scene.AddNull("n");
        const std::string text = WriteToText(scene, dir);
        EXPECT_EQ(ZK_Count(text, "BeginKeyframe 10 12\n  -2.000 -1 default\n"), 1);
        EXPECT_EQ(ZK_Count(text, ".000 511 default\n"), 9);
        EXPECT_EQ(ZK_Count(text, "\n  7.000 511 default\n"), 1);
        EXPECT_EQ(ZK_Count(text, "\n  8.000"), 0);
    }
}

TEST(FXSFile, NamesAndPathsAreWrittenAsTheyStand) {
    ZK_ScratchDir dir;
    ZK_TestScene scene(1, 1, 24.0f);
    scene.ctrl.mddAct = 1;
    scene.Motion(ZK_MOT_NULLS);
    scene.AddObject("%s%n%d", "/l/%n.lwo", "/m/%s.mdd");
    scene.AddNull("100%");
    const std::string text = WriteToText(scene, dir);
    EXPECT_NE(text.find("ObjectAlias %s%n%d\n"), std::string::npos);
    EXPECT_NE(text.find("BeginLayerIndexGeometry 1 /l/%n.lwo\n"), std::string::npos);
    EXPECT_NE(text.find("\t\tMDDFile 6 /m/%s.mdd\n"), std::string::npos);
    EXPECT_NE(text.find("BeginObjectSpecificInfo 100%\n"), std::string::npos);
}

TEST(FXSFile, FileThatCannotBeCreatedIsReportedOnce) {
    ZK_ScratchDir dir;
    ZK_MessageCapture capture;
    ZK_TestScene scene = BallScene();
    const std::string path = dir.File("missing/scene.fxs");
    EXPECT_EQ(scene.Write(WriteFXS, path), 0);
    ASSERT_EQ(ZK_MessageCapture::Messages().size(), 1u);
    EXPECT_EQ(ZK_MessageCapture::Messages()[0],
              "ZK_XSI_Baker - The FXS file cannot be written: " + path);
    EXPECT_FALSE(ZK_FileExists(path));
}

TEST(FXSFile, WriteFailureIsReportedOnce) {
    if (!ZK_FileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    ZK_MessageCapture capture;
    ZK_TestScene scene = BallScene();
    EXPECT_EQ(scene.Write(WriteFXS, "/dev/full"), 0);
    ASSERT_EQ(ZK_MessageCapture::Messages().size(), 1u);
    EXPECT_EQ(ZK_MessageCapture::Messages()[0],
              "ZK_XSI_Baker - The FXS file cannot be written: /dev/full");
}

} // namespace

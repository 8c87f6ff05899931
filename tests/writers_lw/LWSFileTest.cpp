// The LightWave scene file, compared byte for byte with hand-written files.
#include "WritersLwTestSupport.h"

#include "writers/LWSFile.h"

using namespace zktest;

namespace {

class LWSFileTest : public WriterTest {
  protected:
    void ExpectScene(Records& r, const std::string& golden) {
        ExpectWritten(WriteLWS, r, "scene.lws", golden);
    }
};

// A point-cached and keyed object and a null at 24 frames per second over
// frames 0 and 1, with zeros of both signs; no light among the items.
Records KeyedAt24() {
    Records r;
    r.Frames(0, 2, 24.0f);
    r.ctrl.mddAct = 1;
    r.ctrl.motAct = 1;
    r.ctrl.motionFlags = ZK_MOT_OBJECTS | ZK_MOT_NULLS;
    r.AddObject("box", "/data/lwo/box.lwo", "C:\\cache\\box.mdd");
    MotionFrame_st* box = r.objectMotion[0].data();
    Set3(box[0].pos, 0.0f, 0.0f, -0.0f);
    Set3(box[0].hpb, 0.0f, -0.0f, 0.0f);
    Set3(box[1].pos, 1.5f, -2.25f, 3.0f);
    Set3(box[1].hpb, 90.0f, 45.0f, -30.0f);
    Set3(box[1].scale, 2.0f, 0.5f, 1.0f);
    r.AddNull("null%d 100%");
    MotionFrame_st* null = r.nullMotion[0].data();
    Set3(null[0].pos, -1.0f, 2.0f, 0.0f);
    Set3(null[0].hpb, 180.0f, 0.0f, 90.0f);
    Set3(null[1].pos, -1.0f, 2.5f, -0.0f);
    Set3(null[1].hpb, -180.0f, -90.0f, 0.0f);
    return r;
}

// Two cameras at 29.97 frames per second from frame 10, lights absent.
Records TwoCameras() {
    Records r;
    r.Frames(10, 2, 29.97f);
    r.ctrl.motAct = 1;
    r.ctrl.motionFlags = ZK_MOT_CAMERAS;
    r.AddCamera("cam1").projPlaneHeight = 36.0f;
    CameraFrame_st* cam = r.cameraMotion[0].data();
    Set3(cam[0].pos, 0.25f, 1.0f, -0.0f);
    Set3(cam[0].hpb, -0.0f, 0.0f, 0.0f);
    cam[0].zoom = 3.2f;
    Set3(cam[1].pos, 0.5f, 1.0f, 10.0f);
    Set3(cam[1].hpb, 45.0f, 90.0f, 180.0f);
    cam[1].zoom = 1.5f;
    r.AddCamera("cam%2").projPlaneHeight = 25.4f;
    for (CameraFrame_st& f : r.cameraMotion[1])
        f.zoom = 1.0f;
    return r;
}

TEST_F(LWSFileTest, OnlyTheSceneSwitchGivesHeaderAmbientAndDefaultLight) {
    Records r;
    r.Frames(0, 1, 24.0f);
    ExpectScene(r, "lws_default_light.lws");
}

TEST_F(LWSFileTest, LightsWithoutSampledMotionGiveNoLightAtAll) {
    Records r;
    r.Frames(0, 1, 29.97f);
    r.AddLight("key", 0);
    ExpectScene(r, "lws_no_light.lws");
}

TEST_F(LWSFileTest, CachedAndKeyedObjectAndNullAt24FramesPerSecond) {
    Records r = KeyedAt24();
    ExpectScene(r, "lws_keyed_24.lws");
}

TEST_F(LWSFileTest, SampledLightsMapTheirTypesAndKeyColourAndIntensity) {
    Records r;
    r.Frames(10, 1, 25.0f);
    r.ctrl.motAct = 1;
    r.ctrl.motionFlags = ZK_MOT_LIGHTS;
    r.AddLight("key", 0);
    LightFrame_st& key = r.lightMotion[0][0];
    Set3(key.pos, 1.0f, 2.0f, 3.0f);
    key.color[0] = 1.0f;
    key.color[1] = 0.5f;
    key.color[2] = 0.25f;
    key.color[3] = 0.75f;
    key.intensity = 2.0f;
    r.AddLight("fill", 1);
    LightFrame_st& fill = r.lightMotion[1][0];
    Set3(fill.hpb, -90.0f, 0.0f, 0.0f);
    fill.color[3] = 1.0f;
    fill.intensity = 0.5f;
    r.AddLight("rim%s", 2);
    LightFrame_st& rim = r.lightMotion[2][0];
    Set3(rim.pos, 0.0f, 0.0f, -0.0f);
    rim.color[0] = 0.1f;
    rim.color[1] = 0.2f;
    rim.color[2] = 0.3f;
    rim.intensity = 1.0f;
    ExpectScene(r, "lws_lights.lws");
}

TEST_F(LWSFileTest, NoFramesGiveEnvelopesWithoutKeys) {
    Records r;
    r.Frames(5, 0, 24.0f);
    r.ctrl.motAct = 1;
    r.ctrl.motionFlags = ZK_MOT_NULLS;
    r.AddNull("empty");
    ExpectScene(r, "lws_zero_frames.lws");
}

TEST_F(LWSFileTest, TwoCamerasAt2997KeyAtThirtyFramesPerSecond) {
    Records r = TwoCameras();
    ExpectScene(r, "lws_cameras.lws");
}

TEST_F(LWSFileTest, SeparateMotionKeepsOnlyCachedObjectsAndTheDefaultLight) {
    Records r;
    r.Frames(0, 1, 25.0f);
    r.ctrl.mddAct = 1;
    r.ctrl.motAct = 1;
    r.ctrl.motSep = 1;
    r.ctrl.motionFlags = ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS | ZK_MOT_OBJECTS;
    r.AddObject("a", "C:\\lwo\\a.lwo", "C:\\mdd\\a.mdd");
    r.AddObject("b", "/lwo/b.lwo", "/mdd/b.mdd");
    r.AddNull("n");
    r.AddLight("l", 0);
    r.AddCamera("c");
    ExpectScene(r, "lws_separate_motion.lws");
}

TEST_F(LWSFileTest, CachedLayersComeBeforeKeyedLayers) {
    Records r;
    r.Frames(0, 1, 24.0f);
    r.ctrl.mddAct = 1;
    r.ctrl.motAct = 1;
    r.ctrl.motionFlags = ZK_MOT_OBJECTS;
    r.AddObject("o0", "/lwo/o0.lwo", "/mdd/o0.mdd");
    r.AddObject("o1", "/lwo/o1.lwo", "/mdd/o1.mdd");
    const std::string path = PathOf("scene.lws");
    ASSERT_EQ(r.Run(WriteLWS, path), 1);
    std::istringstream text(ReadFile(path));
    std::vector<std::string> layers;
    for (std::string line; std::getline(text, line);)
        if (line.rfind("LoadObjectLayer", 0) == 0 || line == "ObjectMotion" ||
            line.rfind("Plugin", 0) == 0)
            layers.push_back(line);
    const std::vector<std::string> expected = {
        "LoadObjectLayer 1 /lwo/o0.lwo", "Plugin DisplacementHandler 1 Zelkin_Reader",
        "LoadObjectLayer 1 /lwo/o1.lwo", "Plugin DisplacementHandler 1 Zelkin_Reader",
        "LoadObjectLayer 1 /lwo/o0.lwo", "ObjectMotion",
        "LoadObjectLayer 1 /lwo/o1.lwo", "ObjectMotion"};
    EXPECT_EQ(layers, expected);
}

TEST_F(LWSFileTest, OutputIsTheSameUnderACommaDecimalLocale) {
    CommaLocale locale;
    if (!locale.Available())
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/install-deps.sh adds it)";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale should print a decimal comma";
    Records keyed = KeyedAt24();
    ExpectScene(keyed, "lws_keyed_24.lws");
    Records cameras = TwoCameras();
    ExpectScene(cameras, "lws_cameras.lws");
}

} // namespace

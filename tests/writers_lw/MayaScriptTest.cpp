// The MEL script, compared byte for byte with hand-written files.
#include "WritersLwTestSupport.h"

#include "writers/LWSFile.h"

using namespace zktest;

namespace {

class MayaScriptTest : public WriterTest {
  protected:
    void ExpectScript(Records& r, const std::string& golden) {
        ExpectWritten(WriteMaya, r, "scene.mel", golden);
    }
};

// Meshes exported and point-cached, motion off, one frame.
Records Cached() {
    Records r;
    r.Frames(0, 1, 30.0f);
    r.ctrl.lwoAct = 1;
    r.ctrl.mddAct = 1;
    return r;
}

// Two cached and keyed objects, a null, a light and two cameras (vertical and
// horizontal field of view) keyed at frame 10.
Records EverythingAtFrame10() {
    Records r;
    r.Frames(10, 1, 24.0f);
    r.ctrl.lwoAct = 1;
    r.ctrl.mddAct = 1;
    r.ctrl.motAct = 1;
    r.ctrl.motionFlags = ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS | ZK_MOT_OBJECTS;
    r.AddObject("cube", "/lwo/cube.lwo", "/mdd/cube.mdd");
    Set3(r.objectMotion[0][0].pos, 1.0f, 2.0f, 3.0f);
    Set3(r.objectMotion[0][0].rotXYZ, 10.0f, 20.0f, 30.0f);
    Set3(r.objectMotion[0][0].hpb, 5.0f, 5.0f, 5.0f); // not used by the script
    r.AddObject("cone", "/lwo/cone.lwo", "/mdd/cone.mdd");
    Set3(r.objectMotion[1][0].pos, -1.0f, -0.5f, 0.0f);
    r.AddNull("locator");
    Set3(r.nullMotion[0][0].pos, 0.25f, 0.0f, 0.0f);
    Set3(r.nullMotion[0][0].rotXYZ, 0.0f, 90.0f, 0.0f);
    r.AddLight("sun", 1);
    Set3(r.lightMotion[0][0].pos, 0.0f, 5.0f, 0.0f);
    Set3(r.lightMotion[0][0].rotXYZ, -90.0f, 0.0f, 0.0f);
    for (int fovType = 0; fovType < 2; ++fovType) {
        CameraData_st& cam = r.AddCamera(fovType == 0 ? "vertical" : "horizontal");
        cam.fovType = fovType;
        cam.projPlaneHeight = 25.4f;
        cam.pixelRatio = 2.0f;
    }
    CameraFrame_st& a = r.cameraMotion[0][0];
    Set3(a.pos, 0.0f, 1.0f, 10.0f);
    a.projPlaneDist = 35.0f;
    a.fov = 0.5f;
    CameraFrame_st& b = r.cameraMotion[1][0];
    Set3(b.pos, 2.0f, 0.0f, 0.0f);
    Set3(b.rotXYZ, 0.0f, 45.0f, 0.0f);
    b.projPlaneDist = 50.0f;
    b.fov = 0.75f;
    return r;
}

TEST_F(MayaScriptTest, OnlyTheMelSwitchGivesFourLines) {
    Records r;
    r.Frames(0, 1, 30.0f);
    r.AddCamera("cam");
    ExpectScript(r, "mel_empty.mel");
}

TEST_F(MayaScriptTest, CachedSectionWithoutObjectsStillDeclaresTheExpression) {
    Records r = Cached();
    ExpectScript(r, "mel_cached_none.mel");
}

TEST_F(MayaScriptTest, BindingsRunIntoTheNextText) {
    Records r = Cached();
    r.AddObject("cube", "C:\\lwo\\cube.lwo", "C:\\mdd\\cube.mdd");
    r.AddObject("cone", "/lwo/cone.lwo", "/mdd/cone.mdd");
    ExpectScript(r, "mel_cached.mel");
}

TEST_F(MayaScriptTest, KeyedObjectsNullsLightsAndBothFilmBackFormulas) {
    Records r = EverythingAtFrame10();
    ExpectScript(r, "mel_keyed.mel");
}

TEST_F(MayaScriptTest, WithoutCachesObjectsAreSelectedByNameAndNoFramesGiveNoKeys) {
    Records r;
    r.Frames(0, 0, 30.0f);
    r.ctrl.lwoAct = 1;
    r.ctrl.motAct = 1;
    r.ctrl.motionFlags = ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS | ZK_MOT_OBJECTS;
    r.AddObject("cube", "/lwo/cube.lwo", "/mdd/cube.mdd");
    r.AddObject("cone", "/lwo/cone.lwo", "/mdd/cone.mdd");
    r.AddNull("locator");
    r.AddLight("sun", 0);
    r.AddCamera("cam").pixelRatio = 1.0f;
    ExpectScript(r, "mel_keyed_no_cache.mel");
}

TEST_F(MayaScriptTest, QuotesAndBackslashesCannotEndAStringLiteral) {
    Records r = Cached();
    r.AddObject("say\"hi\\50%", "C:\\lwo\\say\"hi.lwo", "/mdd/say\"hi%s.mdd");
    ExpectScript(r, "mel_quoted.mel");
}

TEST_F(MayaScriptTest, OutputIsTheSameUnderACommaDecimalLocale) {
    CommaLocale locale;
    if (!locale.Available())
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/install-deps.sh adds it)";
    Records r = EverythingAtFrame10();
    ExpectScript(r, "mel_keyed.mel");
}

} // namespace

// The LightWave motion and zoom envelope files, compared byte for byte with
// hand-written files.
#include "WritersLwTestSupport.h"

#include "writers/MOTfile.h"

using namespace zktest;

namespace {

class MOTfileTest : public WriterTest {
  protected:
    // Compares every file of the scratch folder with the expected folder's
    // file of the same name, and checks that there are no others.
    void ExpectFolder(const std::string& golden, const std::vector<std::string>& names) {
        EXPECT_EQ(FilesInDir(), names);
        for (const std::string& name : names)
            EXPECT_TRUE(SameText(Golden(golden + "/" + name), ReadFile(PathOf(name)))) << name;
        EXPECT_TRUE(Messages().empty());
    }
};

// A camera and a null over three frames from frame 10 at 25 frames per second.
Records CameraAndNullFrom10() {
    Records r;
    r.Frames(10, 3, 25.0f);
    r.ctrl.motAct = 1;
    r.ctrl.motSep = 1;
    r.ctrl.motionFlags = ZK_MOT_CAMERAS | ZK_MOT_NULLS;
    r.AddCamera("cam1");
    CameraFrame_st* cam = r.cameraMotion[0].data();
    for (int i = 0; i < 3; ++i) {
        Set3(cam[i].pos, 1.0f, 2.0f, 3.0f + 0.5f * i);
        Set3(cam[i].hpb, 90.0f * i, 0.0f, 0.0f);
        cam[i].zoom = 2.0f + 0.5f * i;
    }
    r.AddNull("null1");
    for (int i = 0; i < 3; ++i)
        Set3(r.nullMotion[0][i].pos, 0.0f, static_cast<float>(i), -1.0f);
    return r;
}

TEST_F(MOTfileTest, CameraKeysAtSceneTimesOtherItemsFromZero) {
    Records r = CameraAndNullFrom10();
    ASSERT_EQ(r.Run(WriteMotions, Dir()), 1);
    ExpectFolder("mot_start10", {"cam1.mot", "cam1_zoom.env", "null1.mot"});
}

TEST_F(MOTfileTest, LightsHaveSixChannelsAndNoColourObjectsNine) {
    Records r;
    r.Frames(3, 1, 24.0f);
    r.ctrl.motionFlags = ZK_MOT_LIGHTS | ZK_MOT_OBJECTS;
    r.AddLight("lamp", 0);
    LightFrame_st& lamp = r.lightMotion[0][0];
    Set3(lamp.pos, 1.0f, 2.0f, 3.0f);
    Set3(lamp.hpb, 0.0f, 0.0f, 90.0f);
    lamp.color[0] = lamp.color[1] = lamp.color[2] = 1.0f;
    lamp.intensity = 5.0f;
    r.AddObject("box", "/lwo/box.lwo", "/mdd/box.mdd");
    MotionFrame_st& box = r.objectMotion[0][0];
    Set3(box.pos, 4.0f, 5.0f, 6.0f);
    Set3(box.hpb, 0.0f, 45.0f, 0.0f);
    Set3(box.scale, 1.0f, 2.0f, 3.0f);
    ASSERT_EQ(r.Run(WriteMotions, Dir()), 1);
    ExpectFolder("mot_light_object", {"box.mot", "lamp.mot"});
}

TEST_F(MOTfileTest, NoFramesGiveEnvelopesWithoutKeys) {
    Records r;
    r.Frames(0, 0, 30.0f);
    r.ctrl.motionFlags = ZK_MOT_CAMERAS;
    r.AddCamera("cam0");
    ASSERT_EQ(r.Run(WriteMotions, Dir()), 1);
    ExpectFolder("mot_zero", {"cam0.mot", "cam0_zoom.env"});
}

TEST_F(MOTfileTest, WithoutMotionBitsNoFileIsMade) {
    Records r = CameraAndNullFrom10();
    r.ctrl.motionFlags = 0;
    EXPECT_EQ(r.Run(WriteMotions, Dir()), 1);
    EXPECT_TRUE(FilesInDir().empty());
}

TEST_F(MOTfileTest, ALaterItemOfTheSameNameReplacesTheEarlierFile) {
    Records r = CameraAndNullFrom10();
    SetText(r.nulls[0].name, "cam1");
    ASSERT_EQ(r.Run(WriteMotions, Dir()), 1);
    EXPECT_EQ(FilesInDir(), (std::vector<std::string>{"cam1.mot", "cam1_zoom.env"}));
    EXPECT_TRUE(SameText(Golden("mot_start10/null1.mot"), ReadFile(PathOf("cam1.mot"))));
}

TEST_F(MOTfileTest, BackslashesOfFolderAndNameBecomeSeparators) {
    std::filesystem::create_directory(PathOf("sub"));
    Records r = CameraAndNullFrom10();
    SetText(r.nulls[0].name, "sub\\null1");
    std::string folder = Dir();
    folder.replace(folder.rfind('/'), 1, "\\");
    ASSERT_EQ(r.Run(WriteMotions, folder), 1);
    EXPECT_TRUE(SameText(Golden("mot_start10/null1.mot"), ReadFile(PathOf("sub/null1.mot"))));
    EXPECT_TRUE(std::filesystem::exists(PathOf("cam1.mot")));
}

TEST_F(MOTfileTest, OutputIsTheSameUnderACommaDecimalLocale) {
    CommaLocale locale;
    if (!locale.Available())
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/install-deps.sh adds it)";
    Records r = CameraAndNullFrom10();
    ASSERT_EQ(r.Run(WriteMotions, Dir()), 1);
    ExpectFolder("mot_start10", {"cam1.mot", "cam1_zoom.env", "null1.mot"});
}

} // namespace

// The LightWave scene, motion and envelope files and the MEL script against
// hand-written files, byte for byte and under a decimal-comma locale too; the
// item order the goldens cannot show; outputs that cannot be made.
#include "RecordKit.h"

#include "writers/LWSFile.h"
#include "writers/MOTfile.h"

using namespace zkt;

namespace {

const std::string kGolden = ZK_LW_GOLDEN_DIR;

// A point-cached and keyed object and a null over frames 0 and 1 at 24 fps,
// with zeros of both signs and percent signs in a name.
Scene KeyedAt24() {
    Scene s(0, 2, 24.0f, ZK_MOT_OBJECTS | ZK_MOT_NULLS);
    s.ctrl.mddAct = 1;
    MotionFrame_st* box = s.AddObject("box", "/data/lwo/box.lwo", "C:\\cache\\box.mdd");
    Set3(box[0].pos, 0.0f, 0.0f, -0.0f);
    Set3(box[0].hpb, 0.0f, -0.0f, 0.0f);
    Set3(box[1].pos, 1.5f, -2.25f, 3.0f);
    Set3(box[1].hpb, 90.0f, 45.0f, -30.0f);
    Set3(box[1].scale, 2.0f, 0.5f, 1.0f);
    MotionFrame_st* null = s.AddNull("null%d 100%");
    Set3(null[0].pos, -1.0f, 2.0f, 0.0f);
    Set3(null[0].hpb, 180.0f, 0.0f, 90.0f);
    Set3(null[1].pos, -1.0f, 2.5f, -0.0f);
    Set3(null[1].hpb, -180.0f, -90.0f, 0.0f);
    return s;
}

// Two cameras at 29.97 fps from frame 10, no lights.
Scene TwoCameras() {
    Scene s(10, 2, 29.97f, ZK_MOT_CAMERAS);
    CameraFrame_st* cam = s.AddCamera("cam1", 36.0f);
    Set3(cam[0].pos, 0.25f, 1.0f, -0.0f);
    Set3(cam[0].hpb, -0.0f, 0.0f, 0.0f);
    cam[0].zoom = 3.2f;
    Set3(cam[1].pos, 0.5f, 1.0f, 10.0f);
    Set3(cam[1].hpb, 45.0f, 90.0f, 180.0f);
    cam[1].zoom = 1.5f;
    CameraFrame_st* cam2 = s.AddCamera("cam%2", 25.4f);
    cam2[0].zoom = cam2[1].zoom = 1.0f;
    return s;
}

// Light types 0, 1 and 2 sampled at frame 10, 25 fps.
Scene ThreeLights() {
    Scene s(10, 1, 25.0f, ZK_MOT_LIGHTS);
    LightFrame_st* key = s.AddLight("key", 0);
    Set3(key->pos, 1.0f, 2.0f, 3.0f);
    Set3(key->color, 1.0f, 0.5f, 0.25f);
    key->color[3] = 0.75f;
    key->intensity = 2.0f;
    LightFrame_st* fill = s.AddLight("fill", 1);
    Set3(fill->hpb, -90.0f, 0.0f, 0.0f);
    fill->color[3] = 1.0f;
    fill->intensity = 0.5f;
    LightFrame_st* rim = s.AddLight("rim%s", 2);
    Set3(rim->pos, 0.0f, 0.0f, -0.0f);
    Set3(rim->color, 0.1f, 0.2f, 0.3f);
    rim->intensity = 1.0f;
    return s;
}

// A camera and a null over three frames from frame 10 at 25 fps.
Scene CameraAndNullFrom10() {
    Scene s(10, 3, 25.0f, ZK_MOT_CAMERAS | ZK_MOT_NULLS);
    s.ctrl.motSep = 1;
    CameraFrame_st* cam = s.AddCamera("cam1");
    MotionFrame_st* null = s.AddNull("null1");
    for (int i = 0; i < 3; ++i) {
        Set3(cam[i].pos, 1.0f, 2.0f, 3.0f + 0.5f * i);
        Set3(cam[i].hpb, 90.0f * i, 0.0f, 0.0f);
        cam[i].zoom = 2.0f + 0.5f * i;
        Set3(null[i].pos, 0.0f, static_cast<float>(i), -1.0f);
    }
    return s;
}

// Two cached and keyed objects, a null, a light and two cameras (vertical
// and horizontal field of view) keyed at frame 10.
Scene EverythingAtFrame10() {
    Scene s(10, 1, 24.0f, kAllKinds);
    s.ctrl.lwoAct = s.ctrl.mddAct = 1;
    MotionFrame_st* cube = s.AddObject("cube", "/lwo/cube.lwo", "/mdd/cube.mdd");
    Set3(cube->pos, 1.0f, 2.0f, 3.0f);
    Set3(cube->rotXYZ, 10.0f, 20.0f, 30.0f);
    Set3(cube->hpb, 5.0f, 5.0f, 5.0f); // not used by the script
    Set3(s.AddObject("cone", "/lwo/cone.lwo", "/mdd/cone.mdd")->pos, -1.0f, -0.5f, 0.0f);
    MotionFrame_st* locator = s.AddNull("locator");
    Set3(locator->pos, 0.25f, 0.0f, 0.0f);
    Set3(locator->rotXYZ, 0.0f, 90.0f, 0.0f);
    LightFrame_st* sun = s.AddLight("sun", 1);
    Set3(sun->pos, 0.0f, 5.0f, 0.0f);
    Set3(sun->rotXYZ, -90.0f, 0.0f, 0.0f);
    CameraFrame_st* a = s.AddCamera("vertical", 25.4f, 2.0f);
    Set3(a->pos, 0.0f, 1.0f, 10.0f);
    a->projPlaneDist = 35.0f;
    a->fov = 0.5f;
    CameraFrame_st* b = s.AddCamera("horizontal", 25.4f, 2.0f);
    s.cameras[1].fovType = 1;
    Set3(b->pos, 2.0f, 0.0f, 0.0f);
    Set3(b->rotXYZ, 0.0f, 45.0f, 0.0f);
    b->projPlaneDist = 50.0f;
    b->fov = 0.75f;
    return s;
}

// Meshes exported and point-cached, motion off, one frame at 30 fps.
Scene Cached() {
    Scene s(0, 1, 30.0f);
    s.ctrl.lwoAct = s.ctrl.mddAct = 1;
    return s;
}

// A golden file, or a golden folder for the motion writer (which writes into
// a folder): the output must hold exactly its files, byte for byte.
struct GoldenCase {
    const char* golden;
    Writer writer;
    Scene (*make)();
};

const GoldenCase kGoldenCases[] = {
    {"lws_default_light.lws", WriteLWS, [] { return Scene(0, 1, 24.0f); }},
    {"lws_no_light.lws", WriteLWS,
     [] {
         Scene s(0, 1, 29.97f); // a light without samples
         s.AddLight("key");
         return s;
     }},
    {"lws_keyed_24.lws", WriteLWS, KeyedAt24},
    {"lws_lights.lws", WriteLWS, ThreeLights},
    {"lws_zero_frames.lws", WriteLWS,
     [] {
         Scene s(5, 0, 24.0f, ZK_MOT_NULLS);
         s.AddNull("empty");
         return s;
     }},
    {"lws_cameras.lws", WriteLWS, TwoCameras},
    {"lws_separate_motion.lws", WriteLWS,
     [] {
         Scene s(0, 1, 25.0f, kAllKinds);
         s.ctrl.mddAct = s.ctrl.motSep = 1;
         s.AddObject("a", "C:\\lwo\\a.lwo", "C:\\mdd\\a.mdd");
         s.AddObject("b", "/lwo/b.lwo", "/mdd/b.mdd");
         s.AddNull("n");
         s.AddLight("l");
         s.AddCamera("c");
         return s;
     }},
    {"mot_start10", WriteMotions, CameraAndNullFrom10},
    {"mot_light_object", WriteMotions,
     [] {
         Scene s(3, 1, 24.0f, ZK_MOT_LIGHTS | ZK_MOT_OBJECTS);
         LightFrame_st* lamp = s.AddLight("lamp");
         Set3(lamp->pos, 1.0f, 2.0f, 3.0f);
         Set3(lamp->hpb, 0.0f, 0.0f, 90.0f);
         Set3(lamp->color, 1.0f, 1.0f, 1.0f);
         lamp->intensity = 5.0f;
         MotionFrame_st* box = s.AddObject("box", "/lwo/box.lwo", "/mdd/box.mdd");
         Set3(box->pos, 4.0f, 5.0f, 6.0f);
         Set3(box->hpb, 0.0f, 45.0f, 0.0f);
         Set3(box->scale, 1.0f, 2.0f, 3.0f);
         return s;
     }},
    {"mot_zero", WriteMotions,
     [] {
         Scene s(0, 0, 30.0f, ZK_MOT_CAMERAS);
         s.AddCamera("cam0");
         return s;
     }},
    {"mel_empty.mel", WriteMaya,
     [] {
         Scene s(0, 1, 30.0f);
         s.AddCamera("cam");
         return s;
     }},
    {"mel_cached_none.mel", WriteMaya, Cached},
    {"mel_cached.mel", WriteMaya,
     [] {
         Scene s = Cached();
         s.AddObject("cube", "C:\\lwo\\cube.lwo", "C:\\mdd\\cube.mdd");
         s.AddObject("cone", "/lwo/cone.lwo", "/mdd/cone.mdd");
         return s;
     }},
    {"mel_keyed.mel", WriteMaya, EverythingAtFrame10},
    {"mel_keyed_no_cache.mel", WriteMaya,
     [] {
         Scene s(0, 0, 30.0f, kAllKinds);
         s.ctrl.lwoAct = 1;
         s.AddObject("cube", "/lwo/cube.lwo", "/mdd/cube.mdd");
         s.AddObject("cone", "/lwo/cone.lwo", "/mdd/cone.mdd");
         s.AddNull("locator");
         s.AddLight("sun");
         s.AddCamera("cam");
         return s;
     }},
    {"mel_quoted.mel", WriteMaya,
     [] {
         // Quotes and backslashes cannot end a MEL string literal.
         Scene s = Cached();
         s.AddObject("say\"hi\\50%", "C:\\lwo\\say\"hi.lwo", "/mdd/say\"hi%s.mdd");
         return s;
     }},
};

void ExpectGoldenOutputs() {
    for (const GoldenCase& c : kGoldenCases) {
        SCOPED_TRACE(c.golden);
        ScratchDir out;
        MessageLog log;
        Scene s = c.make();
        const std::string golden = kGolden + "/" + c.golden;
        const bool folder = std::filesystem::is_directory(golden);
        ASSERT_EQ(s.Run(c.writer, folder ? out.Dir() : out / c.golden, log), 1);
        EXPECT_TRUE(log.All().empty());
        const std::vector<std::string> names = folder ? FilesIn(golden) : FilesIn(out.Dir());
        EXPECT_EQ(out.Files(), folder ? names : std::vector<std::string>{c.golden});
        for (const std::string& name : names)
            EXPECT_EQ(Read(out / name), Read(folder ? golden + "/" + name : golden)) << name;
    }
}

TEST(LWWriters, GoldenFilesUnderAnyLocale) {
    ExpectGoldenOutputs();
    if (!UnderCommaLocale(ExpectGoldenOutputs))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/install-deps.sh adds it)";
}

TEST(LWWriters, CachedLayersComeBeforeKeyedLayers) {
    ScratchDir out;
    Scene s(0, 1, 24.0f, ZK_MOT_OBJECTS);
    s.ctrl.mddAct = 1;
    s.AddObject("o0", "/lwo/o0.lwo", "/mdd/o0.mdd");
    s.AddObject("o1", "/lwo/o1.lwo", "/mdd/o1.mdd");
    ASSERT_EQ(s.Run(WriteLWS, out / "scene.lws"), 1);
    std::istringstream text(Read(out / "scene.lws"));
    std::string layers;
    for (std::string line; std::getline(text, line);)
        if (line.rfind("LoadObjectLayer", 0) == 0 || line.rfind("Plugin", 0) == 0 ||
            line == "ObjectMotion")
            layers += line + "\n";
    EXPECT_EQ(layers, "LoadObjectLayer 1 /lwo/o0.lwo\nPlugin DisplacementHandler 1 Zelkin_Reader\n"
                      "LoadObjectLayer 1 /lwo/o1.lwo\nPlugin DisplacementHandler 1 Zelkin_Reader\n"
                      "LoadObjectLayer 1 /lwo/o0.lwo\nObjectMotion\n"
                      "LoadObjectLayer 1 /lwo/o1.lwo\nObjectMotion\n");
}

TEST(LWWriters, MotionFilesFollowTheMotionBitsAndTurnBackslashesIntoSeparators) {
    ScratchDir out;
    Scene s = CameraAndNullFrom10();
    s.ctrl.motionFlags = 0;
    EXPECT_EQ(s.Run(WriteMotions, out.Dir()), 1);
    EXPECT_TRUE(out.Files().empty());

    std::filesystem::create_directory(out / "sub");
    s = CameraAndNullFrom10();
    SetText(s.nulls[0].name, "sub\\null1");
    std::string folder = out.Dir();
    folder.replace(folder.rfind('/'), 1, "\\");
    ASSERT_EQ(s.Run(WriteMotions, folder), 1);
    EXPECT_EQ(Read(out / "sub/null1.mot"), Read(kGolden + "/mot_start10/null1.mot"));
    EXPECT_EQ(out.Files(), (std::vector<std::string>{"cam1.mot", "cam1_zoom.env", "sub"}));
}

TEST(LWWriters, OutputsThatCannotBeMadeAreReportedOnceAndLeftOut) {
    ScratchDir out;
    Scene s = CameraAndNullFrom10();
    for (const std::string& path : {out / "missing/scene", std::string("/dev/full")}) {
        MessageLog log;
        EXPECT_EQ(s.Run(WriteLWS, path, log), 0);
        EXPECT_EQ(s.Run(WriteMaya, path, log), 0);
        EXPECT_EQ(log.All(),
                  (std::vector<std::string>{CannotWrite("LWS", path), CannotWrite("MEL", path)}));
    }
    EXPECT_TRUE(out.Files().empty());

    // A motion file that cannot be made is skipped, the others are written.
    MessageLog log;
    SetText(s.cameras[0].name, "missing/cam1");
    s.AddNull("null2");
    EXPECT_EQ(s.Run(WriteMotions, out.Dir(), log), 0);
    EXPECT_EQ(log.All(),
              (std::vector<std::string>{CannotWrite("MOT", out / "missing/cam1.mot"),
                                        CannotWrite("MOT", out / "missing/cam1_zoom.env")}));
    EXPECT_EQ(out.Files(), (std::vector<std::string>{"null1.mot", "null2.mot"}));

    // A motion path one character too long for a path buffer is refused.
    ScratchDir out2;
    log.All().clear();
    s = CameraAndNullFrom10();
    const std::string longName(ZK_TEXT_SIZE - out2.Dir().size() - 5, 'n');
    SetText(s.nulls[0].name, longName);
    EXPECT_EQ(s.Run(WriteMotions, out2.Dir(), log), 0);
    EXPECT_EQ(log.All(),
              (std::vector<std::string>{CannotWrite("MOT", out2 / (longName + ".mot"))}));
    EXPECT_EQ(out2.Files(), (std::vector<std::string>{"cam1.mot", "cam1_zoom.env"}));
}

TEST(LWWriters, RecordsWithoutTheirSamplesAreRefusedBeforeAnyFileIsMade) {
    ScratchDir out;
    MessageLog log;
    Scene s(1, 2, 24.0f, ZK_MOT_CAMERAS | ZK_MOT_NULLS);
    s.AddCamera("cam1");
    s.AddNull("null1");
    s.ctrl.cameraCount = s.ctrl.nullCount = 1;
    s.cameras[0].motion = s.cameraMotion[0].data(); // the null has none
    char lws[ZK_TEXT_SIZE] = {}, folder[ZK_TEXT_SIZE] = {};
    std::snprintf(lws, sizeof lws, "%s", (out / "scene.lws").c_str());
    std::snprintf(folder, sizeof folder, "%s", out.Dir().c_str());
    EXPECT_EQ(WriteLWS(&s.ctrl, nullptr, s.cameras.data(), s.nulls.data(), nullptr, lws, 2, log),
              0);
    EXPECT_EQ(
        WriteMotions(&s.ctrl, nullptr, s.cameras.data(), s.nulls.data(), nullptr, folder, 2, log),
        0);
    EXPECT_EQ(WriteMaya(nullptr, nullptr, nullptr, nullptr, nullptr, lws, 1, log), 0);
    ASSERT_EQ(log.All().size(), 3u);
    const std::string refused =
        "ZK_XSI_Baker - The export records are incomplete, the LWS file is not written: " +
        out / "scene.lws";
    EXPECT_EQ(log.All()[0], refused);
    EXPECT_TRUE(out.Files().empty());

    // Called without a sink, a writer reports to stderr.
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteLWS(&s.ctrl, nullptr, s.cameras.data(), s.nulls.data(), nullptr, lws, 2), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: " + refused + "\n");
    EXPECT_EQ(log.All().size(), 3u);
}

} // namespace

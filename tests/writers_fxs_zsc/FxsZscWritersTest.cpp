// The FXS and ZSC scene writers: whole files against hand-written golden
// files (text, and bytes as hex text), the FXS items each switch adds or
// removes, the C number format under any locale, and output failures; the
// one rule of all five scene writers for missing record arrays.
#include "RecordKit.h"

#include "writers/FXSFile.h"
#include "writers/LWSFile.h"
#include "writers/MOTfile.h"
#include "writers/ZSCFile.h"

using namespace zkt;

namespace {

const std::string kGolden = ZK_FXS_GOLDEN_DIR;

std::string Written(Writer writer, Scene& s) {
    ScratchDir out;
    EXPECT_EQ(s.Run(writer, out / "scene"), 1);
    return Read(out / "scene");
}

// The ball: one object under MDD and LWO, frames 1 to 10 at 24 fps.
Scene Ball() {
    Scene s(1, 10, 24.0f);
    s.ctrl.lwoAct = s.ctrl.mddAct = 1;
    s.AddObject("ball", "/out/lwo/ball.lwo", "/out/mdd/ball.mdd");
    return s;
}

// Frames 1 and 2 at 30 fps, motion for every kind, no MDD: a keyed object,
// a camera, a null and a light, with zeros of both signs.
Scene Keyed() {
    Scene s(1, 2, 30.0f, kAllKinds);
    MotionFrame_st* box = s.AddObject("box", "/out/lwo/box.lwo");
    Set3(box[0].pos, 1.5f, 2.25f, 3.0f);
    Set3(box[0].hpb, 90.0f, 45.0f, 90.0f);
    Set3(box[1].pos, 0.0f, -1.0f, -0.0f);
    Set3(box[1].hpb, -0.0f, 0.0f, 0.0f);
    CameraFrame_st* cam = s.AddCamera("cam", 0.5f, 1.5f);
    cam[0].zoom = 3.2f;
    Set3(cam[0].pos, 0.0f, 1.0f, -5.0f);
    Set3(cam[0].hpb, 0.0f, 10.0f, 0.0f);
    cam[1].zoom = 2.5f;
    Set3(cam[1].pos, 0.25f, 1.0f, -5.0f);
    Set3(cam[1].hpb, 30.0f, 0.0f, 0.0f);
    MotionFrame_st* pivot = s.AddNull("pivot");
    Set3(pivot[0].pos, 10.0f, 0.0f, 0.5f);
    Set3(pivot[0].hpb, 0.0f, 0.0f, 45.0f);
    Set3(pivot[1].pos, 10.0f, 0.0f, 0.5f);
    Set3(pivot[1].hpb, 180.0f, 0.0f, 0.0f);
    LightFrame_st* key = s.AddLight("key");
    for (int k = 0; k < 2; ++k) {
        Set3(key[k].pos, -2.0f, 4.0f, 6.0f);
        Set3(key[k].hpb, 0.0f, 90.0f, 0.0f);
    }
    return s;
}

TEST(FXSFile, GoldenFilesUnderAnyLocale) {
    ScratchDir out;
    FILE* f = std::fopen((out / "camera.fxs").c_str(), "w");
    ASSERT_NE(f, nullptr);
    DefaultCamera(f);
    std::fclose(f);
    EXPECT_EQ(Read(out / "camera.fxs"), Read(kGolden + "/default_camera.fxs"));
    Scene ball = Ball(), keyed = Keyed();
    EXPECT_EQ(Written(WriteFXS, ball), Read(kGolden + "/ball_mdd.fxs"));
    EXPECT_EQ(Written(WriteFXS, keyed), Read(kGolden + "/keyed_scene.fxs"));
    if (!UnderCommaLocale(
            [&] { EXPECT_EQ(Written(WriteFXS, keyed), Read(kGolden + "/keyed_scene.fxs")); }))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/install-deps.sh adds it)";
}

// Frames first .. first + count - 1 at 24 fps and the items "o name",
// "c name", "n name", "l name"; objects get the paths /l/name.lwo and
// /m/name.mdd, cameras a projection plane height of 0.5.
Scene Items(int first, int count, unsigned char flags, int mdd,
            const std::vector<std::string>& items, int motSep = 0) {
    Scene s(first, count, 24.0f, flags);
    s.ctrl.mddAct = mdd;
    s.ctrl.motSep = motSep;
    for (const std::string& item : items) {
        const std::string name = item.substr(2);
        if (item[0] == 'o')
            s.AddObject(name, "/l/" + name + ".lwo", "/m/" + name + ".mdd");
        else if (item[0] == 'c')
            s.AddCamera(name, 0.5f);
        else if (item[0] == 'n')
            s.AddNull(name);
        else
            s.AddLight(name);
    }
    return s;
}

// A scene and how often each text must appear in its FXS file: "count text"
// entries separated by '|'.
const struct {
    const char* what;
    Scene scene;
    const char* counts;
} kCountCases[] = {
    {"MDD and object motion: every object twice, the effects link their own object's items",
     Items(1, 3, ZK_MOT_OBJECTS, 1, {"o ball", "o cube"}),
     "2 ObjectAlias ball\n|2 ObjectAlias cube\n|2 NumChildren 1\nBeginLayerIndexGeometry 1 "
     "/l/ball.lwo\n|2 BeginKeyframe 3 12\n|1 LinkObject 0\nLinkTool 1\n|1 LinkObject 2\nLinkTool "
     "3\n|1 \t\tMDDFile 6 /m/cube.mdd\n|1 ObjectAlias Null_1\n|1 EffectID 1\nEffectName "
     "Zelkin_Reader_1\n"},
    {"separate motion files leave out the keyed objects only",
     Items(1, 3, ZK_MOT_OBJECTS | ZK_MOT_CAMERAS, 0, {"o ball", "c cam"}, 1),
     "0 ObjectAlias ball|1 ObjectAlias cam\n"},
    {"motion on, the camera, null and light bits off: none of those items",
     Items(1, 3, ZK_MOT_OBJECTS, 0, {"c cam", "n pivot", "l key"}),
     "0 ObjectType 8\n|0 pivot|0 key_"},
    {"camera bit on without cameras: the default camera", Items(1, 3, ZK_MOT_CAMERAS, 0, {}),
     "1 ObjectType 8\n|1 ObjectAlias Camera\n"},
    {"motion off with cameras: the default camera in their place", Items(1, 3, 0, 0, {"c cam"}),
     "1 ObjectAlias Camera\n|0 ObjectAlias cam\n"},
    {"the aperture channel, 0.5 / 25.4 * 1000 on every key",
     Items(1, 4, ZK_MOT_CAMERAS, 0, {"c cam"}),
     "4   19.685039 0 0 0 2 1 0 0 0 0 0 0 0\n|3 .000 4159 default\n"},
    {"items 0 to 3 under MDD and camera 4 give c = 5: the light pairs link 6 and 8",
     Items(1, 2, ZK_MOT_CAMERAS | ZK_MOT_LIGHTS, 1, {"o a", "o b", "c cam", "l sun", "l fill"}),
     "1 ObjectAlias sun_1\n|1 LinkObject 6\nEndLink\n|1 ObjectMaster 6\nNumChildren "
     "0\nObjectAlias sun_2\n|1 LinkObject 8\nEndLink\n|1 ObjectMaster 8\nNumChildren "
     "0\nObjectAlias fill_2\n|1 LinkTool 3\n"},
    {"one frame: one key line ending in -1 default", Items(5, 1, ZK_MOT_NULLS, 0, {"n n"}),
     "1 BeginKeyframe 1 12\n  5.000 -1 default\n"},
    {"frames -2 to 7: ten keys", Items(-2, 10, ZK_MOT_NULLS, 0, {"n n"}),
     "1 BeginKeyframe 10 12\n  -2.000 -1 default\n|9 .000 511 default\n|1 \n  7.000 511 "
     "default\n|0 \n  8.000"},
    {"names and paths are written as they stand",
     Items(1, 1, ZK_MOT_NULLS, 1, {"o %s%n%d", "n 100%"}),
     "1 ObjectAlias %s%n%d\n|1 BeginLayerIndexGeometry 1 /l/%s%n%d.lwo\n|1 \t\tMDDFile 6 "
     "/m/%s%n%d.mdd\n|1 BeginObjectSpecificInfo 100%\n"},
};

TEST(FXSFile, ItemsFollowTheSwitchesAndLinks) {
    for (const auto& c : kCountCases) {
        SCOPED_TRACE(c.what);
        Scene s = c.scene;
        const std::string text = Written(WriteFXS, s);
        std::istringstream counts(c.counts);
        for (std::string entry; std::getline(counts, entry, '|');) {
            const size_t space = entry.find(' ');
            EXPECT_EQ(Count(text, entry.substr(space + 1)), std::stoi(entry)) << entry;
        }
    }
}

TEST(FXSFile, LightsComeBeforeTheEffects) {
    Scene s = Items(1, 2, ZK_MOT_LIGHTS, 1, {"o a", "l sun"});
    const std::string text = Written(WriteFXS, s);
    EXPECT_NE(text.find("BeginSectionEffects"), std::string::npos);
    EXPECT_LT(text.find("ObjectAlias sun_2"), text.find("BeginSectionEffects"));
}

// The ball for ZSC: one object, MDD on, motion off, 11-character paths.
Scene ZscBall(int meshFormat) {
    Scene s(1, 10, 24.0f);
    s.ctrl.mddAct = 1;
    s.ctrl.meshFormat = meshFormat;
    s.AddObject("ball", "/o/ball.lwo", "/o/ball.mdd", "/o/ball.emd");
    return s;
}

// A camera over two frames with the given fov type.
template <int fovType> Scene ZscCamera() {
    Scene s(1, 2, 24.0f, ZK_MOT_CAMERAS);
    CameraFrame_st* m = s.AddCamera("cam", 1.0f);
    s.cameras[0].aspect = 1.5f;
    s.cameras[0].fovType = fovType;
    Set3(m[0].pos, 1.0f, 2.0f, -0.0f);
    Set3(m[0].rotXYZ, 0.5f, -1.0f, 0.25f);
    m[0].fov = 0.5f;
    m[0].projPlaneDist = 3.0f;
    Set3(m[1].pos, 0.0f, 0.0f, 3.0f);
    m[1].fov = 1.5f;
    m[1].projPlaneDist = 2.0f;
    return s;
}

const std::pair<const char*, Scene (*)()> kZscCases[] = {
    {"zsc_ball_lwo.hex", [] { return ZscBall(0); }},
    {"zsc_ball_emdl.hex", [] { return ZscBall(1); }},
    {"zsc_ball_format7.hex", [] { return ZscBall(7); }},
    {"zsc_empty.hex",
     [] {
         Scene s(1, 10, 24.0f);
         s.AddObject("ball", "/o/ball.lwo", "/o/ball.mdd");
         s.AddCamera("cam");
         return s;
     }},
    {"zsc_camera_fov0.hex", ZscCamera<0>},
    {"zsc_camera_fov1.hex", ZscCamera<1>},
    {"zsc_camera_fov2.hex", ZscCamera<2>},
    {"zsc_every_kind.hex",
     [] {
         // Added in another order than written.
         Scene s(1, 1, 24.0f, kAllKinds);
         s.ctrl.mddAct = 1;
         MotionFrame_st* ball = s.AddObject("ball", "/o/ball.lwo", "/o/ball.mdd");
         Set3(ball->pos, 1.0f, 0.0f, 0.0f);
         Set3(ball->ppos, 0.5f, 0.5f, 0.5f);
         Set3(ball->hpb, 45.0f, 45.0f, 45.0f);
         Set3(s.AddNull("n")->pos, 0.0f, 0.0f, 1.0f);
         LightFrame_st* key = s.AddLight("key", 2);
         Set3(key->pos, 1.0f, 2.0f, 3.0f);
         Set3(key->color, 1.0f, 0.5f, 0.25f);
         key->color[3] = 1.0f;
         key->intensity = 2.0f;
         s.AddCamera("c");
         return s;
     }},
    {"zsc_ball_lwo.hex", // motion in separate files: no sampled record, none counted
     [] {
         Scene s(1, 10, 24.0f, kAllKinds);
         s.ctrl.mddAct = s.ctrl.motSep = 1;
         s.AddObject("ball", "/o/ball.lwo", "/o/ball.mdd");
         s.AddCamera("cam");
         s.AddLight("key");
         s.AddNull("n");
         return s;
     }},
};

TEST(ZSCFile, GoldenFiles) {
    ScratchDir out;
    ZKscnDat_st header{nullptr, 1.1f, 10, 1, 10, 24.0f, 0x01020304, 1.0f, -2};
    header.file = std::fopen((out / "header.zsc").c_str(), "wb");
    ASSERT_NE(header.file, nullptr);
    ZK_writeHeader(&header);
    std::fclose(header.file);
    EXPECT_EQ(Read<Bytes>(out / "header.zsc"), Hex(Read(kGolden + "/zsc_header.hex")));
    for (const auto& [golden, make] : kZscCases) {
        SCOPED_TRACE(golden);
        Scene s = make();
        const std::string bytes = Written(WriteZSC, s);
        EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), Hex(Read(kGolden + "/" + golden)));
        // The writer keeps the image size it wrote in a camera's first sample.
        if (std::string(golden).rfind("zsc_camera", 0) == 0) {
            EXPECT_EQ(s.cameraMotion[0][0].imageHeight, 480);
            EXPECT_EQ(s.cameraMotion[0][0].imageWidth, 640);
        }
    }
}

TEST(SceneWriters, FileThatCannotBeMadeIsReportedOnce) {
    ScratchDir out;
    for (const auto& [writer, label] :
         {std::pair<Writer, const char*>{WriteFXS, "FXS"}, {WriteZSC, "ZSC"}})
        for (const std::string& path : {out / "missing/scene", std::string("/dev/full")}) {
            MessageLog log;
            Scene s = Ball();
            EXPECT_EQ(s.Run(writer, path, log), 0);
            EXPECT_EQ(log.All(), std::vector<std::string>{CannotWrite(label, path)});
        }
    EXPECT_TRUE(out.Files().empty());
}

// Every writer reads the records the same way: a kind with no items may have
// no array (an empty kind), while a kind that counts items but has no array,
// or whose sampled items lack their samples, is refused with one message
// before anything is written.
TEST(SceneWriters, MissingRecordArraysFollowOneRule) {
    const std::pair<Writer, const char*> writers[] = {{WriteLWS, "LWS"},
                                                      {WriteMaya, "MEL"},
                                                      {WriteFXS, "FXS"},
                                                      {WriteZSC, "ZSC"},
                                                      {WriteMotions, "MOT"}};
    enum Missing { kObjects, kCameras, kNulls, kLights, kNullSamples, kNone };
    for (const auto& [writer, label] : writers)
        for (Missing missing : {kObjects, kCameras, kNulls, kLights, kNullSamples, kNone}) {
            SCOPED_TRACE(std::string(label) + " missing " + std::to_string(missing));
            ScratchDir out;
            MessageLog log;
            Scene s = Keyed();
            s.ctrl.mddAct = 1;
            // Link the records as the driver does, then take one array away.
            char path[ZK_TEXT_SIZE] = {};
            const std::string target = std::string(label) == "MOT" ? out.Dir() : out / "scene";
            SetText(path, target);
            s.ctrl.objectCount = s.ctrl.cameraCount = s.ctrl.nullCount = s.ctrl.lightCount = 1;
            s.objects[0].motion = s.objectMotion[0].data();
            s.cameras[0].motion = s.cameraMotion[0].data();
            s.nulls[0].motion = missing == kNullSamples ? nullptr : s.nullMotion[0].data();
            s.lights[0].motion = s.lightMotion[0].data();
            const int result =
                writer(&s.ctrl, missing == kObjects ? nullptr : s.objects.data(),
                       missing == kCameras ? nullptr : s.cameras.data(),
                       missing == kNulls ? nullptr : s.nulls.data(),
                       missing == kLights ? nullptr : s.lights.data(), path, s.frames, log);
            if (missing == kNone) {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(log.All(), std::vector<std::string>{});
                EXPECT_FALSE(out.Files().empty());
                continue;
            }
            EXPECT_EQ(result, 0);
            EXPECT_EQ(log.All(), std::vector<std::string>{
                                     "ZK_XSI_Baker - The export records are incomplete, the " +
                                     std::string(label) + " file is not written: " + target});
            EXPECT_TRUE(out.Files().empty());

            // The same kind with a count of 0 and no array is an empty kind.
            log.All().clear();
            Scene empty = Keyed();
            if (missing == kObjects)
                empty.objects.clear();
            if (missing == kCameras)
                empty.cameras.clear();
            if (missing == kNulls || missing == kNullSamples)
                empty.nulls.clear();
            if (missing == kLights)
                empty.lights.clear();
            EXPECT_EQ(empty.Run(writer, target, log), 1);
            EXPECT_EQ(log.All(), std::vector<std::string>{});
        }
}

} // namespace

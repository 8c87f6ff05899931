// Resolution of the object list and sampling of the records, against scenes
// built in the stand-in host; heading, pitch and bank from a rotation.
#include "capture/ZK_Capture.h"

#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/scene/Scene.h"
#include "host/app/SceneCommands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using host::DegToRad;
using host::HostApp;

// The records of one sampling run; the counts given are the vectors' sizes.
struct Records {
    std::vector<ObjectData> objects;
    std::vector<CameraData_st> cameras;
    std::vector<LightData_st> lights;
    std::vector<NullData_st> nulls;
};

// Gives each record its own run of `frames` samples, in the array returned.
template <class Frame, class Record>
std::vector<Frame> Attach(std::vector<Record>& records, int frames) {
    std::vector<Frame> samples(records.size() * frames);
    for (size_t i = 0; i < records.size(); ++i)
        records[i].motion = &samples[i * frames];
    return samples;
}

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool registered = (host::RegisterSceneCommands(HostApp::Get()), true);
        (void)registered;
        HostApp::Get().Reset();
        HostApp::Get().SetEchoLog(false);
        scene = new host::Scene();
        HostApp::Get().SetScene(std::unique_ptr<host::Scene>(scene));
    }
    void TearDown() override { HostApp::Get().Reset(); }

    // The object list as the driver hands it on: one 255-byte slot per name.
    char (*Names(const std::vector<std::string>& list))[ZK_TEXT_SIZE] {
        slots.assign(list.size() * ZK_TEXT_SIZE, '\0');
        for (size_t i = 0; i < list.size(); ++i)
            std::strncpy(&slots[i * ZK_TEXT_SIZE], list[i].c_str(), ZK_TEXT_SIZE - 1);
        return reinterpret_cast<char(*)[ZK_TEXT_SIZE]>(slots.data());
    }
    void Sample(Records& r, const std::vector<std::string>& list, int start, int frames,
                char flags) {
        ScCtrl ctrl;
        ctrl.objectCount = int(r.objects.size());
        ctrl.cameraCount = int(r.cameras.size());
        ctrl.lightCount = int(r.lights.size());
        ctrl.nullCount = int(r.nulls.size());
        ctrl.startFrame = start;
        ZK_MOT_GetData(r.objects.data(), r.cameras.data(), r.lights.data(), r.nulls.data(),
                       int(list.size()), Names(list), frames, 30.0f, flags, &ctrl);
    }

    host::Scene* scene = nullptr;
    std::vector<char> slots;
};

TEST_F(CaptureTest, NamesResolveToReferencesAndAreCountedByKind) {
    const XSI::CRef box = host::RefOf(scene->AddMesh(L"Box"));
    const XSI::CRef cam = host::RefOf(scene->AddCamera(L"Cam"));
    const XSI::CRef lamp = host::RefOf(scene->AddLight(L"Lamp"));
    host::Item* rig = scene->AddNull(L"Rig");
    const XSI::CRef cafe = host::RefOf(scene->AddMesh(L"Caf\u00e9", rig));

    // The same name twice counts twice; a name that matches nothing and a
    // name with a leading blank select nothing and count as nulls; a Latin-1
    // name finds its item.
    const std::vector<std::string> list = {"Lamp", "Box",     "Rig",  "Cam",
                                           "Box",  "missing", " Box", "Rig.Caf\xe9"};
    std::vector<XSI::CRef> refs(list.size());
    ScCtrl ctrl;
    ZKGetRefs(int(list.size()), Names(list), refs.data(), &ctrl);
    EXPECT_EQ(ctrl.objectCount, 3);
    EXPECT_EQ(ctrl.cameraCount, 1);
    EXPECT_EQ(ctrl.lightCount, 1);
    EXPECT_EQ(ctrl.nullCount, 3);
    const std::vector<XSI::CRef> expected = {lamp, box,         host::RefOf(rig), cam,
                                             box,  XSI::CRef(), XSI::CRef(),      cafe};
    EXPECT_EQ(refs, expected);
    // The selection keeps the last name resolved.
    EXPECT_EQ(HostApp::Get().GetSelection(), std::vector<XSI::CRef>{cafe});
}

// The records of every kind and their samples at frames 1 to 3, with the
// current frame at 5.
TEST_F(CaptureTest, RecordsAndPerFrameSamplesOfEveryKind) {
    host::Item* box = scene->AddMesh(L"Box");
    box->GetMesh()->SetPoints({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    box->GetParam(L"pposx")->Value().SetKey(1, 1.0);
    box->GetParam(L"pposx")->Value().SetKey(11, 11.0);
    box->SetParamValue(L"pposz", -2.0);
    box->Translation().SetKey(1, {0, 0, 0});
    box->Translation().SetKey(11, {10, 0, 0});
    host::Item* vertical = scene->AddCamera(L"Vertical");
    vertical->SetParamValue(L"fovtype", 0);
    vertical->SetParamValue(L"fov", 90.0);
    vertical->SetParamValue(L"pixelratio", 1.25);
    vertical->GetParam(L"projplaneheight")->Value().SetKey(1, 1.0);
    vertical->GetParam(L"projplaneheight")->Value().SetKey(11, 2.0);
    vertical->GetParam(L"projplanedist")->Value().SetKey(1, 1.0);
    vertical->GetParam(L"projplanedist")->Value().SetKey(2, 3.0);
    vertical->Translation().SetKey(1, {1, 2, 3});
    vertical->Translation().SetKey(2, {2, 4, 6});
    host::Item* horizontal = scene->AddCamera(L"Horizontal");
    horizontal->SetParamValue(L"fovtype", 1);
    horizontal->SetParamValue(L"aspect", 1.5);
    horizontal->SetParamValue(L"fov", 90.0);
    host::Item* lamp = scene->AddLight(L"Lamp");
    host::Param* color = lamp->GetShaders()[0]->GetParam(L"color");
    color->ColorValue().SetKey(1, {1, 0, 0, 1});
    color->ColorValue().SetKey(3, {0, 0, 1, 0.5});
    lamp->GetShaders()[0]->GetParam(L"intensity")->Value().SetKey(1, 2.0);
    lamp->GetShaders()[0]->GetParam(L"intensity")->Value().SetKey(3, 4.0);
    scene->AddLight(L"Bare", nullptr, false); // no shader
    scene->AddLight(L"Sun")->SetParamValue(L"Type", 0);
    scene->AddLight(L"Spot")->SetParamValue(L"Type", 2);
    // Bank 20 degrees, then pitch up 90: looking straight up, the bank folds
    // into the heading and the bank is 0.
    scene->AddNull(L"Up")->Rotation().Set(
        host::Mul(host::QuatFromAxisAngle({1, 0, 0}, DegToRad(90)),
                  host::QuatFromAxisAngle({0, 0, 1}, DegToRad(20))));
    // A parent's transform applies: heading 30 from the parent, scaled.
    host::Item* parent = scene->AddNull(L"Parent");
    parent->SetLocal({2, 2, 2}, {0, 30, 0}, {0, 0, 0});
    scene->AddNull(L"Child", parent)->SetLocal({1, 1.5, 1}, {0, 0, 0}, {1, 0, 0});
    HostApp::Get().SetCurrentFrame(5);

    Records r{std::vector<ObjectData>(1), std::vector<CameraData_st>(2),
              std::vector<LightData_st>(4), std::vector<NullData_st>(2)};
    std::vector<MotionFrame_st> objects = Attach<MotionFrame_st>(r.objects, 3);
    std::vector<CameraFrame_st> cameras = Attach<CameraFrame_st>(r.cameras, 3);
    std::vector<LightFrame_st> lights = Attach<LightFrame_st>(r.lights, 3);
    std::vector<MotionFrame_st> nulls = Attach<MotionFrame_st>(r.nulls, 3);
    for (LightFrame_st& f : lights)
        f.color[0] = f.color[1] = f.color[2] = f.color[3] = f.intensity = 9.0f;
    for (MotionFrame_st& f : nulls)
        f.ppos[0] = 7.0f;
    Sample(r,
           {"Lamp", "Vertical", "Up", "Bare", "Box", "Sun", "Horizontal", "Spot", "Parent.Child"},
           1, 3, ZK_MOT_OBJECTS | ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS);

    // Records of a kind follow the order of their names; "Type" 0 and 1 of a
    // light are exchanged.
    EXPECT_STREQ(r.objects[0].name, "Box");
    EXPECT_EQ(r.objects[0].ref, host::RefOf(box));
    EXPECT_EQ(r.objects[0].pointCount, 3);
    EXPECT_STREQ(r.cameras[0].name, "Vertical");
    EXPECT_STREQ(r.cameras[1].name, "Horizontal");
    EXPECT_EQ(r.cameras[1].fovType, 1);
    EXPECT_FLOAT_EQ(r.cameras[1].aspect, 1.5f);
    EXPECT_FLOAT_EQ(r.cameras[0].pixelRatio, 1.25f);
    EXPECT_FLOAT_EQ(r.cameras[0].projPlaneHeight, 1.4f); // at the current frame
    const char* lightNames[] = {"Lamp", "Bare", "Sun", "Spot"};
    const int lightTypes[] = {0, 0, 1, 2};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(r.lights[i].name, lightNames[i]);
        EXPECT_EQ(r.lights[i].lightType, lightTypes[i]) << i;
    }
    EXPECT_STREQ(r.nulls[0].name, "Up");
    EXPECT_STREQ(r.nulls[1].name, "Parent.Child");

    // The pivot is read at the current frame, the position at each frame.
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(objects[i].ppos[0], 5.0f) << i;
        EXPECT_FLOAT_EQ(objects[i].ppos[2], -2.0f) << i;
        EXPECT_FLOAT_EQ(objects[i].pos[0], float(i)) << i;
    }
    EXPECT_EQ(HostApp::Get().GetCurrentFrame(), 5.0);

    // 90 degrees become 1.5705 by the factor 0.01745, not pi/2.
    EXPECT_EQ(cameras[0].fov, 90.0f * 0.01745f);
    EXPECT_NEAR(cameras[0].zoom, 1.0003, 1e-4);
    EXPECT_NEAR(cameras[3].zoom, 1.5004, 1e-4);
    EXPECT_FLOAT_EQ(cameras[0].projPlaneDist, 1.0f);
    EXPECT_FLOAT_EQ(cameras[1].projPlaneDist, 3.0f);
    EXPECT_FLOAT_EQ(cameras[0].pos[0], 1.0f);
    EXPECT_FLOAT_EQ(cameras[1].pos[2], 6.0f);
    // Image size is the ZSC writer's, not the sampler's.
    EXPECT_EQ(cameras[0].imageHeight, 0);
    EXPECT_EQ(cameras[0].imageWidth, 0);

    EXPECT_FLOAT_EQ(lights[0].color[0], 1.0f);
    EXPECT_FLOAT_EQ(lights[1].color[0], 0.5f);
    EXPECT_FLOAT_EQ(lights[1].color[2], 0.5f);
    EXPECT_FLOAT_EQ(lights[2].color[3], 0.5f);
    EXPECT_FLOAT_EQ(lights[0].intensity, 2.0f);
    EXPECT_FLOAT_EQ(lights[1].intensity, 3.0f);
    EXPECT_FLOAT_EQ(lights[1].scale[1], 1.0f);
    for (int i = 3; i < 6; ++i) { // no shader: no colour and no intensity
        EXPECT_EQ(std::vector<float>(lights[i].color, lights[i].color + 4),
                  std::vector<float>(4, 0.0f));
        EXPECT_EQ(lights[i].intensity, 0.0f);
    }

    EXPECT_NEAR(nulls[0].hpb[0], -20.0f, 1e-3);
    EXPECT_NEAR(nulls[0].hpb[1], 90.0f, 1e-4);
    EXPECT_EQ(nulls[0].hpb[2], 0.0f);
    EXPECT_EQ(nulls[0].ppos[0], 7.0f); // nulls get no pivot
    EXPECT_NEAR(nulls[3].hpb[0], 30.0f, 1e-3);
    EXPECT_NEAR(nulls[3].hpb[1], 0.0f, 1e-4);
    EXPECT_NEAR(nulls[3].rotXYZ[1], DegToRad(30), 1e-6); // the host's unit, radians
    EXPECT_NEAR(nulls[3].scale[0], 2.0f, 1e-5);
    EXPECT_NEAR(nulls[3].scale[1], 3.0f, 1e-5);
    EXPECT_NEAR(nulls[3].pos[0], 2.0 * std::cos(DegToRad(30)), 1e-5);
    EXPECT_NEAR(nulls[3].pos[2], -2.0 * std::sin(DegToRad(30)), 1e-5);
}

// Nothing is written past a record: a full name longer than its slot is cut,
// an item beyond the counted records is skipped, and a frame count of 0
// samples nothing, so no per-frame array is needed.
TEST_F(CaptureTest, NeverWritesPastItsRecords) {
    scene->AddNull(std::wstring(100, L'c'), scene->AddNull(std::wstring(200, L'P')));
    scene->AddMesh(L"A");
    scene->AddMesh(L"B");
    Records r{std::vector<ObjectData>(1), {}, {}, std::vector<NullData_st>(1)};
    Sample(r, {std::string(100, 'c'), "A", "B"}, 1, 0, ZK_MOT_OBJECTS | ZK_MOT_NULLS);
    EXPECT_EQ(std::string(r.nulls[0].name), std::string(200, 'P') + "." + std::string(53, 'c'));
    EXPECT_STREQ(r.objects[0].name, "A");
}

// Heading, pitch and bank (about y, x and z) back from q = h * p * b, the
// quaternion's values read in storage order.
TEST(HeadingPitchBank, FromARotationQuaternion) {
    const double deg = 3.14159265358979323846 / 180.0;
    const struct {
        double h, p, b, tolerance;
    } cases[] = {{0, 0, 0, 0.0},      {30, 0, 0, 1e-4},  {0, 40, 0, 1e-4}, {0, 0, -20, 1e-4},
                 {50, -25, 10, 1e-3}, {30, 90, 0, 1e-3}, {0, -90, 0, 1e-4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.h << " " << c.p << " " << c.b);
        const double ch = std::cos(c.h * deg / 2), sh = std::sin(c.h * deg / 2);
        const double cp = std::cos(c.p * deg / 2), sp = std::sin(c.p * deg / 2);
        const double cb = std::cos(c.b * deg / 2), sb = std::sin(c.b * deg / 2);
        float out[3] = {9.0f, 9.0f, 9.0f};
        fromObjectToInertialQuaternion(
            XSI::MATH::CQuaternion(ch * cp * cb + sh * sp * sb, ch * sp * cb + sh * cp * sb,
                                   sh * cp * cb - ch * sp * sb, ch * cp * sb - sh * sp * cb),
            out);
        EXPECT_NEAR(out[0] / deg, c.h, c.tolerance);
        EXPECT_NEAR(out[1] / deg, c.p, c.tolerance);
        EXPECT_NEAR(out[2] / deg, c.b, c.tolerance);
        // Straight up or down takes the reduced formula: pitch exactly sp (1
        // in single precision) times pi/2, bank exactly 0.
        if (std::abs(c.p) == 90) {
            EXPECT_EQ(out[1], c.p > 0 ? 1.5707964f : -1.5707964f);
            EXPECT_EQ(out[2], 0.0f);
        }
    }
}

} // namespace

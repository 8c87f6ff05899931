// Resolution of the object list and sampling of the records, against scenes
// built in the stand-in host.
#include "capture/ZK_Capture.h"

#include "host/app/HostApp.h"
#include "host/scene/Scene.h"
#include "host/scene/SceneCommands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using host::HostApp;

// The scene commands ("SelectObj") are registered once per process.
void RegisterSceneCommandsOnce() {
    static const bool registered = [] {
        host::RegisterSceneCommands(HostApp::Get());
        return true;
    }();
    (void)registered;
}

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterSceneCommandsOnce();
        HostApp::Get().Reset();
        HostApp::Get().SetEchoLog(false);
        scene = new host::Scene();
        HostApp::Get().SetScene(std::unique_ptr<host::Scene>(scene));
    }
    void TearDown() override { HostApp::Get().Reset(); }

    // The object list as the driver hands it on: one 255-byte slot per name.
    void SetNames(const std::vector<std::string>& list) {
        names.assign(list.size(), Slot{});
        for (size_t i = 0; i < list.size(); ++i) {
            std::strncpy(names[i].text, list[i].c_str(), ZK_TEXT_SIZE - 1);
        }
    }
    char (*Names())[ZK_TEXT_SIZE] { return reinterpret_cast<char(*)[ZK_TEXT_SIZE]>(names.data()); }
    int NameCount() const { return static_cast<int>(names.size()); }

    struct Slot {
        char text[ZK_TEXT_SIZE] = {};
    };
    host::Scene* scene = nullptr;
    std::vector<Slot> names;
};

TEST_F(CaptureTest, NamesResolveToReferencesAndAreCountedByKind) {
    host::Item* box = scene->AddMesh(L"Box");
    host::Item* cam = scene->AddCamera(L"Cam");
    host::Item* lamp = scene->AddLight(L"Lamp");
    host::Item* rig = scene->AddNull(L"Rig");
    host::Item* cafe = scene->AddMesh(L"Caf\u00e9", rig);

    // The same name twice counts twice; a name that matches nothing and a
    // name with a leading blank select nothing and count as nulls; a Latin-1
    // name finds its item.
    SetNames({"Lamp", "Box", "Rig", "Cam", "Box", "missing", " Box", "Rig.Caf\xe9"});
    std::vector<XSI::CRef> refs(names.size());
    ScCtrl ctrl;
    ZKGetRefs(NameCount(), Names(), refs.data(), &ctrl);

    EXPECT_EQ(ctrl.objectCount, 3);
    EXPECT_EQ(ctrl.cameraCount, 1);
    EXPECT_EQ(ctrl.lightCount, 1);
    EXPECT_EQ(ctrl.nullCount, 3);
    EXPECT_EQ(refs[0], lamp->GetRef());
    EXPECT_EQ(refs[1], box->GetRef());
    EXPECT_EQ(refs[2], rig->GetRef());
    EXPECT_EQ(refs[3], cam->GetRef());
    EXPECT_EQ(refs[4], box->GetRef());
    EXPECT_FALSE(refs[5].IsValid());
    EXPECT_FALSE(refs[6].IsValid());
    EXPECT_EQ(refs[7], cafe->GetRef());
    // The selection keeps the last name resolved.
    ASSERT_EQ(HostApp::Get().GetSelection().size(), 1u);
    EXPECT_EQ(HostApp::Get().GetSelection()[0], cafe->GetRef());
}

TEST_F(CaptureTest, WithoutMotionEveryRecordGetsNameReferenceAndStaticFields) {
    host::Item* box = scene->AddMesh(L"Box");
    box->GetMesh()->SetPoints({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    host::Item* cam = scene->AddCamera(L"Cam");
    cam->SetParamValue(L"fovtype", 0);
    cam->SetParamValue(L"aspect", 1.5);
    cam->SetParamValue(L"pixelratio", 1.25);
    cam->GetParam(L"projplaneheight")->Value().SetKey(1, 1.0);
    cam->GetParam(L"projplaneheight")->Value().SetKey(11, 2.0);
    host::Item* infinite = scene->AddLight(L"Sun");
    infinite->SetParamValue(L"Type", 0);
    scene->AddLight(L"Bulb"); // "Type" 1 by default
    host::Item* spot = scene->AddLight(L"Spot");
    spot->SetParamValue(L"Type", 2);
    scene->AddNull(L"Rig");
    HostApp::Get().SetCurrentFrame(6);

    SetNames({"Spot", "Cam", "Rig", "Sun", "Box", "Bulb"});
    std::vector<ObjectData> objects(1);
    std::vector<CameraData_st> cameras(1);
    std::vector<LightData_st> lights(3);
    std::vector<NullData_st> nulls(1);
    ScCtrl ctrl;
    ctrl.objectCount = 1;
    ctrl.cameraCount = 1;
    ctrl.lightCount = 3;
    ctrl.nullCount = 1;
    ctrl.startFrame = 1;
    ZK_MOT_GetData(objects.data(), cameras.data(), lights.data(), nulls.data(), NameCount(),
                   Names(), 10, 30.0f, 0, &ctrl);

    EXPECT_STREQ(objects[0].name, "Box");
    EXPECT_EQ(objects[0].ref, box->GetRef());
    EXPECT_EQ(objects[0].pointCount, 3);
    EXPECT_STREQ(cameras[0].name, "Cam");
    EXPECT_EQ(cameras[0].fovType, 0);
    EXPECT_FLOAT_EQ(cameras[0].aspect, 1.5f);
    EXPECT_FLOAT_EQ(cameras[0].pixelRatio, 1.25f);
    EXPECT_FLOAT_EQ(cameras[0].projPlaneHeight, 1.5f); // at the current frame
    // Records of a kind follow the order of its names in the list; "Type" 0
    // and 1 are exchanged.
    EXPECT_STREQ(lights[0].name, "Spot");
    EXPECT_EQ(lights[0].lightType, 2);
    EXPECT_STREQ(lights[1].name, "Sun");
    EXPECT_EQ(lights[1].lightType, 1);
    EXPECT_STREQ(lights[2].name, "Bulb");
    EXPECT_EQ(lights[2].lightType, 0);
    EXPECT_STREQ(nulls[0].name, "Rig");
    // No per-frame arrays were asked for, none is touched.
    EXPECT_EQ(objects[0].motion, nullptr);
    EXPECT_EQ(cameras[0].motion, nullptr);
    EXPECT_EQ(lights[0].motion, nullptr);
    EXPECT_EQ(nulls[0].motion, nullptr);
    EXPECT_EQ(HostApp::Get().GetCurrentFrame(), 6.0);
}

TEST_F(CaptureTest, CameraFieldOfViewAndZoom) {
    host::Item* vertical = scene->AddCamera(L"Vertical");
    vertical->SetParamValue(L"fovtype", 0);
    vertical->SetParamValue(L"fov", 90.0);
    vertical->GetParam(L"projplanedist")->Value().SetKey(3, 1.0);
    vertical->GetParam(L"projplanedist")->Value().SetKey(4, 3.0);
    vertical->Translation().SetKey(3, {1, 2, 3});
    vertical->Translation().SetKey(4, {2, 4, 6});
    host::Item* horizontal = scene->AddCamera(L"Horizontal");
    horizontal->SetParamValue(L"fovtype", 1);
    horizontal->SetParamValue(L"aspect", 1.5);
    horizontal->SetParamValue(L"fov", 90.0);

    SetNames({"Vertical", "Horizontal"});
    std::vector<CameraData_st> cameras(2);
    std::vector<CameraFrame_st> frames(4);
    cameras[0].motion = &frames[0];
    cameras[1].motion = &frames[2];
    ScCtrl ctrl;
    ctrl.cameraCount = 2;
    ctrl.startFrame = 3;
    ZK_MOT_GetData(nullptr, cameras.data(), nullptr, nullptr, NameCount(), Names(), 2, 30.0f,
                   ZK_MOT_CAMERAS, &ctrl);

    // 90 degrees become 1.5705 by the factor 0.01745, not pi/2.
    EXPECT_EQ(frames[0].fov, 90.0f * 0.01745f);
    EXPECT_NEAR(frames[0].fov, 1.5705, 1e-6);
    EXPECT_NEAR(frames[0].zoom, 1.0003, 1e-4);
    EXPECT_NEAR(frames[2].zoom, 1.5004, 1e-4);
    EXPECT_FLOAT_EQ(frames[0].projPlaneDist, 1.0f);
    EXPECT_FLOAT_EQ(frames[1].projPlaneDist, 3.0f);
    EXPECT_FLOAT_EQ(frames[0].pos[0], 1.0f);
    EXPECT_FLOAT_EQ(frames[1].pos[2], 6.0f);
    // Image size is the ZSC writer's, not the sampler's.
    EXPECT_EQ(frames[0].imageHeight, 0);
    EXPECT_EQ(frames[0].imageWidth, 0);
}

TEST_F(CaptureTest, GlobalRotationAndScaleOfANull) {
    // Bank 20 degrees, then pitch up 90: looking straight up, the bank folds
    // into the heading and the bank is 0.
    host::Item* up = scene->AddNull(L"Up");
    up->Rotation().Set(host::Mul(host::QuatFromAxisAngle({1, 0, 0}, host::DegToRad(90)),
                                 host::QuatFromAxisAngle({0, 0, 1}, host::DegToRad(20))));
    // A parent's transform applies: heading 30 from the parent, scaled.
    host::Item* parent = scene->AddNull(L"Parent");
    parent->SetLocal({2, 2, 2}, {0, 30, 0}, {0, 0, 0});
    host::Item* child = scene->AddNull(L"Child", parent);
    child->SetLocal({1, 1.5, 1}, {0, 0, 0}, {1, 0, 0});

    SetNames({"Up", "Parent.Child"});
    std::vector<NullData_st> nulls(2);
    std::vector<MotionFrame_st> frames(2);
    frames[0].ppos[0] = 7.0f;
    nulls[0].motion = &frames[0];
    nulls[1].motion = &frames[1];
    ScCtrl ctrl;
    ctrl.nullCount = 2;
    ctrl.startFrame = 1;
    ZK_MOT_GetData(nullptr, nullptr, nullptr, nulls.data(), NameCount(), Names(), 1, 30.0f,
                   ZK_MOT_NULLS, &ctrl);

    EXPECT_NEAR(frames[0].hpb[1], 90.0f, 1e-4);
    EXPECT_EQ(frames[0].hpb[2], 0.0f);
    EXPECT_NEAR(frames[0].hpb[0], -20.0f, 1e-3);
    EXPECT_EQ(frames[0].ppos[0], 7.0f); // nulls get no pivot

    EXPECT_STREQ(nulls[1].name, "Parent.Child");
    EXPECT_NEAR(frames[1].hpb[0], 30.0f, 1e-3);
    EXPECT_NEAR(frames[1].hpb[1], 0.0f, 1e-4);
    EXPECT_NEAR(frames[1].rotXYZ[1], host::DegToRad(30), 1e-6); // the host's unit, radians
    EXPECT_NEAR(frames[1].scale[0], 2.0f, 1e-5);
    EXPECT_NEAR(frames[1].scale[1], 3.0f, 1e-5);
    EXPECT_NEAR(frames[1].pos[0], 2.0 * std::cos(host::DegToRad(30)), 1e-5);
    EXPECT_NEAR(frames[1].pos[2], -2.0 * std::sin(host::DegToRad(30)), 1e-5);
}

TEST_F(CaptureTest, LightColourAndIntensityPerFrame) {
    host::Item* lamp = scene->AddLight(L"Lamp");
    host::Param* color = lamp->GetShaders()[0]->GetParam(L"color");
    color->ColorValue().SetKey(1, {1, 0, 0, 1});
    color->ColorValue().SetKey(3, {0, 0, 1, 0.5});
    host::Param* intensity = lamp->GetShaders()[0]->GetParam(L"intensity");
    intensity->Value().SetKey(1, 2.0);
    intensity->Value().SetKey(3, 4.0);
    scene->AddLight(L"Bare", nullptr, false);

    SetNames({"Lamp", "Bare"});
    std::vector<LightData_st> lights(2);
    std::vector<LightFrame_st> frames(6);
    for (LightFrame_st& f : frames) {
        f.color[0] = f.color[1] = f.color[2] = f.color[3] = f.intensity = 9.0f;
    }
    lights[0].motion = &frames[0];
    lights[1].motion = &frames[3];
    ScCtrl ctrl;
    ctrl.lightCount = 2;
    ctrl.startFrame = 1;
    ZK_MOT_GetData(nullptr, nullptr, lights.data(), nullptr, NameCount(), Names(), 3, 30.0f,
                   ZK_MOT_LIGHTS, &ctrl);

    EXPECT_FLOAT_EQ(frames[0].color[0], 1.0f);
    EXPECT_FLOAT_EQ(frames[1].color[0], 0.5f);
    EXPECT_FLOAT_EQ(frames[1].color[2], 0.5f);
    EXPECT_FLOAT_EQ(frames[2].color[3], 0.5f);
    EXPECT_FLOAT_EQ(frames[0].intensity, 2.0f);
    EXPECT_FLOAT_EQ(frames[1].intensity, 3.0f);
    EXPECT_FLOAT_EQ(frames[1].scale[1], 1.0f);
    // A light without a shader has no colour and no intensity.
    for (int i = 3; i < 6; ++i) {
        for (float c : frames[i].color) {
            EXPECT_EQ(c, 0.0f);
        }
        EXPECT_EQ(frames[i].intensity, 0.0f);
    }
}

TEST_F(CaptureTest, ObjectPivotIsReadAtTheCurrentFrameAndTheFrameStays) {
    host::Item* box = scene->AddMesh(L"Box");
    box->GetParam(L"pposx")->Value().SetKey(1, 1.0);
    box->GetParam(L"pposx")->Value().SetKey(11, 11.0);
    box->SetParamValue(L"pposz", -2.0);
    box->Translation().SetKey(1, {0, 0, 0});
    box->Translation().SetKey(11, {10, 0, 0});
    HostApp::Get().SetCurrentFrame(5);

    SetNames({"Box"});
    std::vector<ObjectData> objects(1);
    std::vector<MotionFrame_st> frames(3);
    objects[0].motion = frames.data();
    ScCtrl ctrl;
    ctrl.objectCount = 1;
    ctrl.startFrame = 2;
    ZK_MOT_GetData(objects.data(), nullptr, nullptr, nullptr, 1, Names(), 3, 30.0f, ZK_MOT_OBJECTS,
                   &ctrl);

    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(frames[i].ppos[0], 5.0f) << i;
        EXPECT_FLOAT_EQ(frames[i].ppos[2], -2.0f) << i;
        EXPECT_FLOAT_EQ(frames[i].pos[0], static_cast<float>(1 + i)) << i;
    }
    EXPECT_EQ(HostApp::Get().GetCurrentFrame(), 5.0);
}

TEST_F(CaptureTest, LongFullNameIsCutAndNoFramesMeansNoSamples) {
    // A full name of 301 characters, reached through its unique short name.
    const std::wstring parentName(200, L'P');
    const std::wstring childName(100, L'c');
    host::Item* parent = scene->AddNull(parentName);
    scene->AddNull(childName, parent);

    SetNames({std::string(100, 'c')});
    std::vector<NullData_st> nulls(1);
    ScCtrl ctrl;
    ctrl.nullCount = 1;
    // A frame count of 0 with the bit set: nothing is sampled, so no buffer
    // is needed.
    ZK_MOT_GetData(nullptr, nullptr, nullptr, nulls.data(), 1, Names(), 0, 30.0f, ZK_MOT_NULLS,
                   &ctrl);
    const std::string expected = std::string(200, 'P') + "." + std::string(53, 'c');
    EXPECT_EQ(std::string(nulls[0].name), expected);
}

TEST_F(CaptureTest, AnItemBeyondTheCountedRecordsIsSkipped) {
    scene->AddMesh(L"A");
    scene->AddMesh(L"B");
    SetNames({"A", "B"});
    std::vector<ObjectData> objects(1);
    ScCtrl ctrl;
    ctrl.objectCount = 1; // fewer records than the list resolves to
    ZK_MOT_GetData(objects.data(), nullptr, nullptr, nullptr, NameCount(), Names(), 1, 30.0f, 0,
                   &ctrl);
    EXPECT_STREQ(objects[0].name, "A");
}

} // namespace

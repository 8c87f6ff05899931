// The host commands "SelectObj" and "ExportModel", and the demo scene.
#include "host/app/HostApp.h"
#include "host/app/ObjectRefs.h"
#include "host/import/DemoScene.h"
#include "host/app/SceneCommands.h"

#include <xsi_string.h>
#include <xsi_value.h>
#include <xsi_valuearray.h>
#include <xsi_x3dobject.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace XSI;
using host::HostApp;
using host::Item;

namespace {
CStatus RunCommand(const wchar_t* command, std::vector<CValue> values) {
    CValueArray args;
    for (const CValue& v : values)
        args.Add(v);
    CValue ret;
    return HostApp::Get().ExecuteCommand(command, args, ret);
}
CStatus Select(const wchar_t* name) {
    return RunCommand(L"SelectObj", {CValue(CString(name))});
}

class SceneCommandsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { host::RegisterSceneCommands(HostApp::Get()); }

    void SetUp() override {
        HostApp::Get().Reset();
        HostApp::Get().SetEchoLog(false);
        auto scene = std::make_unique<host::Scene>();
        // Rig.Arm.Hand, Other.Arm.Hand, Arm, Rig.Cube, Cam.
        rig = scene->AddNull(L"Rig");
        rigArm = scene->AddNull(L"Arm", rig);
        scene->AddNull(L"Hand", rigArm);
        scene->AddNull(L"Hand", scene->AddNull(L"Arm", scene->AddNull(L"Other")));
        topArm = scene->AddNull(L"Arm");
        cube = scene->AddMesh(L"Cube", rig);
        cam = scene->AddCamera(L"Cam");
        HostApp::Get().SetScene(std::move(scene));
    }
    void TearDown() override { HostApp::Get().Reset(); }

    const std::vector<CRef>& Selection() const { return HostApp::Get().GetSelection(); }
    const host::LogEntry& LastLog() const { return HostApp::Get().GetLog().back(); }

    Item *rig = nullptr, *rigArm = nullptr, *topArm = nullptr, *cube = nullptr, *cam = nullptr;
};
} // namespace

TEST_F(SceneCommandsTest, SelectObjByFullNameThenByUniqueShortName) {
    // "Arm" is a full name (the top-level Arm) before it is a short name.
    const std::pair<const wchar_t*, Item*> table[] = {
        {L"Rig.Cube", cube}, {L"Cube", cube}, {L"Arm", topArm}, {L"Rig.Arm", rigArm}};
    for (const auto& [name, item] : table) {
        EXPECT_EQ(Select(name), CStatus::OK);
        ASSERT_EQ(Selection().size(), 1u);
        EXPECT_EQ(Selection()[0], host::RefOf(item)) << CString(name).GetAsciiString();
    }
    EXPECT_EQ(RunCommand(L"SelectObj", {CValue(host::RefOf(cam))}), CStatus::OK); // a reference
    EXPECT_EQ(Selection()[0], host::RefOf(cam));
    EXPECT_TRUE(HostApp::Get().GetLog().empty());
}

TEST_F(SceneCommandsTest, SelectObjWithoutAMatchEmptiesTheSelectionAndWarns) {
    for (const wchar_t* name : {L"Nothing", L"Hand", L" Cube", L"rig.cube", L""}) {
        ASSERT_EQ(Select(L"Cube"), CStatus::OK);
        HostApp::Get().ClearLog();
        EXPECT_NE(Select(name), CStatus::OK);
        EXPECT_TRUE(Selection().empty()) << CString(name).GetAsciiString();
        ASSERT_EQ(HostApp::Get().GetLog().size(), 1u);
        EXPECT_EQ(LastLog().severity, siWarningMsg);
        EXPECT_NE(LastLog().text.find("\"" + std::string(CString(name).GetAsciiString()) + "\""),
                  std::string::npos)
            << LastLog().text;
    }
}

TEST_F(SceneCommandsTest, ExportModelWritesTheDocumentedBytes) {
    host::Mesh* mesh = cube->GetMesh();
    mesh->SetPoints({{0, 0, 0}, {1, 0, 0}, {0, 2, 0}, {1, 2, 0}});
    mesh->AddPolygon({0, 1, 2});
    mesh->AddPolygon({1, 3, 2});
    mesh->AddDeformer([](double f, const host::Vec3& p, int i) {
        return i == 3 ? host::Vec3{p.x, p.y, f * 0.25} : p;
    });
    cube->Translation().Set({5, 5, 5}); // local space: not applied
    HostApp::Get().SetCurrentFrame(4.0);

    const std::string path = ::testing::TempDir() + "zk_export_model.emdl";
    std::remove(path.c_str());
    std::wstring wpath(path.begin(), path.end());
    ASSERT_EQ(
        RunCommand(L"ExportModel", {CValue(CString(L"Rig.Cube")), CValue(CString(wpath.c_str()))}),
        CStatus::OK);
    // The bytes are written out by hand in golden/README.md.
    auto read = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    };
    const std::vector<char> golden = read(ZK_HOST_SCENE_GOLDEN_DIR "/export_model.emdl");
    ASSERT_EQ(golden.size(), 96u);
    EXPECT_EQ(read(path), golden);
    EXPECT_EQ(HostApp::Get().GetCurrentFrame(), 4.0);

    // A host that hides points writes the mesh as the SDK then shows it:
    // the header alone, "EMDL", version 1, no point, no polygon.
    HostApp::Get().Scenes().HidePoints(true);
    ASSERT_EQ(
        RunCommand(L"ExportModel", {CValue(CString(L"Rig.Cube")), CValue(CString(wpath.c_str()))}),
        CStatus::OK);
    HostApp::Get().Scenes().HidePoints(false);
    EXPECT_EQ(read(path),
              std::vector<char>({'E', 'M', 'D', 'L', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    std::remove(path.c_str());
}

TEST_F(SceneCommandsTest, ExportModelRefusesWhatItCannotWrite) {
    cube->GetMesh()->SetPoints({{0, 0, 0}});
    const std::string path = ::testing::TempDir() + "zk_export_refused.emdl";
    const CValue file(CString(std::wstring(path.begin(), path.end()).c_str()));
    EXPECT_EQ(RunCommand(L"ExportModel", {CValue(CString(L"Cam")), file}),
              CStatus::InvalidArgument);
    EXPECT_EQ(LastLog().severity, siErrorMsg);
    EXPECT_NE(LastLog().text.find("Cam"), std::string::npos);
    EXPECT_EQ(RunCommand(L"ExportModel", {CValue(CString(L"Nope")), file}),
              CStatus::InvalidArgument);
    EXPECT_EQ(RunCommand(L"ExportModel", {CValue(CString(L"Cube"))}), CStatus::InvalidArgument);
    EXPECT_FALSE(std::ifstream(path).good());

    EXPECT_EQ(RunCommand(L"ExportModel", {CValue(CString(L"Cube")),
                                          CValue(CString(L"/nonexistent_zk_dir/cube.emdl"))}),
              CStatus::Fail);
    EXPECT_EQ(LastLog().severity, siErrorMsg);
    EXPECT_NE(LastLog().text.find("/nonexistent_zk_dir/cube.emdl"), std::string::npos);
}

// Names and kinds of the demo items are checked end to end by the bake tests;
// here: the range and the animation, by hand.
TEST(DemoScene, RangeAndAnimation) {
    auto scene = host::MakeDemoScene();
    EXPECT_EQ(scene->GetStartFrame(), 1.0);
    EXPECT_EQ(scene->GetEndFrame(), 48.0);
    EXPECT_EQ(scene->ItemCount(), 5);
    Item* grid = scene->FindItem(L"Grid");
    EXPECT_EQ(grid->GetPointCount(), 1024);
    EXPECT_EQ(grid->GetMesh()->GetPolygonCount(), 961);
    // Point 0 sits at x = -5: a quarter period into the wave at frame 7 it is at the trough.
    std::vector<host::Vec3> pts(1024);
    grid->EvalPoints(7, pts.data());
    EXPECT_NEAR(pts[0].y, -0.5, 1e-12);
    grid->EvalPoints(1, pts.data());
    EXPECT_NEAR(pts[0].y, 0.0, 1e-12);
    // Frame 24: cube at (3,2,0) under Rig turned 90 degrees about Y and lifted 1: (0,3,-3).
    const host::Mat34 g = scene->FindItem(L"Cube")->EvalGlobalMatrix(24);
    EXPECT_NEAR(g.m[0][3], 0, 1e-12);
    EXPECT_NEAR(g.m[1][3], 3, 1e-12);
    EXPECT_NEAR(g.m[2][3], -3, 1e-12);
    Item* camera = scene->FindItem(L"Camera");
    EXPECT_EQ(camera->GetParam(L"fov")->EvalNumber(1), 60.0);
    EXPECT_EQ(camera->GetParam(L"fov")->EvalNumber(48), 30.0);
    const auto& shader = scene->FindItem(L"Spot")->GetShaders()[0];
    EXPECT_EQ(shader->GetParam(L"color")->EvalColor(24).g, 0.3);
    EXPECT_EQ(shader->GetParam(L"intensity")->EvalNumber(24), 1.5);
}

// Files other than the examples: other formats Assimp reads, binary glTF,
// and files that cannot be read.
#include "ImporterTestUtil.h"

#include "host/import/GltfSteps.h"

#include <fstream>
#include <iterator>
#include <sstream>

using namespace importer_test;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string LoadError(const std::string& path) {
    try {
        LoadIntoHost(path);
    } catch (const host::SceneLoadError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(Formats, BinaryGltfKeepsStepKeys) {
    // The sampler interpolation comes from the JSON chunk of the binary file.
    LoadIntoHost(ScenePath("hierarchy.glb"));
    EXPECT_EQ(LocalPoints(L"Box1", 0).size(), 9u);
    for (double f : {0.0, 14.0, 14.9, 15.0, 29.5, 30.0, 40.0}) {
        const double x = Stepped({0.0, 0.5, 1.0}, {0, 1, 3}, f / 30.0);
        EXPECT_P3_NEAR(Translation(L"my_node", f), (P3{x, 0, -2}), "frame " << f);
    }
}

TEST(Formats, ObjPointsInFileOrder) {
    // Assimp's OBJ reader gives one vertex per face corner, in face order; two
    // corners at one position stay two points.
    const std::string path = OutPath("quad.obj");
    WriteFile(path, "o Quad\n"
                    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                    "f 1 2 3\nf 1 3 4\n");
    LoadIntoHost(path);
    const host::Scene* scene = host::HostApp::Get().GetScene();
    ASSERT_EQ(scene->ItemCount(), 1);
    EXPECT_EQ(scene->GetItem(0)->GetFullName(), L"Quad");
    const std::vector<P3> pts = LocalPoints(L"Quad", 0);
    const std::vector<P3> expected = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0},
                                      {0, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    ASSERT_EQ(pts.size(), expected.size());
    for (size_t i = 0; i < pts.size(); ++i) {
        EXPECT_P3_NEAR(pts[i], expected[i], "point " << i);
    }
    EXPECT_EQ(scene->GetEndFrame(), 0.0); // no animation: one frame
}

TEST(Formats, ColladaCameraAndLight) {
    // Collada's angle is horizontal; the file has no geometry, and the
    // skeleton mesh Assimp makes up for it is left out.
    const std::string path = OutPath("camera.dae");
    WriteFile(path, R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="meter" meter="1"/><up_axis>Y_UP</up_axis></asset>
  <library_cameras>
    <camera id="cam-c" name="cam"><optics><technique_common><perspective>
      <xfov>60</xfov><aspect_ratio>1.5</aspect_ratio><znear>0.1</znear><zfar>100</zfar>
    </perspective></technique_common></optics></camera>
  </library_cameras>
  <library_lights>
    <light id="l1" name="l1"><technique_common><spot><color>2 1 0.5</color>
      <constant_attenuation>1</constant_attenuation><falloff_angle>45</falloff_angle>
    </spot></technique_common></light>
  </library_lights>
  <library_visual_scenes>
    <visual_scene id="Scene" name="Scene">
      <node id="Camera" name="Camera" type="NODE"><translate>0 0 10</translate>
        <instance_camera url="#cam-c"/></node>
      <node id="Lamp" name="Lamp" type="NODE"><instance_light url="#l1"/></node>
    </visual_scene>
  </library_visual_scenes>
  <scene><instance_visual_scene url="#Scene"/></scene>
</COLLADA>
)");
    LoadIntoHost(path);
    const host::Scene* scene = host::HostApp::Get().GetScene();
    ASSERT_EQ(scene->ItemCount(), 2);
    EXPECT_STREQ(scene->GetItem(0)->GetKindName(), "camera");
    EXPECT_STREQ(scene->GetItem(1)->GetKindName(), "light");
    EXPECT_NEAR(Param(L"Camera", L"fov"), 60.0, 1e-4);
    EXPECT_EQ(Param(L"Camera", L"fovtype"), 1.0);
    EXPECT_NEAR(Param(L"Camera", L"aspect"), 1.5, 1e-6);
    EXPECT_P3_NEAR(Translation(L"Camera", 0), (P3{0, 0, 10}), "camera position");
    EXPECT_EQ(Param(L"Lamp", L"Type"), 2.0);
}

TEST(Formats, UnreadableFilesGiveOneClearLine) {
    const std::string corrupt = OutPath("corrupt.gltf");
    std::string text = ReadText(ScenePath("skinned.gltf"));
    WriteFile(corrupt, text.substr(0, text.size() / 2)); // cut in the middle
    const std::string garbage = OutPath("garbage.glb");
    static const char kGarbage[] = "glTF\x02\0\0\0\xff\xff\xff\x7f JSON{";
    WriteFile(garbage, std::string(kGarbage, sizeof(kGarbage) - 1));
    const std::string empty = OutPath("empty.gltf");
    WriteFile(empty, R"({"asset": {"version": "2.0"}, "scenes": [{"nodes": []}], "scene": 0})");

    for (const std::string& path :
         {corrupt, garbage, empty, OutPath("no-such-file.gltf"), std::string(ZK_TEST_OUT_DIR)}) {
        host::HostApp::Get().Reset();
        const std::string what = LoadError(path);
        EXPECT_FALSE(what.empty()) << path;
        EXPECT_EQ(what.find('\n'), std::string::npos) << what;
        EXPECT_EQ(what.compare(0, path.size(), path), 0) << what; // names the file
        EXPECT_EQ(host::HostApp::Get().GetScene(), nullptr) << path;
    }
}

TEST(Formats, GltfInterpolationReader) {
    host::GltfInterpolation interp;
    ASSERT_TRUE(host::ParseGltfInterpolation(R"({
        "nodes": [{"name": "A\u00e9"}, {}],
        "animations": [
          {"samplers": [{"input": 0, "output": 1, "interpolation": "STEP"},
                        {"input": 0, "output": 2},
                        {"input": 0, "output": 3, "interpolation": "CUBICSPLINE"}],
           "channels": [{"sampler": 0, "target": {"node": 1, "path": "rotation"}},
                        {"sampler": 1, "target": {"node": 0, "path": "translation"}},
                        {"sampler": 0, "target": {"node": 0, "path": "weights"}},
                        {"sampler": 7, "target": {"node": 0, "path": "scale"}},
                        {"sampler": 0, "target": {"node": 9, "path": "scale"}}]},
          {"samplers": [], "channels": []}]})",
                                             &interp));
    ASSERT_EQ(interp.stepTargets.size(), 2u);
    ASSERT_EQ(interp.stepTargets[0].size(), 2u);
    EXPECT_EQ(interp.stepTargets[0][0].node, "nodes[1]");
    EXPECT_EQ(interp.stepTargets[0][0].path, host::GltfPath::Rotation);
    EXPECT_EQ(interp.stepTargets[0][1].node, "A\xc3\xa9");
    EXPECT_EQ(interp.stepTargets[0][1].path, host::GltfPath::Weights);
    EXPECT_TRUE(interp.stepTargets[1].empty());
    EXPECT_EQ(interp.cubicSpline, (std::vector<bool>{true, false}));

    for (const char* bad : {"", "{", "[1, 2", "{\"a\": tru}", "{\"a\": \"\\q\"}", "{} x"}) {
        EXPECT_FALSE(host::ParseGltfInterpolation(bad, &interp)) << bad;
    }
    // Deep nesting is refused, not followed down the stack.
    EXPECT_FALSE(host::ParseGltfInterpolation(std::string(100000, '['), &interp));
}

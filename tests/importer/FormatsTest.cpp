// Files other than the example glTF scenes: other formats Assimp reads, files
// that cannot be read (in the host and through xsihost), and what
// `xsihost list --scene` shows.
#include "ImporterSupport.h"
#include "host/import/ImportNames.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace importer_test;
using namespace std::string_literals;

TEST(Formats, ObjAndCollada) {
    // The file's own vertices, though Assimp gives one per face corner. No
    // animation: one frame.
    LoadIntoHost(ZK_DATA_DIR "/quad.obj");
    ExpectPoints(Points(L"Quad", 0), {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 0);
    EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), 0.0);

    // Collada's angle is horizontal.
    LoadIntoHost(ZK_DATA_DIR "/camera_light.dae");
    EXPECT_NEAR(Param(L"Camera", L"fov"), 60.0, 1e-4);
    EXPECT_EQ(Param(L"Camera", L"fovtype"), 1.0);
    EXPECT_NEAR(Param(L"Camera", L"aspect"), 1.5, 1e-6);
    EXPECT_P3_NEAR(Translation(L"Camera", 0), (P3{0, 0, 10}), "camera position");
    EXPECT_EQ(Param(L"Lamp", L"Type"), 2.0);
}

TEST(Formats, UnreadableFilesGiveOneClearLine) {
    const std::string dir = ZK_TEST_OUT_DIR "/", corrupt = dir + "corrupt.gltf";
    const std::string garbage = dir + "garbage.glb", empty = dir + "empty.gltf";
    const std::string text = ReadText(ZK_SCENE_DIR "/skinned.gltf");
    std::ofstream(corrupt) << text.substr(0, text.size() / 2); // cut in the middle
    std::ofstream(garbage, std::ios::binary) << "glTF\x02\0\0\0\xff\xff\xff\x7f JSON{"s;
    std::ofstream(empty)
        << R"({"asset": {"version": "2.0"}, "scenes": [{"nodes": []}], "scene": 0})";

    for (const std::string& path :
         {corrupt, garbage, empty, ZK_TEST_OUT_DIR "/no-such-file.gltf"s, ZK_TEST_OUT_DIR ""s}) {
        std::string what;
        try {
            LoadIntoHost(path);
        } catch (const host::SceneLoadError& e) {
            what = e.what();
        }
        EXPECT_FALSE(what.empty()) << path;
        EXPECT_EQ(what.find('\n'), std::string::npos) << what;
        EXPECT_EQ(what.compare(0, path.size(), path), 0) << what; // names the file
        EXPECT_EQ(host::HostApp::Get().GetScene(), nullptr) << path;
    }

    // xsihost: status 2, nothing on stdout and one line on stderr.
    for (const std::string& args :
         {"list --scene " + corrupt, "run --scene " + corrupt + " SelectObj x",
          "list --scene " + empty, "list --scene " ZK_SCENE_DIR "/morph.gltf --anim Nope"s,
          "list --demo --anim 1"s}) {
        const Outcome r = Xsihost(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_TRUE(r.out.empty()) << args;
        ASSERT_FALSE(r.err.empty()) << args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

TEST(Formats, XsihostListShowsWhatEachNodeBecame) {
    const std::pair<std::string, std::string> cases[] = {
        {ZK_SCENE_DIR "/camera_light.gltf", "Cam camera 80 0\nSpot light 81 0\nSun light 81 0\n"
                                            "Bulb light 81 0\nLocator null 73 0\n"},
        // "Rig", the single top node, holds nothing: no item. Names lose their
        // '.' and ' '; the second "Box" gets a number.
        {ZK_SCENE_DIR "/hierarchy.gltf --anim 0",
         "Arm_L null 73 0\nArm_L.Box mesh 72 9\nBox1 mesh 72 9\nmy_node null 73 0\n"},
        {ZK_SCENE_DIR "/hierarchy.glb",
         "Arm_L null 73 0\nArm_L.Box mesh 72 9\nBox1 mesh 72 9\nmy_node null 73 0\n"},
        {ZK_SCENE_DIR "/skinned.gltf", "Armature null 73 0\nArmature.Bone0 null 73 0\n"
                                       "Armature.Bone0.Bone1 null 73 0\nSkinMesh mesh 72 10\n"},
        {ZK_SCENE_DIR "/morph.gltf --anim Drift", "Blob mesh 72 3\n"}, // the root holds the mesh
        {ZK_DATA_DIR "/quad.obj", "Quad mesh 72 4\n"},
        // No geometry: the skeleton mesh Assimp makes up for it is left out.
        {ZK_DATA_DIR "/camera_light.dae", "Camera camera 80 0\nLamp light 81 0\n"},
    };
    // Files that declare neither unit nor frame rate.
    const std::string header = "# unit not declared, frame rate 30 fps (not declared)\n";
    for (const auto& c : cases) {
        const Outcome r = Xsihost("list --scene " + c.first);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, (c.first.find(".dae") != std::string::npos
                              ? "# unit 1 m (baked in metres), frame rate 30 fps (not declared)\n"
                              : header) +
                             c.second);
    }
}

namespace {

// The items of the host's scene: full name and the x of each point (0 for
// items without points, so that a null and an empty mesh differ).
std::map<std::string, std::vector<double>> PointsByItem() {
    std::map<std::string, std::vector<double>> out;
    const host::Scene* scene = host::HostApp::Get().GetScene();
    for (int i = 0; i < scene->ItemCount(); ++i) {
        const host::Item* item = scene->GetItem(i);
        std::vector<double>& xs = out[std::string(item->GetName().begin(), item->GetName().end())];
        if (!item->GetMesh()) {
            continue;
        }
        for (const P3& p : Points(item->GetName(), 0)) {
            xs.push_back(p.x);
        }
    }
    return out;
}

} // namespace

TEST(Formats, ObjObjectsKeepEveryVertexTheyOwn) {
    // Each vertex of these files has its number as x. An object's points are
    // the vertices of the "v" runs it owns and those its elements use, in
    // file order; "null" items have no mesh.
    using Items = std::map<std::string, std::vector<double>>;
    const struct {
        const char* name;
        const char* text;
        Items items;
    } cases[] = {
        {"Blender's layout: loose and line-only vertices stay",
         "o A\nv 0 0 0\nv 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\nf 1 2 3\nl 3 4\no B\nv 5 0 0\n",
         {{"A", {0, 1, 2, 3, 4}}, {"B", {5}}}},
        {"vertices before their group line (3ds Max) go with the group using them",
         "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 3 0 0\ng A\nf 1 2 3\n"
         "v 4 0 0\nv 5 0 0\nv 6 0 0\ng B\nf 5 6 7\n",
         {{"A", {0, 1, 2, 3}}, {"B", {4, 5, 6}}}},
        {"a shared pool: its loose vertex goes with the first group using it",
         "o M\nv 0 0 0\nv 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\n"
         "g A\nf 1 2 3\ng B\nf 2 5 3\n",
         {{"M", {}}, {"A", {0, 1, 2, 3, 4}}, {"B", {1, 2, 4}}}},
        {"\"o\" naming an earlier object keeps filling the current mesh",
         "o A\nv 0 0 0\nv 1 0 0\nv 2 0 0\nf 1 2 3\no B\nv 3 0 0\nv 4 0 0\nv 5 0 0\nf 4 5 6\n"
         "o A\nv 6 0 0\nv 7 0 0\nv 8 0 0\nf 7 8 9\n",
         {{"A", {0, 1, 2}}, {"B", {3, 4, 5, 6, 7, 8}}}},
        {"... until another material starts a mesh of that object",
         "o A\nv 0 0 0\nv 1 0 0\nv 2 0 0\nf 1 2 3\no B\nusemtl red\nv 3 0 0\nv 4 0 0\n"
         "v 5 0 0\nf 4 5 6\no A\nusemtl blue\nv 6 0 0\nv 7 0 0\nv 8 0 0\nf 7 8 9\n",
         {{"A", {0, 1, 2, 6, 7, 8}}, {"B", {3, 4, 5}}}},
        {"vertices alone, an empty object, point elements",
         "o Dots\nv 0 0 0\nv 1 0 0\no Empty\no C\nv 2 0 0\nv 3 0 0\nv 4 0 0\np 3\np 5\n",
         {{"Dots", {0, 1}}, {"Empty", {}}, {"C", {2, 3, 4}}}},
        {"a point element takes the run it uses from the object it was written in",
         "o Dots\nv 0 0 0\nv 1 0 0\no C\nv 2 0 0\np 1\np 3\n",
         {{"Dots", {}}, {"C", {0, 1, 2}}}},
        {"elements before any object",
         "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 3 0 0\nf 1 2 3\n",
         {{"defaultobject", {0, 1, 2, 3}}}},
    };
    const zkt::ScratchDir scratch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = scratch / "objects.obj";
        std::ofstream(path, std::ios::binary) << c.text;
        LoadIntoHost(path);
        EXPECT_EQ(PointsByItem(), c.items);
        for (const host::LogEntry& e : host::HostApp::Get().GetLog()) {
            EXPECT_NE(e.severity, XSI::siWarningMsg) << e.text;
        }
    }
}

TEST(Formats, ColladaNodeShownTwiceMovesInBothPlaces) {
    // Spin, under Left, slides 3 m along X in 1 s; Right shows it again
    // (<instance_node>): both copies slide.
    const std::string dae = R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<asset><unit meter="1"/><up_axis>Y_UP</up_axis></asset>
<library_animations><animation id="a">
 <source id="t"><float_array id="ta" count="2">0 1</float_array><technique_common>
  <accessor source="#ta" count="2" stride="1"><param name="TIME" type="float"/></accessor>
 </technique_common></source>
 <source id="v"><float_array id="va" count="2">0 3</float_array><technique_common>
  <accessor source="#va" count="2" stride="1"><param name="X" type="float"/></accessor>
 </technique_common></source>
 <sampler id="s"><input semantic="INPUT" source="#t"/><input semantic="OUTPUT" source="#v"/></sampler>
 <channel source="#s" target="Spin/location.X"/>
</animation></library_animations>
<library_visual_scenes><visual_scene id="Scene">
 <node id="Left"><translate>-5 0 0</translate>
  <node id="Spin" name="Spin"><translate sid="location">0 0 0</translate></node></node>
 <node id="Right"><translate>5 0 0</translate><instance_node url="#Spin"/></node>
</visual_scene></library_visual_scenes>
<scene><instance_visual_scene url="#Scene"/></scene>
</COLLADA>)";
    const zkt::ScratchDir scratch;
    std::ofstream(scratch / "twice.dae") << dae;
    LoadIntoHost(scratch / "twice.dae"); // 30 frames per second
    for (const double frame : {0.0, 15.0, 30.0}) {
        EXPECT_P3_NEAR(Translation(L"Spin", frame), (P3{-5 + frame / 10, 0, 0}), frame);
        EXPECT_P3_NEAR(Translation(L"Spin1", frame), (P3{5 + frame / 10, 0, 0}), frame);
    }
}

TEST(Formats, ColladaMatrixThatShearsIsKept) {
    // Shear's matrix slides y by half of x: its children at x = 1 and y = 1
    // land at (1, 0.5, 0) and (0, 1, 0), which no scaling and rotation make.
    const std::string dae = R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<asset><unit meter="1"/><up_axis>Y_UP</up_axis></asset>
<library_visual_scenes><visual_scene id="Scene">
 <node id="Top"><node id="Shear"><matrix>1 0 0 0 0.5 1 0 0 0 0 1 0 0 0 0 1</matrix>
  <node id="AlongX"><translate>1 0 0</translate></node>
  <node id="AlongY"><translate>0 1 0</translate></node></node></node>
</visual_scene></library_visual_scenes>
<scene><instance_visual_scene url="#Scene"/></scene>
</COLLADA>)";
    const zkt::ScratchDir scratch;
    std::ofstream(scratch / "shear.dae") << dae;
    LoadIntoHost(scratch / "shear.dae");
    EXPECT_TRUE(Find(L"Shear")->HasMatrixFunction());
    EXPECT_P3_NEAR(Translation(L"AlongX", 0), (P3{1, 0.5, 0}), "x");
    EXPECT_P3_NEAR(Translation(L"AlongY", 0), (P3{0, 1, 0}), "y");
}

TEST(Names, TakenNamesGetTheSmallestFreeNumberThatNoItemAsksFor) {
    // "A1" and "A3" are asked for by items of their own, so the copies of "A"
    // skip them; a number taken once stays taken.
    host::UniqueNames names({"A", "A1", "A3", "B"});
    const char* asked[] = {"A", "A", "A1", "A", "A3", "A", "B", "A1", "A"};
    const char* given[] = {"A", "A2", "A1", "A4", "A3", "A5", "B", "A11", "A6"};
    for (size_t i = 0; i < sizeof asked / sizeof *asked; ++i)
        EXPECT_EQ(names.Take(asked[i]), given[i]) << "item " << i;

    // Many items of one name are numbered in order (and each costs about the
    // same: a scene of 200,000 bones named alike names in well under a second).
    host::UniqueNames many({"n"});
    ASSERT_EQ(many.Take("n"), "n");
    for (int i = 1; i < 200000; ++i)
        ASSERT_EQ(many.Take("n"), "n" + std::to_string(i));
}

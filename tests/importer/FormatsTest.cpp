// Files other than the example glTF scenes: other formats Assimp reads, files
// that cannot be read (in the host and through xsihost), and what
// `xsihost list --scene` shows.
#include "ImporterTestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

using namespace importer_test;
using namespace std::string_literals;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

Outcome Xsihost(const std::string& args) {
    // Files of this process: ctest may run the tests side by side.
    const std::string out = ZK_TEST_OUT_DIR "/xsihost_out" + std::to_string(getpid());
    const std::string err = ZK_TEST_OUT_DIR "/xsihost_err" + std::to_string(getpid());
    const int status = std::system((XSIHOST_PATH " " + args + " >" + out + " 2>" + err).c_str());
    const Outcome r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    std::remove(out.c_str());
    std::remove(err.c_str());
    return r;
}

} // namespace

TEST(Formats, ObjAndCollada) {
    // Assimp's OBJ reader gives one vertex per face corner, in face order; two
    // corners at one position stay two points. No animation: one frame.
    LoadIntoHost(ZK_DATA_DIR "/quad.obj");
    ExpectPoints(Points(L"Quad", 0),
                 {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 0);
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
        {ZK_DATA_DIR "/quad.obj", "Quad mesh 72 6\n"},
        // No geometry: the skeleton mesh Assimp makes up for it is left out.
        {ZK_DATA_DIR "/camera_light.dae", "Camera camera 80 0\nLamp light 81 0\n"},
    };
    for (const auto& c : cases) {
        const Outcome r = Xsihost("list --scene " + c.first);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.second);
    }
}

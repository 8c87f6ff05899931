// The scene and motion files read back by a real LightWave reader (Assimp's
// LWS importer): item names, and the motion keys after the reader's own axis
// and unit conversions give back the sampled values at the sampled frames.
// The reader cannot take the colour envelope of a sampled light and mixes the
// zoom envelope into a camera's bank channel, so those are left to the
// byte-for-byte tests.
#include "WritersLwTestSupport.h"

#include "writers/LWSFile.h"
#include "writers/MOTfile.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/scene.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

using namespace zktest;

// Assimp 5.2 leaks the scene parts it builds for a LightWave motion file; the
// leak checker of the sanitizer build is told to leave the library's own
// allocations alone.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libassimp.so\n";
}

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

// A one-triangle LWO2 mesh file: the chunks a reader needs (TAGS, LAYR,
// PNTS, POLS, PTAG), big-endian.
void WriteTriangleLwo(const std::string& path) {
    auto u16 = [](std::string& s, unsigned v) {
        s += static_cast<char>((v >> 8) & 0xff);
        s += static_cast<char>(v & 0xff);
    };
    auto u32 = [&](std::string& s, uint32_t v) {
        u16(s, v >> 16);
        u16(s, v & 0xffff);
    };
    auto f32 = [&](std::string& s, float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        u32(s, bits);
    };
    auto chunk = [&](std::string& s, const char* tag, const std::string& data) {
        s += tag;
        u32(s, static_cast<uint32_t>(data.size()));
        s += data;
    };
    std::string layr, pnts, pols = "FACE", ptag = "SURF";
    u16(layr, 0);
    u16(layr, 0);
    for (int i = 0; i < 3; ++i)
        f32(layr, 0.0f);
    layr += std::string(2, '\0');
    const float points[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    for (float p : points)
        f32(pnts, p);
    for (unsigned v : {3u, 0u, 1u, 2u})
        u16(pols, v);
    u16(ptag, 0);
    u16(ptag, 0);
    std::string body = "LWO2";
    chunk(body, "TAGS", std::string("Default\0", 8));
    chunk(body, "LAYR", layr);
    chunk(body, "PNTS", pnts);
    chunk(body, "POLS", pols);
    chunk(body, "PTAG", ptag);
    std::string file = "FORM";
    u32(file, static_cast<uint32_t>(body.size()));
    std::ofstream(path, std::ios::binary) << file << body;
}

// Names of every node below (and including) node, and how many of them hold
// a mesh.
void NodeNames(const aiNode* node, std::vector<std::string>& names, int& meshNodes) {
    names.push_back(node->mName.C_Str());
    meshNodes += node->mNumMeshes > 0 ? 1 : 0;
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        NodeNames(node->mChildren[i], names, meshNodes);
}

// How many names the reader made for the item called name ("name_(id)").
int CountItems(const std::vector<std::string>& names, const std::string& name) {
    int count = 0;
    for (const std::string& n : names)
        if (n.rfind(name + "_(", 0) == 0)
            ++count;
    return count;
}

const aiNodeAnim* ChannelOf(const aiScene* scene, const std::string& name) {
    if (!scene || scene->mNumAnimations == 0)
        return nullptr;
    const aiAnimation* anim = scene->mAnimations[0];
    for (unsigned i = 0; i < anim->mNumChannels; ++i) {
        const std::string node = anim->mChannels[i]->mNodeName.C_Str();
        if (node.find(name + "_(") != std::string::npos)
            return anim->mChannels[i];
    }
    return nullptr;
}

// The rotation of heading h, pitch p and bank b (degrees) in a right-handed
// frame: about Y, then X, then Z.
aiQuaternion HeadingPitchBank(float h, float p, float b) {
    return aiQuaternion(aiVector3D(0, 1, 0), static_cast<float>(h * kDegree)) *
           aiQuaternion(aiVector3D(1, 0, 0), static_cast<float>(p * kDegree)) *
           aiQuaternion(aiVector3D(0, 0, 1), static_cast<float>(b * kDegree));
}

// Checks that channel holds one key per sample at frame firstFrame + i, with
// the sample's position, when rotations is set its heading, pitch and bank,
// and for objects and nulls its scale.
template <class Frame>
void ExpectKeys(const aiNodeAnim* channel, const std::vector<Frame>& samples, int firstFrame,
                bool rotations) {
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(channel->mNumPositionKeys, samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const Frame& f = samples[i];
        const aiVectorKey& key = channel->mPositionKeys[i];
        EXPECT_NEAR(key.mTime, firstFrame + static_cast<double>(i), 1e-3);
        EXPECT_NEAR(key.mValue.x, f.pos[0], 1e-5);
        EXPECT_NEAR(key.mValue.y, f.pos[1], 1e-5);
        EXPECT_NEAR(key.mValue.z, f.pos[2], 1e-5);
        if (rotations) {
            ASSERT_EQ(channel->mNumRotationKeys, samples.size());
            const aiQuaternion q = channel->mRotationKeys[i].mValue;
            const aiQuaternion e = HeadingPitchBank(f.hpb[0], f.hpb[1], f.hpb[2]);
            const double dot = q.w * e.w + q.x * e.x + q.y * e.y + q.z * e.z;
            EXPECT_NEAR(std::fabs(dot), 1.0, 1e-5) << "frame " << firstFrame + i;
            EXPECT_NEAR(channel->mRotationKeys[i].mTime, firstFrame + static_cast<double>(i), 1e-3);
        }
        if constexpr (std::is_same_v<Frame, MotionFrame_st>) {
            ASSERT_EQ(channel->mNumScalingKeys, samples.size());
            const aiVector3D s = channel->mScalingKeys[i].mValue;
            EXPECT_NEAR(s.x, f.scale[0], 1e-5);
            EXPECT_NEAR(s.y, f.scale[1], 1e-5);
            EXPECT_NEAR(s.z, f.scale[2], 1e-5);
        }
    }
}

// An object, a null and a camera sampled over frames 10 to 12.
Records MovingItems(const std::string& lwoPath, const std::string& mddPath, float rate) {
    Records r;
    r.Frames(10, 3, rate);
    r.ctrl.motAct = 1;
    r.ctrl.motionFlags = ZK_MOT_OBJECTS | ZK_MOT_NULLS | ZK_MOT_CAMERAS;
    r.AddObject("box", lwoPath, mddPath);
    r.AddNull("null%1");
    r.AddCamera("cam1").projPlaneHeight = 25.4f;
    for (int i = 0; i < 3; ++i) {
        MotionFrame_st& box = r.objectMotion[0][i];
        Set3(box.pos, -1.0f - i, 2.0f, 0.5f * i);
        Set3(box.hpb, 30.0f * i, -15.0f, 45.0f);
        Set3(box.scale, 1.0f, 1.0f + i, 2.0f);
        MotionFrame_st& null = r.nullMotion[0][i];
        Set3(null.pos, 1.0f + i, 2.0f, 3.0f + i);
        Set3(null.hpb, 90.0f, 20.0f * i, -10.0f * i);
        Set3(null.scale, 0.5f, 1.0f, 1.5f + i);
        CameraFrame_st& cam = r.cameraMotion[0][i];
        Set3(cam.pos, 5.0f, -1.0f, -7.0f + i);
        cam.zoom = 3.2f;
    }
    return r;
}

class LWAssimpReadTest : public WriterTest {};

TEST_F(LWAssimpReadTest, SceneItemsAndKeysReadBack) {
    WriteTriangleLwo(PathOf("box.lwo"));
    Records r = MovingItems(PathOf("box.lwo"), PathOf("box.mdd"), 29.97f);
    r.ctrl.mddAct = 1;
    const std::string path = PathOf("scene.lws");
    ASSERT_EQ(r.Run(WriteLWS, path), 1);

    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    std::vector<std::string> names;
    int meshNodes = 0;
    NodeNames(scene->mRootNode, names, meshNodes);
    // The object is loaded twice, once with its point cache and once keyed,
    // and both layers carry the triangle of its mesh file.
    EXPECT_EQ(CountItems(names, "box"), 2);
    EXPECT_EQ(meshNodes, 2);
    EXPECT_EQ(scene->mNumMeshes, 1u);
    EXPECT_EQ(CountItems(names, "null%1"), 1);
    EXPECT_EQ(CountItems(names, "cam1"), 1);
    EXPECT_EQ(CountItems(names, "Light"), 1);
    EXPECT_EQ(scene->mNumCameras, 1u);
    EXPECT_EQ(scene->mNumLights, 1u);

    ASSERT_EQ(scene->mNumAnimations, 1u);
    EXPECT_NEAR(scene->mAnimations[0]->mTicksPerSecond, 30.0, 1e-9);
    ExpectKeys(ChannelOf(scene, "box"), r.objectMotion[0], 10, true);
    ExpectKeys(ChannelOf(scene, "null%1"), r.nullMotion[0], 10, true);
    ExpectKeys(ChannelOf(scene, "cam1"), r.cameraMotion[0], 10, false);

    // The default light stands at (-2, 2, -2) in LightWave's left-handed axes.
    const aiNode* light = nullptr;
    for (unsigned i = 0; i < scene->mRootNode->mNumChildren; ++i)
        if (std::string(scene->mRootNode->mChildren[i]->mName.C_Str()).rfind("Light_(", 0) == 0)
            light = scene->mRootNode->mChildren[i];
    ASSERT_NE(light, nullptr);
    EXPECT_NEAR(light->mTransformation.a4, -2.0f, 1e-6);
    EXPECT_NEAR(light->mTransformation.b4, 2.0f, 1e-6);
    EXPECT_NEAR(light->mTransformation.c4, 2.0f, 1e-6);
}

TEST_F(LWAssimpReadTest, MotionFilesReadBack) {
    // The reader assumes 25 frames per second for a motion file.
    Records r = MovingItems("", "", 25.0f);
    ASSERT_EQ(r.Run(WriteMotions, Dir()), 1);

    struct Case {
        std::string file;
        int first;
    };
    for (const Case& c : {Case{"box.mot", 0}, Case{"null%1.mot", 0}, Case{"cam1.mot", 10}}) {
        SCOPED_TRACE(c.file);
        Assimp::Importer importer;
        importer.SetPropertyInteger(AI_CONFIG_IMPORT_LWS_ANIM_START, c.first);
        importer.SetPropertyInteger(AI_CONFIG_IMPORT_LWS_ANIM_END, c.first + 2);
        const aiScene* scene = importer.ReadFile(PathOf(c.file), 0);
        ASSERT_NE(scene, nullptr) << importer.GetErrorString();
        ASSERT_EQ(scene->mNumAnimations, 1u);
        ASSERT_EQ(scene->mAnimations[0]->mNumChannels, 1u);
        const aiNodeAnim* channel = scene->mAnimations[0]->mChannels[0];
        if (c.file == "box.mot")
            ExpectKeys(channel, r.objectMotion[0], 0, true);
        else if (c.file == "null%1.mot")
            ExpectKeys(channel, r.nullMotion[0], 0, true);
        else
            ExpectKeys(channel, r.cameraMotion[0], 10, true);
    }
}

} // namespace

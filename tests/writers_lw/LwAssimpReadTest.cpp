// The scene and motion files read back by a real LightWave reader (Assimp's
// LWS importer): item names, and the motion keys after the reader's own axis
// and unit conversions give back the sampled values at the sampled frames.
// The reader cannot take the colour envelope of a sampled light and mixes the
// zoom envelope into a camera's bank channel, so those are left to the
// byte-for-byte tests.
#include "RecordKit.h"

#include "writers/LWSFile.h"
#include "writers/MOTfile.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/scene.h>

#include <cmath>

using namespace zkt;

// Assimp 5.2 leaks the scene parts it builds for a LightWave motion file; the
// leak checker of the sanitizer build is told to leave the library's own
// allocations alone.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libassimp.so\n";
}

namespace {

aiVector3D Vec(const float* v) {
    return aiVector3D(v[0], v[1], v[2]);
}

// Whether the reader made the node's name for the item name ("name_(id)").
bool IsItem(const aiString& node, const std::string& name) {
    return std::string(node.C_Str()).rfind(name + "_(", 0) == 0;
}

// Every node below and including node.
void Walk(const aiNode* node, std::vector<const aiNode*>& nodes) {
    nodes.push_back(node);
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        Walk(node->mChildren[i], nodes);
}

const aiNodeAnim* ChannelOf(const aiScene* scene, const std::string& name) {
    const aiAnimation* anim = scene->mAnimations[0];
    for (unsigned i = 0; i < anim->mNumChannels; ++i)
        if (std::string(anim->mChannels[i]->mNodeName.C_Str()).find(name + "_(") !=
            std::string::npos)
            return anim->mChannels[i];
    return nullptr;
}

// Checks one key per sample at frame first + i with the sample's position,
// when rotations is set its heading, pitch and bank (about Y, then X, then Z
// in the reader's right-handed frame), and for objects and nulls its scale.
template <class Frame>
void ExpectKeys(const aiNodeAnim* channel, const Frame* f, int first, bool rotations) {
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(channel->mNumPositionKeys, 3u);
    for (unsigned i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(channel->mPositionKeys[i].mTime, first + i, 1e-3);
        EXPECT_LT((channel->mPositionKeys[i].mValue - Vec(f[i].pos)).Length(), 2e-5);
        if (rotations) {
            ASSERT_EQ(channel->mNumRotationKeys, 3u);
            const double d = 3.14159265358979323846 / 180.0;
            const aiQuaternion q = channel->mRotationKeys[i].mValue;
            const aiQuaternion e = aiQuaternion(aiVector3D(0, 1, 0), f[i].hpb[0] * d) *
                                   aiQuaternion(aiVector3D(1, 0, 0), f[i].hpb[1] * d) *
                                   aiQuaternion(aiVector3D(0, 0, 1), f[i].hpb[2] * d);
            EXPECT_NEAR(std::fabs(q.w * e.w + q.x * e.x + q.y * e.y + q.z * e.z), 1.0, 1e-5);
            EXPECT_NEAR(channel->mRotationKeys[i].mTime, first + i, 1e-3);
        }
        if constexpr (std::is_same_v<Frame, MotionFrame_st>) {
            ASSERT_EQ(channel->mNumScalingKeys, 3u);
            EXPECT_LT((channel->mScalingKeys[i].mValue - Vec(f[i].scale)).Length(), 2e-5);
        }
    }
}

// An object, a null and a camera sampled over frames 10 to 12.
Scene MovingItems(const std::string& lwoPath, const std::string& mddPath, float rate) {
    Scene s(10, 3, rate, ZK_MOT_OBJECTS | ZK_MOT_NULLS | ZK_MOT_CAMERAS);
    MotionFrame_st* box = s.AddObject("box", lwoPath, mddPath);
    MotionFrame_st* null = s.AddNull("null%1");
    CameraFrame_st* cam = s.AddCamera("cam1", 25.4f);
    for (int i = 0; i < 3; ++i) {
        Set3(box[i].pos, -1.0f - i, 2.0f, 0.5f * i);
        Set3(box[i].hpb, 30.0f * i, -15.0f, 45.0f);
        Set3(box[i].scale, 1.0f, 1.0f + i, 2.0f);
        Set3(null[i].pos, 1.0f + i, 2.0f, 3.0f + i);
        Set3(null[i].hpb, 90.0f, 20.0f * i, -10.0f * i);
        Set3(null[i].scale, 0.5f, 1.0f, 1.5f + i);
        Set3(cam[i].pos, 5.0f, -1.0f, -7.0f + i);
        cam[i].zoom = 3.2f;
    }
    return s;
}

TEST(LWAssimpRead, SceneItemsAndKeysReadBack) {
    ScratchDir out;
    Write(out / "box.lwo", Hex(Read(ZK_LW_GOLDEN_DIR "/triangle_lwo.hex")));
    Scene s = MovingItems(out / "box.lwo", out / "box.mdd", 29.97f);
    s.ctrl.mddAct = 1;
    ASSERT_EQ(s.Run(WriteLWS, out / "scene.lws"), 1);

    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(out / "scene.lws", 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    // The object is loaded twice, once with its point cache and once keyed,
    // and both layers carry the triangle of its mesh file.
    std::vector<const aiNode*> nodes;
    Walk(scene->mRootNode, nodes);
    const auto count = [&](const std::string& name) {
        return std::count_if(nodes.begin(), nodes.end(), [&](const aiNode* n) {
            return name.empty() ? n->mNumMeshes > 0 : IsItem(n->mName, name);
        });
    };
    EXPECT_EQ(count("box"), 2);
    EXPECT_EQ(count(""), 2); // nodes with a mesh
    EXPECT_EQ(scene->mNumMeshes, 1u);
    EXPECT_EQ(count("null%1"), 1);
    EXPECT_EQ(count("cam1"), 1);
    EXPECT_EQ(count("Light"), 1);
    EXPECT_EQ(scene->mNumCameras, 1u);
    EXPECT_EQ(scene->mNumLights, 1u);

    ASSERT_EQ(scene->mNumAnimations, 1u);
    EXPECT_NEAR(scene->mAnimations[0]->mTicksPerSecond, 30.0, 1e-9);
    ExpectKeys(ChannelOf(scene, "box"), s.objectMotion[0].data(), 10, true);
    ExpectKeys(ChannelOf(scene, "null%1"), s.nullMotion[0].data(), 10, true);
    ExpectKeys(ChannelOf(scene, "cam1"), s.cameraMotion[0].data(), 10, false);

    // The default light stands at (-2, 2, -2) in LightWave's left-handed axes.
    const aiNode* light = *std::find_if(nodes.begin(), nodes.end(),
                                        [](const aiNode* n) { return IsItem(n->mName, "Light"); });
    const aiMatrix4x4& m = light->mTransformation;
    EXPECT_LT((aiVector3D(m.a4, m.b4, m.c4) - aiVector3D(-2, 2, 2)).Length(), 1e-6);
}

TEST(LWAssimpRead, MotionFilesReadBack) {
    ScratchDir out;
    // The reader assumes 25 frames per second for a motion file.
    Scene s = MovingItems("", "", 25.0f);
    ASSERT_EQ(s.Run(WriteMotions, out.Dir()), 1);
    Assimp::Importer importer; // holds the scene read last
    const auto read = [&](const std::string& file, int first) {
        SCOPED_TRACE(file);
        importer.SetPropertyInteger(AI_CONFIG_IMPORT_LWS_ANIM_START, first);
        importer.SetPropertyInteger(AI_CONFIG_IMPORT_LWS_ANIM_END, first + 2);
        const aiScene* scene = importer.ReadFile(out / file, 0);
        EXPECT_TRUE(scene && scene->mNumAnimations == 1 && scene->mAnimations[0]->mNumChannels == 1)
            << importer.GetErrorString();
        return scene && scene->mNumAnimations == 1 ? scene->mAnimations[0]->mChannels[0] : nullptr;
    };
    ExpectKeys(read("box.mot", 0), s.objectMotion[0].data(), 0, true);
    ExpectKeys(read("null%1.mot", 0), s.nullMotion[0].data(), 0, true);
    ExpectKeys(read("cam1.mot", 10), s.cameraMotion[0].data(), 10, true);
}

} // namespace

// Scenes built as Assimp data in memory, for what no example file holds:
// channel pre and post states, an unset tick rate, an animated root that is
// no item, a skinning joint at the root, and cameras and lights whose frame
// differs from the host's.
#include "ImporterTestUtil.h"

#include <assimp/scene.h>

#include <memory>

using namespace importer_test;

namespace {

aiNode* AddNode(aiNode* parent, const char* name, const aiVector3D& translation) {
    aiNode* node = new aiNode(name);
    aiMatrix4x4::Translation(translation, node->mTransformation);
    aiNode* children[1] = {node};
    parent->addChildren(1, children);
    return node;
}

aiNodeAnim* AddChannel(aiAnimation* anim, const char* node) {
    aiNodeAnim** grown = new aiNodeAnim*[anim->mNumChannels + 1];
    for (unsigned i = 0; i < anim->mNumChannels; ++i) {
        grown[i] = anim->mChannels[i];
    }
    delete[] anim->mChannels;
    anim->mChannels = grown;
    aiNodeAnim* ch = new aiNodeAnim();
    ch->mNodeName = node;
    anim->mChannels[anim->mNumChannels++] = ch;
    return ch;
}

void SetPositionKeys(aiNodeAnim* ch, std::vector<std::pair<double, aiVector3D>> keys) {
    ch->mNumPositionKeys = static_cast<unsigned>(keys.size());
    ch->mPositionKeys = new aiVectorKey[keys.size()];
    for (size_t i = 0; i < keys.size(); ++i) {
        ch->mPositionKeys[i] = aiVectorKey(keys[i].first, keys[i].second);
    }
}

void SetRotationKeys(aiNodeAnim* ch, std::vector<std::pair<double, aiQuaternion>> keys) {
    ch->mNumRotationKeys = static_cast<unsigned>(keys.size());
    ch->mRotationKeys = new aiQuatKey[keys.size()];
    for (size_t i = 0; i < keys.size(); ++i) {
        ch->mRotationKeys[i] = aiQuatKey(keys[i].first, keys[i].second);
    }
}

aiAnimation* AddAnimation(aiScene* scene, double ticksPerSecond, double duration) {
    scene->mNumAnimations = 1;
    scene->mAnimations = new aiAnimation*[1];
    aiAnimation* anim = new aiAnimation();
    anim->mTicksPerSecond = ticksPerSecond;
    anim->mDuration = duration;
    scene->mAnimations[0] = anim;
    return anim;
}

aiQuaternion QuatZ(double degrees) {
    return aiQuaternion(aiVector3D(0, 0, 1), static_cast<float>(degrees * kPi / 180.0));
}

void Build(const aiScene& scene) {
    host::HostApp::Get().Reset();
    host::HostApp::Get().SetEchoLog(false);
    host::HostApp::Get().SetFrameRate(30.0);
    host::HostApp::Get().SetScene(host::BuildAssimpScene(scene, {}, false, nullptr));
}

} // namespace

TEST(Channels, PreAndPostStates) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Root");
    AddNode(scene->mRootNode, "Repeat", {});
    AddNode(scene->mRootNode, "Hold", {});
    // Ticks per second left 0: 25 ticks a second, so frame f is tick f * 25 / 30.
    aiAnimation* anim = AddAnimation(scene.get(), 0.0, 20.0);
    aiNodeAnim* repeat = AddChannel(anim, "Repeat");
    SetPositionKeys(repeat, {{10.0, {0, 0, 0}}, {20.0, {10, 0, 0}}});
    repeat->mPreState = aiAnimBehaviour_REPEAT;
    repeat->mPostState = aiAnimBehaviour_LINEAR;
    aiNodeAnim* hold = AddChannel(anim, "Hold");
    SetPositionKeys(hold, {{10.0, {0, 0, 0}}, {20.0, {10, 0, 0}}});
    hold->mPreState = aiAnimBehaviour_DEFAULT;
    hold->mPostState = aiAnimBehaviour_CONSTANT;
    Build(*scene);
    EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), 24.0); // 20 ticks = 0.8 s

    struct Case {
        double tick, repeatX, holdX;
    };
    for (const Case& c : {Case{15, 5, 5}, Case{10, 0, 0}, Case{20, 10, 10}, Case{25, 15, 10},
                          Case{40, 30, 10}, Case{5, 5, 0}, Case{2.5, 2.5, 0}, Case{-3, 7, 0}}) {
        const double frame = c.tick * 30.0 / 25.0;
        EXPECT_P3_NEAR(Translation(L"Repeat", frame), (P3{c.repeatX, 0, 0}), "tick " << c.tick);
        EXPECT_P3_NEAR(Translation(L"Hold", frame), (P3{c.holdX, 0, 0}), "tick " << c.tick);
    }
}

TEST(Channels, AnimatedRootThatIsNoItemMovesTheItemsBelow) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Rig");
    aiNode* child = AddNode(scene->mRootNode, "Child", {1, 0, 0});
    AddNode(child, "Grandchild", {0, 1, 0});
    aiAnimation* anim = AddAnimation(scene.get(), 30.0, 30.0);
    SetRotationKeys(AddChannel(anim, "Rig"), {{0.0, QuatZ(0)}, {30.0, QuatZ(90)}});
    Build(*scene);
    ASSERT_EQ(host::HostApp::Get().GetScene()->ItemCount(), 2);
    for (double f : {0.0, 7.5, 15.0, 30.0}) {
        const double angle = 3.0 * f;
        EXPECT_P3_NEAR(Translation(L"Child", f), RotZ({1, 0, 0}, angle), "frame " << f);
        EXPECT_P3_NEAR(Translation(L"Child.Grandchild", f), RotZ({1, 1, 0}, angle), "frame " << f);
    }
}

TEST(Channels, JointAtTheRootBecomesAnItem) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Hips");
    aiNode* body = AddNode(scene->mRootNode, "Body", {});
    body->mNumMeshes = 1;
    body->mMeshes = new unsigned[1]{0};
    scene->mNumMeshes = 1;
    scene->mMeshes = new aiMesh*[1];
    aiMesh* mesh = new aiMesh();
    scene->mMeshes[0] = mesh;
    mesh->mNumVertices = 2;
    mesh->mVertices = new aiVector3D[2]{{1, 0, 0}, {2, 0, 0}};
    mesh->mNumBones = 1;
    mesh->mBones = new aiBone*[1];
    aiBone* bone = new aiBone();
    mesh->mBones[0] = bone;
    bone->mName = "Hips";
    bone->mNumWeights = 2;
    bone->mWeights = new aiVertexWeight[2]{{0, 1.0f}, {1, 0.5f}}; // normalised to 1
    aiAnimation* anim = AddAnimation(scene.get(), 30.0, 30.0);
    SetRotationKeys(AddChannel(anim, "Hips"), {{0.0, QuatZ(0)}, {30.0, QuatZ(90)}});
    Build(*scene);
    ASSERT_EQ(host::HostApp::Get().GetScene()->ItemCount(), 2);
    for (double f : {0.0, 10.0, 30.0}) {
        // The mesh node is the joint's child: it turns with the joint, and the
        // skin turns its points with the joint as well: they stay in place in
        // the mesh's own space.
        const std::vector<P3> local = LocalPoints(L"Hips.Body", f);
        const std::vector<P3> world = WorldPoints(L"Hips.Body", f);
        ASSERT_EQ(local.size(), 2u);
        EXPECT_P3_NEAR(local[0], (P3{1, 0, 0}), "frame " << f);
        EXPECT_P3_NEAR(world[1], RotZ({2, 0, 0}, 3.0 * f), "frame " << f);
    }
}

TEST(Channels, CameraAndLightFramesAreFoldedIn) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Root");
    aiNode* cam = AddNode(scene->mRootNode, "Cam", {0, 0, 5});
    AddNode(cam, "Child", {0, 2, 0});
    AddNode(scene->mRootNode, "Lamp", {0, 3, 0});
    scene->mNumCameras = 1;
    scene->mCameras = new aiCamera*[1];
    aiCamera* camera = new aiCamera();
    scene->mCameras[0] = camera;
    camera->mName = "Cam";
    camera->mLookAt = {1, 0, 0}; // looks along +X, as FBX cameras do
    camera->mUp = {0, 1, 0};
    camera->mHorizontalFOV = static_cast<float>(kPi / 2);
    camera->mAspect = 2.0f;
    scene->mNumLights = 1;
    scene->mLights = new aiLight*[1];
    aiLight* light = new aiLight();
    scene->mLights[0] = light;
    light->mName = "Lamp";
    light->mType = aiLightSource_DIRECTIONAL;
    light->mDirection = {0, -1, 0};
    light->mColorDiffuse = aiColor3D(0, 0, 0);
    Build(*scene);

    EXPECT_P3_NEAR(Axis(L"Cam", 0, {0, 0, -1}), (P3{1, 0, 0}), "camera view");
    EXPECT_P3_NEAR(Axis(L"Cam", 0, {0, 1, 0}), (P3{0, 1, 0}), "camera up");
    EXPECT_P3_NEAR(Translation(L"Cam", 0), (P3{0, 0, 5}), "camera position");
    EXPECT_P3_NEAR(Translation(L"Cam.Child", 0), (P3{0, 2, 5}), "child stays put");
    EXPECT_P3_NEAR(Axis(L"Cam.Child", 0, {1, 0, 0}), (P3{1, 0, 0}), "child axes unchanged");
    EXPECT_NEAR(Param(L"Cam", L"fov"), 90.0, 1e-4);
    EXPECT_EQ(Param(L"Cam", L"fovtype"), 1.0);
    EXPECT_NEAR(Param(L"Cam", L"aspect"), 2.0, 1e-9);

    EXPECT_P3_NEAR(Axis(L"Lamp", 0, {0, 0, -1}), (P3{0, -1, 0}), "light direction");
    EXPECT_EQ(Param(L"Lamp", L"Type"), 0.0);
    // A black light: intensity 0 and a black colour, no division by zero.
    const XSI::Shader shader(XSI::Light(Find(L"Lamp")->GetRef()).GetShaders()[0]);
    float r = 1, g = 1, b = 1, a = 0;
    shader.GetColorParameterValue(L"color", r, g, b, a);
    EXPECT_EQ(r + g + b, 0.0f);
    EXPECT_EQ(static_cast<double>(shader.GetParameterValue(L"intensity")), 0.0);
}

TEST(Channels, MetadataSetsOnlyHostParameters) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Root");
    aiNode* lamp = AddNode(scene->mRootNode, "Lamp", {});
    scene->mNumLights = 1;
    scene->mLights = new aiLight*[1];
    scene->mLights[0] = new aiLight();
    scene->mLights[0]->mName = "Lamp";
    scene->mLights[0]->mType = aiLightSource_POINT;
    scene->mLights[0]->mColorDiffuse = aiColor3D(1, 1, 1);
    lamp->mMetaData = aiMetadata::Alloc(5);
    lamp->mMetaData->Set(0, "Type", aiString("2")); // text that reads as a number
    lamp->mMetaData->Set(1, "intensity", 3.5);      // the shader's parameter
    lamp->mMetaData->Set(2, "color", aiVector3D(0.5f, 0.25f, 1.0f));
    lamp->mMetaData->Set(3, "pposy", aiString("not a number"));
    lamp->mMetaData->Set(4, "unrelated", 7);
    Build(*scene);
    EXPECT_EQ(Param(L"Lamp", L"Type"), 2.0);
    EXPECT_EQ(Param(L"Lamp", L"pposy"), 0.0);
    const XSI::Shader shader(XSI::Light(Find(L"Lamp")->GetRef()).GetShaders()[0]);
    EXPECT_EQ(static_cast<double>(shader.GetParameterValue(L"intensity")), 3.5);
    float r = 0, g = 0, b = 0, a = 0;
    shader.GetColorParameterValue(L"color", r, g, b, a);
    EXPECT_EQ(r, 0.5f);
    EXPECT_EQ(g, 0.25f);
    EXPECT_EQ(b, 1.0f);
    EXPECT_EQ(a, 1.0f);
    EXPECT_EQ(Find(L"Lamp")->GetParam(L"unrelated"), nullptr);
}

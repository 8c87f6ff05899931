// Scenes built as Assimp data in memory, for what no example file holds:
// channel pre and post states, an unset tick rate, an animated root that is
// no item, a skinning joint at the root, cameras and lights whose frame
// differs from the host's, and metadata values of every sort.
#include "ImporterSupport.h"

#include <assimp/scene.h>

#include <memory>

using namespace importer_test;

namespace {

// An array the aiScene destructor frees.
template <class T> T* Array(std::initializer_list<T> items) {
    T* out = new T[items.size()];
    std::copy(items.begin(), items.end(), out);
    return out;
}

aiNode* AddNode(aiNode* parent, const char* name, const aiVector3D& translation) {
    aiNode* node = new aiNode(name);
    aiMatrix4x4::Translation(translation, node->mTransformation);
    parent->addChildren(1, &node);
    return node;
}

// A channel of (tick, value) keys.
aiNodeAnim* Channel(const char* node, std::initializer_list<aiVectorKey> positions,
                    std::initializer_list<aiQuatKey> rotations,
                    aiAnimBehaviour pre = aiAnimBehaviour_DEFAULT,
                    aiAnimBehaviour post = aiAnimBehaviour_DEFAULT) {
    aiNodeAnim* ch = new aiNodeAnim();
    ch->mNodeName = node;
    ch->mPreState = pre;
    ch->mPostState = post;
    ch->mNumPositionKeys = static_cast<unsigned>(positions.size());
    ch->mPositionKeys = Array(positions);
    ch->mNumRotationKeys = static_cast<unsigned>(rotations.size());
    ch->mRotationKeys = Array(rotations);
    return ch;
}

void Animate(aiScene* scene, double ticksPerSecond, double duration,
             std::initializer_list<aiNodeAnim*> channels) {
    aiAnimation* anim = new aiAnimation();
    anim->mTicksPerSecond = ticksPerSecond;
    anim->mDuration = duration;
    anim->mNumChannels = static_cast<unsigned>(channels.size());
    anim->mChannels = Array(channels);
    scene->mNumAnimations = 1;
    scene->mAnimations = new aiAnimation* [1] { anim };
}

// A quarter turn about +Z from tick 0 to tick 30.
aiNodeAnim* QuarterTurn(const char* node) {
    const aiQuaternion q90(aiVector3D(0, 0, 1), static_cast<float>(kPi / 2));
    return Channel(node, {}, {{0.0, aiQuaternion()}, {30.0, q90}});
}

aiLight* NewLight(const char* name, aiLightSourceType type, const aiColor3D& color) {
    aiLight* light = new aiLight();
    light->mName = name;
    light->mType = type;
    light->mColorDiffuse = color;
    return light;
}

void Build(const aiScene& scene) {
    FreshHost().SetScene(host::BuildAssimpScene(scene, {}, false, nullptr));
}

} // namespace

TEST(Channels, PreAndPostStatesAndTheDefaultTickRate) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Root");
    AddNode(scene->mRootNode, "Repeat", {});
    AddNode(scene->mRootNode, "Hold", {});
    // Ticks per second left 0: 25 ticks a second, so frame f is tick f * 25 / 30.
    const std::initializer_list<aiVectorKey> keys = {{10.0, {0, 0, 0}}, {20.0, {10, 0, 0}}};
    Animate(scene.get(), 0.0, 20.0,
            {Channel("Repeat", keys, {}, aiAnimBehaviour_REPEAT, aiAnimBehaviour_LINEAR),
             Channel("Hold", keys, {}, aiAnimBehaviour_DEFAULT, aiAnimBehaviour_CONSTANT)});
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

TEST(Channels, PlayAtTheRateTheSceneWasBuiltFor) {
    // One second of animation: 10 units along x. The load options' rate wins
    // over their default; a later change of the host's rate retimes nothing.
    struct Case {
        double rate, defaultRate, frames;
    };
    for (const Case& c : {Case{60, 12, 60}, Case{0, 12, 12}, Case{0, 30, 30}}) {
        auto scene = std::make_unique<aiScene>();
        scene->mRootNode = new aiNode("Root");
        AddNode(scene->mRootNode, "Slide", {});
        Animate(scene.get(), 25.0, 25.0,
                {Channel("Slide", {{0.0, {0, 0, 0}}, {25.0, {10, 0, 0}}}, {})});
        host::AssimpLoadOptions options;
        options.frameRate = c.rate;
        options.defaultFrameRate = c.defaultRate;
        FreshHost().SetScene(host::BuildAssimpScene(*scene, options, false, nullptr));
        host::HostApp::Get().SetFrameRate(24.0);
        EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), c.frames) << c.rate;
        EXPECT_P3_NEAR(Translation(L"Slide", c.frames / 2), (P3{5, 0, 0}), "rate " << c.rate);
    }
}

TEST(Channels, AnimatedRootNode) {
    // A root that holds nothing is no item, but its motion moves the items below.
    auto rig = std::make_unique<aiScene>();
    rig->mRootNode = new aiNode("Rig");
    AddNode(AddNode(rig->mRootNode, "Child", {1, 0, 0}), "Grandchild", {0, 1, 0});
    Animate(rig.get(), 30.0, 30.0, {QuarterTurn("Rig")});
    Build(*rig);
    ASSERT_EQ(host::HostApp::Get().GetScene()->ItemCount(), 2);
    for (double f : {0.0, 7.5, 15.0, 30.0}) {
        EXPECT_P3_NEAR(Translation(L"Child", f), RotZ({1, 0, 0}, 3.0 * f), "frame " << f);
        EXPECT_P3_NEAR(Translation(L"Child.Grandchild", f), RotZ({1, 1, 0}, 3.0 * f),
                       "frame " << f);
    }

    // A root that is a skinning joint becomes an item.
    auto hips = std::make_unique<aiScene>();
    hips->mRootNode = new aiNode("Hips");
    aiNode* body = AddNode(hips->mRootNode, "Body", {});
    body->mNumMeshes = 1;
    body->mMeshes = new unsigned[1]{0};
    aiMesh* mesh = new aiMesh();
    hips->mNumMeshes = 1;
    hips->mMeshes = new aiMesh* [1] { mesh };
    mesh->mNumVertices = 2;
    mesh->mVertices = new aiVector3D[2]{{1, 0, 0}, {2, 0, 0}};
    aiBone* bone = new aiBone();
    mesh->mNumBones = 1;
    mesh->mBones = new aiBone* [1] { bone };
    bone->mName = "Hips";
    bone->mNumWeights = 2;
    bone->mWeights = new aiVertexWeight[2]{{0, 1.0f}, {1, 0.5f}}; // normalised to 1
    Animate(hips.get(), 30.0, 30.0, {QuarterTurn("Hips")});
    Build(*hips);
    ASSERT_EQ(host::HostApp::Get().GetScene()->ItemCount(), 2);
    for (double f : {0.0, 10.0, 30.0}) {
        // The mesh node is the joint's child: it turns with the joint, and the
        // skin turns its points with the joint as well: they stay in place in
        // the mesh's own space.
        const std::vector<P3> local = Points(L"Hips.Body", f),
                              world = Points(L"Hips.Body", f, true);
        ASSERT_EQ(local.size(), 2u);
        EXPECT_P3_NEAR(local[0], (P3{1, 0, 0}), "frame " << f);
        EXPECT_P3_NEAR(world[1], RotZ({2, 0, 0}, 3.0 * f), "frame " << f);
    }
}

TEST(Channels, CameraLightFramesAndMetadata) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Root");
    AddNode(AddNode(scene->mRootNode, "Cam", {0, 0, 5}), "Child", {0, 2, 0});
    AddNode(scene->mRootNode, "Lamp", {0, 3, 0});
    aiNode* tagged = AddNode(scene->mRootNode, "Tagged", {});
    aiCamera* camera = new aiCamera();
    scene->mNumCameras = 1;
    scene->mCameras = new aiCamera* [1] { camera };
    camera->mName = "Cam";
    camera->mLookAt = {1, 0, 0}; // looks along +X, as FBX cameras do
    camera->mUp = {0, 1, 0};
    aiLight* lamp = NewLight("Lamp", aiLightSource_DIRECTIONAL, {0, 0, 0});
    lamp->mDirection = {0, -1, 0};
    scene->mNumLights = 2;
    scene->mLights = new aiLight* [2] { lamp, NewLight("Tagged", aiLightSource_POINT, {1, 1, 1}) };
    tagged->mMetaData = aiMetadata::Alloc(5);
    tagged->mMetaData->Set(0, "Type", aiString("2")); // text that reads as a number
    tagged->mMetaData->Set(1, "intensity", 3.5);      // the shader's parameter
    tagged->mMetaData->Set(2, "color", aiVector3D(0.5f, 0.25f, 1.0f));
    tagged->mMetaData->Set(3, "pposy", aiString("not a number"));
    tagged->mMetaData->Set(4, "unrelated", 7);
    Build(*scene);

    EXPECT_P3_NEAR(Axis(L"Cam", 0, {0, 0, -1}), (P3{1, 0, 0}), "camera view");
    EXPECT_P3_NEAR(Axis(L"Cam", 0, {0, 1, 0}), (P3{0, 1, 0}), "camera up");
    EXPECT_P3_NEAR(Translation(L"Cam", 0), (P3{0, 0, 5}), "camera position");
    EXPECT_P3_NEAR(Translation(L"Cam.Child", 0), (P3{0, 2, 5}), "child stays put");
    EXPECT_P3_NEAR(Axis(L"Cam.Child", 0, {1, 0, 0}), (P3{1, 0, 0}), "child axes unchanged");

    EXPECT_P3_NEAR(Axis(L"Lamp", 0, {0, 0, -1}), (P3{0, -1, 0}), "light direction");
    EXPECT_EQ(Param(L"Lamp", L"Type"), 0.0);
    // A black light: intensity 0 and a black colour, no division by zero.
    const auto [black, zero] = LightValues(L"Lamp");
    EXPECT_P3_NEAR(black, (P3{0, 0, 0}), "black light");
    EXPECT_EQ(zero, 0.0);

    // Metadata sets only host parameters, and only with values that fit.
    EXPECT_EQ(Param(L"Tagged", L"Type"), 2.0);
    EXPECT_EQ(Param(L"Tagged", L"pposy"), 0.0);
    EXPECT_EQ(Find(L"Tagged")->GetParam(L"unrelated"), nullptr);
    const auto [color, intensity] = LightValues(L"Tagged");
    EXPECT_P3_NEAR(color, (P3{0.5, 0.25, 1}), "colour");
    EXPECT_EQ(intensity, 3.5);
}

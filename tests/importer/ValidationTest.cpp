// The checks of an imported scene: every number the host reads is finite,
// and the message names the item and the value.
#include "host/import/AssimpScene.h"
#include "host/import/SceneValidation.h"

#include <assimp/scene.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>

namespace {

// A scene of every kind of thing the checks look at, all finite: a root
// "Root" with metadata, a child "Mesh" holding a one-point mesh with a morph
// target and a bone, a camera "Cam", a light "Lamp", and an animation "Walk"
// with a node channel and a morph channel.
std::unique_ptr<aiScene> FiniteScene() {
    auto s = std::make_unique<aiScene>();
    s->mRootNode = new aiNode("Root");
    s->mRootNode->mMetaData = new aiMetadata;
    s->mRootNode->mMetaData->Add("fov", 40.0f);
    auto* meshNode = new aiNode("Mesh");
    meshNode->mNumMeshes = 1;
    meshNode->mMeshes = new unsigned[1]{0};
    s->mRootNode->addChildren(1, &meshNode);

    auto* mesh = new aiMesh;
    mesh->mNumVertices = 1;
    mesh->mVertices = new aiVector3D[1]{{1, 2, 3}};
    mesh->mNumAnimMeshes = 1;
    mesh->mAnimMeshes = new aiAnimMesh* [1] { new aiAnimMesh };
    mesh->mAnimMeshes[0]->mNumVertices = 1;
    mesh->mAnimMeshes[0]->mVertices = new aiVector3D[1]{{1, 2, 4}};
    mesh->mNumBones = 1;
    mesh->mBones = new aiBone* [1] { new aiBone };
    mesh->mBones[0]->mName = "Root";
    mesh->mBones[0]->mNumWeights = 1;
    mesh->mBones[0]->mWeights = new aiVertexWeight[1]{{0, 1.0f}};
    s->mNumMeshes = 1;
    s->mMeshes = new aiMesh* [1] { mesh };

    s->mNumCameras = 1;
    s->mCameras = new aiCamera* [1] { new aiCamera };
    s->mCameras[0]->mName = "Cam";
    s->mNumLights = 1;
    s->mLights = new aiLight* [1] { new aiLight };
    s->mLights[0]->mName = "Lamp";

    auto* anim = new aiAnimation;
    anim->mName = "Walk";
    anim->mDuration = 10;
    anim->mTicksPerSecond = 25;
    anim->mNumChannels = 1;
    anim->mChannels = new aiNodeAnim* [1] { new aiNodeAnim };
    aiNodeAnim* ch = anim->mChannels[0];
    ch->mNodeName = "Mesh";
    ch->mNumPositionKeys = 2;
    ch->mPositionKeys = new aiVectorKey[2]{{0, {0, 0, 0}}, {10, {1, 0, 0}}};
    ch->mNumRotationKeys = 1;
    ch->mRotationKeys = new aiQuatKey[1]{{0, aiQuaternion()}};
    ch->mNumScalingKeys = 1;
    ch->mScalingKeys = new aiVectorKey[1]{{0, {1, 1, 1}}};
    anim->mNumMorphMeshChannels = 1;
    anim->mMorphMeshChannels = new aiMeshMorphAnim* [1] { new aiMeshMorphAnim };
    aiMeshMorphAnim* morph = anim->mMorphMeshChannels[0];
    morph->mName = "Mesh";
    morph->mNumKeys = 1;
    morph->mKeys = new aiMeshMorphKey[1];
    morph->mKeys[0].mNumValuesAndWeights = 1;
    morph->mKeys[0].mValues = new unsigned[1]{0};
    morph->mKeys[0].mWeights = new double[1]{0.5};
    s->mNumAnimations = 1;
    s->mAnimations = new aiAnimation* [1] { anim };
    return s;
}

std::string Validate(const aiScene& scene) {
    try {
        host::ValidateImportedScene(scene);
    } catch (const host::SceneLoadError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(Validation, NonFiniteNumbersNameTheItemAndTheValue) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(Validate(*FiniteScene()), "");

    struct Case {
        std::function<void(aiScene*)> spoil;
        std::string message;
    };
    const Case cases[] = {
        {[](aiScene* s) { s->mRootNode->mChildren[0]->mTransformation.b4 = inf; },
         "node \"Mesh\": the transform is not a finite number"},
        {[](aiScene* s) { s->mRootNode->mMetaData->Add("fov", std::nanf("")); },
         "node \"Root\": the value of \"fov\" is not a finite number"},
        {[](aiScene* s) { s->mMeshes[0]->mVertices[0].y = -inf; },
         "node \"Mesh\": point 0 is not a finite number"},
        {[](aiScene* s) { s->mMeshes[0]->mAnimMeshes[0]->mVertices[0].z = nan; },
         "node \"Mesh\": morph target 0 point 0 is not a finite number"},
        {[](aiScene* s) { s->mMeshes[0]->mAnimMeshes[0]->mWeight = inf; },
         "node \"Mesh\": the weight of morph target 0 is not a finite number"},
        {[](aiScene* s) { s->mMeshes[0]->mBones[0]->mOffsetMatrix.a1 = nan; },
         "node \"Mesh\": bone \"Root\" offset matrix is not a finite number"},
        {[](aiScene* s) { s->mMeshes[0]->mBones[0]->mWeights[0].mWeight = nan; },
         "node \"Mesh\": bone \"Root\" weight 0 is not a finite number"},
        {[](aiScene* s) { s->mCameras[0]->mHorizontalFOV = inf; },
         "camera \"Cam\": the field of view is not a finite number"},
        {[](aiScene* s) { s->mCameras[0]->mUp.x = nan; },
         "camera \"Cam\": the up direction is not a finite number"},
        {[](aiScene* s) { s->mLights[0]->mColorDiffuse.g = inf; },
         "light \"Lamp\": the colour is not a finite number"},
        {[](aiScene* s) { s->mLights[0]->mDirection.z = nan; },
         "light \"Lamp\": the direction is not a finite number"},
        {[](aiScene* s) { s->mAnimations[0]->mDuration = inf; },
         "animation \"Walk\": the duration or rate is not a finite number"},
        {[](aiScene* s) { s->mAnimations[0]->mChannels[0]->mPositionKeys[1].mTime = nan; },
         "node \"Mesh\" in animation \"Walk\": translation key 1 is not a finite number"},
        {[](aiScene* s) { s->mAnimations[0]->mChannels[0]->mRotationKeys[0].mValue.w = nan; },
         "node \"Mesh\" in animation \"Walk\": rotation key 0 is not a finite number"},
        {[](aiScene* s) { s->mAnimations[0]->mChannels[0]->mScalingKeys[0].mValue.x = inf; },
         "node \"Mesh\" in animation \"Walk\": scale key 0 is not a finite number"},
        {[](aiScene* s) { s->mAnimations[0]->mMorphMeshChannels[0]->mKeys[0].mWeights[0] = inf; },
         "node \"Mesh\" in animation \"Walk\": morph weight key 0 is not a finite number"},
        {[](aiScene* s) {
             s->mRootNode->mChildren[0]->mName = "Line\nBreak";
             s->mMeshes[0]->mVertices[0].x = nan;
         },
         "node \"Line Break\": point 0 is not a finite number"}, // the message stays one line
    };
    for (const Case& c : cases) {
        std::unique_ptr<aiScene> scene = FiniteScene();
        c.spoil(scene.get());
        EXPECT_EQ(Validate(*scene), c.message);
    }
}

TEST(Validation, NodeTreesDeeperThanTheLimitAreRefused) {
    for (const int depth : {1000, 1001}) {
        std::unique_ptr<aiScene> scene = FiniteScene();
        aiNode* leaf = scene->mRootNode;
        for (int i = 0; i < depth; ++i) {
            auto* child = new aiNode("n" + std::to_string(i));
            leaf->addChildren(1, &child);
            leaf = child;
        }
        EXPECT_EQ(Validate(*scene),
                  depth > 1000 ? "the node hierarchy is deeper than 1000 levels" : "")
            << depth;
    }
}

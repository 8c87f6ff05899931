#include "host/import/ColladaTimeline.h"

#include <assimp/scene.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace host {

bool IsColladaTimelineText(const std::string& text) {
    return text.find("<COLLADA") != std::string::npos &&
           text.find("<library_animation_clips") == std::string::npos &&
           text.find("<animation_clip") == std::string::npos;
}

bool IsColladaTimelineFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return !in.bad() && IsColladaTimelineText(text);
}

namespace {

// Gathers one kind of channel of every animation; false when two channels
// name the same target.
template <typename Channel>
bool Gather(const aiScene& scene, Channel** aiAnimation::*array, unsigned aiAnimation::*count,
            aiString Channel::*target, std::vector<Channel*>* out) {
    std::set<std::string> targets;
    for (unsigned a = 0; a < scene.mNumAnimations; ++a) {
        const aiAnimation& anim = *scene.mAnimations[a];
        for (unsigned c = 0; anim.*array && c < anim.*count; ++c) {
            Channel* ch = (anim.*array)[c];
            if (!ch) {
                continue;
            }
            if (!targets.insert((ch->*target).C_Str()).second) {
                return false;
            }
            out->push_back(ch);
        }
    }
    return true;
}

// Hands the channels to the first animation; the others keep none.
template <typename Channel>
void Move(aiScene* scene, Channel** aiAnimation::*array, unsigned aiAnimation::*count,
          const std::vector<Channel*>& channels) {
    for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
        aiAnimation& anim = *scene->mAnimations[a];
        delete[](anim.*array); // the array only: the channels move
        anim.*array = nullptr;
        anim.*count = 0;
    }
    if (channels.empty()) {
        return;
    }
    aiAnimation& first = *scene->mAnimations[0];
    first.*array = new Channel*[channels.size()];
    std::copy(channels.begin(), channels.end(), first.*array);
    first.*count = static_cast<unsigned>(channels.size());
}

} // namespace

bool JoinAnimations(aiScene* scene) {
    if (!scene || !scene->mAnimations || scene->mNumAnimations < 2) {
        return false;
    }
    for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
        if (!scene->mAnimations[a] ||
            scene->mAnimations[a]->mTicksPerSecond != scene->mAnimations[0]->mTicksPerSecond) {
            return false;
        }
    }
    std::vector<aiNodeAnim*> nodes;
    std::vector<aiMeshAnim*> meshes;
    std::vector<aiMeshMorphAnim*> morphs;
    if (!Gather(*scene, &aiAnimation::mChannels, &aiAnimation::mNumChannels, &aiNodeAnim::mNodeName,
                &nodes) ||
        !Gather(*scene, &aiAnimation::mMeshChannels, &aiAnimation::mNumMeshChannels,
                &aiMeshAnim::mName, &meshes) ||
        !Gather(*scene, &aiAnimation::mMorphMeshChannels, &aiAnimation::mNumMorphMeshChannels,
                &aiMeshMorphAnim::mName, &morphs)) {
        return false;
    }
    double duration = 0.0;
    for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
        duration = std::max(duration, scene->mAnimations[a]->mDuration);
    }
    Move(scene, &aiAnimation::mChannels, &aiAnimation::mNumChannels, nodes);
    Move(scene, &aiAnimation::mMeshChannels, &aiAnimation::mNumMeshChannels, meshes);
    Move(scene, &aiAnimation::mMorphMeshChannels, &aiAnimation::mNumMorphMeshChannels, morphs);
    scene->mAnimations[0]->mDuration = duration;
    for (unsigned a = 1; a < scene->mNumAnimations; ++a) {
        delete scene->mAnimations[a];
        scene->mAnimations[a] = nullptr;
    }
    scene->mNumAnimations = 1;
    return true;
}

} // namespace host

#include "host/import/SceneValidation.h"

#include "host/import/AssimpScene.h"
#include "host/import/SceneFileChecks.h"

#include <assimp/scene.h>

#include <cmath>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace host {
namespace {

bool Finite(double v) {
    return std::isfinite(v);
}
bool Finite(const aiVector3D& v) {
    return Finite(v.x) && Finite(v.y) && Finite(v.z);
}
bool Finite(const aiQuaternion& q) {
    return Finite(q.x) && Finite(q.y) && Finite(q.z) && Finite(q.w);
}
bool Finite(const aiColor3D& c) {
    return Finite(c.r) && Finite(c.g) && Finite(c.b);
}
bool Finite(const aiMatrix4x4& m) {
    const ai_real* v = &m.a1;
    for (int i = 0; i < 16; ++i) {
        if (!Finite(v[i])) {
            return false;
        }
    }
    return true;
}

// A name as the message shows it: on one line, quoted.
std::string Quoted(const aiString& name) {
    std::string s = name.C_Str();
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return "\"" + s + "\"";
}

[[noreturn]] void NotFinite(const std::string& what) {
    throw SceneLoadError(what + " is not a finite number");
}

template <class Key>
void CheckKeys(const Key* keys, unsigned count, const std::string& owner, const char* channel) {
    for (unsigned k = 0; keys && k < count; ++k) {
        if (!Finite(keys[k].mTime) || !Finite(keys[k].mValue)) {
            NotFinite(owner + ": " + channel + " key " + std::to_string(k));
        }
    }
}

class Validator {
  public:
    explicit Validator(const aiScene& scene) : m_ai(scene) {}

    void Run() {
        WalkNodes();
        CheckMeshes();
        CheckAnimations();
        CheckCamerasAndLights();
    }

  private:
    // Depth first, without recursion; the first node holding a mesh names it.
    void WalkNodes() {
        std::vector<std::pair<const aiNode*, int>> stack;
        if (m_ai.mRootNode) {
            stack.emplace_back(m_ai.mRootNode, 0); // the root is no level of its own
        }
        while (!stack.empty()) {
            const auto [node, depth] = stack.back();
            stack.pop_back();
            if (depth > kMaxSceneNesting) {
                throw SceneLoadError("the node hierarchy is deeper than " +
                                     std::to_string(kMaxSceneNesting) + " levels");
            }
            const std::string owner = "node " + Quoted(node->mName);
            if (!Finite(node->mTransformation)) {
                NotFinite(owner + ": the transform");
            }
            CheckMetadata(node->mMetaData, owner);
            for (unsigned i = 0; node->mMeshes && i < node->mNumMeshes; ++i) {
                m_meshOwner.emplace(node->mMeshes[i], owner);
            }
            for (unsigned i = 0; node->mChildren && i < node->mNumChildren; ++i) {
                if (node->mChildren[i]) {
                    stack.emplace_back(node->mChildren[i], depth + 1);
                }
            }
        }
    }

    static void CheckMetadata(const aiMetadata* md, const std::string& owner) {
        for (unsigned i = 0; md && md->mKeys && md->mValues && i < md->mNumProperties; ++i) {
            const aiMetadataEntry& e = md->mValues[i];
            bool finite = true;
            if (!e.mData) {
                continue;
            } else if (e.mType == AI_FLOAT) {
                finite = Finite(*static_cast<const float*>(e.mData));
            } else if (e.mType == AI_DOUBLE) {
                finite = Finite(*static_cast<const double*>(e.mData));
            } else if (e.mType == AI_AIVECTOR3D) {
                finite = Finite(*static_cast<const aiVector3D*>(e.mData));
            }
            if (!finite) {
                NotFinite(owner + ": the value of " + Quoted(md->mKeys[i]));
            }
        }
    }

    std::string MeshOwner(unsigned index) const {
        const auto it = m_meshOwner.find(index);
        return it != m_meshOwner.end() ? it->second : "mesh " + Quoted(m_ai.mMeshes[index]->mName);
    }

    void CheckMeshes() const {
        for (unsigned i = 0; m_ai.mMeshes && i < m_ai.mNumMeshes; ++i) {
            const aiMesh* m = m_ai.mMeshes[i];
            if (!m) {
                continue;
            }
            const std::string owner = MeshOwner(i);
            for (unsigned v = 0; m->mVertices && v < m->mNumVertices; ++v) {
                if (!Finite(m->mVertices[v])) {
                    NotFinite(owner + ": point " + std::to_string(v));
                }
            }
            for (unsigned t = 0; m->mAnimMeshes && t < m->mNumAnimMeshes; ++t) {
                const aiAnimMesh* am = m->mAnimMeshes[t];
                for (unsigned v = 0; am && am->mVertices && v < am->mNumVertices; ++v) {
                    if (!Finite(am->mVertices[v])) {
                        NotFinite(owner + ": morph target " + std::to_string(t) + " point " +
                                  std::to_string(v));
                    }
                }
                if (am && !Finite(am->mWeight)) {
                    NotFinite(owner + ": the weight of morph target " + std::to_string(t));
                }
            }
            for (unsigned b = 0; m->mBones && b < m->mNumBones; ++b) {
                const aiBone* bone = m->mBones[b];
                if (!bone) {
                    continue;
                }
                const std::string what = owner + ": bone " + Quoted(bone->mName);
                if (!Finite(bone->mOffsetMatrix)) {
                    NotFinite(what + " offset matrix");
                }
                for (unsigned w = 0; bone->mWeights && w < bone->mNumWeights; ++w) {
                    if (!Finite(bone->mWeights[w].mWeight)) {
                        NotFinite(what + " weight " + std::to_string(w));
                    }
                }
            }
        }
    }

    void CheckAnimations() const {
        for (unsigned a = 0; m_ai.mAnimations && a < m_ai.mNumAnimations; ++a) {
            const aiAnimation* anim = m_ai.mAnimations[a];
            if (!anim) {
                continue;
            }
            const std::string animName = "animation " + Quoted(anim->mName);
            if (!Finite(anim->mDuration) || !Finite(anim->mTicksPerSecond)) {
                NotFinite(animName + ": the duration or rate");
            }
            for (unsigned c = 0; anim->mChannels && c < anim->mNumChannels; ++c) {
                const aiNodeAnim* ch = anim->mChannels[c];
                if (!ch) {
                    continue;
                }
                const std::string owner = "node " + Quoted(ch->mNodeName) + " in " + animName;
                CheckKeys(ch->mPositionKeys, ch->mNumPositionKeys, owner, "translation");
                CheckKeys(ch->mRotationKeys, ch->mNumRotationKeys, owner, "rotation");
                CheckKeys(ch->mScalingKeys, ch->mNumScalingKeys, owner, "scale");
            }
            for (unsigned c = 0; anim->mMorphMeshChannels && c < anim->mNumMorphMeshChannels; ++c) {
                const aiMeshMorphAnim* ch = anim->mMorphMeshChannels[c];
                for (unsigned k = 0; ch && ch->mKeys && k < ch->mNumKeys; ++k) {
                    const aiMeshMorphKey& key = ch->mKeys[k];
                    bool finite = Finite(key.mTime);
                    for (unsigned j = 0; key.mWeights && j < key.mNumValuesAndWeights; ++j) {
                        finite = finite && Finite(key.mWeights[j]);
                    }
                    if (!finite) {
                        NotFinite("node " + Quoted(ch->mName) + " in " + animName +
                                  ": morph weight key " + std::to_string(k));
                    }
                }
            }
        }
    }

    // Each value the host reads from cameras and lights, by name.
    void CheckCamerasAndLights() const {
        for (unsigned i = 0; m_ai.mCameras && i < m_ai.mNumCameras; ++i) {
            const aiCamera* c = m_ai.mCameras[i];
            if (!c) {
                continue;
            }
            const std::pair<const char*, bool> values[] = {
                {"the field of view", Finite(c->mHorizontalFOV)},
                {"the aspect ratio", Finite(c->mAspect)},
                {"the position", Finite(c->mPosition)},
                {"the look-at direction", Finite(c->mLookAt)},
                {"the up direction", Finite(c->mUp)}};
            CheckValues("camera " + Quoted(c->mName), values);
        }
        for (unsigned i = 0; m_ai.mLights && i < m_ai.mNumLights; ++i) {
            const aiLight* l = m_ai.mLights[i];
            if (!l) {
                continue;
            }
            const std::pair<const char*, bool> values[] = {{"the colour", Finite(l->mColorDiffuse)},
                                                           {"the position", Finite(l->mPosition)},
                                                           {"the direction", Finite(l->mDirection)},
                                                           {"the up direction", Finite(l->mUp)}};
            CheckValues("light " + Quoted(l->mName), values);
        }
    }

    template <size_t N>
    static void CheckValues(const std::string& owner,
                            const std::pair<const char*, bool> (&values)[N]) {
        for (const auto& v : values) {
            if (!v.second) {
                NotFinite(owner + ": " + v.first);
            }
        }
    }

    const aiScene& m_ai;
    std::unordered_map<unsigned, std::string> m_meshOwner;
};

} // namespace

void ValidateImportedScene(const aiScene& scene) {
    Validator(scene).Run();
}

} // namespace host

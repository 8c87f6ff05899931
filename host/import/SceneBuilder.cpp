// Builds the host scene from a scene Assimp has read (see AssimpScene.h for
// what becomes of each node).
#include "host/app/HostApp.h"
#include "host/import/AnimTracks.h"
#include "host/import/CameraLight.h"
#include "host/import/AssimpScene.h"
#include "host/import/FileFacts.h"
#include "host/import/GltfData.h"
#include "host/import/ImportLimits.h"
#include "host/import/ImportNames.h"
#include "host/import/MeshDeform.h"
#include "host/import/NodeMetadata.h"
#include "host/import/Transforms.h"
#include "host/scene/Scene.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <locale>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace host {
namespace {

using namespace import_limits;

// The time of the last key of a node's curves (seconds).
double EndTime(const ColladaNodeCurves& curves) {
    double end = 0.0;
    for (const ColladaNodeCurves::Element& e : curves.elements) {
        for (const ColladaNodeCurves::Animation& a : e.animations) {
            end = std::max(end, a.curve->EndTime());
        }
    }
    return end;
}

// A number as text, whatever the process locale.
std::string NumberText(double v) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(10);
    text << v;
    return text.str();
}

// ---------------------------------------------------------------------------
// The scene builder.

class Builder {
  public:
    Builder(const aiScene& ai, const AssimpLoadOptions& options, bool isGltf, const GltfData* gltf,
            const FileFacts* file)
        : m_ai(ai), m_options(options), m_isGltf(isGltf), m_gltf(gltf), m_file(file) {}

    std::unique_ptr<Scene> Build(SceneFileInfo* info) {
        if (!m_ai.mRootNode) {
            throw SceneLoadError("the file holds no scene");
        }
        ChooseUnitsAndRate(info);
        m_scene = std::make_unique<Scene>();
        CollectNodes(m_ai.mRootNode);
        MatchGltfNodes();
        MatchObjObjects();
        FindSkeletonMeshes();
        ChooseAnimation();
        if (info) {
            info->animations.clear();
            for (unsigned i = 0; m_ai.mAnimations && i < m_ai.mNumAnimations; ++i) {
                info->animations.push_back(m_ai.mAnimations[i] ? m_ai.mAnimations[i]->mName.C_Str()
                                                               : "");
            }
            info->animation = m_animIndex;
        }
        ReadChannels();
        ClassifyNodes();
        NameItems();
        for (const aiNode* node : m_nodes) {
            if (m_info[node].isItem) {
                MakeItem(node);
            }
        }
        if (m_scene->ItemCount() == 0) {
            throw SceneLoadError("the file holds no scene items");
        }
        for (const aiNode* node : m_nodes) {
            if (m_info[node].kind == ItemKind::Mesh && m_info[node].isItem) {
                BuildMesh(node);
            }
        }
        for (const aiNode* node : m_nodes) {
            if (m_info[node].isItem) {
                ApplyNodeMetadata(node->mMetaData, m_info[node].item);
            }
        }
        if (m_file && m_file->collada) {
            for (const std::string& target : m_file->unreadCurves) {
                HostApp::Get().Log(Widen("the Collada animation of \"" + OneLine(target) +
                                         "\" moves a node of <library_nodes> in a way the "
                                         "importer does not follow; it is left out")
                                       .c_str(),
                                   XSI::siWarningMsg);
            }
            for (const std::string& target : m_file->lensLight.unread) {
                HostApp::Get().Log(Widen("the Collada animation of \"" + OneLine(target) +
                                         "\" animates nothing the importer reads; it is left out")
                                       .c_str(),
                                   XSI::siWarningMsg);
            }
        }
        SetFrameRange();
        return std::move(m_scene);
    }

  private:
    struct NodeInfo {
        bool isItem = false;
        ItemKind kind = ItemKind::Null;
        const aiCamera* camera = nullptr;
        const aiLight* light = nullptr;
        std::string name;
        Item* item = nullptr;
        Mat34 frame; // the file frame folded into a camera or light item
        std::shared_ptr<NodeChannel> channel;
        int objObject = -1;    // OBJ: the file's object the node is
        int64_t gltfNode = -1; // glTF: the file's node the node is
    };

    // The scale from the file's numbers to the scene's (metres unless the
    // file's units are kept) and the frame rate the scene is built for.
    void ChooseUnitsAndRate(SceneFileInfo* info) {
        const FileSettings settings = m_file ? m_file->settings : FileSettings{};
        if (settings.metresPerUnit > 0.0 && !m_options.keepUnits) {
            m_scale = settings.metresPerUnit;
        }
        m_assimpScale = m_file ? m_file->unitAppliedByAssimp : 1.0;
        m_fps = m_options.defaultFrameRate;
        if (m_options.frameRate > 0.0) {
            m_fps = m_options.frameRate;
        } else if (settings.frameRate > 0.0) {
            m_fps = settings.frameRate;
        }
        if (!(m_fps > 0.0) || !std::isfinite(m_fps)) {
            m_fps = 30.0;
        }
        if (info) {
            info->metresPerUnit = settings.metresPerUnit;
            info->fileFrameRate = settings.frameRate;
            info->frameRate = m_fps;
        }
    }

    // A node's transform in the scene's units: the translation scaled, and
    // Assimp's own unit scale taken out of the root.
    Mat34 NodeMatrix(const aiNode* node) const {
        if (const ColladaNodeCurves* curves = FileCurves(node)) {
            return Scaled(curves->At(0.0)); // the transform of a node without keys
        }
        Mat34 m = ToMat34(node->mTransformation);
        if (node == m_ai.mRootNode && m_assimpScale != 1.0) {
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c) {
                    m.m[r][c] /= m_assimpScale;
                }
            }
        }
        return Scaled(m);
    }
    // The file's own curves of a node (see ColladaCurves.h), or null.
    const ColladaNodeCurves* FileCurves(const aiNode* node) const {
        if (!m_file || node == m_ai.mRootNode) {
            return nullptr;
        }
        const auto it = m_file->curves.find(node->mName.C_Str());
        return it == m_file->curves.end() ? nullptr : it->second.get();
    }
    Mat34 Scaled(Mat34 m) const {
        for (int r = 0; r < 3; ++r) {
            m.m[r][3] *= m_scale;
        }
        return m;
    }

    void CollectNodes(const aiNode* root) {
        std::vector<const aiNode*> stack{root};
        while (!stack.empty()) {
            const aiNode* n = stack.back();
            stack.pop_back();
            m_nodes.push_back(n);
            m_info[n];
            for (unsigned i = n->mNumChildren; i > 0; --i) {
                if (n->mChildren && n->mChildren[i - 1] && !m_info.count(n->mChildren[i - 1])) {
                    stack.push_back(n->mChildren[i - 1]);
                }
            }
        }
        for (const aiNode* n : m_nodes) {
            m_byName.emplace(n->mName.C_Str(), n); // keeps the first of a name
            m_allByName[n->mName.C_Str()].push_back(n);
        }
    }

    // glTF: Assimp's nodes are the file's, in the same tree: the scene's one
    // top node is Assimp's root, several hang below a root of Assimp's own,
    // and each node's children are the file node's, in order. Items are
    // bound to the file's nodes by index (GltfLayout.h), never by name.
    void MatchGltfNodes() {
        if (!m_gltf) {
            return;
        }
        const GltfLayout& layout = m_gltf->Layout();
        std::vector<std::pair<const aiNode*, int64_t>> stack;
        const aiNode* root = m_ai.mRootNode;
        bool same = true;
        if (layout.sceneNodes.size() == 1) {
            stack.emplace_back(root, layout.sceneNodes[0]);
        } else if (root->mNumChildren == layout.sceneNodes.size()) {
            for (unsigned i = 0; i < root->mNumChildren; ++i) {
                stack.emplace_back(root->mChildren[i], layout.sceneNodes[i]);
            }
        } else {
            same = false;
        }
        while (same && !stack.empty()) {
            const auto [node, index] = stack.back();
            stack.pop_back();
            const bool known = index >= 0 && static_cast<uint64_t>(index) < layout.nodes.size();
            const GltfNodeInfo* info = known ? &layout.nodes[static_cast<size_t>(index)] : nullptr;
            same = node && info && node->mNumChildren == info->children.size() &&
                   (node->mNumChildren == 0 || node->mChildren);
            if (!same) {
                break;
            }
            m_info[node].gltfNode = index;
            for (unsigned k = 0; k < node->mNumChildren; ++k) {
                stack.emplace_back(node->mChildren[k], info->children[k]);
            }
        }
        if (!same) {
            throw SceneLoadError("glTF: the node hierarchy Assimp read is not the file's");
        }
        for (const aiNode* n : m_nodes) {
            if (m_info[n].gltfNode >= 0) {
                m_gltfNodes.emplace(m_info[n].gltfNode, n); // the first in the hierarchy
            }
        }
    }
    // The node of the file's node `index` (the first, should the scene show
    // it twice), or nullptr.
    const aiNode* GltfNode(int64_t index) const {
        const auto it = m_gltfNodes.find(index);
        return it == m_gltfNodes.end() ? nullptr : it->second;
    }
    const GltfNodeInfo* GltfInfo(const aiNode* node) {
        const int64_t index = m_info[node].gltfNode;
        return m_gltf && index >= 0 ? &m_gltf->Layout().nodes[static_cast<size_t>(index)] : nullptr;
    }

    // OBJ: the nodes below the root are the file's objects in the order
    // Assimp makes them (ObjFile); each keeps every vertex of its object.
    void MatchObjObjects() {
        if (!m_file || !m_file->objects) {
            return;
        }
        const VertexMapper& objects = *m_file->objects;
        const aiNode* root = m_ai.mRootNode;
        bool same = root->mNumChildren == objects.MeshCount();
        for (unsigned i = 0; same && i < root->mNumChildren; ++i) {
            same = root->mChildren && root->mChildren[i] &&
                   objects.MeshAt(i).users.front() == root->mChildren[i]->mName.C_Str();
        }
        if (!same) {
            HostApp::Get().Log(L"the OBJ objects Assimp read are not those of the file: each "
                               L"mesh keeps only the vertices its polygons use",
                               XSI::siWarningMsg);
            return;
        }
        for (unsigned i = 0; i < root->mNumChildren; ++i) {
            m_info[root->mChildren[i]].objObject = static_cast<int>(i);
        }
    }
    bool HasObjPoints(const aiNode* node) {
        const int k = m_info[node].objObject;
        return k >= 0 && !m_file->objects->MeshAt(static_cast<size_t>(k)).positions.empty();
    }

    const aiNode* FindNode(const aiString& name) const {
        auto it = m_byName.find(name.C_Str());
        return it == m_byName.end() ? nullptr : it->second;
    }

    // Assimp makes up a skeleton mesh for some files without geometry: it
    // marks the scene incomplete and gives the mesh its own material.
    void FindSkeletonMeshes() {
        if (!(m_ai.mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
            return;
        }
        for (unsigned i = 0; i < m_ai.mNumMeshes; ++i) {
            const aiMesh* mesh = m_ai.mMeshes[i];
            if (!mesh || mesh->mMaterialIndex >= m_ai.mNumMaterials) {
                continue;
            }
            aiString name;
            if (m_ai.mMaterials[mesh->mMaterialIndex]->Get(AI_MATKEY_NAME, name) == AI_SUCCESS &&
                std::strcmp(name.C_Str(), "SkeletonMaterial") == 0) {
                m_skeletonMeshes.insert(i);
            }
        }
    }

    // The node's meshes that belong to the file.
    std::vector<const aiMesh*> MeshesOf(const aiNode* node) const {
        std::vector<const aiMesh*> meshes;
        for (unsigned i = 0; node->mMeshes && i < node->mNumMeshes; ++i) {
            const unsigned index = node->mMeshes[i];
            if (index < m_ai.mNumMeshes && m_ai.mMeshes[index] && !m_skeletonMeshes.count(index)) {
                meshes.push_back(m_ai.mMeshes[index]);
            }
        }
        return meshes;
    }

    void ChooseAnimation() {
        const unsigned count = m_ai.mAnimations ? m_ai.mNumAnimations : 0;
        if (m_options.animation.empty()) {
            m_animIndex = count > 0 ? 0 : -1;
        } else {
            for (unsigned i = 0; i < count && m_animIndex < 0; ++i) {
                if (m_ai.mAnimations[i] &&
                    m_options.animation == m_ai.mAnimations[i]->mName.C_Str()) {
                    m_animIndex = static_cast<int>(i);
                }
            }
            const std::string& text = m_options.animation;
            if (m_animIndex < 0 && text.size() <= 9 &&
                text.find_first_not_of("0123456789") == std::string::npos) {
                const long index = std::stol(text);
                if (index < static_cast<long>(count)) {
                    m_animIndex = static_cast<int>(index);
                }
            }
            if (m_animIndex < 0) {
                std::string names;
                for (unsigned i = 0; i < count; ++i) {
                    names += i ? ", " : ": ";
                    names += m_ai.mAnimations[i] ? m_ai.mAnimations[i]->mName.C_Str() : "";
                }
                throw SceneLoadError("no animation \"" + text + "\" (the file has " +
                                     std::to_string(count) + " animation" +
                                     (count == 1 ? "" : "s") + names + ")");
            }
        }
        m_anim = m_animIndex >= 0 ? m_ai.mAnimations[m_animIndex] : nullptr;
        if (m_anim) {
            // The file's rate of its animation's time (frames per second
            // for the formats that count frames): 0 names none.
            const double tps = m_anim->mTicksPerSecond;
            if (tps != 0.0 && !(tps >= kMinFileRate && tps <= kMaxFileRate)) {
                throw SceneLoadError("animation \"" + std::string(m_anim->mName.C_Str()) +
                                     "\" runs at " + NumberText(tps) +
                                     " ticks per second, outside 0.001 to 100000");
            }
            m_ticksPerSecond = tps > 0.0 ? tps : kDefaultTicksPerSecond;
            // Assimp counts an FBX animation from its stack's start.
            const auto& starts = m_file ? m_file->settings.animationStarts
                                        : std::vector<std::pair<std::string, double>>{};
            for (size_t i = 0; i < starts.size(); ++i) {
                if (starts[i].first == m_anim->mName.C_Str() ||
                    (i == static_cast<size_t>(m_animIndex) &&
                     std::none_of(starts.begin(), starts.end(), [this](const auto& s) {
                         return s.first == m_anim->mName.C_Str();
                     }))) {
                    m_tickOffset = -starts[i].second * m_ticksPerSecond;
                    break;
                }
            }
        }
    }

    // The chosen animation as the glTF file has it, or nullptr.
    const GltfAnimationInfo* GltfAnimation() const {
        if (!m_gltf || !m_anim || m_animIndex < 0) {
            return nullptr;
        }
        const auto& animations = m_gltf->Layout().animations;
        const size_t index = static_cast<size_t>(m_animIndex);
        return index < animations.size() ? &animations[index] : nullptr;
    }

    // A glTF node's channel from the file's samplers (translation, rotation,
    // scale; -1 for none): keys, interpolation and the node's own values for
    // the parts without a sampler, as Assimp would have made them.
    std::shared_ptr<NodeChannel> GltfChannel(const aiNode* node, const GltfNodeInfo& info,
                                             const int64_t samplers[3]) {
        auto nc = std::make_shared<NodeChannel>();
        nc->fps = m_fps;
        nc->ticksPerSecond = m_ticksPerSecond;
        nc->tickOffset = m_tickOffset;
        nc->rest = Decompose(NodeMatrix(node));
        const double k = m_scale;
        const size_t anim = static_cast<size_t>(m_animIndex);
        auto keysOf = [&](int part, size_t width, bool present, const float* own) {
            GltfKeys keys;
            if (samplers[part] >= 0) {
                keys = m_gltf->Keys(anim, samplers[part], width);
            } else if (present) {
                keys.width = width;
                keys.ticks = {0.0};
                keys.values.assign(own, own + width);
            }
            return keys;
        };
        auto track = [](const GltfKeys& keys, auto value) {
            std::vector<std::pair<double, decltype(value(keys.values.data()))>> pairs;
            for (size_t i = 0; i < keys.ticks.size(); ++i) {
                pairs.emplace_back(keys.ticks[i], value(&keys.values[i * keys.width]));
            }
            return MakeTrack(std::move(pairs), keys.interp == GltfInterp::Step);
        };
        const GltfKeys parts[3] = {keysOf(0, 3, info.hasTranslation, info.translation),
                                   keysOf(1, 4, info.hasRotation, info.rotation),
                                   keysOf(2, 3, info.hasScale, info.scale)};
        nc->position = track(parts[0], [k](const float* v) { return Vec3{v[0], v[1], v[2]} * k; });
        nc->rotation = track(parts[1], [](const float* v) { return Quat{v[0], v[1], v[2], v[3]}; });
        nc->scaling = track(parts[2], [](const float* v) { return Vec3{v[0], v[1], v[2]}; });
        if (std::none_of(std::begin(parts), std::end(parts),
                         [](const GltfKeys& p) { return p.interp == GltfInterp::CubicSpline; })) {
            return nc;
        }
        // Cubic-spline parts follow their curves (the others their keys, as
        // above); the tracks still tell which parts are animated.
        struct Parts {
            GltfKeys cubic[3];
            Track<Vec3> position, scaling;
            Track<Quat> rotation;
            SRT rest;
            double ticksPerSecond;
            double tickOffset;
        };
        auto shared = std::make_shared<Parts>();
        for (int p = 0; p < 3; ++p) {
            if (parts[p].interp == GltfInterp::CubicSpline) {
                shared->cubic[p] = parts[p];
            }
        }
        shared->position = nc->position;
        shared->rotation = nc->rotation;
        shared->scaling = nc->scaling;
        shared->rest = nc->rest;
        shared->ticksPerSecond = nc->ticksPerSecond;
        shared->tickOffset = nc->tickOffset;
        nc->curve = [shared, k](double seconds) {
            const Parts& p = *shared;
            const double tick = seconds * p.ticksPerSecond + p.tickOffset;
            const aiAnimBehaviour hold = aiAnimBehaviour_DEFAULT;
            double v[4];
            Vec3 t = EvalTrack(p.position, tick, hold, hold, p.rest.t);
            if (!p.cubic[0].seconds.empty()) {
                CubicSplineAt(p.cubic[0], seconds, v);
                t = Vec3{v[0], v[1], v[2]} * k;
            }
            Quat r = EvalTrack(p.rotation, tick, hold, hold, p.rest.r);
            if (!p.cubic[1].seconds.empty()) {
                CubicSplineAt(p.cubic[1], seconds, v);
                r = Normalize(Quat{v[0], v[1], v[2], v[3]});
            }
            Vec3 s = EvalTrack(p.scaling, tick, hold, hold, p.rest.s);
            if (!p.cubic[2].seconds.empty()) {
                CubicSplineAt(p.cubic[2], seconds, v);
                s = Vec3{v[0], v[1], v[2]};
            }
            return MatrixFromSRT(s, r, t);
        };
        return nc;
    }

    // glTF: the channels of the chosen animation, node by node index; a node
    // the scene shows twice moves alike in both places.
    void ReadGltfChannels() {
        const GltfAnimationInfo* anim = GltfAnimation();
        if (!anim) {
            return;
        }
        // Per node: its translation, rotation and scale samplers (the last
        // channel of a path counts, as in Assimp).
        std::map<int64_t, std::array<int64_t, 3>> byNode;
        for (const GltfChannelInfo& ch : anim->channels) {
            if (ch.path != GltfPath::Weights) {
                auto it = byNode.try_emplace(ch.node, std::array<int64_t, 3>{-1, -1, -1}).first;
                it->second[static_cast<int>(ch.path)] = ch.sampler;
            }
        }
        for (const aiNode* node : m_nodes) {
            const auto it = byNode.find(m_info[node].gltfNode);
            if (it != byNode.end()) {
                m_info[node].channel = GltfChannel(node, *GltfInfo(node), it->second.data());
            }
        }
    }

    void ReadChannels() {
        if (m_gltf) {
            ReadGltfChannels();
            return;
        }
        for (unsigned i = 0; m_anim && m_anim->mChannels && i < m_anim->mNumChannels; ++i) {
            const aiNodeAnim* ch = m_anim->mChannels[i];
            if (!ch) {
                continue;
            }
            // Collada names a node by its id, which a node the scene shows
            // twice (<instance_node>) keeps in both places: both move.
            std::vector<const aiNode*> nodes;
            if (m_file && m_file->collada) {
                const auto all = m_allByName.find(ch->mNodeName.C_Str());
                if (all != m_allByName.end()) {
                    nodes = all->second;
                }
            } else if (const aiNode* node = FindNode(ch->mNodeName)) {
                nodes.push_back(node);
            }
            for (const aiNode* node : nodes) {
                if (!m_info[node].channel) {
                    m_info[node].channel = NodeChannelOf(node, *ch);
                }
            }
        }
        // Nodes that the file's curves move but Assimp gave no channel (a
        // sampler that several channels share keeps only its last one; a
        // node of <library_nodes> keeps none, in any of its instances).
        if (m_file && m_file->collada) {
            for (const auto& [name, curves] : m_file->curves) {
                const bool moves = std::any_of(
                    curves->elements.begin(), curves->elements.end(),
                    [](const ColladaNodeCurves::Element& e) { return !e.animations.empty(); });
                const auto all = moves ? m_allByName.find(name) : m_allByName.end();
                for (size_t i = 0; all != m_allByName.end() && i < all->second.size(); ++i) {
                    const aiNode* node = all->second[i];
                    m_curveEnd = std::max(m_curveEnd, EndTime(*curves));
                    if (!m_info[node].channel) {
                        aiNodeAnim none; // no keys: the curves are the motion
                        none.mNodeName = aiString(name);
                        m_info[node].channel = NodeChannelOf(node, none);
                        m_info[node].channel->curveOnly = true;
                    }
                }
            }
        }
    }

    // The channel of a node from Assimp's keys (and the file's own curves
    // where ColladaCurves.h has them).
    std::shared_ptr<NodeChannel> NodeChannelOf(const aiNode* node, const aiNodeAnim& anim) {
        const aiNodeAnim* ch = &anim;
        auto nc = std::make_shared<NodeChannel>();
        const std::string name = ch->mNodeName.C_Str();
        nc->fps = m_fps;
        nc->ticksPerSecond = m_ticksPerSecond;
        nc->tickOffset = m_tickOffset;
        nc->rest = Decompose(NodeMatrix(node));
        const double k = m_scale;
        nc->position = MakeTrack<aiVectorKey, Vec3>(
            ch->mPositionKeys, ch->mNumPositionKeys,
            [k](const aiVector3D& v) { return ToVec3(v) * k; }, false);
        nc->rotation =
            MakeTrack<aiQuatKey, Quat>(ch->mRotationKeys, ch->mNumRotationKeys, ToQuat, false);
        nc->scaling =
            MakeTrack<aiVectorKey, Vec3>(ch->mScalingKeys, ch->mNumScalingKeys, ToVec3, false);
        nc->pre = ch->mPreState;
        nc->post = ch->mPostState;
        if (FileCurves(node)) {
            std::shared_ptr<const ColladaNodeCurves> c = m_file->curves.at(name);
            nc->curve = [c, k](double seconds) {
                Mat34 m = c->At(seconds);
                for (auto& row : m.m) {
                    row[3] *= k;
                }
                return m;
            };
        }
        return nc;
    }

    // The file's cameras and lights. glTF: the camera and light a node
    // shows, by index. Other formats name a camera or light after its node,
    // one per node that shows it, in the order of the hierarchy: the k-th of
    // a name goes to the k-th node of that name.
    void BindCamerasAndLights() {
        if (m_gltf) {
            for (const aiNode* node : m_nodes) {
                const GltfNodeInfo* info = GltfInfo(node);
                if (info && m_ai.mCameras && info->camera >= 0 &&
                    info->camera < static_cast<int64_t>(m_ai.mNumCameras)) {
                    m_info[node].camera = m_ai.mCameras[info->camera];
                }
                if (info && m_ai.mLights && info->light >= 0 &&
                    info->light < static_cast<int64_t>(m_ai.mNumLights)) {
                    m_info[node].light = m_ai.mLights[info->light];
                }
            }
            return;
        }
        std::map<std::string, size_t> taken;
        auto next = [&](const aiString& name, bool camera) -> const aiNode* {
            const auto nodes = m_allByName.find(name.C_Str());
            size_t& k = taken[std::string(camera ? "c" : "l") + name.C_Str()];
            return nodes == m_allByName.end() || k >= nodes->second.size() ? nullptr
                                                                           : nodes->second[k++];
        };
        for (unsigned i = 0; m_ai.mCameras && i < m_ai.mNumCameras; ++i) {
            if (const aiNode* node =
                    m_ai.mCameras[i] ? next(m_ai.mCameras[i]->mName, true) : nullptr) {
                m_info[node].camera = m_ai.mCameras[i];
            }
        }
        for (unsigned i = 0; m_ai.mLights && i < m_ai.mNumLights; ++i) {
            if (const aiNode* node =
                    m_ai.mLights[i] ? next(m_ai.mLights[i]->mName, false) : nullptr) {
                m_info[node].light = m_ai.mLights[i];
            }
        }
    }

    // The nodes that skin a mesh: glTF, the joints of the skins of its mesh
    // nodes; Collada, those of the file's skins too; other formats, the nodes
    // its bones name.
    std::set<const aiNode*> Joints() {
        std::set<const aiNode*> joints;
        if (m_file) {
            for (const auto& [node, skin] : m_file->skins) {
                for (const std::string& id : skin->jointNodes) {
                    const auto nodes = m_allByName.find(id);
                    if (!id.empty() && nodes != m_allByName.end()) {
                        joints.insert(nodes->second.front());
                    }
                }
            }
        }
        for (const aiNode* node : m_nodes) {
            if (const GltfNodeInfo* info = GltfInfo(node)) {
                const auto& skins = m_gltf->Layout().skins;
                if (info->skin >= 0 && static_cast<uint64_t>(info->skin) < skins.size() &&
                    !MeshesOf(node).empty()) {
                    for (int64_t j : skins[static_cast<size_t>(info->skin)].joints) {
                        if (const aiNode* n = GltfNode(j)) {
                            joints.insert(n);
                        }
                    }
                }
                continue;
            }
            for (const aiMesh* mesh : MeshesOf(node)) {
                for (unsigned b = 0; mesh->mBones && b < mesh->mNumBones; ++b) {
                    if (const aiNode* j =
                            mesh->mBones[b] ? FindNode(mesh->mBones[b]->mName) : nullptr) {
                        joints.insert(j);
                    }
                }
            }
        }
        return joints;
    }

    void ClassifyNodes() {
        BindCamerasAndLights();
        const std::set<const aiNode*> joints = Joints();
        for (const aiNode* node : m_nodes) {
            NodeInfo& info = m_info[node];
            if (!MeshesOf(node).empty() || HasObjPoints(node)) {
                info.kind = ItemKind::Mesh;
            } else if (info.camera) {
                info.kind = ItemKind::Camera;
                const aiCamera& c = *info.camera;
                // glTF's importer copies the node's translation into the
                // camera's position, though the node already places it.
                const Vec3 pos = m_isGltf ? Vec3{} : ToVec3(c.mPosition) * m_scale;
                info.frame = FileFrame(pos, ToVec3(c.mLookAt), ToVec3(c.mUp));
            } else if (info.light) {
                info.kind = ItemKind::Light;
                const aiLight& l = *info.light;
                const bool directed =
                    l.mType == aiLightSource_DIRECTIONAL || l.mType == aiLightSource_SPOT;
                info.frame =
                    FileFrame(ToVec3(l.mPosition) * m_scale,
                              directed ? ToVec3(l.mDirection) : Vec3{0, 0, -1}, ToVec3(l.mUp));
            }
            info.isItem =
                node != m_ai.mRootNode || info.kind != ItemKind::Null || joints.count(node) > 0;
        }
    }

    void NameItems() {
        std::unordered_set<std::string> wanted;
        for (const aiNode* node : m_nodes) {
            NodeInfo& info = m_info[node];
            if (!info.isItem) {
                continue;
            }
            info.name = CleanName(node->mName.C_Str());
            if (info.name.empty()) {
                info.name = info.kind == ItemKind::Mesh     ? "mesh"
                            : info.kind == ItemKind::Camera ? "camera"
                            : info.kind == ItemKind::Light  ? "light"
                                                            : "null";
            }
            wanted.insert(info.name);
        }
        UniqueNames names(std::move(wanted));
        for (const aiNode* node : m_nodes) {
            NodeInfo& info = m_info[node];
            if (info.isItem) {
                info.name = names.Take(info.name);
            }
        }
        // Full names grow with the depth: refuse the first one past the
        // limit instead of building names of megabytes.
        std::unordered_map<const aiNode*, size_t> fullLength;
        for (const aiNode* node : m_nodes) {
            if (m_info[node].isItem) {
                const aiNode* parent = ParentItemNode(node);
                const size_t length =
                    (parent ? fullLength[parent] + 1 : 0) + m_info[node].name.size();
                if (length > kMaxFullName) {
                    throw SceneLoadError("the full name of item \"" + m_info[node].name +
                                         "\" is longer than " + std::to_string(kMaxFullName) +
                                         " characters");
                }
                fullLength[node] = length;
            }
        }
    }

    NodeMotion MotionOf(const aiNode* node) {
        NodeMotion m;
        m.channel = m_info[node].channel;
        m.matrix = NodeMatrix(node);
        return m;
    }

    // The nearest ancestor that is an item, or nullptr.
    const aiNode* ParentItemNode(const aiNode* node) {
        for (const aiNode* p = node->mParent; p; p = p->mParent) {
            if (m_info.count(p) && m_info[p].isItem) {
                return p;
            }
        }
        return nullptr;
    }

    void MakeItem(const aiNode* node) {
        NodeInfo& info = m_info[node];
        const aiNode* parentNode = ParentItemNode(node);
        Item* parent = parentNode ? m_info[parentNode].item : nullptr;
        Item* item = info.kind == ItemKind::Light
                         ? m_scene->AddLight(Widen(info.name), parent)
                         : m_scene->AddItem(info.kind, Widen(info.name), parent);
        info.item = item;
        SetTransform(node, parentNode, item);
        SetAttributes(node);
    }

    void SetTransform(const aiNode* node, const aiNode* parentNode, Item* item) {
        const NodeInfo& info = m_info[node];
        // The local transform: the node's own, with the root's folded into
        // the top items and the file frames of cameras and lights kept out of
        // their children.
        const Mat34 before = parentNode ? Inverse(m_info[parentNode].frame) : Mat34{};
        const bool foldRoot = !parentNode && node != m_ai.mRootNode;
        const NodeMotion root = MotionOf(m_ai.mRootNode);
        const bool rootMatters = foldRoot && (root.channel || !IsIdentity(root.matrix));
        const NodeMotion own = MotionOf(node);
        if (!IsIdentity(before) || rootMatters || !IsIdentity(info.frame)) {
            if (!own.channel && !(rootMatters && root.channel)) {
                Mat34 m = own.matrix;
                if (rootMatters) {
                    m = Mul(root.matrix, m);
                }
                SetConstantMatrix(item, Mul(Mul(before, m), info.frame));
                return;
            }
            auto composed =
                std::make_shared<const ComposedMotion>(before, root, rootMatters, own, info.frame);
            if (KeepsMatrix(node) || (rootMatters && KeepsMatrix(m_ai.mRootNode))) {
                item->SetLocalMatrixFunction([composed](double f) { return composed->Matrix(f); });
                return;
            }
            item->Scaling().SetFunction([composed](double f) { return composed->At(f).s; });
            item->Rotation().SetFunction([composed](double f) { return composed->At(f).r; });
            item->Translation().SetFunction([composed](double f) { return composed->At(f).t; });
            return;
        }
        if (!own.channel) {
            SetConstantMatrix(item, own.matrix);
            return;
        }
        std::shared_ptr<const NodeChannel> ch = own.channel;
        if (KeepsMatrix(node)) {
            item->SetLocalMatrixFunction([ch](double f) { return ch->Matrix(f); });
            return;
        }
        if (ch->scaling.Count() > 1 || ch->curveOnly) {
            item->Scaling().SetFunction([ch](double f) { return ch->Scaling(f); });
        } else {
            item->Scaling().Set(ch->Scaling(0.0));
        }
        if (ch->rotation.Count() > 1 || ch->curveOnly) {
            item->Rotation().SetFunction([ch](double f) { return ch->Rotation(f); });
        } else {
            item->Rotation().Set(ch->Rotation(0.0));
        }
        if (ch->position.Count() > 1 || ch->curveOnly) {
            item->Translation().SetFunction([ch](double f) { return ch->Position(f); });
        } else {
            item->Translation().Set(ch->Position(0.0));
        }
    }

    // Whether the node's transform is a whole matrix the file animates
    // (a Collada <matrix>), which may shear: the item keeps the matrix.
    bool KeepsMatrix(const aiNode* node) const {
        const ColladaNodeCurves* curves = FileCurves(node);
        return curves && curves->AnimatesMatrix() && m_info.at(node).channel;
    }

    // A constant transform: as scaling, rotation and translation, or as the
    // matrix itself when it shears (its axes are not at right angles).
    static void SetConstantMatrix(Item* item, const Mat34& m) {
        if (!HasShear(m)) {
            SetConstant(item, Decompose(m));
            return;
        }
        item->SetLocalMatrixFunction([m](double) { return m; });
    }

    static void SetConstant(Item* item, const SRT& srt) {
        item->Scaling().Set(srt.s);
        item->Rotation().Set(srt.r);
        item->Translation().Set(srt.t);
    }

    void SetAttributes(const aiNode* node) {
        const NodeInfo& info = m_info[node];
        if (info.kind == ItemKind::Camera && info.camera) {
            SetCameraParams(*info.camera, m_isGltf, info.item);
        } else if (info.kind == ItemKind::Light && info.light) {
            SetLightParams(*info.light, info.item);
        }
        if (m_file && m_file->collada) {
            AnimateLensAndLight(node);
        }
    }

    // Collada: a camera's animated lens ("fov", horizontal, and "aspect")
    // and a light's animated colour (the shader's "color" and "intensity"),
    // at the file's time of each frame (ColladaLensLight.h).
    void AnimateLensAndLight(const aiNode* node) {
        const NodeInfo& info = m_info[node];
        const double fps = m_fps;
        const ColladaLensLight& file = m_file->lensLight;
        if (info.kind == ItemKind::Camera) {
            const auto it = file.lenses.find(node->mName.C_Str());
            if (it == file.lenses.end()) {
                return;
            }
            std::shared_ptr<const ColladaLens> lens = it->second;
            if (!std::isfinite(lens->HorizontalFov(0.0))) {
                HostApp::Get().Log(Widen("camera \"" + info.name +
                                         "\": its animated lens gives no horizontal angle "
                                         "(no xfov, or no yfov and aspect ratio); left out")
                                       .c_str(),
                                   XSI::siWarningMsg);
                return;
            }
            info.item->GetParam(L"fov")->Value().SetFunction(
                [lens, fps](double f) { return lens->HorizontalFov(f / fps); });
            info.item->GetParam(L"fovtype")->Value().Set(1.0);
            if (lens->aspectCurve) {
                info.item->GetParam(L"aspect")->Value().SetFunction(
                    [lens, fps](double f) { return lens->Aspect(f / fps); });
            }
        } else if (info.kind == ItemKind::Light && info.light) {
            const auto it = file.lights.find(node->mName.C_Str());
            if (it == file.lights.end()) {
                return;
            }
            std::shared_ptr<const ColladaLightColor> light = it->second;
            // Assimp's colour is the file's times the light's intensity (1
            // unless the file gives one): the animated colour is scaled alike.
            const aiColor3D& read = info.light->mColorDiffuse;
            const double fileMax = std::max({light->color[0], light->color[1], light->color[2]});
            const double readMax = std::max({read.r, read.g, read.b});
            const double k = fileMax > 0.0 && readMax > 0.0 ? readMax / fileMax : 1.0;
            auto split = [light, k, fps](double f, Color* color, double* intensity) {
                double rgb[3];
                light->At(f / fps, rgb);
                for (double& c : rgb) {
                    c *= k;
                }
                SplitLightColor(rgb, color, intensity);
            };
            LightShader* shader = info.item->GetShaders().front().get();
            shader->GetParam(L"color")->ColorValue().SetFunction([split](double f) {
                Color color;
                double intensity = 0.0;
                split(f, &color, &intensity);
                return color;
            });
            shader->GetParam(L"intensity")->Value().SetFunction([split](double f) {
                Color color;
                double intensity = 0.0;
                split(f, &color, &intensity);
                return intensity;
            });
        }
    }

    // The points of a mesh node: the file's own vertices where the format
    // has a reader, else Assimp's vertices, mesh after mesh.
    ItemVertices VerticesOf(const aiNode* node, const std::vector<const aiMesh*>& meshes) {
        bool anyPolygon = false;
        for (const aiMesh* m : meshes) {
            for (unsigned f = 0; m->mFaces && m->mVertices && f < m->mNumFaces; ++f) {
                anyPolygon = anyPolygon || m->mFaces[f].mNumIndices >= 3;
            }
        }
        ItemVertices out;
        const int objObject = m_info[node].objObject;
        if (objObject >= 0) {
            if (!m_file->objects->MapOnto(static_cast<size_t>(objObject), meshes, &out)) {
                throw SceneLoadError("mesh \"" + m_info[node].name +
                                     "\": its polygon corners do not map onto the file's vertices");
            }
        } else if (!m_file || !m_file->mapper || !anyPolygon) {
            out = AssimpVertices(meshes);
        } else if (!m_file->mapper->Map(node->mName.C_Str(), meshes, &out)) {
            throw SceneLoadError("mesh \"" + m_info[node].name +
                                 "\": its polygon corners do not map onto the file's vertices");
        }
        double largest = 0.0;
        double largestScene = 0.0;
        for (Vec3& p : out.points) {
            largest = std::max({largest, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
            p = p * m_scale;
            largestScene = std::max({largestScene, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
        }
        // A point out of float range, or one the unit takes there (or
        // shrinks to 0 with every other), bakes as infinities or collapses.
        if (!(largest <= kMaxCoordinate)) {
            throw SceneLoadError("mesh \"" + m_info[node].name +
                                 "\": a vertex is not a finite number or lies out of range");
        }
        if (!(largestScene <= kMaxCoordinate) ||
            (largest > 0.0 && largestScene < std::numeric_limits<float>::min())) {
            throw SceneLoadError("its unit of " + NumberText(m_scale) +
                                 " metres takes the points of mesh \"" + m_info[node].name +
                                 "\" out of float range");
        }
        return out;
    }

    void BuildMesh(const aiNode* node) {
        Mesh* mesh = m_info[node].item->GetMesh();
        const std::vector<const aiMesh*> meshes = MeshesOf(node);
        ItemVertices vertices = VerticesOf(node, meshes);
        mesh->SetPoints(vertices.points);
        // The polygons are no longer needed here: the mesh takes them over.
        mesh->SetPolygons(std::move(vertices.polygonSizes), std::move(vertices.polygonPoints));
        BuildMorphs(node, meshes, vertices);
        BuildSkin(node, meshes, vertices);
    }

    // The animation's morph channel of a node: named after the node, or
    // (FBX) after the node or one of its meshes with "*" and a number.
    const aiMeshMorphAnim* MorphChannelOf(const aiNode* node,
                                          const std::vector<const aiMesh*>& meshes) const {
        for (unsigned i = 0;
             m_anim && m_anim->mMorphMeshChannels && i < m_anim->mNumMorphMeshChannels; ++i) {
            const aiMeshMorphAnim* c = m_anim->mMorphMeshChannels[i];
            if (!c) {
                continue;
            }
            const std::string name = c->mName.C_Str();
            if (name == node->mName.C_Str()) {
                return c;
            }
            const size_t star = name.rfind('*');
            if (star == std::string::npos) {
                continue;
            }
            const std::string stem = name.substr(0, star);
            if (stem == node->mName.C_Str()) {
                return c;
            }
            for (const aiMesh* m : meshes) {
                if (stem == m->mName.C_Str()) {
                    return c;
                }
            }
        }
        return nullptr;
    }

    void BuildMorphs(const aiNode* node, const std::vector<const aiMesh*>& meshes,
                     const ItemVertices& vertices) {
        unsigned targets = 0;
        for (const aiMesh* m : meshes) {
            if (m->mAnimMeshes) {
                targets = std::max(targets, m->mNumAnimMeshes);
            }
        }
        if (targets == 0) {
            return;
        }
        // One weight track per target index (a target missing from a key
        // weighs 0 there). glTF: the node's weights, else its mesh's, and the
        // file's keys of the node's weights channel, all by index (Assimp
        // raises a negative key to 0); other formats: Assimp's weights and
        // morph channel.
        const GltfNodeInfo* gltfNode = GltfInfo(node);
        const aiMeshMorphAnim* channel = gltfNode ? nullptr : MorphChannelOf(node, meshes);
        std::vector<double> gltfWeights;
        GltfKeys gltfKeys;
        if (gltfNode) {
            const GltfLayout& layout = m_gltf->Layout();
            if (gltfNode->hasWeights) {
                gltfWeights = gltfNode->weights;
            } else if (gltfNode->mesh >= 0 &&
                       static_cast<uint64_t>(gltfNode->mesh) < layout.meshWeights.size()) {
                gltfWeights = layout.meshWeights[static_cast<size_t>(gltfNode->mesh)];
            }
            if (const GltfAnimationInfo* anim = GltfAnimation()) {
                int64_t sampler = -1;
                for (const GltfChannelInfo& ch : anim->channels) {
                    if (ch.path == GltfPath::Weights && ch.node == m_info[node].gltfNode) {
                        sampler = ch.sampler;
                    }
                }
                if (sampler >= 0) {
                    gltfKeys = m_gltf->Keys(static_cast<size_t>(m_animIndex), sampler, 0);
                }
            }
        }
        std::shared_ptr<const GltfKeys> cubicWeights;
        if (gltfKeys.interp == GltfInterp::CubicSpline && !gltfKeys.seconds.empty()) {
            cubicWeights = std::make_shared<const GltfKeys>(gltfKeys);
        }
        Mesh* mesh = m_info[node].item->GetMesh();
        // Targets that move the points alike (a file's targets that read one
        // array) share one copy of their offsets, found by a hash of them.
        std::unordered_multimap<uint64_t, std::shared_ptr<const std::vector<Vec3>>> kept;
        for (unsigned t = 0; t < targets; ++t) {
            std::vector<Vec3> computed = MorphDeltas(meshes, vertices, t, m_scale);
            uint64_t hash = 14695981039346656037ull;
            for (const Vec3& d : computed) {
                for (const double v : {d.x, d.y, d.z}) {
                    uint64_t bits = 0;
                    std::memcpy(&bits, &v, sizeof bits);
                    hash = (hash ^ bits) * 1099511628211ull;
                }
            }
            std::shared_ptr<const std::vector<Vec3>> deltas;
            const auto same = kept.equal_range(hash);
            for (auto it = same.first; it != same.second && !deltas; ++it) {
                if (std::equal(computed.begin(), computed.end(), it->second->begin(),
                               it->second->end(), [](const Vec3& a, const Vec3& b) {
                                   return a.x == b.x && a.y == b.y && a.z == b.z;
                               })) {
                    deltas = it->second;
                }
            }
            if (!deltas) {
                deltas = std::make_shared<const std::vector<Vec3>>(std::move(computed));
                kept.emplace(hash, deltas);
            }
            double weight = 0.0;
            bool weightSet = false;
            std::string name;
            for (size_t mi = 0; mi < meshes.size(); ++mi) {
                const aiMesh* m = meshes[mi];
                if (!m->mAnimMeshes || t >= m->mNumAnimMeshes || !m->mAnimMeshes[t]) {
                    continue;
                }
                const aiAnimMesh* am = m->mAnimMeshes[t];
                if (!weightSet) {
                    weight = std::isfinite(am->mWeight) ? am->mWeight : 0.0;
                    name = CleanName(am->mName.C_Str());
                    weightSet = true;
                }
            }
            if (name.empty()) {
                name = "target" + std::to_string(t);
            }
            if (gltfNode) {
                weight =
                    t < gltfWeights.size() && std::isfinite(gltfWeights[t]) ? gltfWeights[t] : 0.0;
            }
            const int index = mesh->AddMorphTarget(Widen(name), std::move(deltas));
            std::vector<std::pair<double, double>> keys;
            bool step = false;
            if (gltfNode && !gltfKeys.ticks.empty()) {
                for (size_t k = 0; k < gltfKeys.ticks.size(); ++k) {
                    const double w =
                        t < gltfKeys.width ? gltfKeys.values[k * gltfKeys.width + t] : 0.0;
                    if (!std::isfinite(w)) {
                        throw SceneLoadError("mesh \"" + m_info[node].name +
                                             "\": morph weight key " + std::to_string(k) +
                                             " is not a finite number");
                    }
                    keys.emplace_back(gltfKeys.ticks[k], w);
                }
                step = gltfKeys.interp == GltfInterp::Step;
            } else if (channel && channel->mKeys) {
                keys = MorphWeightKeys(*channel, t);
            } else {
                mesh->MorphWeight(index).Set(weight);
                continue;
            }
            if (cubicWeights && t < cubicWeights->width && keys.size() > 1) {
                // The weight follows the file's cubic spline.
                const double fps = m_fps;
                mesh->MorphWeight(index).SetFunction([cubicWeights, t, fps](double f) {
                    std::vector<double> w(cubicWeights->width);
                    CubicSplineAt(*cubicWeights, f / fps, w.data());
                    return w[t];
                });
                continue;
            }
            auto track = std::make_shared<const Track<double>>(MakeTrack(std::move(keys), step));
            if (track->Count() <= 1) {
                mesh->MorphWeight(index).Set(track->Count() == 0 ? weight
                                                                 : track->keys.GetKeys()[0].value);
                continue;
            }
            const double fps = m_fps;
            const double tps = m_ticksPerSecond;
            const double offset = m_tickOffset;
            mesh->MorphWeight(index).SetFunction([track, fps, tps, offset, weight](double f) {
                return EvalTrack(*track, FrameToTick(f, fps, tps, offset), aiAnimBehaviour_CONSTANT,
                                 aiAnimBehaviour_CONSTANT, weight);
            });
        }
    }

    // glTF: the skin of the node's own "skin", its joints by node index and
    // its inverse bind matrices from the file; Assimp makes one bone per
    // joint, in the skin's order, whose weights the points take.
    void BuildGltfSkin(const aiNode* node, const GltfNodeInfo& info,
                       const std::vector<const aiMesh*>& meshes, const ItemVertices& vertices) {
        if (info.skin < 0) {
            return;
        }
        const GltfSkinInfo& skin = m_gltf->Layout().skins.at(static_cast<size_t>(info.skin));
        const std::vector<Mat34> inverseBind = m_gltf->InverseBindMatrices(info.skin);
        std::vector<const Item*> joints;
        std::vector<Mat34> offsets;
        for (size_t j = 0; j < skin.joints.size(); ++j) {
            const aiNode* jointNode = GltfNode(skin.joints[j]);
            if (!jointNode || !m_info[jointNode].item) {
                throw SceneLoadError("glTF: skins[" + std::to_string(info.skin) + "] joint " +
                                     std::to_string(j) + " is no node of the scene");
            }
            const NodeInfo& joint = m_info[jointNode];
            // The joint item's transform holds its file frame (cameras and
            // lights); the offset takes it out again.
            joints.push_back(joint.item);
            offsets.push_back(Mul(Inverse(joint.frame), Scaled(inverseBind[j])));
        }
        std::vector<BoneUse> bones;
        for (size_t mi = 0; mi < meshes.size(); ++mi) {
            const aiMesh* m = meshes[mi];
            const unsigned count = m->mBones ? m->mNumBones : 0;
            if (count != 0 && count != skin.joints.size()) {
                throw SceneLoadError("glTF: mesh \"" + m_info[node].name + "\" has " +
                                     std::to_string(count) + " bones for a skin of " +
                                     std::to_string(skin.joints.size()) + " joints");
            }
            for (unsigned b = 0; b < count; ++b) {
                if (m->mBones[b]) {
                    bones.push_back({mi, m->mBones[b], static_cast<int>(b)});
                }
            }
        }
        SkinWeights weights;
        if (GatherSkinWeights(bones, vertices, &weights)) {
            m_info[node].item->GetMesh()->SetSkinWeights(std::move(joints), std::move(offsets),
                                                         std::move(weights));
        }
    }

    // Collada: the skin the node shows, as the file has it (ColladaSkins.h):
    // its joints found from the instance's skeleton roots, its weights on
    // the geometry's vertices, which are the item's points. False when the
    // item's points are not that geometry's vertices.
    bool BuildColladaSkin(const aiNode* node, const ColladaSkin& skin,
                          const ItemVertices& vertices) {
        const VertexMapper& mapper = *m_file->mapper;
        const NodeInfo& info = m_info[node];
        if (vertices.fileMesh < 0 ||
            mapper.MeshAt(static_cast<size_t>(vertices.fileMesh)).id != skin.geometry ||
            vertices.points.size() + 1 != skin.start.size()) {
            return false;
        }
        std::vector<const Item*> joints;
        std::vector<Mat34> offsets;
        std::vector<char> jointKnown;
        for (size_t j = 0; j < skin.jointNodes.size(); ++j) {
            const auto nodes = m_allByName.find(skin.jointNodes[j]);
            const aiNode* jointNode = skin.jointNodes[j].empty() || nodes == m_allByName.end()
                                          ? nullptr
                                          : nodes->second.front();
            const Item* item = jointNode ? m_info[jointNode].item : nullptr;
            if (!item) {
                HostApp::Get().Log(Widen("joint \"" + OneLine(skin.jointNames[j]) +
                                         "\" of mesh \"" + info.name +
                                         "\" names no node; its weights are dropped")
                                       .c_str(),
                                   XSI::siWarningMsg);
            }
            jointKnown.push_back(item != nullptr);
            joints.push_back(item ? item : info.item);
            // The joint item's transform holds its file frame (cameras and
            // lights); the offset takes it out again.
            offsets.push_back(jointNode
                                  ? Mul(Inverse(m_info[jointNode].frame), Scaled(skin.offsets[j]))
                                  : Mat34{});
        }
        if (skin.dropped > 0) {
            HostApp::Get().Log(Widen("mesh \"" + info.name + "\": " + std::to_string(skin.dropped) +
                                     " skin weights name no joint and are dropped")
                                   .c_str(),
                               XSI::siWarningMsg);
        }
        SkinWeights weights;
        weights.start.push_back(0);
        for (size_t p = 0; p + 1 < skin.start.size(); ++p) {
            for (int k = skin.start[p]; k < skin.start[p + 1]; ++k) {
                if (jointKnown[static_cast<size_t>(skin.joint[k])]) {
                    weights.joint.push_back(skin.joint[k]);
                    weights.weight.push_back(skin.weight[k]);
                }
            }
            weights.start.push_back(static_cast<int>(weights.joint.size()));
        }
        if (!weights.joint.empty()) {
            info.item->GetMesh()->SetSkinWeights(std::move(joints), std::move(offsets),
                                                 std::move(weights));
        }
        return true;
    }

    void BuildSkin(const aiNode* node, const std::vector<const aiMesh*>& meshes,
                   const ItemVertices& vertices) {
        if (const GltfNodeInfo* info = GltfInfo(node)) {
            BuildGltfSkin(node, *info, meshes, vertices);
            return;
        }
        if (m_file && m_file->collada) {
            const auto skin = m_file->skins.find(node->mName.C_Str());
            if (skin != m_file->skins.end() && BuildColladaSkin(node, *skin->second, vertices)) {
                return;
            }
        }
        std::vector<const Item*> joints;
        std::vector<Mat34> offsets;
        std::vector<BoneUse> bones;
        for (size_t mi = 0; mi < meshes.size(); ++mi) {
            const aiMesh* m = meshes[mi];
            for (unsigned b = 0; m->mBones && b < m->mNumBones; ++b) {
                const aiBone* bone = m->mBones[b];
                if (!bone) {
                    continue;
                }
                const aiNode* jointNode = FindNode(bone->mName);
                if (!jointNode || !m_info[jointNode].item) {
                    HostApp::Get().Log(Widen("bone \"" + OneLine(bone->mName.C_Str()) +
                                             "\" of mesh \"" + m_info[node].name +
                                             "\" names no node; its weights are dropped")
                                           .c_str(),
                                       XSI::siWarningMsg);
                    continue;
                }
                const NodeInfo& j = m_info[jointNode];
                // The joint item's transform holds its file frame (cameras and
                // lights); the offset takes it out again.
                const Mat34 offset = Mul(Inverse(j.frame), Scaled(ToMat34(bone->mOffsetMatrix)));
                int index = -1;
                for (size_t k = 0; k < joints.size(); ++k) {
                    if (joints[k] == j.item &&
                        std::memcmp(offsets[k].m, offset.m, sizeof(offset.m)) == 0) {
                        index = static_cast<int>(k);
                        break;
                    }
                }
                if (index < 0) {
                    index = static_cast<int>(joints.size());
                    joints.push_back(j.item);
                    offsets.push_back(offset);
                }
                bones.push_back({mi, bone, index});
            }
        }
        SkinWeights weights;
        if (GatherSkinWeights(bones, vertices, &weights)) {
            m_info[node].item->GetMesh()->SetSkinWeights(std::move(joints), std::move(offsets),
                                                         std::move(weights));
        }
    }

    void SetFrameRange() {
        double start = 0.0;
        double end = 0.0;
        if (m_anim) {
            const double fps = m_fps;
            // An animation that starts later in the file's time starts on
            // that frame.
            const double first = -m_tickOffset / m_ticksPerSecond * fps;
            if (first > 0.0 && first < kMaxEndFrame) {
                start = std::floor(first + 1e-9);
            }
            const double frames = (m_anim->mDuration - m_tickOffset) / m_ticksPerSecond * fps;
            if (frames > 0.0 && std::isfinite(frames)) {
                // A duration that is a whole number of frames up to rounding
                // ends on that frame.
                end = std::min(std::ceil(frames - 1e-9), kMaxEndFrame);
            } else if (frames > 0.0) {
                end = kMaxEndFrame;
            }
        }
        // Collada's lens and light curves, which Assimp does not read, play
        // on the same timeline; their times are written with about seven
        // digits, so a time within 1e-4 frames of a frame ends on it.
        const double lensLight =
            m_file ? std::max(m_file->lensLight.endTime, m_curveEnd) * m_fps : 0.0;
        if (lensLight > end && std::isfinite(lensLight)) {
            end = std::min(std::ceil(lensLight - 1e-4), kMaxEndFrame);
        }
        m_scene->SetFrameRange(start, std::max(start, end));
    }

    const aiScene& m_ai;
    const AssimpLoadOptions& m_options;
    bool m_isGltf;
    const GltfData* m_gltf; // glTF: the file's layout and data, or nullptr
    const FileFacts* m_file;
    double m_scale = 1.0;       // file numbers to scene numbers
    double m_assimpScale = 1.0; // the unit scale Assimp put on the root
    double m_fps = 30.0;
    double m_tickOffset = 0.0; // Assimp's tick at the file's time 0
    // The last key time (seconds) of the file's curves that move nodes
    // Assimp gave no channel.
    double m_curveEnd = 0.0;
    std::unique_ptr<Scene> m_scene;
    std::vector<const aiNode*> m_nodes; // depth first, parent before children
    std::unordered_map<const aiNode*, NodeInfo> m_info;
    std::map<std::string, const aiNode*> m_byName;
    std::map<std::string, std::vector<const aiNode*>> m_allByName; // in the hierarchy's order
    std::map<int64_t, const aiNode*> m_gltfNodes; // glTF: the first node of each file node
    std::set<unsigned> m_skeletonMeshes;
    int m_animIndex = -1;
    const aiAnimation* m_anim = nullptr;
    double m_ticksPerSecond = kDefaultTicksPerSecond;
};

} // namespace

std::unique_ptr<Scene> BuildAssimpScene(const aiScene& scene, const AssimpLoadOptions& options,
                                        bool isGltf, const GltfData* gltf, const FileFacts* file,
                                        SceneFileInfo* info) {
    try {
        return Builder(scene, options, isGltf, gltf, file).Build(info);
    } catch (const SceneLoadError&) {
        throw;
    } catch (const std::exception& e) {
        throw SceneLoadError(OneLine(e.what()));
    }
}

} // namespace host

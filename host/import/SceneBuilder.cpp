// Builds the host scene from a scene Assimp has read (see AssimpScene.h for
// what becomes of each node).
#include "host/app/HostApp.h"
#include "host/import/AnimTracks.h"
#include "host/import/CameraLight.h"
#include "host/import/AssimpScene.h"
#include "host/import/FileFacts.h"
#include "host/import/GltfSteps.h"
#include "host/import/ImportNames.h"
#include "host/import/MeshDeform.h"
#include "host/import/NodeMetadata.h"
#include "host/import/Transforms.h"
#include "host/scene/Scene.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace host {
namespace {

// The longest frame range a file's animation can ask for.
constexpr double kMaxEndFrame = 1.0e6;
// The longest full name of an item (its ancestors' names and its own, joined
// by '.').
constexpr size_t kMaxFullName = 16384;

// ---------------------------------------------------------------------------
// The scene builder.

class Builder {
  public:
    Builder(const aiScene& ai, const AssimpLoadOptions& options, bool isGltf,
            const GltfInterpolation* steps, const FileFacts* file)
        : m_ai(ai), m_options(options), m_isGltf(isGltf), m_steps(steps), m_file(file) {}

    std::unique_ptr<Scene> Build(SceneFileInfo* info) {
        if (!m_ai.mRootNode) {
            throw SceneLoadError("the file holds no scene");
        }
        ChooseUnitsAndRate(info);
        m_scene = std::make_unique<Scene>();
        CollectNodes(m_ai.mRootNode);
        MatchObjObjects();
        FindSkeletonMeshes();
        ChooseAnimation();
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
        int objObject = -1; // OBJ: the file's object the node is
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
        }
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
            const double tps = m_anim->mTicksPerSecond;
            m_ticksPerSecond = tps > 0.0 && std::isfinite(tps) ? tps : kDefaultTicksPerSecond;
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

    bool IsStep(const std::string& node, GltfPath path) const {
        if (!m_steps || m_animIndex < 0 ||
            static_cast<size_t>(m_animIndex) >= m_steps->stepTargets.size()) {
            return false;
        }
        for (const GltfStepTarget& t : m_steps->stepTargets[m_animIndex]) {
            if (t.node == node && t.path == path) {
                return true;
            }
        }
        return false;
    }

    void ReadChannels() {
        if (!m_anim) {
            return;
        }
        if (m_steps && static_cast<size_t>(m_animIndex) < m_steps->cubicSpline.size() &&
            m_steps->cubicSpline[m_animIndex]) {
            HostApp::Get().Log(L"cubic-spline animation keys are evaluated linearly between "
                               L"their values",
                               XSI::siWarningMsg);
        }
        for (unsigned i = 0; m_anim->mChannels && i < m_anim->mNumChannels; ++i) {
            const aiNodeAnim* ch = m_anim->mChannels[i];
            const aiNode* node = ch ? FindNode(ch->mNodeName) : nullptr;
            if (!node || m_info[node].channel) {
                continue;
            }
            auto nc = std::make_shared<NodeChannel>();
            const std::string name = ch->mNodeName.C_Str();
            nc->fps = m_fps;
            nc->ticksPerSecond = m_ticksPerSecond;
            nc->tickOffset = m_tickOffset;
            nc->rest = Decompose(NodeMatrix(node));
            const double k = m_scale;
            nc->position = MakeTrack<aiVectorKey, Vec3>(
                ch->mPositionKeys, ch->mNumPositionKeys,
                [k](const aiVector3D& v) { return ToVec3(v) * k; },
                IsStep(name, GltfPath::Translation));
            nc->rotation = MakeTrack<aiQuatKey, Quat>(ch->mRotationKeys, ch->mNumRotationKeys,
                                                      ToQuat, IsStep(name, GltfPath::Rotation));
            nc->scaling = MakeTrack<aiVectorKey, Vec3>(ch->mScalingKeys, ch->mNumScalingKeys,
                                                       ToVec3, IsStep(name, GltfPath::Scale));
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
            m_info[node].channel = std::move(nc);
        }
    }

    void ClassifyNodes() {
        for (unsigned i = 0; m_ai.mCameras && i < m_ai.mNumCameras; ++i) {
            const aiNode* node = m_ai.mCameras[i] ? FindNode(m_ai.mCameras[i]->mName) : nullptr;
            if (node && !m_info[node].camera) {
                m_info[node].camera = m_ai.mCameras[i];
            }
        }
        for (unsigned i = 0; m_ai.mLights && i < m_ai.mNumLights; ++i) {
            const aiNode* node = m_ai.mLights[i] ? FindNode(m_ai.mLights[i]->mName) : nullptr;
            if (node && !m_info[node].light) {
                m_info[node].light = m_ai.mLights[i];
            }
        }
        std::set<const aiNode*> joints;
        for (const aiNode* node : m_nodes) {
            for (const aiMesh* mesh : MeshesOf(node)) {
                for (unsigned b = 0; mesh->mBones && b < mesh->mNumBones; ++b) {
                    if (const aiNode* j =
                            mesh->mBones[b] ? FindNode(mesh->mBones[b]->mName) : nullptr) {
                        joints.insert(j);
                    }
                }
            }
        }
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
        std::set<std::string> wanted;
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
        std::set<std::string> used;
        for (const aiNode* node : m_nodes) {
            NodeInfo& info = m_info[node];
            if (!info.isItem) {
                continue;
            }
            if (used.count(info.name)) {
                for (unsigned long n = 1;; ++n) {
                    const std::string candidate = info.name + std::to_string(n);
                    if (!used.count(candidate) && !wanted.count(candidate)) {
                        info.name = candidate;
                        break;
                    }
                }
            }
            used.insert(info.name);
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
                SetConstant(item, Decompose(Mul(Mul(before, m), info.frame)));
                return;
            }
            auto composed =
                std::make_shared<const ComposedMotion>(before, root, rootMatters, own, info.frame);
            item->Scaling().SetFunction([composed](double f) { return composed->At(f).s; });
            item->Rotation().SetFunction([composed](double f) { return composed->At(f).r; });
            item->Translation().SetFunction([composed](double f) { return composed->At(f).t; });
            return;
        }
        if (!own.channel) {
            SetConstant(item, Decompose(own.matrix));
            return;
        }
        std::shared_ptr<const NodeChannel> ch = own.channel;
        if (ch->scaling.Count() > 1) {
            item->Scaling().SetFunction([ch](double f) { return ch->Scaling(f); });
        } else {
            item->Scaling().Set(ch->Scaling(0.0));
        }
        if (ch->rotation.Count() > 1) {
            item->Rotation().SetFunction([ch](double f) { return ch->Rotation(f); });
        } else {
            item->Rotation().Set(ch->Rotation(0.0));
        }
        if (ch->position.Count() > 1) {
            item->Translation().SetFunction([ch](double f) { return ch->Position(f); });
        } else {
            item->Translation().Set(ch->Position(0.0));
        }
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
        for (Vec3& p : out.points) {
            p = p * m_scale;
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
        // weighs 0 there).
        const aiMeshMorphAnim* channel = MorphChannelOf(node, meshes);
        Mesh* mesh = m_info[node].item->GetMesh();
        for (unsigned t = 0; t < targets; ++t) {
            std::vector<Vec3> deltas = MorphDeltas(meshes, vertices, t, m_scale);
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
            const int index = mesh->AddMorphTarget(Widen(name), std::move(deltas));
            if (!channel || !channel->mKeys) {
                mesh->MorphWeight(index).Set(weight);
                continue;
            }
            auto track = std::make_shared<const Track<double>>(MakeTrack(
                MorphWeightKeys(*channel, t), IsStep(node->mName.C_Str(), GltfPath::Weights)));
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

    void BuildSkin(const aiNode* node, const std::vector<const aiMesh*>& meshes,
                   const ItemVertices& vertices) {
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
        m_scene->SetFrameRange(start, std::max(start, end));
    }

    const aiScene& m_ai;
    const AssimpLoadOptions& m_options;
    bool m_isGltf;
    const GltfInterpolation* m_steps;
    const FileFacts* m_file;
    double m_scale = 1.0;       // file numbers to scene numbers
    double m_assimpScale = 1.0; // the unit scale Assimp put on the root
    double m_fps = 30.0;
    double m_tickOffset = 0.0; // Assimp's tick at the file's time 0
    std::unique_ptr<Scene> m_scene;
    std::vector<const aiNode*> m_nodes; // depth first, parent before children
    std::unordered_map<const aiNode*, NodeInfo> m_info;
    std::map<std::string, const aiNode*> m_byName;
    std::set<unsigned> m_skeletonMeshes;
    int m_animIndex = -1;
    const aiAnimation* m_anim = nullptr;
    double m_ticksPerSecond = kDefaultTicksPerSecond;
};

} // namespace

std::unique_ptr<Scene> BuildAssimpScene(const aiScene& scene, const AssimpLoadOptions& options,
                                        bool isGltf, const GltfInterpolation* steps,
                                        const FileFacts* file, SceneFileInfo* info) {
    try {
        return Builder(scene, options, isGltf, steps, file).Build(info);
    } catch (const SceneLoadError&) {
        throw;
    } catch (const std::exception& e) {
        throw SceneLoadError(OneLine(e.what()));
    }
}

} // namespace host

#include "host/import/AssimpScene.h"

#include "host/app/HostApp.h"
#include "host/import/GltfSteps.h"
#include "host/import/SceneFileChecks.h"
#include "host/import/SceneValidation.h"
#include "host/scene/Scene.h"

#include <assimp/Importer.hpp>
#include <assimp/commonMetaData.h>
#include <assimp/config.h>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace host {
namespace {

// Ticks per second of an animation that does not say.
constexpr double kDefaultTicksPerSecond = 25.0;
// The longest frame range a file's animation can ask for.
constexpr double kMaxEndFrame = 1.0e6;
// The longest full name of an item (its ancestors' names and its own, joined
// by '.').
constexpr size_t kMaxFullName = 16384;

// ---------------------------------------------------------------------------
// Conversions and small transform helpers.

Vec3 ToVec3(const aiVector3D& v) {
    return {v.x, v.y, v.z};
}
Quat ToQuat(const aiQuaternion& q) {
    return {q.x, q.y, q.z, q.w};
}

Mat34 ToMat34(const aiMatrix4x4& m) {
    Mat34 r;
    const double rows[3][4] = {
        {m.a1, m.a2, m.a3, m.a4}, {m.b1, m.b2, m.b3, m.b4}, {m.c1, m.c2, m.c3, m.c4}};
    std::memcpy(r.m, rows, sizeof(rows));
    return r;
}

bool IsIdentity(const Mat34& m) {
    static const Mat34 kIdentity;
    return std::memcmp(m.m, kIdentity.m, sizeof(m.m)) == 0;
}

// Scaling, rotation and translation of a transform.
struct SRT {
    Vec3 s{1.0, 1.0, 1.0};
    Quat r;
    Vec3 t;
};

// Splits an affine matrix into scaling, rotation and translation. A matrix
// with shear keeps its column lengths and the rotation of its columns.
SRT Decompose(const Mat34& m) {
    SRT out;
    out.t = {m.m[0][3], m.m[1][3], m.m[2][3]};
    double len[3];
    for (int c = 0; c < 3; ++c) {
        len[c] = std::sqrt(m.m[0][c] * m.m[0][c] + m.m[1][c] * m.m[1][c] + m.m[2][c] * m.m[2][c]);
    }
    if (Determinant3(m) < 0.0) {
        len[0] = -len[0]; // a mirror: one negative scale
    }
    out.s = {len[0], len[1], len[2]};
    Mat34 r;
    for (int c = 0; c < 3; ++c) {
        for (int row = 0; row < 3; ++row) {
            r.m[row][c] = len[c] != 0.0 ? m.m[row][c] / len[c] : (row == c ? 1.0 : 0.0);
        }
    }
    out.r = QuatFromRotationMatrix(r);
    return out;
}

// The rotation that turns direction a into direction b (both unit length).
Quat RotationBetween(const Vec3& a, const Vec3& b) {
    const double d = Dot(a, b);
    if (d > 1.0 - 1e-12) {
        return Quat{};
    }
    if (d < -1.0 + 1e-12) {
        // Opposite: half a turn about any axis perpendicular to a.
        Vec3 axis = Cross(a, Vec3{0, 1, 0});
        if (Length(axis) < 1e-6) {
            axis = Cross(a, Vec3{1, 0, 0});
        }
        return QuatFromAxisAngle(axis, kPi);
    }
    return QuatFromAxisAngle(Cross(a, b), std::acos(d));
}

// The frame of a camera or light of the file, seen from its node: placed at
// position, looking along lookAt, up towards up. The host's cameras and
// lights look along their -Z axis with +Y up; the identity for the file's
// usual frame (glTF's, for one).
Mat34 FileFrame(const Vec3& position, const Vec3& lookAt, const Vec3& up) {
    Mat34 m;
    const double lookLen = Length(lookAt);
    if (lookLen > 0.0 && std::isfinite(lookLen)) {
        const Vec3 back = lookAt * (-1.0 / lookLen);
        const Vec3 right = Cross(up, back);
        const double rightLen = Length(right);
        if (rightLen > 1e-9 && std::isfinite(rightLen)) {
            const Vec3 x = right * (1.0 / rightLen);
            const Vec3 y = Cross(back, x);
            const Vec3 cols[3] = {x, y, back};
            for (int c = 0; c < 3; ++c) {
                m.m[0][c] = cols[c].x;
                m.m[1][c] = cols[c].y;
                m.m[2][c] = cols[c].z;
            }
        } else {
            m = RotationMatrix(RotationBetween(Vec3{0, 0, -1}, back * -1.0));
        }
    }
    if (std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z)) {
        m.m[0][3] = position.x;
        m.m[1][3] = position.y;
        m.m[2][3] = position.z;
    }
    // Rounding noise on the usual frame would only cost exactness.
    Mat34 identity;
    identity.m[0][3] = m.m[0][3];
    identity.m[1][3] = m.m[1][3];
    identity.m[2][3] = m.m[2][3];
    bool nearIdentity = true;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            nearIdentity = nearIdentity && std::fabs(m.m[r][c] - identity.m[r][c]) < 1e-12;
        }
    }
    return nearIdentity ? identity : m;
}

// ---------------------------------------------------------------------------
// Key tracks, evaluated in the animation's ticks.

template <class V> struct Track {
    std::vector<double> times; // ascending
    std::vector<V> values;
    bool step = false;
};

template <class V>
V EvalTrack(const Track<V>& tr, double tick, aiAnimBehaviour pre, aiAnimBehaviour post,
            const V& rest) {
    const size_t n = tr.times.size();
    if (n == 0) {
        return rest;
    }
    if (n == 1 || std::isnan(tick)) {
        return tr.values.front();
    }
    const double t0 = tr.times.front();
    const double t1 = tr.times.back();
    if (tick < t0 || tick > t1) {
        const bool before = tick < t0;
        const aiAnimBehaviour state = before ? pre : post;
        if (state == aiAnimBehaviour_REPEAT && t1 > t0 && std::isfinite(tick)) {
            double into = std::fmod(tick - t0, t1 - t0);
            if (into < 0.0) {
                into += t1 - t0;
            }
            tick = t0 + into;
        } else if (state == aiAnimBehaviour_LINEAR && !tr.step && std::isfinite(tick)) {
            const size_t a = before ? 0 : n - 2;
            const double dt = tr.times[a + 1] - tr.times[a];
            if (dt > 0.0) {
                return Blend(tr.values[a], tr.values[a + 1], (tick - tr.times[a]) / dt);
            }
            return before ? tr.values.front() : tr.values.back();
        } else {
            // Constant, and Assimp's default, which every importer leaves on
            // channels whose format holds the end keys.
            return before ? tr.values.front() : tr.values.back();
        }
    }
    const size_t next = static_cast<size_t>(
        std::upper_bound(tr.times.begin(), tr.times.end(), tick) - tr.times.begin());
    if (next >= n) {
        return tr.values.back();
    }
    const size_t k = next - 1;
    if (tr.step) {
        return tr.values[k];
    }
    const double dt = tr.times[next] - tr.times[k];
    return dt > 0.0 ? Blend(tr.values[k], tr.values[next], (tick - tr.times[k]) / dt)
                    : tr.values[next];
}

// Copies keys in ascending time order, dropping keys at no finite time.
template <class K, class V, class F> Track<V> MakeTrack(const K* keys, unsigned count, F value) {
    std::vector<std::pair<double, V>> sorted;
    sorted.reserve(count);
    for (unsigned i = 0; keys && i < count; ++i) {
        if (std::isfinite(keys[i].mTime)) {
            sorted.emplace_back(keys[i].mTime, value(keys[i].mValue));
        }
    }
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Track<V> tr;
    for (auto& kv : sorted) {
        tr.times.push_back(kv.first);
        tr.values.push_back(kv.second);
    }
    return tr;
}

// The frame, in the animation's ticks, at the host's frame rate.
double FrameToTick(double frame, double ticksPerSecond) {
    double fps = HostApp::Get().GetFrameRate();
    if (!(fps > 0.0) || !std::isfinite(fps)) {
        fps = 30.0;
    }
    return frame / fps * ticksPerSecond;
}

// The node animation of one node.
struct NodeChannel {
    double ticksPerSecond = kDefaultTicksPerSecond;
    Track<Vec3> position;
    Track<Quat> rotation;
    Track<Vec3> scaling;
    aiAnimBehaviour pre = aiAnimBehaviour_DEFAULT;
    aiAnimBehaviour post = aiAnimBehaviour_DEFAULT;
    SRT rest; // the node's own transform, for components without keys

    Vec3 Position(double frame) const {
        return EvalTrack(position, FrameToTick(frame, ticksPerSecond), pre, post, rest.t);
    }
    Quat Rotation(double frame) const {
        return EvalTrack(rotation, FrameToTick(frame, ticksPerSecond), pre, post, rest.r);
    }
    Vec3 Scaling(double frame) const {
        return EvalTrack(scaling, FrameToTick(frame, ticksPerSecond), pre, post, rest.s);
    }
    Mat34 Matrix(double frame) const {
        return MatrixFromSRT(Scaling(frame), Rotation(frame), Position(frame));
    }
};

// A node's local transform in the file: animated by a channel, or fixed.
struct NodeMotion {
    std::shared_ptr<const NodeChannel> channel;
    Mat34 matrix; // without a channel

    Mat34 At(double frame) const { return channel ? channel->Matrix(frame) : matrix; }
};

// An item's local transform when it is more than its node's own transform:
// before * [root] * node * after, where `before` undoes the frame folded into
// the parent item, `root` is the root node's transform (for the top items
// when the root is no item) and `after` folds in a camera's or light's frame.
// The three parts read the same product, kept for the last frame asked.
class ComposedMotion {
  public:
    ComposedMotion(Mat34 before, NodeMotion root, bool withRoot, NodeMotion node, Mat34 after)
        : m_before(before), m_root(std::move(root)), m_withRoot(withRoot), m_node(std::move(node)),
          m_after(after) {}

    const SRT& At(double frame) const {
        if (!m_valid || frame != m_frame) {
            Mat34 m = m_node.At(frame);
            if (m_withRoot) {
                m = Mul(m_root.At(frame), m);
            }
            m_srt = Decompose(Mul(Mul(m_before, m), m_after));
            m_frame = frame;
            m_valid = true;
        }
        return m_srt;
    }

  private:
    Mat34 m_before;
    NodeMotion m_root;
    bool m_withRoot;
    NodeMotion m_node;
    Mat34 m_after;
    mutable bool m_valid = false;
    mutable double m_frame = 0.0;
    mutable SRT m_srt;
};

// ---------------------------------------------------------------------------
// Names.

// Characters other than ASCII letters, digits and '_' become '_', one per
// character (a UTF-8 sequence is one character).
std::string CleanName(const std::string& in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '_') {
            out.push_back(static_cast<char>(c));
            continue;
        }
        out.push_back('_');
        if (c >= 0xC0) {
            while (i + 1 < in.size() && (static_cast<unsigned char>(in[i + 1]) & 0xC0) == 0x80) {
                ++i;
            }
        }
    }
    return out;
}

std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

std::string OneLine(std::string s) {
    for (char& c : s) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

// ---------------------------------------------------------------------------
// Metadata values as numbers.

bool ParseNumber(const std::string& text, double* out) {
    const char* b = text.data();
    const char* e = b + text.size();
    while (b < e && (*b == ' ' || *b == '\t')) {
        ++b;
    }
    while (e > b && (e[-1] == ' ' || e[-1] == '\t')) {
        --e;
    }
    if (b < e && *b == '+') {
        ++b;
    }
    if (b == e) {
        return false;
    }
    if (std::string(b, e) == "true") {
        *out = 1.0;
        return true;
    }
    if (std::string(b, e) == "false") {
        *out = 0.0;
        return true;
    }
    double v = 0.0;
    const auto res = std::from_chars(b, e, v);
    if (res.ec != std::errc() || res.ptr != e || !std::isfinite(v)) {
        return false;
    }
    *out = v;
    return true;
}

bool MetadataNumber(const aiMetadataEntry& e, double* out) {
    if (!e.mData) {
        return false;
    }
    switch (e.mType) {
    case AI_BOOL:
        *out = *static_cast<const bool*>(e.mData) ? 1.0 : 0.0;
        return true;
    case AI_INT32:
        *out = *static_cast<const int32_t*>(e.mData);
        return true;
    case AI_UINT64:
        *out = static_cast<double>(*static_cast<const uint64_t*>(e.mData));
        return true;
    case AI_FLOAT:
        *out = *static_cast<const float*>(e.mData);
        return std::isfinite(*out);
    case AI_DOUBLE:
        *out = *static_cast<const double*>(e.mData);
        return std::isfinite(*out);
    case AI_AISTRING:
        return ParseNumber(static_cast<const aiString*>(e.mData)->C_Str(), out);
    default:
        return false;
    }
}

// A colour from a vector (alpha 1) or a text of three or four numbers.
bool MetadataColor(const aiMetadataEntry& e, Color* out) {
    if (!e.mData) {
        return false;
    }
    if (e.mType == AI_AIVECTOR3D) {
        const aiVector3D& v = *static_cast<const aiVector3D*>(e.mData);
        *out = {v.x, v.y, v.z, 1.0};
        return std::isfinite(out->r) && std::isfinite(out->g) && std::isfinite(out->b);
    }
    if (e.mType != AI_AISTRING) {
        return false;
    }
    const std::string text = static_cast<const aiString*>(e.mData)->C_Str();
    double v[4] = {0, 0, 0, 1};
    size_t count = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find_first_of(" ,\t", pos);
        const std::string part = text.substr(pos, end == std::string::npos ? end : end - pos);
        if (!part.empty()) {
            if (count >= 4 || !ParseNumber(part, &v[count])) {
                return false;
            }
            ++count;
        }
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
    if (count < 3) {
        return false;
    }
    *out = {v[0], v[1], v[2], v[3]};
    return true;
}

// Sets a parameter from a metadata value; false when it does not fit.
bool SetParamFromMetadata(Param* p, const aiMetadataEntry& e) {
    if (p->GetType() == Param::Type::Color) {
        Color c;
        if (!MetadataColor(e, &c)) {
            return false;
        }
        p->ColorValue().Set(c);
        return true;
    }
    double v = 0.0;
    if (!MetadataNumber(e, &v)) {
        return false;
    }
    p->Value().Set(v);
    return true;
}

// ---------------------------------------------------------------------------
// The scene builder.

class Builder {
  public:
    Builder(const aiScene& ai, const AssimpLoadOptions& options, bool isGltf,
            const GltfInterpolation* steps)
        : m_ai(ai), m_options(options), m_isGltf(isGltf), m_steps(steps) {}

    std::unique_ptr<Scene> Build() {
        if (!m_ai.mRootNode) {
            throw SceneLoadError("the file holds no scene");
        }
        m_scene = std::make_unique<Scene>();
        CollectNodes(m_ai.mRootNode);
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
                ApplyMetadata(node);
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
    };

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
            nc->ticksPerSecond = m_ticksPerSecond;
            nc->rest = Decompose(ToMat34(node->mTransformation));
            nc->position =
                MakeTrack<aiVectorKey, Vec3>(ch->mPositionKeys, ch->mNumPositionKeys, ToVec3);
            nc->rotation =
                MakeTrack<aiQuatKey, Quat>(ch->mRotationKeys, ch->mNumRotationKeys, ToQuat);
            nc->scaling =
                MakeTrack<aiVectorKey, Vec3>(ch->mScalingKeys, ch->mNumScalingKeys, ToVec3);
            nc->position.step = IsStep(name, GltfPath::Translation);
            nc->rotation.step = IsStep(name, GltfPath::Rotation);
            nc->scaling.step = IsStep(name, GltfPath::Scale);
            nc->pre = ch->mPreState;
            nc->post = ch->mPostState;
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
            if (!MeshesOf(node).empty()) {
                info.kind = ItemKind::Mesh;
            } else if (info.camera) {
                info.kind = ItemKind::Camera;
                const aiCamera& c = *info.camera;
                // glTF's importer copies the node's translation into the
                // camera's position, though the node already places it.
                const Vec3 pos = m_isGltf ? Vec3{} : ToVec3(c.mPosition);
                info.frame = FileFrame(pos, ToVec3(c.mLookAt), ToVec3(c.mUp));
            } else if (info.light) {
                info.kind = ItemKind::Light;
                const aiLight& l = *info.light;
                const bool directed =
                    l.mType == aiLightSource_DIRECTIONAL || l.mType == aiLightSource_SPOT;
                info.frame =
                    FileFrame(ToVec3(l.mPosition), directed ? ToVec3(l.mDirection) : Vec3{0, 0, -1},
                              ToVec3(l.mUp));
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
        m.matrix = ToMat34(node->mTransformation);
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
        if (ch->scaling.times.size() > 1) {
            item->Scaling().SetFunction([ch](double f) { return ch->Scaling(f); });
        } else {
            item->Scaling().Set(ch->Scaling(0.0));
        }
        if (ch->rotation.times.size() > 1) {
            item->Rotation().SetFunction([ch](double f) { return ch->Rotation(f); });
        } else {
            item->Rotation().Set(ch->Rotation(0.0));
        }
        if (ch->position.times.size() > 1) {
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
        NodeInfo& info = m_info[node];
        Item* item = info.item;
        if (info.kind == ItemKind::Camera && info.camera) {
            const double aspect = info.camera->mAspect;
            const double hfov = info.camera->mHorizontalFOV;
            const bool hasAspect = aspect > 0.0 && std::isfinite(aspect);
            if (hasAspect) {
                item->GetParam(L"aspect")->Value().Set(aspect);
            }
            if (hfov > 0.0 && std::isfinite(hfov)) {
                if (m_isGltf) {
                    // The importer reports yfov x aspect: take the file's
                    // vertical angle back out.
                    const double vfov = hfov / (hasAspect ? aspect : 1.0);
                    item->GetParam(L"fov")->Value().Set(vfov * 180.0 / kPi);
                    item->GetParam(L"fovtype")->Value().Set(0.0);
                } else {
                    item->GetParam(L"fov")->Value().Set(hfov * 180.0 / kPi);
                    item->GetParam(L"fovtype")->Value().Set(1.0);
                }
            }
        } else if (info.kind == ItemKind::Light && info.light) {
            const aiLight& l = *info.light;
            double type = 1.0;
            if (l.mType == aiLightSource_DIRECTIONAL) {
                type = 0.0;
            } else if (l.mType == aiLightSource_SPOT) {
                type = 2.0;
            }
            item->GetParam(L"Type")->Value().Set(type);
            const double rgb[3] = {l.mColorDiffuse.r, l.mColorDiffuse.g, l.mColorDiffuse.b};
            double intensity = 0.0;
            for (double c : rgb) {
                if (std::isfinite(c)) {
                    intensity = std::max(intensity, c);
                }
            }
            Color color{0.0, 0.0, 0.0, 1.0};
            if (intensity > 0.0) {
                color = {std::isfinite(rgb[0]) ? rgb[0] / intensity : 0.0,
                         std::isfinite(rgb[1]) ? rgb[1] / intensity : 0.0,
                         std::isfinite(rgb[2]) ? rgb[2] / intensity : 0.0, 1.0};
            }
            LightShader* shader = item->GetShaders().front().get();
            shader->GetParam(L"color")->ColorValue().Set(color);
            shader->GetParam(L"intensity")->Value().Set(intensity);
        }
    }

    void BuildMesh(const aiNode* node) {
        Item* item = m_info[node].item;
        Mesh* mesh = item->GetMesh();
        const std::vector<const aiMesh*> meshes = MeshesOf(node);

        std::vector<Vec3> points;
        std::vector<size_t> base;
        for (const aiMesh* m : meshes) {
            base.push_back(points.size());
            for (unsigned v = 0; m->mVertices && v < m->mNumVertices; ++v) {
                points.push_back(ToVec3(m->mVertices[v]));
            }
        }
        mesh->SetPoints(points);
        std::vector<int> poly;
        for (size_t mi = 0; mi < meshes.size(); ++mi) {
            const aiMesh* m = meshes[mi];
            const unsigned nv = m->mVertices ? m->mNumVertices : 0;
            for (unsigned f = 0; m->mFaces && f < m->mNumFaces; ++f) {
                const aiFace& face = m->mFaces[f];
                if (face.mNumIndices < 3 || !face.mIndices) {
                    continue; // points and lines are no polygons
                }
                poly.clear();
                bool ok = true;
                for (unsigned k = 0; k < face.mNumIndices && ok; ++k) {
                    ok = face.mIndices[k] < nv;
                    poly.push_back(static_cast<int>(base[mi] + face.mIndices[k]));
                }
                if (ok) {
                    mesh->AddPolygon(poly);
                }
            }
        }
        BuildMorphs(node, meshes, base, points);
        BuildSkin(node, meshes, base, points.size());
    }

    void BuildMorphs(const aiNode* node, const std::vector<const aiMesh*>& meshes,
                     const std::vector<size_t>& base, const std::vector<Vec3>& points) {
        unsigned targets = 0;
        for (const aiMesh* m : meshes) {
            if (m->mAnimMeshes) {
                targets = std::max(targets, m->mNumAnimMeshes);
            }
        }
        if (targets == 0) {
            return;
        }
        // The animation's morph channel of this node: one weight track per
        // target index (a target missing from a key weighs 0 there).
        const aiMeshMorphAnim* channel = nullptr;
        for (unsigned i = 0;
             m_anim && m_anim->mMorphMeshChannels && i < m_anim->mNumMorphMeshChannels; ++i) {
            const aiMeshMorphAnim* c = m_anim->mMorphMeshChannels[i];
            if (c && std::strcmp(c->mName.C_Str(), node->mName.C_Str()) == 0) {
                channel = c;
                break;
            }
        }
        Mesh* mesh = m_info[node].item->GetMesh();
        for (unsigned t = 0; t < targets; ++t) {
            std::vector<Vec3> deltas(points.size());
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
                if (!am->mVertices || am->mNumVertices != m->mNumVertices || !m->mVertices) {
                    continue;
                }
                for (unsigned v = 0; v < m->mNumVertices; ++v) {
                    deltas[base[mi] + v] = ToVec3(am->mVertices[v]) - ToVec3(m->mVertices[v]);
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
            std::vector<std::pair<double, double>> keys;
            for (unsigned k = 0; k < channel->mNumKeys; ++k) {
                const aiMeshMorphKey& key = channel->mKeys[k];
                double w = 0.0;
                for (unsigned j = 0; key.mValues && key.mWeights && j < key.mNumValuesAndWeights;
                     ++j) {
                    if (key.mValues[j] == t && std::isfinite(key.mWeights[j])) {
                        w = key.mWeights[j];
                    }
                }
                if (std::isfinite(key.mTime)) {
                    keys.emplace_back(key.mTime, w);
                }
            }
            std::stable_sort(keys.begin(), keys.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            auto track = std::make_shared<Track<double>>();
            for (const auto& k : keys) {
                track->times.push_back(k.first);
                track->values.push_back(k.second);
            }
            track->step = IsStep(node->mName.C_Str(), GltfPath::Weights);
            if (track->times.size() <= 1) {
                mesh->MorphWeight(index).Set(track->times.empty() ? weight : track->values[0]);
                continue;
            }
            const double tps = m_ticksPerSecond;
            mesh->MorphWeight(index).SetFunction([track, tps, weight](double f) {
                return EvalTrack(*track, FrameToTick(f, tps), aiAnimBehaviour_CONSTANT,
                                 aiAnimBehaviour_CONSTANT, weight);
            });
        }
    }

    void BuildSkin(const aiNode* node, const std::vector<const aiMesh*>& meshes,
                   const std::vector<size_t>& base, size_t pointCount) {
        std::vector<const Item*> joints;
        std::vector<Mat34> offsets;
        std::vector<std::vector<Influence>> influences(pointCount);
        bool any = false;
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
                const Mat34 offset = Mul(Inverse(j.frame), ToMat34(bone->mOffsetMatrix));
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
                for (unsigned w = 0; bone->mWeights && w < bone->mNumWeights; ++w) {
                    const aiVertexWeight& vw = bone->mWeights[w];
                    if (vw.mVertexId < m->mNumVertices && std::isfinite(vw.mWeight) &&
                        vw.mWeight > 0.0f) {
                        influences[base[mi] + vw.mVertexId].push_back({index, vw.mWeight});
                        any = true;
                    }
                }
            }
        }
        if (any) {
            m_info[node].item->GetMesh()->SetSkin(std::move(joints), std::move(offsets),
                                                  influences);
        }
    }

    void ApplyMetadata(const aiNode* node) {
        const aiMetadata* md = node->mMetaData;
        if (!md || !md->mKeys || !md->mValues) {
            return;
        }
        Item* item = m_info[node].item;
        for (unsigned i = 0; i < md->mNumProperties; ++i) {
            const std::wstring key = Widen(md->mKeys[i].C_Str());
            Param* p = item->GetParam(key);
            if (!p && !item->GetShaders().empty() && item->GetKind() == ItemKind::Light) {
                p = item->GetShaders().front()->GetParam(key);
            }
            if (p) {
                SetParamFromMetadata(p, md->mValues[i]);
            }
        }
    }

    void SetFrameRange() {
        double end = 0.0;
        if (m_anim) {
            double fps = HostApp::Get().GetFrameRate();
            if (!(fps > 0.0) || !std::isfinite(fps)) {
                fps = 30.0;
            }
            const double frames = m_anim->mDuration / m_ticksPerSecond * fps;
            if (frames > 0.0 && std::isfinite(frames)) {
                // A duration that is a whole number of frames up to rounding
                // ends on that frame.
                end = std::min(std::ceil(frames - 1e-9), kMaxEndFrame);
            } else if (frames > 0.0) {
                end = kMaxEndFrame;
            }
        }
        m_scene->SetFrameRange(0.0, end);
    }

    const aiScene& m_ai;
    const AssimpLoadOptions& m_options;
    bool m_isGltf;
    const GltfInterpolation* m_steps;
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
                                        bool isGltf, const GltfInterpolation* steps) {
    try {
        return Builder(scene, options, isGltf, steps).Build();
    } catch (const SceneLoadError&) {
        throw;
    } catch (const std::exception& e) {
        throw SceneLoadError(OneLine(e.what()));
    }
}

std::unique_ptr<Scene> LoadAssimpScene(const std::string& path, const AssimpLoadOptions& options) {
    CheckedSceneFile checked;
    try {
        checked = CheckSceneFile(path);
    } catch (const SceneLoadError& e) {
        throw SceneLoadError(path + ": " + e.what());
    }
    Assimp::Importer importer;
    importer.SetIOHandler(NewRegularFileSystem());
    // No made-up skeleton meshes for files without geometry, and FBX pivots
    // folded into their node instead of extra helper nodes.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    const aiScene* scene = nullptr;
    try {
        // No post-processing: vertices, meshes and materials stay as the file
        // has them.
        scene = importer.ReadFile(path, 0);
    } catch (const std::exception& e) {
        throw SceneLoadError(path + ": cannot read the scene: " + OneLine(e.what()));
    }
    if (!scene) {
        throw SceneLoadError(path +
                             ": cannot read the scene: " + OneLine(importer.GetErrorString()));
    }
    bool isGltf = false;
    aiString format;
    if (scene->mMetaData && scene->mMetaData->Get(AI_METADATA_SOURCE_FORMAT, format)) {
        isGltf = std::strncmp(format.C_Str(), "glTF2", 5) == 0;
    }
    const bool haveSteps = isGltf && checked.gltf;
    try {
        ValidateImportedScene(*scene);
        return BuildAssimpScene(*scene, options, isGltf,
                                haveSteps ? &checked.interpolation : nullptr);
    } catch (const SceneLoadError& e) {
        throw SceneLoadError(path + ": " + e.what());
    }
}

void LoadSceneFile(const std::string& path, const AssimpLoadOptions& options) {
    HostApp::Get().SetScene(LoadAssimpScene(path, options));
}

} // namespace host

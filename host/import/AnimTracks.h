// A file's node and morph animation as functions of the host's frame.
//
// Keys stay in the animation's ticks, held by the scene model's key store
// (Animated: linear, spherical-linear for rotations, or step). At frame f
// the tick is f / fps * ticks per second plus the tick Assimp made of the
// file's time 0, fps being the frame rate the scene was built for. Before the
// first and after the last key a track follows its pre and post state:
// constant and Assimp's "default" hold the end key, linear extrapolates the
// end segment, repeat loops the key range.
#pragma once

#include "host/import/Transforms.h"
#include "host/scene/Animated.h"

#include <assimp/anim.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace host {

// Ticks per second of an animation that does not say.
constexpr double kDefaultTicksPerSecond = 25.0;

template <class V> struct Track {
    Animated<V> keys; // keyed at ticks

    size_t Count() const { return keys.GetKeys().size(); }
};

// A track of (tick, value) pairs in any order; keys at no finite tick are
// dropped.
template <class V> Track<V> MakeTrack(std::vector<std::pair<double, V>> keys, bool step) {
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Track<V> tr;
    for (const auto& k : keys) {
        if (std::isfinite(k.first)) {
            tr.keys.SetKey(k.first, k.second, step ? Interp::Step : Interp::Linear);
        }
    }
    return tr;
}

// A track of Assimp keys, each value converted by `value`.
template <class K, class V, class F>
Track<V> MakeTrack(const K* keys, unsigned count, F value, bool step) {
    std::vector<std::pair<double, V>> pairs;
    pairs.reserve(count);
    for (unsigned i = 0; keys && i < count; ++i) {
        pairs.emplace_back(keys[i].mTime, value(keys[i].mValue));
    }
    return MakeTrack(std::move(pairs), step);
}

template <class V>
V EvalTrack(const Track<V>& tr, double tick, aiAnimBehaviour pre, aiAnimBehaviour post,
            const V& rest) {
    const auto& k = tr.keys.GetKeys();
    const size_t n = k.size();
    if (n == 0) {
        return rest;
    }
    const double t0 = k.front().frame;
    const double t1 = k.back().frame;
    if (n > 1 && (tick < t0 || tick > t1)) {
        const bool before = tick < t0;
        const aiAnimBehaviour state = before ? pre : post;
        if (state == aiAnimBehaviour_REPEAT && t1 > t0 && std::isfinite(tick)) {
            double into = std::fmod(tick - t0, t1 - t0);
            if (into < 0.0) {
                into += t1 - t0;
            }
            tick = t0 + into;
        } else if (state == aiAnimBehaviour_LINEAR && k.front().interp == Interp::Linear &&
                   std::isfinite(tick)) {
            const size_t a = before ? 0 : n - 2;
            return Blend(k[a].value, k[a + 1].value,
                         (tick - k[a].frame) / (k[a + 1].frame - k[a].frame));
        }
        // Constant, and Assimp's default, which every importer leaves on
        // channels whose format holds the end keys: the key store holds them.
    }
    return tr.keys.Eval(tick);
}

// The frame, in the animation's ticks, at fps frames per second (> 0);
// tickOffset is the tick Assimp made of the file's time 0.
double FrameToTick(double frame, double fps, double ticksPerSecond, double tickOffset);

// The node animation of one node.
struct NodeChannel {
    double fps = 30.0; // the frame rate the scene is built for
    double ticksPerSecond = kDefaultTicksPerSecond;
    double tickOffset = 0.0;
    Track<Vec3> position;
    Track<Quat> rotation;
    Track<Vec3> scaling;
    aiAnimBehaviour pre = aiAnimBehaviour_DEFAULT;
    aiAnimBehaviour post = aiAnimBehaviour_DEFAULT;
    SRT rest; // the node's own transform, for components without keys
    // The node's local transform at a time of the file (seconds), where the
    // file's own curves say more than the keys (see ColladaCurves.h); the
    // tracks then only tell which components are animated.
    std::function<Mat34(double seconds)> curve;
    // A curve without keys (a node Assimp left without a channel): every
    // component follows the curve.
    bool curveOnly = false;

    Vec3 Position(double frame) const;
    Quat Rotation(double frame) const;
    Vec3 Scaling(double frame) const;
    Mat34 Matrix(double frame) const;
    // The file's time in seconds at a frame.
    double Seconds(double frame) const;

  private:
    // The animation's tick at a frame.
    double Tick(double frame) const;
    // The curve's transform split into its parts, kept for the last frame
    // asked: position, rotation and scaling of one frame read it once.
    const SRT& CurveParts(double frame) const;
    mutable bool m_curveValid = false;
    mutable double m_curveFrame = 0.0;
    mutable SRT m_curveParts;
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

    const SRT& At(double frame) const;
    // The whole product at a frame, shear and all; safe to call from several
    // threads at once (it keeps nothing).
    Mat34 Matrix(double frame) const;

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

} // namespace host

// The transforms of FBX nodes as the format defines them, at any time.
//
// A node's local transform (column vectors, applied right to left):
//   T · Roff · Rp · Rpre · R · Rpost⁻¹ · Rp⁻¹ · Soff · Sp · S · Sp⁻¹
// T "Lcl Translation", R "Lcl Rotation" in the node's RotationOrder, S "Lcl
// Scaling", Roff/Rp "RotationOffset"/"RotationPivot", Soff/Sp
// "ScalingOffset"/"ScalingPivot", Rpre/Rpost "PreRotation"/"PostRotation"
// (XYZ angles). Where "RotationActive" is off, the rotation order and the
// pre and post rotations are not used (XYZ, none).
//
// Its global transform follows its InheritType: the local translation is
// placed by the parent's whole global transform, and the rotation and
// scaling (R_l = Rpre · R · Rpost⁻¹, S_l) combine with the parent's global
// rotation R_p and scaling S_p (R_p · S_p is the parent's global 3x3) as
//   0 RrSs: R_p · R_l · S_p · S_l    (the parent's scaling after the child's rotation)
//   1 RSrs: R_p · S_p · R_l · S_l    (the plain product of the matrices)
//   2 Rrs:  R_p · S_p · s_p⁻¹ · R_l · S_l  (s_p the parent's own "Lcl Scaling":
//                                   its scaling is not inherited, Maya's
//                                   segment scale compensation)
// A node's global rotation is R_p · R_l, its global scaling whatever makes
// up the global 3x3 with it.
//
// Lengths are in scene units (the file's times unitScale) and the top of the
// hierarchy is turned by `axes` (the file's axis system to the scene's).
//
// Evaluation is linear in the nodes per time: each thread keeps the global
// transforms of the last time it evaluated, so the nodes of one frame share
// their ancestors' work, and walks up the hierarchy without recursion.
#pragma once

#include "host/import/fbx/FbxAnimation.h"
#include "host/scene/Math.h"

#include <cstdint>
#include <vector>

namespace host {

enum class FbxInherit { RrSs = 0, RSrs = 1, Rrs = 2 };

// Euler angles (degrees) as a rotation matrix, in an FBX rotation order:
// 0 XYZ (x applied first), 1 XZY, 2 YZX, 3 YXZ, 4 ZXY, 5 ZYX (6, spheric
// XYZ, as XYZ).
Mat34 FbxEulerMatrix(const Vec3& degrees, int order);

// What a node's transform is made of, in the file's units.
struct FbxNodeTransform {
    int parent = -1; // index of the parent node, -1 for a top node
    FbxInherit inherit = FbxInherit::RSrs;
    int rotationOrder = 0;
    bool rotationActive = true;
    Vec3 translation;
    Vec3 rotation;
    Vec3 scaling{1.0, 1.0, 1.0};
    Vec3 rotationOffset, rotationPivot, scalingOffset, scalingPivot;
    Vec3 preRotation, postRotation;
    // The animated ones (not animated: the values above).
    FbxAnimatedProperty animTranslation, animRotation, animScaling;
};

class FbxTransforms {
  public:
    // nodes: parents before their children.
    FbxTransforms(std::vector<FbxNodeTransform> nodes, double unitScale, const Mat34& axes);
    FbxTransforms(const FbxTransforms&) = delete;
    FbxTransforms& operator=(const FbxTransforms&) = delete;

    size_t Count() const { return m_nodes.size(); }
    // The node's global transform in the scene at a time (seconds).
    Mat34 Global(int node, double seconds) const;
    // The node's local transform (without its parent) at a time.
    Mat34 Local(int node, double seconds) const;
    // True when the node or an ancestor is animated.
    bool IsAnimated(int node) const { return m_animated[static_cast<size_t>(node)] != 0; }

    // A node's global state at a time (file axes, scene units).
    struct State {
        Mat34 global;
        Mat34 rotation; // global rotation (3x3)
        Mat34 scaling;  // global scaling: rotation · scaling = global 3x3
        Vec3 localScaling;
    };

  private:
    void Evaluate(size_t node, double seconds, const State* parent, State* out) const;
    // The state of a node at the time `states` hold (nodes that move), or
    // at any time (nodes that do not); nullptr for -1.
    const State* StateOf(int node, const std::vector<State>& states) const;
    // The local transform, and its rotation R_l and scaling S_l.
    Mat34 LocalParts(size_t node, double seconds, Mat34* rotation, Vec3* scaling) const;

    std::vector<FbxNodeTransform> m_nodes;
    std::vector<uint8_t> m_animated;
    std::vector<State> m_still;       // the nodes that do not move
    std::vector<Mat34> m_pre;         // per node: Rpre
    std::vector<Mat34> m_postInverse; // per node: Rpost⁻¹
    double m_unitScale;
    Mat34 m_axes;
    uint64_t m_serial; // tells this evaluator's per-thread results from others'
};

} // namespace host

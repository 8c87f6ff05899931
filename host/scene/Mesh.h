// The geometry of a polygon-mesh item: rest points, polygons, and the
// deformations that move the points over time.
//
// The points at a frame are computed in one pass over the points, in this
// order for each point:
//   0. the base points: the rest points, or, for a mesh with a point source
//      (a vertex cache), the source's points at the frame;
//   1. morph targets: p = base + sum over targets of weight(frame) * delta;
//   2. skinning (see SkinMethod): linear blend, p = sum over influences of
//      w * J(frame) p, where J = inverse(M) * jointGlobal(frame) * offset and
//      M is the mesh's global transform at the frame, or its bind transform
//      when the skin has one; a point without influences keeps p (it moves
//      rigidly with the mesh);
//   3. procedural deformers, in the order they were added: p = d(frame, p, i).
// The result is in the mesh item's local space. The point order is the order
// of the rest points and never changes.
//
// Building: set the points first, then polygons, morph targets and skin.
// Builder calls that would make the mesh inconsistent throw
// std::invalid_argument (bad index, size or weight) or std::logic_error
// (changing the point count once morph targets, a skin, blend weights or a
// point source refer to it).
#pragma once

#include "host/scene/Animated.h"
#include "host/scene/PointArray.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace host {

class Item;

// One joint influence on a point.
struct Influence {
    int joint;     // index into the skin's joint list
    double weight; // >= 0; each point's weights are normalised to sum 1
};

// The influences of every point of a skin in one list, point after point:
// those of point p are entries start[p] up to start[p + 1] of joint and
// weight (start.size() == point count + 1).
struct SkinWeights {
    std::vector<int> start;
    std::vector<int> joint;
    std::vector<double> weight;
};

// A procedural deformer: the new position of point `index` at `frame`, given
// its position after the earlier stages.
using Deformer = std::function<Vec3(double frame, const Vec3& point, int index)>;

// How a skin blends the mappings of a point's joints.
//   Linear: the mappings' matrices weighted and summed.
//   DualQuaternion: each mapping's rigid motion as a unit dual quaternion,
//     the quaternions weighted and summed (each on the same side as the
//     point's first influence) and normalised, so that a twisting joint does
//     not shrink the skin. The blend works in world space at bind time
//     (the points mapped by M, the mesh's bind or current global transform,
//     and the result mapped back by inverse(M)); a mapping's scale and shear
//     (what remains of its matrix beside the nearest rotation) are weighted
//     and summed apart and applied to the point first.
//   Blended: both, per point: (1 - b) * linear + b * dual quaternion, with
//     the point's blend weight b from 0 to 1.
enum class SkinMethod { Linear, DualQuaternion, Blended };

// Where the points of a mesh come from at each frame, in place of its rest
// points: a vertex cache. A source has a fixed point count.
class PointSource {
  public:
    virtual ~PointSource() = default;
    virtual size_t GetPointCount() const = 0;
    // Writes the points at `frame` into out[0 .. GetPointCount() - 1]
    // (uninitialised storage: each point constructed in place). Called by
    // one thread at a time. Never throws: a source that cannot read a frame
    // writes the best points it has and reports the failure itself.
    virtual void ReadPoints(double frame, Vec3* out) = 0;
};

class Mesh {
  public:
    // Points.
    void SetPoints(const std::vector<Vec3>& points);
    int AddPoint(const Vec3& p);
    // A copy of the rest points; GetRestPoints shares them without a copy.
    std::vector<Vec3> GetPoints() const;
    // The largest coordinate magnitude of the points the last evaluation
    // (Evaluate, EvaluateArray) gave, and whether all were finite: measured
    // range by range as they were made, or once for the rest points.
    PointMagnitude LastMagnitude() const { return m_lastMagnitude; }
    const PointArray& GetRestPoints() const { return m_points; }
    int GetPointCount() const { return static_cast<int>(m_points.size()); }

    // Polygons: each an ordered list of at least one point index.
    int AddPolygon(const std::vector<int>& pointIndices);
    // Replaces every polygon at once: their sizes (each at least 1), and
    // their point indices one polygon after the other.
    void SetPolygons(std::vector<int> sizes, std::vector<int> pointIndices);
    int GetPolygonCount() const { return static_cast<int>(m_polySizes.size()); }
    // The number of points of each polygon.
    const std::vector<int>& GetPolygonSizes() const { return m_polySizes; }
    // Every polygon's point indices, polygon after polygon.
    const std::vector<int>& GetPolygonPoints() const { return m_polyPoints; }

    // Morph targets: per-point offsets from the rest points, blended by an
    // animatable weight (0 at first).
    int AddMorphTarget(const std::wstring& name, std::vector<Vec3> deltas);
    // The same with offsets other targets may share (a file's targets that
    // read one array): the mesh keeps them once.
    int AddMorphTarget(const std::wstring& name, std::shared_ptr<const std::vector<Vec3>> deltas);
    // A morph target that moves only some points: deltas[k] is the offset of
    // point indices[k] (each index at most once). Costs memory and time in
    // proportion to the points it moves.
    int AddMorphTarget(const std::wstring& name, std::vector<int> indices,
                       std::vector<Vec3> deltas);
    int GetMorphTargetCount() const { return static_cast<int>(m_morphs.size()); }
    const std::wstring& GetMorphTargetName(int index) const { return m_morphs.at(index).name; }
    Animated<double>& MorphWeight(int index) { return m_morphs.at(index).weight; }

    // Skin: joints (scene items), one offset matrix per joint (mesh space at
    // bind time to the joint's space, the inverse of the joint's bind
    // matrix relative to the mesh), and the influences of every point
    // (influences.size() == point count; a point may have none). Replaces
    // any earlier skin.
    void SetSkin(std::vector<const Item*> joints, std::vector<Mat34> offsets,
                 const std::vector<std::vector<Influence>>& influences);
    // The same with the influences in one list; the mesh keeps its storage.
    void SetSkinWeights(std::vector<const Item*> joints, std::vector<Mat34> offsets,
                        SkinWeights weights);
    bool HasSkin() const { return !m_joints.empty(); }
    const std::vector<const Item*>& GetJoints() const { return m_joints; }

    // The skin's method (Linear at first). Blended takes one blend weight per
    // point, each from 0 (linear) to 1 (dual quaternion); the other methods
    // take none.
    void SetSkinMethod(SkinMethod method, std::vector<double> blendWeights = {});
    SkinMethod GetSkinMethod() const { return m_skinMethod; }
    // The mesh's global transform when it was bound. Without it the skin
    // places the points where the joints put them in the scene whatever
    // the mesh item's own transform (they are mapped into its local space
    // by the inverse of its global transform at the frame); with it they are
    // mapped back by the inverse of this matrix instead, so that the mesh
    // item's own transform at the frame moves the skinned mesh.
    void SetSkinBindMatrix(const Mat34& meshGlobalAtBind);
    bool HasSkinBindMatrix() const { return m_hasSkinBind; }

    // The points come from `source` at each frame instead of the rest points
    // (null: the rest points again). Its point count must be the mesh's.
    void SetPointSource(std::shared_ptr<PointSource> source);
    bool HasPointSource() const { return m_source != nullptr; }

    void AddDeformer(Deformer d);
    int GetDeformerCount() const { return static_cast<int>(m_deformers.size()); }

    // True when the points can differ from the rest points.
    bool IsDeformed() const {
        return !m_morphs.empty() || HasSkin() || !m_deformers.empty() || m_source != nullptr;
    }

    // Writes the points at a frame into out[0 .. GetPointCount() - 1], in the
    // local space of `owner`, the item that holds this mesh. Each point is
    // constructed in place, so `out` may be uninitialised storage. No
    // allocation per call once the mesh is built. Not reentrant: it reuses
    // scratch buffers of the mesh. A deformed mesh of many points is
    // evaluated in fixed ranges of points on the scene's worker threads;
    // every point gets the same value whatever the number of threads, so
    // procedural deformers must be safe to call from several threads at
    // once (plain functions of their arguments are).
    void Evaluate(const Item& owner, double frame, Vec3* out) const;

    // The points at a frame as an array: for a mesh without deformation the
    // rest points themselves, shared without a copy; otherwise a new array
    // written in one pass. Not reentrant, like Evaluate.
    PointArray EvaluateArray(const Item& owner, double frame) const;

  private:
    struct Morph {
        std::wstring name;
        // Shared with the other targets that move the points alike.
        std::shared_ptr<const std::vector<Vec3>> deltas;
        std::vector<int> indices; // a sparse target: the points deltas move
        bool sparse = false;
        Animated<double> weight;
    };
    void CheckPointCountChange(size_t newCount) const;
    int AddMorph(Morph m);
    // The dual quaternion, scale and shear of every joint at a frame (see
    // m_jointDq).
    void PrepareDualQuaternions(const Mat34& before, const Mat34& after, double frame) const;

    // Shared with the arrays handed out; never changed in place.
    PointArray m_points;
    std::vector<int> m_polySizes;
    std::vector<int> m_polyPoints;
    int m_maxPolyIndex = -1;
    std::vector<Morph> m_morphs;
    std::vector<const Item*> m_joints;
    std::vector<Mat34> m_offsets;
    std::vector<int> m_infStart; // point count + 1 entries
    std::vector<int> m_infJoint;
    std::vector<double> m_infWeight;
    std::vector<Deformer> m_deformers;
    SkinMethod m_skinMethod = SkinMethod::Linear;
    std::vector<double> m_blendWeights; // Blended: one per point
    bool m_hasSkinBind = false;
    Mat34 m_skinBind;
    std::shared_ptr<PointSource> m_source;
    // Every point that a sparse morph target moves, each once, ascending.
    std::vector<int> m_sparseIndices;

    // Scratch reused by Evaluate: the morph targets in effect at the frame
    // and their weights, and the skin's matrices at the frame (mesh space at
    // bind time to mesh space at the frame), as 4 columns of 4 values
    // (rows 0 to 2 and a 0) per joint.
    // The points of the last deformed evaluation, whose storage the next one
    // reuses once the caller has let them go, and the storage of the one
    // before, used instead while the caller still holds the last one.
    mutable PointArray m_evaluated;
    mutable PointArray m_evaluatedOther;
    mutable std::vector<const Vec3*> m_activeDeltas;
    mutable std::vector<double> m_activeWeights;
    mutable std::vector<double> m_jointColumns;
    // The points the source gave for the frame (when other stages follow).
    mutable std::vector<Vec3> m_sourcePoints;
    // The sum of the sparse morph targets in effect, one entry per point
    // (zero but at m_sparseIndices).
    mutable std::vector<Vec3> m_sparseSum;
    // Dual-quaternion skinning at the frame, per joint: the real and dual
    // quaternions of its rigid motion in world space (x, y, z, w each), and
    // the 3x3 scale and shear applied before it (row after row), with
    // m_jointStretched telling whether any joint has one.
    mutable std::vector<double> m_jointDq;
    mutable std::vector<double> m_jointStretch;
    mutable bool m_jointStretched = false;
    // What LastMagnitude gives; the rest points' (measured at the first
    // evaluation after they change); one entry per range of a threaded
    // evaluation.
    const PointMagnitude& RestMagnitude() const;
    mutable PointMagnitude m_lastMagnitude;
    mutable PointMagnitude m_restMagnitude;
    mutable bool m_restMeasured = false;
    mutable std::vector<PointMagnitude> m_rangeMagnitudes;
};

} // namespace host

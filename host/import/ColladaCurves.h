// The animation curves of a Collada file's node transforms, as the file has
// them.
//
// Assimp 5.2 keeps only the values of a Collada sampler's keys and blends
// linearly between them, then splits the node's matrix at those keys into
// position, rotation and scaling keys. A Bezier curve (what Blender writes
// for the keys an artist sets, easing in and out), a Hermite curve or a step
// curve then plays differently from the file: the keys are right, the frames
// between them are not. For a node that has such a curve, the node's local
// transform is evaluated from the file itself: its transform elements
// (<translate>, <rotate>, <scale>, <matrix>) in document order, with the
// values that <channel>s animate taken from their samplers' curves.
//
// Between two keys a curve follows the interpolation of the earlier key:
//   LINEAR  blends the two values;
//   STEP    holds the earlier value;
//   BEZIER  is the cubic Bezier segment of (time, value) points from the
//           earlier key through its OUT_TANGENT and the later key's
//           IN_TANGENT to the later key; the value at a time is that of the
//           segment's point at that time. Tangents of one number per value
//           (no time) lie a third and two thirds along the segment's time.
//           Control points outside the segment's time, or overlapping in
//           time, are pulled in so that the time only grows along the
//           segment, as Blender does with its own curves;
//   HERMITE is the same curve with tangents given as slopes: the Bezier
//           control points are the key plus a third of its OUT_TANGENT and
//           the later key minus a third of its IN_TANGENT.
// Other interpolations (CARDINAL, BSPLINE) are read as LINEAR, as Assimp
// does. Before the first key and after the last a curve holds its end value.
//
// Blender (3.x) writes the nodes of a file whose keys it keeps, rather than
// sampling them, as <scale sid="scale">, <rotate sid="rotationZ">, "rotationY",
// "rotationX" and <translate sid="location">, in this order. Composed in
// document order, as Collada composes, that scales and rotates the
// translation; Blender means its object's location, rotation (Z, Y, X) and
// scale, the usual translate-rotate-scale, and reads its own files so. The
// nodes of a file Blender wrote (its <authoring_tool>) with exactly these
// elements are composed as location, rotationZ, rotationY, rotationX, scale,
// animated or not, so that they land where Blender puts them.
#pragma once

#include "host/import/ColladaXml.h"
#include "host/scene/Math.h"

#include <pugixml.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace host {

// One sampler: keys of `width` values each.
class ColladaCurve {
  public:
    enum class Interp { Linear, Step, Bezier };

    struct Key {
        double time = 0.0;
        Interp interp = Interp::Linear;
    };

    // Keys in time order; values, and for Bezier keys the control points
    // (time, value) before and after the key, `width` per key.
    ColladaCurve(std::vector<Key> keys, int width, std::vector<double> values,
                 std::vector<double> inTime, std::vector<double> inValue,
                 std::vector<double> outTime, std::vector<double> outValue);

    int Width() const { return m_width; }
    // The values at a time (seconds) into out[0 .. Width() - 1].
    void Eval(double time, double* out) const;
    // Whether every segment is linear (what Assimp's keys already show).
    bool IsLinear() const;
    // The time of the last key (seconds), 0 for none.
    double EndTime() const { return m_keys.empty() ? 0.0 : m_keys.back().time; }

  private:
    double BezierValue(size_t k, int c, double time) const;

    std::vector<Key> m_keys;
    int m_width;
    std::vector<double> m_values, m_inTime, m_inValue, m_outTime, m_outValue;
};

// A node's transform elements and the curves that animate them.
class ColladaNodeCurves {
  public:
    enum class ElementKind { Translate, Rotate, Scale, Matrix };

    struct Animation {
        int first = 0; // the first value of the element the curve sets
        std::shared_ptr<const ColladaCurve> curve;
    };
    struct Element {
        ElementKind kind = ElementKind::Translate;
        std::string sid;
        std::vector<double> values; // 3, 4 (axis, angle in degrees) or 16 (rows)
        std::vector<Animation> animations;
    };

    std::vector<Element> elements; // in the order they compose

    // The node's local transform at a time of the file (seconds), in the
    // file's numbers.
    Mat34 At(double time) const;
    // Whether a curve animates a <matrix> element, whose values may shear.
    bool AnimatesMatrix() const;
};

// Reads a document's samplers (ids: its elements by id), each curve once:
// the channels and samplers that read the same sources share one curve, and
// each array is parsed once. Read throws FileMeshError, its message starting
// with `what`, for broken data.
class ColladaSamplers {
  public:
    explicit ColladaSamplers(const std::map<std::string, pugi::xml_node>& ids) : m_ids(ids) {}
    std::shared_ptr<const ColladaCurve> Read(const pugi::xml_node& sampler,
                                             const std::string& what);

  private:
    const std::map<std::string, pugi::xml_node>& m_ids;
    ColladaArrays m_arrays;
    // By the sources of INPUT, OUTPUT, INTERPOLATION, IN_TANGENT, OUT_TANGENT.
    std::map<std::vector<const void*>, std::shared_ptr<const ColladaCurve>> m_curves;
};

// The curves of the nodes animated by a sampler that other channels share
// too (Assimp keeps only the last channel of a sampler) or that lie inside
// <library_nodes> (Assimp drops their channels), and of the nodes
// that have at least one curve that is not linear
// or that animates a <matrix> (Assimp splits the matrices of its keys into
// translation, rotation and scaling, which drops a shear: a bone under an
// unevenly scaled parent that does not inherit its scaling), and the nodes
// in Blender's layout, by node id (the name Assimp gives the node). Nodes
// whose animation the
// reader cannot follow (other transform elements, targets it does not know)
// are left out: Assimp's keys stay theirs. Throws FileMeshError for a
// sampler whose data is broken (missing or short arrays, text that is no
// number).
std::map<std::string, std::shared_ptr<const ColladaNodeCurves>>
ReadColladaCurves(const std::string& text);
// The same from the parsed document; unread, when given, receives the
// targets of the channels of nodes inside <library_nodes> that the reader
// cannot follow (Assimp drops those channels too).
std::map<std::string, std::shared_ptr<const ColladaNodeCurves>>
ReadColladaCurves(const pugi::xml_document& doc, std::vector<std::string>* unread = nullptr);

} // namespace host

// The animation of an FBX file: its stacks (FBX 6.x: takes), the layers of
// a stack, and the value of any animated property of any object at any
// time.
//
//   std::vector<FbxAnimStack> stacks = FbxAnimation::Stacks(file);
//   FbxAnimation anim(file, 0);                       // the first stack
//   FbxAnimatedProperty t = anim.Property(model.id, "Lcl Translation", {0, 0, 0});
//   if (t.IsAnimated()) { double v[3]; t.Evaluate(seconds, v); }
//   FbxAnimatedProperty w = anim.Property(channel.id, "DeformPercent", {0});
//
// 7.x: a stack ("AnimationStack") holds layers ("AnimationLayer", base layer
// first); a layer holds curve nodes ("AnimationCurveNode"), each bound to
// one property of one object by an "OP" connection, with a default value
// per component ("d|X", "d|Y", "d|Z", or "d|<name>" for a single number)
// and an animation curve per animated component (an "OP" connection to
// "d|X" ...). 6.x: a take holds, per model, channels: "Transform" with "T",
// "R" and "S" (the properties "Lcl Translation", "Lcl Rotation", "Lcl
// Scaling"), and channels named after the property they animate, each with
// its keys or its components ("X", "Y", "Z"); a take is one layer.
//
// Layers: the first layer that animates a property gives its value; each
// later one blends in by its blend mode (additive: adds its value times its
// weight; override and override-passthrough: moves towards its value by its
// weight), with scalings multiplied (value to the power of the weight)
// unless the layer accumulates scaling additively. A layer's rotation
// accumulation (by component, or as whole rotations) is reported for the
// transform code, which composes rotations (FbxTransforms.h).
//
// Curves are decoded when a property asks for them, once each: a curve no
// property of the chosen stack uses is never decoded.
#pragma once

#include "host/import/fbx/FbxCurves.h"
#include "host/import/fbx/FbxScene.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace host {

struct FbxAnimStack {
    FbxId id = 0; // 6.x: the take's index
    std::string name;
    bool hasSpan = false; // the stack gives its time span
    double start = 0.0;   // seconds
    double stop = 0.0;
};

struct FbxAnimLayer {
    FbxId id = 0;
    std::string name;
    enum class Blend { Additive, Override, OverridePassthrough };
    Blend blend = Blend::Additive;
    double weight = 1.0;              // 0..1 (the file's percent / 100)
    bool rotationByComponent = false; // else rotations accumulate as wholes
    bool scaleAdditive = false;       // else scalings multiply
    bool mute = false;
    bool solo = false; // played as any other layer
};

// One property of one object as the chosen stack animates it. Copyable;
// holds its curves, not the file.
class FbxAnimatedProperty {
  public:
    // True when some layer of the stack animates the property.
    bool IsAnimated() const { return !m_layers.empty(); }
    // True when its value never changes over time.
    bool IsConstant() const;
    size_t Size() const { return m_base.size(); }
    // The value at a time (seconds), every layer blended: out[0 .. Size()).
    void Evaluate(double seconds, double* out) const;
    Vec3 EvaluateVec3(double seconds) const;
    double EvaluateNumber(double seconds) const;

    // The layers that animate the property, in blending order, and the
    // value one of them gives (components it does not animate: the value
    // the property has without animation).
    size_t LayerCount() const { return m_layers.size(); }
    const FbxAnimLayer& Layer(size_t i) const { return m_layers[i].info; }
    void LayerValue(size_t i, double seconds, double* out) const;
    // The weight of layer i at a time (0..1; a layer's weight may be animated).
    double LayerWeight(size_t i, double seconds) const;
    // True when layer i sets component c (else it leaves it as below).
    bool ComponentPresent(size_t i, size_t c) const { return m_layers[i].components[c].present; }
    // The first and last key time of its curves (false: none).
    bool KeyRange(double* first, double* last) const;

  private:
    friend class FbxAnimation;
    struct Component {
        std::shared_ptr<const FbxCurve> curve; // nullptr: the constant value
        double value = 0.0;
        bool present = false; // the layer sets this component
    };
    struct LayerPart {
        FbxAnimLayer info;
        std::vector<Component> components;
        // The layer's animated weight (percent), or nullptr.
        std::shared_ptr<const FbxAnimatedProperty> weight;
    };
    std::vector<double> m_base;
    std::vector<LayerPart> m_layers;
    bool m_scaling = false; // "Lcl Scaling": layers multiply
};

class FbxAnimation {
  public:
    // The stacks of a file, in file order (7.x "AnimationStack" objects,
    // 6.x takes).
    static std::vector<FbxAnimStack> Stacks(const FbxScene& file);

    // The animation of stack `stack` (an index into Stacks; -1 or out of
    // range: no animation). The file must outlive it.
    FbxAnimation(const FbxScene& file, int stack);

    const FbxAnimStack* Stack() const { return m_stack < 0 ? nullptr : &m_stackInfo; }
    const std::vector<FbxAnimLayer>& Layers() const { return m_layers; }

    // The property as the stack animates it; base: its value without
    // animation (as many numbers as it has components). Marks the property
    // as evaluated. Throws FbxError for a curve the file cannot hold.
    FbxAnimatedProperty Property(FbxId object, const std::string& property,
                                 std::vector<double> base) const;
    bool IsAnimated(FbxId object, const std::string& property) const;

    // Every (object, property) the stack animates, and whether Property
    // has been asked for it: what is never asked for is not evaluated.
    std::vector<std::pair<FbxId, std::string>> AnimatedProperties() const;
    bool WasEvaluated(FbxId object, const std::string& property) const;
    // True when the property's curves change its value over time.
    bool Varies(FbxId object, const std::string& property) const;

    // What the curves decoded so far used that is evaluated differently.
    const FbxCurveNotes& Notes() const { return m_notes; }

  private:
    struct Binding {
        size_t layer = 0;
        const FbxObject* curveNode = nullptr; // 7.x
        const FbxNode* channel = nullptr;     // 6.x
        bool transformChannel = false;        // 6.x T, R, S (components X, Y, Z)
    };
    using Key = std::pair<FbxId, std::string>;
    void Bind7(const FbxObject& stack);
    void Bind6(const FbxNode& take);
    std::shared_ptr<const FbxCurve> Curve7(const FbxObject& curve) const;
    std::shared_ptr<const FbxCurve> Curve6(const FbxNode& channel) const;
    void Components(const Binding& b, const std::vector<double>& base,
                    std::vector<FbxAnimatedProperty::Component>* out) const;

    const FbxScene& m_file;
    int m_stack = -1;
    FbxAnimStack m_stackInfo;
    std::vector<FbxAnimLayer> m_layers;
    std::map<Key, std::vector<Binding>> m_bindings;
    // Per layer: its animated weight (percent), or nullptr.
    std::vector<std::shared_ptr<const FbxAnimatedProperty>> m_layerWeights;
    mutable std::set<Key> m_evaluated;
    mutable std::map<const FbxNode*, std::shared_ptr<const FbxCurve>> m_curves;
    mutable FbxCurveNotes m_notes;
};

} // namespace host

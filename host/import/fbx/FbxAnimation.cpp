#include "host/import/fbx/FbxAnimation.h"

#include <algorithm>
#include <cmath>

namespace host {
namespace {

// The component index of a curve node's channel name: X, Y, Z (or R, G, B)
// are 0, 1, 2; any other name its place among the node's channels.
int ComponentIndex(const std::string& name, const std::vector<std::string>& names) {
    if (name == "X" || name == "R") {
        return 0;
    }
    if (name == "Y" || name == "G") {
        return 1;
    }
    if (name == "Z" || name == "B") {
        return 2;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return static_cast<int>(i);
        }
    }
    return names.empty() ? 0 : -1;
}

// A 6.x channel's "Default" value; throws FbxError when it is no finite
// number.
double FiniteDefault(const FbxNode& d) {
    if (!std::isfinite(d.Number(0))) {
        throw FbxError("FBX 6 animation channel: its default value is not a finite number");
    }
    return d.Number(0);
}

double TicksToSeconds(double ticks) {
    return ticks / kFbxTicksPerSecond;
}

// 6.x transform channels and the properties they animate.
const char* TransformProperty(const std::string& channel) {
    if (channel == "T") {
        return "Lcl Translation";
    }
    if (channel == "R") {
        return "Lcl Rotation";
    }
    if (channel == "S") {
        return "Lcl Scaling";
    }
    return nullptr;
}

} // namespace

// ---------------------------------------------------------------------------
// FbxAnimatedProperty

bool FbxAnimatedProperty::IsConstant() const {
    for (const LayerPart& l : m_layers) {
        for (const Component& c : l.components) {
            if (c.curve && !c.curve->IsConstant()) {
                return false;
            }
        }
    }
    return true;
}

void FbxAnimatedProperty::LayerValue(size_t i, double seconds, double* out) const {
    const LayerPart& l = m_layers[i];
    for (size_t c = 0; c < m_base.size(); ++c) {
        const Component& comp = l.components[c];
        out[c] = comp.curve ? comp.curve->Evaluate(seconds) : comp.value;
    }
}

double FbxAnimatedProperty::LayerWeight(size_t i, double seconds) const {
    const LayerPart& l = m_layers[i];
    if (!l.weight) {
        return l.info.weight;
    }
    const double w = l.weight->EvaluateNumber(seconds) / 100.0;
    return std::isfinite(w) ? std::clamp(w, 0.0, 1.0) : l.info.weight;
}

void FbxAnimatedProperty::Evaluate(double seconds, double* out) const {
    const size_t n = m_base.size();
    for (size_t c = 0; c < n; ++c) {
        out[c] = m_base[c];
    }
    double value[16];
    for (size_t i = 0; i < m_layers.size(); ++i) {
        FbxAnimLayer info = m_layers[i].info;
        info.weight = LayerWeight(i, seconds);
        LayerValue(i, seconds, value);
        for (size_t c = 0; c < n && c < 16; ++c) {
            if (!m_layers[i].components[c].present) {
                continue;
            }
            if (info.weight >= 1.0 && info.blend != FbxAnimLayer::Blend::Additive) {
                out[c] = value[c];
            } else if (info.blend != FbxAnimLayer::Blend::Additive) {
                if (m_scaling && out[c] > 0.0 && value[c] > 0.0) {
                    // Scalings blend by their ratio.
                    out[c] = std::pow(out[c], 1.0 - info.weight) * std::pow(value[c], info.weight);
                } else {
                    out[c] += (value[c] - out[c]) * info.weight;
                }
            } else if (m_scaling && !info.scaleAdditive) {
                out[c] *= std::pow(value[c], info.weight);
            } else {
                out[c] += value[c] * info.weight;
            }
        }
    }
}

Vec3 FbxAnimatedProperty::EvaluateVec3(double seconds) const {
    double v[3] = {0.0, 0.0, 0.0};
    if (m_base.size() >= 3) {
        Evaluate(seconds, v);
    }
    return {v[0], v[1], v[2]};
}

double FbxAnimatedProperty::EvaluateNumber(double seconds) const {
    double v[16] = {0.0};
    if (!m_base.empty() && m_base.size() <= 16) {
        Evaluate(seconds, v);
    }
    return v[0];
}

bool FbxAnimatedProperty::KeyRange(double* first, double* last) const {
    bool any = false;
    for (const LayerPart& l : m_layers) {
        for (const Component& c : l.components) {
            if (c.curve && !c.curve->keys.empty()) {
                *first = any ? std::min(*first, c.curve->FirstTime()) : c.curve->FirstTime();
                *last = any ? std::max(*last, c.curve->LastTime()) : c.curve->LastTime();
                any = true;
            }
        }
    }
    return any;
}

// ---------------------------------------------------------------------------
// FbxAnimation

std::vector<FbxAnimStack> FbxAnimation::Stacks(const FbxScene& file) {
    std::vector<FbxAnimStack> out;
    if (file.IsVersion6()) {
        const FbxNode* takes = file.Document().Root().Child("Takes");
        FbxId index = 0;
        for (size_t i = 0; takes && i < takes->children.size(); ++i) {
            const FbxNode& take = takes->children[i];
            if (take.name != "Take") {
                continue;
            }
            FbxAnimStack s;
            s.id = index++;
            s.name = take.Text(0);
            if (const FbxNode* local = take.Child("LocalTime")) {
                s.start = TicksToSeconds(local->Number(0));
                s.stop = TicksToSeconds(local->Number(1));
                s.hasSpan = std::isfinite(s.start) && std::isfinite(s.stop) && s.stop > s.start;
            }
            out.push_back(std::move(s));
        }
        return out;
    }
    for (const FbxObject& o : file.Objects()) {
        if (o.type != "AnimationStack") {
            continue;
        }
        FbxAnimStack s;
        s.id = o.id;
        s.name = o.name;
        const FbxPropertyRef start = file.Property(o, "LocalStart");
        const FbxPropertyRef stop = file.Property(o, "LocalStop");
        s.start = TicksToSeconds(static_cast<double>(start.Integer(0)));
        s.stop = TicksToSeconds(static_cast<double>(stop.Integer(0)));
        s.hasSpan = std::isfinite(s.start) && std::isfinite(s.stop) && s.stop > s.start;
        if (!s.hasSpan) {
            s.start = s.stop = 0.0;
        }
        out.push_back(std::move(s));
    }
    return out;
}

FbxAnimation::FbxAnimation(const FbxScene& file, int stack) : m_file(file) {
    const std::vector<FbxAnimStack> stacks = Stacks(file);
    if (stack < 0 || static_cast<size_t>(stack) >= stacks.size()) {
        return;
    }
    m_stack = stack;
    m_stackInfo = stacks[static_cast<size_t>(stack)];
    if (file.IsVersion6()) {
        const FbxNode* takes = file.Document().Root().Child("Takes");
        int index = 0;
        for (size_t i = 0; takes && i < takes->children.size(); ++i) {
            if (takes->children[i].name == "Take" && index++ == stack) {
                Bind6(takes->children[i]);
                break;
            }
        }
    } else if (const FbxObject* s = file.Find(m_stackInfo.id)) {
        Bind7(*s);
    }
    // Animated layer weights: their curves as they are, whatever layer
    // holds them.
    m_layerWeights.resize(m_layers.size());
    for (size_t i = 0; i < m_layers.size(); ++i) {
        if (!m_bindings.count({m_layers[i].id, "Weight"}) || file.IsVersion6()) {
            continue;
        }
        FbxAnimatedProperty w = Property(m_layers[i].id, "Weight", {m_layers[i].weight * 100.0});
        for (FbxAnimatedProperty::LayerPart& part : w.m_layers) {
            part.info.blend = FbxAnimLayer::Blend::Override;
            part.info.weight = 1.0;
            part.weight = nullptr;
        }
        m_layerWeights[i] = std::make_shared<const FbxAnimatedProperty>(std::move(w));
    }
}

void FbxAnimation::Bind7(const FbxObject& stack) {
    for (const FbxObject* layer : m_file.Sources(stack.id, "AnimationLayer")) {
        FbxAnimLayer info;
        info.id = layer->id;
        info.name = layer->name;
        const double mode = m_file.Number(*layer, "BlendMode", 0.0);
        info.blend = mode == 1.0   ? FbxAnimLayer::Blend::Override
                     : mode == 2.0 ? FbxAnimLayer::Blend::OverridePassthrough
                                   : FbxAnimLayer::Blend::Additive;
        const double weight = m_file.Number(*layer, "Weight", 100.0) / 100.0;
        info.weight = std::isfinite(weight) ? std::clamp(weight, 0.0, 1.0) : 1.0;
        info.rotationByComponent = m_file.Number(*layer, "RotationAccumulationMode", 0.0) == 1.0;
        info.scaleAdditive = m_file.Number(*layer, "ScaleAccumulationMode", 0.0) == 1.0;
        info.mute = m_file.Number(*layer, "Mute", 0.0) != 0.0;
        info.solo = m_file.Number(*layer, "Solo", 0.0) != 0.0;
        const size_t index = m_layers.size();
        m_layers.push_back(info);
        if (info.mute) {
            continue;
        }
        for (const FbxObject* node : m_file.Sources(layer->id, "AnimationCurveNode")) {
            for (const FbxConnection* c : m_file.ConnectionsFrom(node->id)) {
                if (!c->toProperty || c->property.empty()) {
                    continue;
                }
                Binding b;
                b.layer = index;
                b.curveNode = node;
                m_bindings[{c->destination, c->property}].push_back(b);
            }
        }
    }
}

void FbxAnimation::Bind6(const FbxNode& take) {
    FbxAnimLayer info;
    info.name = take.Text(0);
    info.blend = FbxAnimLayer::Blend::Override;
    m_layers.push_back(info);
    // The ids the file's objects got, by their full names.
    std::map<std::string, FbxId> ids;
    for (const FbxObject& o : m_file.Objects()) {
        ids.emplace(o.className + "::" + o.name, o.id);
    }
    for (const FbxNode& entry : take.children) {
        if (entry.name != "Model") {
            continue;
        }
        const auto id = ids.find(entry.Text(0));
        if (id == ids.end()) {
            continue;
        }
        for (const FbxNode& channel : entry.children) {
            if (channel.name != "Channel") {
                continue;
            }
            const std::string name = channel.Text(0);
            if (name == "Transform") {
                for (const FbxNode& part : channel.children) {
                    const char* property =
                        part.name == "Channel" ? TransformProperty(part.Text(0)) : nullptr;
                    if (property) {
                        Binding b;
                        b.channel = &part;
                        b.transformChannel = true;
                        m_bindings[{id->second, property}].push_back(b);
                    }
                }
                continue;
            }
            Binding b;
            b.channel = &channel;
            m_bindings[{id->second, name}].push_back(b);
        }
    }
}

std::shared_ptr<const FbxCurve> FbxAnimation::Curve7(const FbxObject& curve) const {
    auto it = m_curves.find(curve.node);
    if (it != m_curves.end()) {
        return it->second;
    }
    auto c =
        std::make_shared<const FbxCurve>(ReadFbx7Curve(m_file.Document(), *curve.node, &m_notes));
    m_curves.emplace(curve.node, c);
    return c;
}

std::shared_ptr<const FbxCurve> FbxAnimation::Curve6(const FbxNode& channel) const {
    if (!channel.Child("Key")) {
        return nullptr;
    }
    auto it = m_curves.find(&channel);
    if (it != m_curves.end()) {
        return it->second;
    }
    auto c = std::make_shared<const FbxCurve>(ReadFbx6Curve(m_file.Document(), channel, &m_notes));
    m_curves.emplace(&channel, c);
    return c;
}

void FbxAnimation::Components(const Binding& b, const std::vector<double>& base,
                              std::vector<FbxAnimatedProperty::Component>* out) const {
    out->assign(base.size(), {});
    for (size_t i = 0; i < base.size(); ++i) {
        (*out)[i].value = base[i];
    }
    if (b.channel) { // 6.x
        std::vector<const FbxNode*> parts;
        for (const FbxNode& c : b.channel->children) {
            if (c.name == "Channel") {
                parts.push_back(&c);
            }
        }
        if (parts.empty()) {
            if (!out->empty()) {
                (*out)[0].present = true;
                (*out)[0].curve = Curve6(*b.channel);
                if (const FbxNode* d = b.channel->Child("Default")) {
                    (*out)[0].value = FiniteDefault(*d);
                }
            }
            return;
        }
        for (size_t k = 0; k < parts.size(); ++k) {
            const int i =
                b.transformChannel ? ComponentIndex(parts[k]->Text(0), {}) : static_cast<int>(k);
            if (i < 0 || static_cast<size_t>(i) >= out->size()) {
                continue;
            }
            (*out)[i].present = true;
            (*out)[i].curve = Curve6(*parts[k]);
            if (const FbxNode* d = parts[k]->Child("Default")) {
                (*out)[i].value = FiniteDefault(*d);
            }
        }
        return;
    }
    // 7.x: the curve node's channels ("d|X", ...) with their defaults.
    std::vector<std::string> names;
    if (const FbxNode* props = b.curveNode->properties) {
        for (const FbxNode& p : props->children) {
            const std::string name = p.Text(0);
            if (p.name != "P" || name.compare(0, 2, "d|") != 0) {
                continue;
            }
            names.push_back(name.substr(2));
            const int at = ComponentIndex(names.back(), names);
            if (at >= 0 && static_cast<size_t>(at) < out->size() && p.values.size() > 4 &&
                p.values[4].kind == FbxValue::Kind::Number) {
                if (!std::isfinite(p.Number(4))) {
                    throw FbxError("the default value of \"" + name + "\" is not a finite number");
                }
                (*out)[static_cast<size_t>(at)].value = p.Number(4);
                (*out)[static_cast<size_t>(at)].present = true;
            }
        }
    }
    for (const FbxConnection* c : m_file.ConnectionsTo(b.curveNode->id)) {
        if (!c->toProperty || c->property.compare(0, 2, "d|") != 0) {
            continue;
        }
        const FbxObject* curve = m_file.Find(c->source);
        if (!curve || curve->type != "AnimationCurve") {
            continue;
        }
        const int i = ComponentIndex(c->property.substr(2), names);
        if (i >= 0 && static_cast<size_t>(i) < out->size()) {
            (*out)[static_cast<size_t>(i)].curve = Curve7(*curve);
            (*out)[static_cast<size_t>(i)].present = true;
        }
    }
}

FbxAnimatedProperty FbxAnimation::Property(FbxId object, const std::string& property,
                                           std::vector<double> base) const {
    FbxAnimatedProperty out;
    out.m_scaling = property == "Lcl Scaling";
    auto it = m_bindings.find({object, property});
    if (it != m_bindings.end()) {
        m_evaluated.insert(it->first);
        for (const Binding& b : it->second) {
            FbxAnimatedProperty::LayerPart part;
            part.info = m_layers[b.layer];
            if (b.layer < m_layerWeights.size()) {
                part.weight = m_layerWeights[b.layer];
            }
            if (b.layer == 0) {
                // The base layer sets the value whatever its mode.
                part.info.blend = FbxAnimLayer::Blend::Override;
                part.info.weight = 1.0;
            }
            try {
                Components(b, base, &part.components);
            } catch (const FbxError& e) {
                // Named by what it animates.
                const FbxObject* o = m_file.Find(object);
                throw FbxError("the animation of \"" + property + "\" on \"" +
                               (o ? o->name : std::string()) + "\": " + e.what());
            }
            out.m_layers.push_back(std::move(part));
        }
    }
    out.m_base = std::move(base);
    return out;
}

bool FbxAnimation::IsAnimated(FbxId object, const std::string& property) const {
    return m_bindings.count({object, property}) > 0;
}

std::vector<std::pair<FbxId, std::string>> FbxAnimation::AnimatedProperties() const {
    std::vector<std::pair<FbxId, std::string>> out;
    for (const auto& b : m_bindings) {
        out.push_back(b.first);
    }
    return out;
}

bool FbxAnimation::WasEvaluated(FbxId object, const std::string& property) const {
    return m_evaluated.count({object, property}) > 0;
}

bool FbxAnimation::Varies(FbxId object, const std::string& property) const {
    auto it = m_bindings.find({object, property});
    if (it == m_bindings.end()) {
        return false;
    }
    const bool wasEvaluated = WasEvaluated(object, property);
    const FbxAnimatedProperty p = Property(object, property, std::vector<double>(3, 0.0));
    if (!wasEvaluated) {
        m_evaluated.erase({object, property});
    }
    return !p.IsConstant();
}

} // namespace host

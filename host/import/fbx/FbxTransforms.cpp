#include "host/import/fbx/FbxTransforms.h"

#include <atomic>
#include <cmath>
#include <limits>

namespace host {
namespace {

std::atomic<uint64_t> g_nextSerial{1};

Mat34 RotationX(double a) {
    Mat34 m;
    const double c = std::cos(a), s = std::sin(a);
    m.m[1][1] = c;
    m.m[1][2] = -s;
    m.m[2][1] = s;
    m.m[2][2] = c;
    return m;
}
Mat34 RotationY(double a) {
    Mat34 m;
    const double c = std::cos(a), s = std::sin(a);
    m.m[0][0] = c;
    m.m[0][2] = s;
    m.m[2][0] = -s;
    m.m[2][2] = c;
    return m;
}
Mat34 RotationZ(double a) {
    Mat34 m;
    const double c = std::cos(a), s = std::sin(a);
    m.m[0][0] = c;
    m.m[0][1] = -s;
    m.m[1][0] = s;
    m.m[1][1] = c;
    return m;
}

Mat34 Translation(const Vec3& t) {
    Mat34 m;
    m.m[0][3] = t.x;
    m.m[1][3] = t.y;
    m.m[2][3] = t.z;
    return m;
}

Mat34 Scaling(const Vec3& s) {
    Mat34 m;
    m.m[0][0] = s.x;
    m.m[1][1] = s.y;
    m.m[2][2] = s.z;
    return m;
}

// The 3x3 part alone.
Mat34 Linear(Mat34 m) {
    m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0;
    return m;
}

Mat34 Transposed3(const Mat34& a) {
    Mat34 t;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            t.m[r][c] = a.m[c][r];
        }
    }
    return t;
}

Vec3 Value(const FbxAnimatedProperty& p, const Vec3& still, double seconds) {
    return p.IsAnimated() ? p.EvaluateVec3(seconds) : still;
}

// The angles of "Lcl Rotation" at a time. Layers that accumulate rotations
// by component add (or blend) angles; the others combine whole rotations,
// as Maya's layers do: the rotations as XYZ angles (whatever the node's
// order), an additive layer's turned in after what is below as much as its
// weight, an override layer's reached by a spherical blend; the result as
// XYZ angles again.
Vec3 LayeredAngles(const FbxAnimatedProperty& p, const Vec3& still, double seconds) {
    bool whole = false;
    for (size_t i = 1; i < p.LayerCount(); ++i) {
        whole = whole || !p.Layer(i).rotationByComponent;
    }
    if (!whole) {
        return Value(p, still, seconds);
    }
    Vec3 e = still;
    for (size_t i = 0; i < p.LayerCount(); ++i) {
        const FbxAnimLayer& layer = p.Layer(i);
        double v[3];
        p.LayerValue(i, seconds, v);
        const bool additive = i > 0 && layer.blend == FbxAnimLayer::Blend::Additive;
        const double w = i == 0 ? 1.0 : p.LayerWeight(i, seconds);
        if (i == 0 || layer.rotationByComponent) {
            double* out[3] = {&e.x, &e.y, &e.z};
            for (size_t c = 0; c < 3; ++c) {
                if (p.ComponentPresent(i, c)) {
                    *out[c] = additive ? *out[c] + w * v[c] : *out[c] + (v[c] - *out[c]) * w;
                }
            }
            continue;
        }
        const Quat below = QuatFromRotationMatrix(FbxEulerMatrix(e, 0));
        const Quat layerRotation = QuatFromRotationMatrix(FbxEulerMatrix({v[0], v[1], v[2]}, 0));
        const Quat q =
            additive ? Mul(below, Slerp(Quat{}, layerRotation, w)) : Slerp(below, layerRotation, w);
        const Vec3 a = XYZAnglesFromRotationMatrix(RotationMatrix(q));
        e = {a.x * 180.0 / kPi, a.y * 180.0 / kPi, a.z * 180.0 / kPi};
    }
    return e;
}

struct ThreadCache {
    uint64_t serial = 0;
    double seconds = std::numeric_limits<double>::quiet_NaN();
    uint32_t stamp = 0;
    std::vector<uint32_t> stamps;
    std::vector<FbxTransforms::State> states;
};

thread_local ThreadCache t_cache;

} // namespace

Mat34 FbxEulerMatrix(const Vec3& degrees, int order) {
    const Mat34 x = RotationX(DegToRad(degrees.x));
    const Mat34 y = RotationY(DegToRad(degrees.y));
    const Mat34 z = RotationZ(DegToRad(degrees.z));
    switch (order) {
    case 1: // XZY
        return Mul(y, Mul(z, x));
    case 2: // YZX
        return Mul(x, Mul(z, y));
    case 3: // YXZ
        return Mul(z, Mul(x, y));
    case 4: // ZXY
        return Mul(y, Mul(x, z));
    case 5: // ZYX
        return Mul(x, Mul(y, z));
    default: // XYZ
        return Mul(z, Mul(y, x));
    }
}

FbxTransforms::FbxTransforms(std::vector<FbxNodeTransform> nodes, double unitScale,
                             const Mat34& axes)
    : m_nodes(std::move(nodes)), m_unitScale(unitScale), m_axes(axes),
      m_serial(g_nextSerial.fetch_add(1)) {
    m_animated.resize(m_nodes.size(), 0);
    m_pre.resize(m_nodes.size());
    m_postInverse.resize(m_nodes.size());
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        const FbxNodeTransform& n = m_nodes[i];
        m_pre[i] = FbxEulerMatrix(n.preRotation, 0);
        m_postInverse[i] = Transposed3(FbxEulerMatrix(n.postRotation, 0));
        const bool own = (n.animTranslation.IsAnimated() && !n.animTranslation.IsConstant()) ||
                         (n.animRotation.IsAnimated() && !n.animRotation.IsConstant()) ||
                         (n.animScaling.IsAnimated() && !n.animScaling.IsConstant());
        const bool parent = n.parent >= 0 && static_cast<size_t>(n.parent) < i &&
                            m_animated[static_cast<size_t>(n.parent)];
        m_animated[i] = own || parent;
    }
    // The nodes that do not move, once: their parents do not move either.
    m_still.resize(m_nodes.size());
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        if (!m_animated[i]) {
            const int p = m_nodes[i].parent;
            Evaluate(i, 0.0, p >= 0 ? &m_still[static_cast<size_t>(p)] : nullptr, &m_still[i]);
        }
    }
}

Mat34 FbxTransforms::Local(int node, double seconds) const {
    Mat34 rotation;
    Vec3 scaling;
    return LocalParts(static_cast<size_t>(node), seconds, &rotation, &scaling);
}

Mat34 FbxTransforms::LocalParts(size_t index, double seconds, Mat34* rotation,
                                Vec3* scaling) const {
    const FbxNodeTransform& n = m_nodes[index];
    const double k = m_unitScale;
    const Vec3 t = Value(n.animTranslation, n.translation, seconds) * k;
    const Vec3 s = Value(n.animScaling, n.scaling, seconds);
    Mat34 rl = FbxEulerMatrix(LayeredAngles(n.animRotation, n.rotation, seconds),
                              n.rotationActive ? n.rotationOrder : 0);
    if (n.rotationActive) {
        rl = Mul(m_pre[index], Mul(rl, m_postInverse[index]));
    }
    const Vec3 rp = n.rotationPivot * k;
    const Vec3 sp = n.scalingPivot * k;
    // T · Roff · Rp · R_l · Rp⁻¹ · Soff · Sp · S · Sp⁻¹, written out.
    Mat34 m = Mul(rl, Translation(n.scalingOffset * k + sp - rp));
    const Vec3 front = t + n.rotationOffset * k + rp;
    m.m[0][3] += front.x;
    m.m[1][3] += front.y;
    m.m[2][3] += front.z;
    m = Mul(m, Scaling(s));
    m = Mul(m, Translation(sp * -1.0));
    *rotation = rl;
    *scaling = s;
    return m;
}

void FbxTransforms::Evaluate(size_t index, double seconds, const State* parent, State* out) const {
    const FbxNodeTransform& n = m_nodes[index];
    Mat34 rl;
    Vec3 s;
    const Mat34 local = LocalParts(index, seconds, &rl, &s);
    out->localScaling = s;
    if (!parent) {
        out->global = local;
        out->rotation = rl;
        out->scaling = Scaling(s);
        return;
    }
    const Mat34 sl = Scaling(s);
    const Vec3 tl{local.m[0][3], local.m[1][3], local.m[2][3]};
    out->rotation = Mul(parent->rotation, rl);
    Mat34 g;
    switch (n.inherit) {
    case FbxInherit::RrSs:
        out->scaling = Mul(parent->scaling, sl);
        g = Mul(out->rotation, out->scaling);
        break;
    case FbxInherit::Rrs: {
        const Vec3& ps = parent->localScaling;
        const Vec3 inv{ps.x != 0.0 ? 1.0 / ps.x : 0.0, ps.y != 0.0 ? 1.0 / ps.y : 0.0,
                       ps.z != 0.0 ? 1.0 / ps.z : 0.0};
        g = Mul(Linear(parent->global), Mul(Scaling(inv), Mul(rl, sl)));
        out->scaling = Mul(Transposed3(out->rotation), g);
        break;
    }
    case FbxInherit::RSrs:
    default:
        g = Mul(Linear(parent->global), Linear(local));
        out->scaling = Mul(Transposed3(out->rotation), g);
        break;
    }
    const Vec3 t = Apply(parent->global, tl);
    g.m[0][3] = t.x;
    g.m[1][3] = t.y;
    g.m[2][3] = t.z;
    out->global = g;
}

const FbxTransforms::State* FbxTransforms::StateOf(int node,
                                                   const std::vector<State>& states) const {
    if (node < 0) {
        return nullptr;
    }
    const size_t i = static_cast<size_t>(node);
    return m_animated[i] ? &states[i] : &m_still[i];
}

Mat34 FbxTransforms::Global(int node, double seconds) const {
    if (!m_animated[static_cast<size_t>(node)]) {
        return Mul(m_axes, m_still[static_cast<size_t>(node)].global);
    }
    ThreadCache& c = t_cache;
    if (c.serial != m_serial || !(c.seconds == seconds) || c.stamps.size() != m_nodes.size()) {
        if (c.serial != m_serial || c.stamps.size() != m_nodes.size()) {
            c.stamps.assign(m_nodes.size(), 0);
            c.states.resize(m_nodes.size());
            c.stamp = 0;
            c.serial = m_serial;
        }
        c.seconds = seconds;
        if (++c.stamp == 0) {
            std::fill(c.stamps.begin(), c.stamps.end(), 0);
            c.stamp = 1;
        }
    }
    // Walk up to the first node already known at this time (or known at
    // every time: one that does not move), then down.
    size_t chain[64];
    std::vector<size_t> longChain;
    size_t depth = 0;
    for (int i = node; i >= 0 && c.stamps[static_cast<size_t>(i)] != c.stamp &&
                       m_animated[static_cast<size_t>(i)];
         i = m_nodes[static_cast<size_t>(i)].parent) {
        if (depth < 64) {
            chain[depth] = static_cast<size_t>(i);
        } else {
            if (longChain.empty()) {
                longChain.assign(chain, chain + 64);
            }
            longChain.push_back(static_cast<size_t>(i));
        }
        ++depth;
    }
    for (size_t k = depth; k > 0; --k) {
        const size_t i = longChain.empty() ? chain[k - 1] : longChain[k - 1];
        Evaluate(i, seconds, StateOf(m_nodes[i].parent, c.states), &c.states[i]);
        c.stamps[i] = c.stamp;
    }
    return Mul(m_axes, StateOf(node, c.states)->global);
}

} // namespace host

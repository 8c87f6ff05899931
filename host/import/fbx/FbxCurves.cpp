#include "host/import/fbx/FbxCurves.h"

#include "host/import/fbx/FbxDocument.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace host {
namespace {

// KeyAttrFlags bits.
constexpr uint32_t kConstant = 0x2;
constexpr uint32_t kLinear = 0x4;
constexpr uint32_t kCubic = 0x8;
constexpr uint32_t kTangentAuto = 0x100; // with a constant key: hold the next value
constexpr uint32_t kTangentTcb = 0x200;
constexpr uint32_t kTangentUser = 0x400;
constexpr uint32_t kTangentBreak = 0x800;
constexpr uint32_t kTangentClamp = 0x1000;
constexpr uint32_t kTangentClampProgressive = 0x4000;
constexpr uint32_t kWeightedRight = 0x01000000;
constexpr uint32_t kWeightedNextLeft = 0x02000000;
constexpr uint32_t kVelocity = 0x30000000;

float BitsToFloat(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

double Clamp01(double w) {
    return !(w > 0.0) ? 0.0 : w > 1.0 ? 1.0 : w;
}

// The curve parameter u in [0, 1] at which a Bezier segment whose time
// control points lie at w0 and 1 - w1 (of the segment) reaches the fraction
// s of the segment's time.
double BezierParameter(double s, double w0, double w1) {
    const double a = 3.0 * w0;
    const double b = 3.0 * (1.0 - w1);
    auto x = [&](double u) {
        const double v = 1.0 - u;
        return a * v * v * u + b * v * u * u + u * u * u;
    };
    double lo = 0.0;
    double hi = 1.0;
    double u = s;
    for (int i = 0; i < 60; ++i) {
        const double v = 1.0 - u;
        const double f = x(u) - s;
        if (std::fabs(f) < 1e-14) {
            break;
        }
        if (f > 0.0) {
            hi = u;
        } else {
            lo = u;
        }
        const double d = a * (v * v - 2.0 * u * v) + b * (2.0 * u * v - u * u) + 3.0 * u * u;
        double next = d > 1e-12 ? u - f / d : 0.5 * (lo + hi);
        if (!(next > lo && next < hi)) {
            next = 0.5 * (lo + hi);
        }
        u = next;
    }
    return u;
}

} // namespace

double FbxCurve::Inside(double t) const {
    // The last key at or before t.
    auto next = std::upper_bound(keys.begin(), keys.end(), t,
                                 [](double s, const FbxCurveKey& k) { return s < k.time; });
    if (next == keys.begin()) {
        return keys.front().value;
    }
    if (next == keys.end()) {
        return keys.back().value;
    }
    const FbxCurveKey& k0 = *(next - 1);
    const FbxCurveKey& k1 = *next;
    const double dt = k1.time - k0.time;
    if (!(dt > 0.0)) {
        return k1.value;
    }
    const double s = (t - k0.time) / dt;
    switch (k0.interp) {
    case FbxCurveKey::Interp::Constant:
        // Constant-next holds the next key's value after the key itself.
        return k0.constantNext && t > k0.time ? k1.value : k0.value;
    case FbxCurveKey::Interp::Linear:
        return k0.value + (k1.value - k0.value) * s;
    case FbxCurveKey::Interp::Cubic:
        break;
    }
    const double w0 = Clamp01(k0.rightWeight);
    const double w1 = Clamp01(k0.nextLeftWeight);
    const double u = (w0 == 1.0 / 3.0 && w1 == 1.0 / 3.0) ? s : BezierParameter(s, w0, w1);
    const double p1 = k0.value + k0.rightSlope * w0 * dt;
    const double p2 = k1.value - k0.nextLeftSlope * w1 * dt;
    const double v = 1.0 - u;
    return v * v * v * k0.value + 3.0 * v * v * u * p1 + 3.0 * v * u * u * p2 +
           u * u * u * k1.value;
}

double FbxCurve::Evaluate(double t) const {
    if (keys.empty()) {
        return defaultValue;
    }
    const double t0 = keys.front().time;
    const double t1 = keys.back().time;
    if ((t >= t0 && t <= t1) || std::isnan(t)) {
        return std::isnan(t) ? keys.front().value : Inside(t);
    }
    const bool before = t < t0;
    const FbxExtrapolation mode = before ? pre : post;
    const int count = before ? preCount : postCount;
    const double span = t1 - t0;
    const FbxCurveKey& end = before ? keys.front() : keys.back();
    if (mode == FbxExtrapolation::Constant || !(span > 0.0)) {
        return end.value;
    }
    if (mode == FbxExtrapolation::KeepSlope) {
        // The slope of the end key on the outer side: its tangent for a
        // cubic segment, the segment's own slope for a linear one.
        double slope = 0.0;
        if (before) {
            const FbxCurveKey& k0 = keys[0];
            if (keys.size() > 1 && k0.interp == FbxCurveKey::Interp::Cubic) {
                slope = k0.rightSlope;
            } else if (keys.size() > 1 && k0.interp == FbxCurveKey::Interp::Linear &&
                       keys[1].time > k0.time) {
                slope = (keys[1].value - k0.value) / (keys[1].time - k0.time);
            }
        } else {
            const size_t n = keys.size();
            const FbxCurveKey& k0 = keys[n - 2];
            if (n > 1 && k0.interp == FbxCurveKey::Interp::Cubic) {
                slope = k0.nextLeftSlope;
            } else if (n > 1 && k0.interp == FbxCurveKey::Interp::Linear &&
                       keys[n - 1].time > k0.time) {
                slope = (keys[n - 1].value - k0.value) / (keys[n - 1].time - k0.time);
            }
        }
        return end.value + slope * (t - end.time);
    }
    // Cycles of the key range: how many whole cycles t lies beyond the end
    // key, and where in its cycle.
    const double distance = before ? t0 - t : t - t1;
    double cycle = std::floor(distance / span);
    double within = distance - cycle * span; // 0 .. span from the end key
    if (count >= 0 && cycle >= count) {
        // The repetitions are over: the value where the last one ends.
        cycle = std::max(0.0, static_cast<double>(count) - 1.0);
        within = span;
        if (count == 0) {
            return end.value;
        }
    }
    const double n = cycle + 1.0; // the cycle t falls in, counting from 1
    double local;                 // the time inside the key range
    if (mode == FbxExtrapolation::MirrorRepetition && std::fmod(n, 2.0) == 1.0) {
        local = before ? t0 + within : t1 - within; // mirrored
    } else {
        local = before ? t1 - within : t0 + within;
    }
    double value = Inside(local);
    if (mode == FbxExtrapolation::RelativeRepetition) {
        const double change = keys.back().value - keys.front().value;
        value += (before ? -n : n) * change;
    }
    return value;
}

bool FbxCurve::IsConstant() const {
    for (size_t i = 0; i < keys.size(); ++i) {
        const FbxCurveKey& k = keys[i];
        if (k.value != keys[0].value) {
            return false;
        }
        if (i + 1 < keys.size() && k.interp == FbxCurveKey::Interp::Cubic &&
            (k.rightSlope != 0.0 || k.nextLeftSlope != 0.0)) {
            return false;
        }
    }
    if (!keys.empty() &&
        (pre == FbxExtrapolation::KeepSlope || post == FbxExtrapolation::KeepSlope)) {
        return keys.size() == 1 || keys.front().value == keys.back().value;
    }
    return true;
}

namespace {

FbxExtrapolation ExtrapolationOf(char type) {
    switch (type) {
    case 'R':
        return FbxExtrapolation::Repetition;
    case 'M':
        return FbxExtrapolation::MirrorRepetition;
    case 'K':
        return FbxExtrapolation::KeepSlope;
    case 'A':
        return FbxExtrapolation::RelativeRepetition;
    default:
        return FbxExtrapolation::Constant;
    }
}

void ReadExtrapolation(const FbxNode& curve, FbxCurve* out) {
    for (const bool pre : {true, false}) {
        const FbxNode* e = curve.Child(pre ? "Pre-Extrapolation" : "Post-Extrapolation");
        if (!e) {
            continue;
        }
        const FbxNode* type = e->Child("Type");
        const FbxNode* repetition = e->Child("Repetition");
        const FbxExtrapolation mode =
            ExtrapolationOf(type ? type->Letter(0) : static_cast<char>(0));
        const double r = repetition ? repetition->Number(0) : -1.0;
        const int count = r >= 0.0 && r < 1e9 ? static_cast<int>(r) : -1;
        (pre ? out->pre : out->post) = mode;
        (pre ? out->preCount : out->postCount) = count;
    }
}

enum class Tangent : uint8_t { Stored, Auto, AutoClamped, Tcb };

// Slopes of automatic and TCB tangents, from the keys around each key (the
// slopes a file stores for them are not what its program plays).
// Automatic: the slope of the line through the neighbouring keys (at the
// ends: flat); clamped ones are flat where the key is a local extremum.
// TCB: Kochanek-Bartels from the key's tension, continuity and bias (tcb,
// three per key).
void ComputeTangents(std::vector<FbxCurveKey>* keys, const std::vector<Tangent>& tangent,
                     const std::vector<double>& tcb) {
    const size_t n = keys->size();
    std::vector<FbxCurveKey>& k = *keys;
    for (size_t i = 0; i < n; ++i) {
        if (tangent[i] == Tangent::Stored) {
            continue;
        }
        double left = 0.0;
        double right = 0.0;
        if (i > 0 && i + 1 < n) {
            const double dtPrev = k[i].time - k[i - 1].time;
            const double dtNext = k[i + 1].time - k[i].time;
            const double dPrev = k[i].value - k[i - 1].value;
            const double dNext = k[i + 1].value - k[i].value;
            if (tangent[i] == Tangent::Tcb) {
                const double T = tcb[3 * i];
                const double C = tcb[3 * i + 1];
                const double B = tcb[3 * i + 2];
                // The incoming and outgoing tangents (value per segment),
                // made slopes over their segments.
                const double in =
                    0.5 * (1 - T) * ((1 - C) * (1 + B) * dPrev + (1 + C) * (1 - B) * dNext);
                const double out =
                    0.5 * (1 - T) * ((1 + C) * (1 + B) * dPrev + (1 - C) * (1 - B) * dNext);
                left = dtPrev > 0.0 ? in / dtPrev : 0.0;
                right = dtNext > 0.0 ? out / dtNext : 0.0;
            } else if ((dPrev * dNext > 0.0 || tangent[i] == Tangent::Auto) &&
                       dtPrev + dtNext > 0.0) {
                left = right = (k[i + 1].value - k[i - 1].value) / (dtPrev + dtNext);
            }
        }
        k[i].rightSlope = right;
        if (i > 0) {
            k[i - 1].nextLeftSlope = left;
        }
    }
}

} // namespace

FbxCurve ReadFbx7Curve(const FbxDocument& doc, const FbxNode& curve, FbxCurveNotes* notes) {
    FbxCurve out;
    if (const FbxNode* d = curve.Child("Default")) {
        out.defaultValue = d->Number(0);
        if (!std::isfinite(out.defaultValue)) {
            throw FbxError("FBX animation curve: its default value is not a finite number");
        }
    }
    const FbxNode* times = curve.Child("KeyTime");
    const FbxNode* values = curve.Child("KeyValueFloat");
    if (!values) {
        values = curve.Child("KeyValueDouble");
    }
    ReadExtrapolation(curve, &out);
    if (!times || !values) {
        return out;
    }
    const std::vector<double> t = doc.Array(*times);
    const std::vector<double> v = doc.Array(*values);
    if (t.size() != v.size()) {
        throw FbxError("FBX animation curve: " + std::to_string(t.size()) + " key times but " +
                       std::to_string(v.size()) + " values");
    }
    std::vector<double> flags;
    std::vector<uint32_t> data;
    std::vector<double> refs;
    if (const FbxNode* f = curve.Child("KeyAttrFlags")) {
        flags = doc.Array(*f);
    }
    if (const FbxNode* d = curve.Child("KeyAttrDataFloat")) {
        data = doc.ArrayBits(*d);
    }
    if (const FbxNode* r = curve.Child("KeyAttrRefCount")) {
        refs = doc.Array(*r);
    }
    if (data.size() < 4 * flags.size() || refs.size() < flags.size()) {
        throw FbxError("FBX animation curve: its key attributes are incomplete");
    }
    const size_t n = t.size();
    out.keys.resize(n);
    std::vector<Tangent> tangent(n, Tangent::Stored);
    std::vector<double> tcb(3 * n, 0.0);
    size_t attr = 0;
    double leftInRun = flags.empty() ? 0.0 : refs[0];
    for (size_t i = 0; i < n; ++i) {
        while (attr < flags.size() && !(leftInRun >= 1.0)) {
            ++attr;
            leftInRun = attr < flags.size() ? refs[attr] : 0.0;
        }
        FbxCurveKey& k = out.keys[i];
        k.time = t[i] / kFbxTicksPerSecond;
        k.value = v[i];
        if (!std::isfinite(k.time) || !std::isfinite(k.value)) {
            throw FbxError("FBX animation curve: a key time or value is not a finite number");
        }
        if (i > 0 && k.time < out.keys[i - 1].time) {
            throw FbxError("FBX animation curve: its key times go back");
        }
        if (attr >= flags.size()) {
            continue; // no attributes: linear
        }
        leftInRun -= 1.0;
        // Flags are 32-bit words (signed in the file's arrays).
        const double fd = flags[attr];
        const uint32_t f = fd >= -2147483648.0 && fd < 0.0
                               ? static_cast<uint32_t>(static_cast<int32_t>(fd))
                           : fd >= 0.0 && fd < 4294967296.0 ? static_cast<uint32_t>(fd)
                                                            : 0u;
        const uint32_t* d = data.data() + 4 * attr;
        if (f & kConstant) {
            k.interp = FbxCurveKey::Interp::Constant;
            k.constantNext = (f & kTangentAuto) != 0;
        } else if (f & kCubic) {
            k.interp = FbxCurveKey::Interp::Cubic;
            k.rightSlope = BitsToFloat(d[0]);
            k.nextLeftSlope = BitsToFloat(d[1]);
            if (f & kWeightedRight) {
                k.rightWeight = static_cast<double>(d[2] & 0xffff) / 9999.0;
            }
            if (f & kWeightedNextLeft) {
                k.nextLeftWeight = static_cast<double>(d[2] >> 16) / 9999.0;
            }
            if ((f & kTangentTcb) && !(f & (kTangentUser | kTangentBreak))) {
                tangent[i] = Tangent::Tcb;
                for (int c = 0; c < 3; ++c) {
                    const double x = BitsToFloat(d[c]);
                    tcb[3 * i + c] = std::isfinite(x) ? x : 0.0;
                }
                k.rightWeight = k.nextLeftWeight = 1.0 / 3.0;
            } else if ((f & kTangentAuto) && !(f & (kTangentUser | kTangentBreak))) {
                tangent[i] = (f & (kTangentClamp | kTangentClampProgressive)) ? Tangent::AutoClamped
                                                                              : Tangent::Auto;
            }
            if ((f & kVelocity) && notes) {
                notes->velocity = true;
            }
            if (tangent[i] == Tangent::Stored &&
                (!std::isfinite(k.rightSlope) || !std::isfinite(k.nextLeftSlope))) {
                throw FbxError("FBX animation curve: a key's slope is not a finite number");
            }
        } else if (f & kLinear) {
            k.interp = FbxCurveKey::Interp::Linear;
        }
    }
    ComputeTangents(&out.keys, tangent, tcb);
    return out;
}

FbxCurve ReadFbx6Curve(const FbxDocument& doc, const FbxNode& channel, FbxCurveNotes* notes) {
    (void)doc;
    (void)notes;
    FbxCurve out;
    if (const FbxNode* d = channel.Child("Default")) {
        out.defaultValue = d->Number(0);
        if (!std::isfinite(out.defaultValue)) {
            throw FbxError("FBX 6 animation channel: its default value is not a finite number");
        }
    }
    ReadExtrapolation(channel, &out);
    const FbxNode* list = channel.Child("Key");
    if (!list) {
        return out;
    }
    const FbxNode& k = *list;
    const size_t count = k.ValueCount();
    size_t i = 0;
    auto fail = [](const char* what) -> void {
        throw FbxError(std::string("FBX 6 animation key list: ") + what);
    };
    auto number = [&](double* v) {
        if (i >= count || k.Letter(i) != 0 ||
            (i < k.values.size() && k.values[i].kind != FbxValue::Kind::Number)) {
            fail("a number is missing");
        }
        *v = k.Number(i++);
    };
    auto letter = [&]() {
        if (i >= count || k.Letter(i) == 0) {
            fail("a key kind is missing");
        }
        return k.Letter(i++);
    };
    while (i < count) {
        FbxCurveKey key;
        double ticks = 0.0;
        number(&ticks);
        number(&key.value);
        key.time = ticks / kFbxTicksPerSecond;
        if (!std::isfinite(key.time) || !std::isfinite(key.value)) {
            fail("a key time or value is not a finite number");
        }
        if (!out.keys.empty() && key.time < out.keys.back().time) {
            fail("its key times go back");
        }
        const char kind = letter();
        if (kind == 'C') {
            key.interp = FbxCurveKey::Interp::Constant;
            key.constantNext = letter() == 'n';
        } else if (kind == 'L') {
            key.interp = FbxCurveKey::Interp::Linear;
        } else if (kind == 'U' || kind == 'T') {
            key.interp = FbxCurveKey::Interp::Cubic;
            letter(); // the tangent mode: its slopes follow
            number(&key.rightSlope);
            number(&key.nextLeftSlope);
            if (!std::isfinite(key.rightSlope) || !std::isfinite(key.nextLeftSlope)) {
                fail("a key's slope is not a finite number");
            }
            if (i < count && k.Letter(i) != 0) {
                const char weights = letter();
                if (weights == 'a') {
                    number(&key.rightWeight);
                    number(&key.nextLeftWeight);
                } else if (weights == 'r') {
                    number(&key.rightWeight);
                } else if (weights == 'l') {
                    number(&key.nextLeftWeight);
                } else if (weights != 'n') {
                    fail("unknown tangent weights");
                }
                if (!std::isfinite(key.rightWeight) || !std::isfinite(key.nextLeftWeight)) {
                    fail("a key's weight is not a finite number");
                }
            }
        } else {
            fail("unknown key kind");
        }
        out.keys.push_back(key);
    }
    return out;
}

} // namespace host

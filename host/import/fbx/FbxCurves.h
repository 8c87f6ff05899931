// FBX animation curves as the file stores them, evaluated at any time.
//
// A curve is a list of keys (time, value) with, per key, how the segment to
// the next key is drawn:
//   - constant: the key's value up to the next key (or, "constant next",
//     the next key's value);
//   - linear: a straight line to the next key;
//   - cubic: a Bezier segment whose end tangents are the key's right slope
//     and the next key's left slope (value per second), and whose control
//     points lie at the tangent weights (a fraction of the segment's length;
//     1/3 unless the key is weighted, which makes time along the segment
//     non-linear in the curve parameter).
// Slopes: user and broken tangents as stored; automatic tangents (cardinal:
// the slope of the line through the neighbouring keys, flat at the ends;
// clamped to flat where the key is an extremum); TCB tangents from their
// tension, continuity and bias. Before the first key and after the last the
// curve follows its pre and post extrapolation: constant, repetition,
// mirrored repetition, relative repetition (each cycle offset by the
// change over one cycle) and keep slope, each for the given number of
// cycles (then constant) or for ever.
//
// FBX 7.x encodes a curve in KeyTime (ticks, 46186158000 per second),
// KeyValueFloat, and KeyAttrFlags / KeyAttrDataFloat / KeyAttrRefCount (the
// attributes of runs of keys: flags, and four 32-bit words of right slope,
// next left slope, packed weights, packed velocities). FBX 6.x writes each
// key in one list: time, value, and letters with their numbers ("L"; "C,s";
// "U,s,right slope,next left slope,n|a w w|r w|l w").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

class FbxDocument;
struct FbxNode;

constexpr double kFbxTicksPerSecond = 46186158000.0;

enum class FbxExtrapolation {
    Constant,
    Repetition,
    MirrorRepetition,
    KeepSlope,
    RelativeRepetition
};

struct FbxCurveKey {
    enum class Interp : uint8_t { Constant, Linear, Cubic };
    double time = 0.0; // seconds
    double value = 0.0;
    Interp interp = Interp::Linear;
    bool constantNext = false;  // constant: hold the next key's value
    double rightSlope = 0.0;    // value per second, leaving the key
    double nextLeftSlope = 0.0; // value per second, arriving at the next key
    double rightWeight = 1.0 / 3.0;
    double nextLeftWeight = 1.0 / 3.0;
};

class FbxCurve {
  public:
    // Keys in increasing time (equal times allowed: a step).
    std::vector<FbxCurveKey> keys;
    FbxExtrapolation pre = FbxExtrapolation::Constant;
    FbxExtrapolation post = FbxExtrapolation::Constant;
    int preCount = -1; // cycles; -1 for ever
    int postCount = -1;
    double defaultValue = 0.0; // the value of a curve without keys

    double Evaluate(double seconds) const;
    // True when the value never changes (no keys, or every key and tangent
    // flat at one value).
    bool IsConstant() const;
    double FirstTime() const { return keys.empty() ? 0.0 : keys.front().time; }
    double LastTime() const { return keys.empty() ? 0.0 : keys.back().time; }

  private:
    double Inside(double seconds) const; // between the first and last key
};

// What a curve used that is evaluated differently from its file's program;
// each is named once in a warning by the caller.
struct FbxCurveNotes {
    bool velocity = false; // velocity-weighted tangents (evaluated without)
};

// The curve of a 7.x "AnimationCurve" node. Throws FbxError for arrays that
// do not agree with each other.
FbxCurve ReadFbx7Curve(const FbxDocument& doc, const FbxNode& curve, FbxCurveNotes* notes);
// The curve of a 6.x channel node (its "Key" list and "Default"). Throws
// FbxError for a key list it cannot read.
FbxCurve ReadFbx6Curve(const FbxDocument& doc, const FbxNode& channel, FbxCurveNotes* notes);

} // namespace host

// Key interpolation of animated values: linear, step, before the first and
// after the last key, functions of the frame, and rotations on the short arc.
#include "host/scene/Animated.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

using host::Animated;
using host::Interp;
using host::Quat;
using host::Vec3;

namespace {
// The angle of a rotation about an axis, from its quaternion, in degrees,
// signed by the axis direction.
double AngleAbout(const Quat& q, const Vec3& axis) {
    const double s = q.x * axis.x + q.y * axis.y + q.z * axis.z;
    return 2.0 * std::atan2(s, q.w) * 180.0 / host::kPi;
}
} // namespace

TEST(Animated, ConstantAndLinearKeysWithHoldOutsideTheRange) {
    Animated<double> a(4.0);
    EXPECT_EQ(a.Eval(-100.0), 4.0);
    EXPECT_FALSE(a.IsAnimated());

    // Keys given out of order are sorted.
    a.SetKey(20.0, 3.0);
    a.SetKey(10.0, 1.0);
    EXPECT_TRUE(a.IsAnimated());
    EXPECT_DOUBLE_EQ(a.Eval(15.0), 2.0);
    EXPECT_DOUBLE_EQ(a.Eval(12.5), 1.5);
    EXPECT_EQ(a.Eval(10.0), 1.0);
    EXPECT_EQ(a.Eval(20.0), 3.0);
    EXPECT_EQ(a.Eval(5.0), 1.0);  // before the first key: the first value
    EXPECT_EQ(a.Eval(99.0), 3.0); // after the last key: the last value
    EXPECT_EQ(a.Eval(std::numeric_limits<double>::quiet_NaN()), 1.0);

    EXPECT_THROW(a.SetKey(std::numeric_limits<double>::quiet_NaN(), 0.0), std::invalid_argument);

    // A key at an existing frame replaces it.
    a.SetKey(20.0, 5.0);
    EXPECT_EQ(a.GetKeys().size(), 2u);
    EXPECT_DOUBLE_EQ(a.Eval(15.0), 3.0);
}

TEST(Animated, StepKeysHoldUntilTheNextKey) {
    Animated<double> a;
    a.SetKey(1.0, 10.0, Interp::Step);
    a.SetKey(5.0, 20.0); // linear from here on
    a.SetKey(9.0, 40.0);
    EXPECT_EQ(a.Eval(1.0), 10.0);
    EXPECT_EQ(a.Eval(4.999), 10.0);
    EXPECT_EQ(a.Eval(5.0), 20.0);
    EXPECT_DOUBLE_EQ(a.Eval(7.0), 30.0);
}

TEST(Animated, FunctionOfTheFrameAndBackToKeys) {
    Animated<Vec3> a(Vec3{1, 1, 1});
    a.SetFunction([](double f) { return Vec3{f, 2 * f, -f}; });
    const Vec3 v = a.Eval(3.5);
    EXPECT_EQ(v.x, 3.5);
    EXPECT_EQ(v.y, 7.0);
    EXPECT_EQ(v.z, -3.5);
    // Keys replace the function.
    a.SetKey(0.0, Vec3{0, 0, 0});
    a.SetKey(2.0, Vec3{2, 4, 6});
    const Vec3 w = a.Eval(1.0);
    EXPECT_DOUBLE_EQ(w.x, 1.0);
    EXPECT_DOUBLE_EQ(w.y, 2.0);
    EXPECT_DOUBLE_EQ(w.z, 3.0);
    a.Set(Vec3{9, 9, 9});
    EXPECT_FALSE(a.IsAnimated());
    EXPECT_EQ(a.Eval(1.0).x, 9.0);
}

TEST(Animated, RotationKeysSlerpAtConstantSpeed) {
    Animated<Quat> r;
    r.SetKey(0.0, host::QuatFromAxisAngle({0, 0, 1}, 0.0));
    r.SetKey(10.0, host::QuatFromAxisAngle({0, 0, 1}, host::DegToRad(120.0)));
    // A normalised linear blend would give about 27.8 degrees at a quarter.
    EXPECT_NEAR(AngleAbout(r.Eval(2.5), {0, 0, 1}), 30.0, 1e-9);
    EXPECT_NEAR(AngleAbout(r.Eval(5.0), {0, 0, 1}), 60.0, 1e-9);
    const Quat q = r.Eval(7.5);
    EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0, 1e-12);
}

TEST(Animated, RotationKeysTakeTheShortArc) {
    // 0 to 350 degrees about Y is a turn of -10 degrees.
    Animated<Quat> r;
    r.SetKey(0.0, Quat{});
    r.SetKey(10.0, host::QuatFromAxisAngle({0, 1, 0}, host::DegToRad(350.0)));
    EXPECT_NEAR(AngleAbout(r.Eval(5.0), {0, 1, 0}), -5.0, 1e-9);

    // A key holding -q is the same rotation as q: no spin in between.
    Animated<Quat> same;
    same.SetKey(0.0, Quat{0, 0, 0, 1});
    same.SetKey(10.0, Quat{0, 0, 0, -1});
    const Quat mid = same.Eval(5.0);
    EXPECT_NEAR(std::fabs(mid.w), 1.0, 1e-12);
}

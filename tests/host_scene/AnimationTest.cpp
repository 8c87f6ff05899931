// Key interpolation: linear, step, hold outside the keys, functions of the
// frame, and rotations on the short arc at constant speed.
#include "host/scene/Animated.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

using host::Animated;
using host::Quat;
using host::Vec3;

namespace {
// Signed angle in degrees of a rotation about an axis.
double AngleAbout(const Quat& q, const Vec3& a) {
    return 2.0 * std::atan2(q.x * a.x + q.y * a.y + q.z * a.z, q.w) * 180.0 / host::kPi;
}
} // namespace

TEST(Animated, LinearAndStepKeysHoldOutsideTheRange) {
    Animated<double> a(4.0);
    EXPECT_EQ(a.Eval(-100.0), 4.0);
    EXPECT_FALSE(a.IsAnimated());
    a.SetKey(20.0, 3.0); // out of order: sorted
    a.SetKey(10.0, 1.0);
    a.SetKey(30.0, 9.0, host::Interp::Step);
    a.SetKey(40.0, 5.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double table[][2] = {{12.5, 1.5}, {15, 2}, {10, 1}, {20, 3}, {5, 1},
                               {30, 9},     {39.9, 9}, {40, 5}, {99, 5}, {nan, 1}};
    for (const auto& t : table) EXPECT_DOUBLE_EQ(a.Eval(t[0]), t[1]) << t[0];
    EXPECT_THROW(a.SetKey(nan, 0.0), std::invalid_argument);
    a.SetKey(20.0, 5.0); // replaces the key at 20
    EXPECT_EQ(a.GetKeys().size(), 4u);
    EXPECT_DOUBLE_EQ(a.Eval(15.0), 3.0);
}

TEST(Animated, FunctionOfTheFrameThenKeysThenConstant) {
    Animated<Vec3> a(Vec3{1, 1, 1});
    a.SetFunction([](double f) { return Vec3{f, 2 * f, -f}; });
    EXPECT_EQ(a.Eval(3.5).y, 7.0);
    a.SetKey(0.0, Vec3{0, 0, 0}); // keys replace the function
    a.SetKey(2.0, Vec3{2, 4, 6});
    EXPECT_DOUBLE_EQ(a.Eval(1.0).z, 3.0);
    a.Set(Vec3{9, 9, 9});
    EXPECT_FALSE(a.IsAnimated());
    EXPECT_EQ(a.Eval(1.0).x, 9.0);
}

TEST(Animated, RotationsSlerpOnTheShortArc) {
    Animated<Quat> r;
    r.SetKey(0.0, host::QuatFromAxisAngle({0, 0, 1}, 0.0));
    r.SetKey(10.0, host::QuatFromAxisAngle({0, 0, 1}, host::DegToRad(120.0)));
    // A normalised linear blend would give about 27.8 degrees at a quarter.
    EXPECT_NEAR(AngleAbout(r.Eval(2.5), {0, 0, 1}), 30.0, 1e-9);
    const Quat q = r.Eval(7.5);
    EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0, 1e-12);

    Animated<Quat> back; // 0 to 350 degrees is a turn of -10
    back.SetKey(0.0, Quat{});
    back.SetKey(10.0, host::QuatFromAxisAngle({0, 1, 0}, host::DegToRad(350.0)));
    EXPECT_NEAR(AngleAbout(back.Eval(5.0), {0, 1, 0}), -5.0, 1e-9);
    Animated<Quat> same; // -q is q: no spin in between
    same.SetKey(0.0, Quat{0, 0, 0, 1});
    same.SetKey(10.0, Quat{0, 0, 0, -1});
    EXPECT_NEAR(std::fabs(same.Eval(5.0).w), 1.0, 1e-12);
}

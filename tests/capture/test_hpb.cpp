// Heading, pitch and bank from a rotation quaternion, read in storage order.
#include "capture/ZK_Capture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// A rotation of angle (degrees) about a unit axis.
XSI::MATH::CQuaternion AxisAngle(double ax, double ay, double az, double degrees) {
    const double h = degrees * kDeg * 0.5;
    return XSI::MATH::CQuaternion(std::cos(h), ax * std::sin(h), ay * std::sin(h),
                                  az * std::sin(h));
}

TEST(HeadingPitchBank, IdentityAndSingleAxisRotations) {
    float out[3] = {9.0f, 9.0f, 9.0f};
    fromObjectToInertialQuaternion(XSI::MATH::CQuaternion(), out);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 0.0f);

    // Heading turns about y, pitch about x, bank about z.
    fromObjectToInertialQuaternion(AxisAngle(0, 1, 0, 30), out);
    EXPECT_NEAR(out[0] / kDeg, 30.0, 1e-4);
    EXPECT_NEAR(out[1], 0.0, 1e-6);
    EXPECT_NEAR(out[2], 0.0, 1e-6);

    fromObjectToInertialQuaternion(AxisAngle(1, 0, 0, 40), out);
    EXPECT_NEAR(out[0], 0.0, 1e-6);
    EXPECT_NEAR(out[1] / kDeg, 40.0, 1e-4);
    EXPECT_NEAR(out[2], 0.0, 1e-6);

    fromObjectToInertialQuaternion(AxisAngle(0, 0, 1, -20), out);
    EXPECT_NEAR(out[0], 0.0, 1e-6);
    EXPECT_NEAR(out[1], 0.0, 1e-6);
    EXPECT_NEAR(out[2] / kDeg, -20.0, 1e-4);
}

TEST(HeadingPitchBank, CombinedRotationGivesItsThreeAngles) {
    // Bank first, then pitch, then heading: q = h * p * b.
    const double h = 50 * kDeg / 2, p = -25 * kDeg / 2, b = 10 * kDeg / 2;
    const double ch = std::cos(h), sh = std::sin(h), cp = std::cos(p), sp = std::sin(p);
    const double cb = std::cos(b), sb = std::sin(b);
    const double w = ch * cp * cb + sh * sp * sb;
    const double x = ch * sp * cb + sh * cp * sb;
    const double y = sh * cp * cb - ch * sp * sb;
    const double z = ch * cp * sb - sh * sp * cb;
    float out[3];
    fromObjectToInertialQuaternion(XSI::MATH::CQuaternion(w, x, y, z), out);
    EXPECT_NEAR(out[0] / kDeg, 50.0, 1e-3);
    EXPECT_NEAR(out[1] / kDeg, -25.0, 1e-3);
    EXPECT_NEAR(out[2] / kDeg, 10.0, 1e-3);
}

TEST(HeadingPitchBank, StraightUpOrDownTakesTheReducedFormula) {
    // Pitch +90 after a heading of 30: bank folds into the heading.
    float out[3] = {9.0f, 9.0f, 9.0f};
    const double h = 30 * kDeg / 2, p = 90 * kDeg / 2;
    const XSI::MATH::CQuaternion up(std::cos(h) * std::cos(p), std::cos(h) * std::sin(p),
                                    std::sin(h) * std::cos(p), -std::sin(h) * std::sin(p));
    fromObjectToInertialQuaternion(up, out);
    EXPECT_EQ(out[1], 1.5707964f); // exactly sp (1 in single precision) times pi/2
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_NEAR(out[0] / kDeg, 30.0, 1e-3);

    fromObjectToInertialQuaternion(AxisAngle(1, 0, 0, -90), out);
    EXPECT_EQ(out[1], -1.5707964f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_NEAR(out[0], 0.0, 1e-6);
}

} // namespace

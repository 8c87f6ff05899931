// MATH::CTransformation: parts and matrix, Euler angles and quaternions,
// products up a parent chain and the decomposition of their result.
#include <xsi_math.h>
#include <xsi_transformation.h>

#include "host/scene/Math.h"

#include <gtest/gtest.h>

#include <cmath>

using XSI::MATH::CQuaternion;
using XSI::MATH::CTransformation;
using XSI::MATH::CVector3;

namespace {
const double kDeg = host::kPi / 180.0;

void ExpectPoint(const CVector3& p, double x, double y, double z, double tol = 1e-12) {
    EXPECT_NEAR(p.GetX(), x, tol);
    EXPECT_NEAR(p.GetY(), y, tol);
    EXPECT_NEAR(p.GetZ(), z, tol);
}

// A transformation rebuilt from another's parts.
CTransformation Rebuilt(const CTransformation& t) {
    double sx, sy, sz, tx, ty, tz;
    t.GetScalingValues(sx, sy, sz);
    t.GetTranslationValues(tx, ty, tz);
    CTransformation r;
    r.SetScalingFromValues(sx, sy, sz);
    r.SetRotationFromQuaternion(t.GetRotationQuaternion());
    r.SetTranslationFromValues(tx, ty, tz);
    return r;
}

void ExpectSameMatrix(const CTransformation& a, const CTransformation& b, double tol = 1e-12) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(a.GetMatrixValue(r, c), b.GetMatrixValue(r, c), tol) << r << "," << c;
        }
    }
}
} // namespace

TEST(Transformation, IdentityReadsAsZeroRotationAndUnitScale) {
    const CTransformation t;
    const CQuaternion q = t.GetRotationQuaternion();
    // Stored X, Y, Z, W.
    EXPECT_EQ(q.GetStored(0), 0.0);
    EXPECT_EQ(q.GetStored(1), 0.0);
    EXPECT_EQ(q.GetStored(2), 0.0);
    EXPECT_EQ(q.GetStored(3), 1.0);
    double x, y, z;
    t.GetRotationFromXYZAnglesValues(x, y, z);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_EQ(z, 0.0);
    t.GetScalingValues(x, y, z);
    EXPECT_EQ(x, 1.0);
    EXPECT_EQ(y, 1.0);
    EXPECT_EQ(z, 1.0);
    ExpectPoint(t.MapPoint(CVector3(1, 2, 3)), 1, 2, 3, 0.0);
}

TEST(Transformation, XYZAnglesApplyXFirstAndRoundTrip) {
    CTransformation t;
    t.SetRotationFromXYZAnglesValues(90 * kDeg, 90 * kDeg, 0);
    // x first: +Y turns to +Z about X, then +Z turns to +X about Y.
    ExpectPoint(t.MapPoint(CVector3(0, 1, 0)), 1, 0, 0);

    const double sets[][3] = {{0.3, -0.4, 1.2}, {-2.5, 1.1, 3.0}, {1.0, -1.5, -0.2}, {0, 0, -3.1}};
    for (const auto& a : sets) {
        t.SetRotationFromXYZAnglesValues(a[0], a[1], a[2]);
        double x, y, z;
        t.GetRotationFromXYZAnglesValues(x, y, z);
        EXPECT_NEAR(x, a[0], 1e-12);
        EXPECT_NEAR(y, a[1], 1e-12);
        EXPECT_NEAR(z, a[2], 1e-12);
    }
}

TEST(Transformation, XYZAnglesAtGimbalLockGiveTheSameRotation) {
    CTransformation t;
    t.SetRotationFromXYZAnglesValues(0.7, 90 * kDeg, -0.4);
    double x, y, z;
    t.GetRotationFromXYZAnglesValues(x, y, z);
    EXPECT_NEAR(y, 90 * kDeg, 1e-6);
    CTransformation back;
    back.SetRotationFromXYZAnglesValues(x, y, z);
    ExpectSameMatrix(t, back, 1e-9);
}

TEST(Transformation, QuaternionRoundTripAndKnownValue) {
    CTransformation t;
    t.SetRotationFromXYZAnglesValues(0, 90 * kDeg, 0);
    const CQuaternion q = t.GetRotationQuaternion();
    EXPECT_NEAR(q.GetX(), 0.0, 1e-15);
    EXPECT_NEAR(q.GetY(), std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(q.GetZ(), 0.0, 1e-15);
    EXPECT_NEAR(q.GetW(), std::sqrt(0.5), 1e-15);

    // An unnormalised quaternion is normalised; its rotation is kept.
    t.SetRotationFromQuaternion(CQuaternion(2.0, 0.0, 0.0, 2.0)); // w, x, y, z: 90 deg about Z
    const CQuaternion n = t.GetRotationQuaternion();
    EXPECT_NEAR(n.GetW(), std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(n.GetZ(), std::sqrt(0.5), 1e-15);
    ExpectPoint(t.MapPoint(CVector3(1, 0, 0)), 0, 1, 0);

    // A zero quaternion gives the identity rather than NaNs.
    t.SetRotationFromQuaternion(CQuaternion(0, 0, 0, 0));
    EXPECT_EQ(t.GetRotationQuaternion().GetW(), 1.0);
}

TEST(Transformation, PartsMapAPointAsScaleThenRotateThenTranslate) {
    CTransformation t;
    t.SetScalingFromValues(2, 3, 4);
    t.SetRotationFromXYZAnglesValues(0, 0, 90 * kDeg);
    t.SetTranslationFromValues(10, 20, 30);
    // (1,1,1) -> S (2,3,4) -> Rz90 (-3,2,4) -> T (7,22,34)
    ExpectPoint(XSI::MATH::MapObjectPositionToWorldSpace(t, CVector3(1, 1, 1)), 7, 22, 34);
}

TEST(Transformation, Matrix4MapsRowVectorsExactlyAsTheTransform) {
    CTransformation t;
    t.SetScalingFromValues(1.5, -0.25, 3.0);
    t.SetRotationFromXYZAnglesValues(10 * kDeg, -70 * kDeg, 123 * kDeg);
    t.SetTranslationFromValues(-7.0, 0.125, 1e6);
    const XSI::MATH::CMatrix4 m = t.GetMatrix4();
    EXPECT_EQ(m.GetValue(0, 3), 0.0);
    EXPECT_EQ(m.GetValue(3, 3), 1.0);
    const CVector3 p(0.3, -1.7, 2.9);
    const CVector3 mapped = XSI::MATH::MapObjectPositionToWorldSpace(t, p);
    double row[3];
    for (short c = 0; c < 3; ++c) {
        row[c] = p.GetX() * m.GetValue(0, c) + p.GetY() * m.GetValue(1, c) +
                 p.GetZ() * m.GetValue(2, c) + m.GetValue(3, c);
    }
    EXPECT_EQ(row[0], mapped.GetX());
    EXPECT_EQ(row[1], mapped.GetY());
    EXPECT_EQ(row[2], mapped.GetZ());
}

TEST(Transformation, ProductUnderUniformScaleIsExact) {
    CTransformation parent;
    parent.SetScalingFromValues(2, 2, 2);
    parent.SetRotationFromXYZAnglesValues(0, 0, 90 * kDeg);
    parent.SetTranslationFromValues(0, 0, 5);
    CTransformation child;
    child.SetScalingFromValues(1, 3, 1);
    child.SetRotationFromXYZAnglesValues(30 * kDeg, 0, 0);
    child.SetTranslationFromValues(1, 0, 0);
    child.MulInPlace(parent);

    double x, y, z;
    child.GetTranslationValues(x, y, z);
    EXPECT_NEAR(x, 0, 1e-12); // Rz90 (2 * (1,0,0)) + (0,0,5)
    EXPECT_NEAR(y, 2, 1e-12);
    EXPECT_NEAR(z, 5, 1e-12);
    child.GetScalingValues(x, y, z);
    EXPECT_DOUBLE_EQ(x, 2);
    EXPECT_DOUBLE_EQ(y, 6);
    EXPECT_DOUBLE_EQ(z, 2);
    ExpectSameMatrix(child, Rebuilt(child));
    // The point (0,1,0) of the child: S (0,3,0), Rx30 (0, 2.598, 1.5), T (1, 2.598, 1.5);
    // parent: S (2, 5.196, 3), Rz90 (-5.196, 2, 3), T (-5.196, 2, 8).
    ExpectPoint(child.MapPoint(CVector3(0, 1, 0)), -6 * std::cos(30 * kDeg), 2, 8);
}

TEST(Transformation, NonUniformParentScaleWithoutShearDecomposesExactly) {
    // diag(2,1,1) Rz90 is the same as Rz90 diag(1,2,1).
    CTransformation parent;
    parent.SetScalingFromValues(2, 1, 1);
    CTransformation child;
    child.SetRotationFromXYZAnglesValues(0, 0, 90 * kDeg);
    child.MulInPlace(parent);
    double x, y, z;
    child.GetScalingValues(x, y, z);
    EXPECT_NEAR(x, 1, 1e-12);
    EXPECT_NEAR(y, 2, 1e-12);
    EXPECT_NEAR(z, 1, 1e-12);
    child.GetRotationFromXYZAnglesValues(x, y, z);
    EXPECT_NEAR(x, 0, 1e-12);
    EXPECT_NEAR(y, 0, 1e-12);
    EXPECT_NEAR(z, 90 * kDeg, 1e-12);
}

TEST(Transformation, ShearFromNonUniformScaleStillGivesSensibleParts) {
    CTransformation parent;
    parent.SetScalingFromValues(2, 1, 1);
    parent.SetTranslationFromValues(1, 2, 3);
    CTransformation child;
    child.SetRotationFromXYZAnglesValues(0, 0, 45 * kDeg);
    child.SetTranslationFromValues(1, 1, 0);
    child.MulInPlace(parent);

    // Points map through the exact product.
    ExpectPoint(child.MapPoint(CVector3(1, 0, 0)), 2 * std::sqrt(0.5) + 3, std::sqrt(0.5) + 3, 3);
    double x, y, z;
    child.GetTranslationValues(x, y, z);
    EXPECT_NEAR(x, 3, 1e-12);
    EXPECT_NEAR(y, 3, 1e-12);
    EXPECT_NEAR(z, 3, 1e-12);
    // The closest rotation to diag(2,1,1) Rz45 is Rz45 itself; what is left,
    // R^T A = [[1.5, -0.5], [-0.5, 1.5]] in XY, gives the scaling (1.5, 1.5, 1).
    child.GetRotationFromXYZAnglesValues(x, y, z);
    EXPECT_NEAR(x, 0, 1e-12);
    EXPECT_NEAR(y, 0, 1e-12);
    EXPECT_NEAR(z, 45 * kDeg, 1e-12);
    child.GetScalingValues(x, y, z);
    EXPECT_NEAR(x, 1.5, 1e-12);
    EXPECT_NEAR(y, 1.5, 1e-12);
    EXPECT_NEAR(z, 1, 1e-12);
    const CQuaternion q = child.GetRotationQuaternion();
    EXPECT_NEAR(q.GetW() * q.GetW() + q.GetX() * q.GetX() + q.GetY() * q.GetY() +
                    q.GetZ() * q.GetZ(),
                1.0, 1e-12);
}

TEST(Transformation, MirroredProductRebuildsToTheSameMatrix) {
    CTransformation parent;
    parent.SetScalingFromValues(1, 1, -1);
    CTransformation child;
    child.SetRotationFromXYZAnglesValues(30 * kDeg, 0, 0);
    child.SetScalingFromValues(1, 2, 1);
    CTransformation product = child;
    product.MulInPlace(parent);
    double x, y, z;
    product.GetScalingValues(x, y, z);
    EXPECT_LT(x * y * z, 0.0);
    ExpectSameMatrix(product, Rebuilt(product), 1e-12);
}

TEST(Transformation, ZeroScaleInTheChainGivesFiniteParts) {
    CTransformation parent;
    parent.SetScalingFromValues(0, 1, 1);
    CTransformation child;
    child.SetRotationFromXYZAnglesValues(0.3, 0.2, 0.1);
    child.MulInPlace(parent);
    double v[9];
    child.GetScalingValues(v[0], v[1], v[2]);
    child.GetRotationFromXYZAnglesValues(v[3], v[4], v[5]);
    child.GetTranslationValues(v[6], v[7], v[8]);
    for (double d : v) {
        EXPECT_TRUE(std::isfinite(d));
    }
    EXPECT_EQ(child.MapPoint(CVector3(1, 1, 1)).GetX(), 0.0);
}

// MATH::CTransformation: Euler angles and quaternions, products up a parent
// chain and the decomposition of their result.
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

void Expect3(double x, double y, double z, double ex, double ey, double ez, double tol = 1e-12) {
    EXPECT_NEAR(x, ex, tol);
    EXPECT_NEAR(y, ey, tol);
    EXPECT_NEAR(z, ez, tol);
}
void ExpectPoint(const CVector3& p, double x, double y, double z) {
    Expect3(p.GetX(), p.GetY(), p.GetZ(), x, y, z);
}

// One of the parts: scaling, XYZ angles or translation.
using Getter = void (CTransformation::*)(double&, double&, double&) const;
CVector3 Part(const CTransformation& t, Getter get) {
    double x, y, z;
    (t.*get)(x, y, z);
    return CVector3(x, y, z);
}
const Getter kS = &CTransformation::GetScalingValues;
const Getter kR = &CTransformation::GetRotationFromXYZAnglesValues;
const Getter kT = &CTransformation::GetTranslationValues;

CTransformation Make(CVector3 s, CVector3 xyzDeg, CVector3 t) {
    CTransformation r;
    r.SetScalingFromValues(s.GetX(), s.GetY(), s.GetZ());
    r.SetRotationFromXYZAnglesValues(xyzDeg.GetX() * kDeg, xyzDeg.GetY() * kDeg,
                                     xyzDeg.GetZ() * kDeg);
    r.SetTranslationFromValues(t.GetX(), t.GetY(), t.GetZ());
    return r;
}

// The matrix rebuilt from the parts must be the matrix decomposed.
void ExpectPartsRebuild(const CTransformation& t, double tol = 1e-12) {
    double sx, sy, sz, tx, ty, tz;
    t.GetScalingValues(sx, sy, sz);
    t.GetTranslationValues(tx, ty, tz);
    CTransformation r;
    r.SetScalingFromValues(sx, sy, sz);
    r.SetRotationFromQuaternion(t.GetRotationQuaternion());
    r.SetTranslationFromValues(tx, ty, tz);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(r.GetMatrixValue(i, c), t.GetMatrixValue(i, c), tol) << i << "," << c;
}
} // namespace

TEST(Transformation, AnglesAndQuaternions) {
    CTransformation t;
    ExpectPoint(Part(t, kS), 1, 1, 1);
    t.SetRotationFromXYZAnglesValues(90 * kDeg, 90 * kDeg, 0);
    ExpectPoint(t.MapPoint(CVector3(0, 1, 0)), 1, 0, 0); // X first, then Y
    for (const auto& a :
         {CVector3(0.3, -0.4, 1.2), CVector3(-2.5, 1.1, 3.0), CVector3(0, 0, -3.1)}) {
        t.SetRotationFromXYZAnglesValues(a.GetX(), a.GetY(), a.GetZ());
        ExpectPoint(Part(t, kR), a.GetX(), a.GetY(), a.GetZ());
    }
    // Gimbal lock: other angles, the same rotation.
    t = Make({1, 1, 1}, {40, 90, -23}, {0, 0, 0});
    const CVector3 g = Part(t, kR);
    CTransformation back;
    back.SetRotationFromXYZAnglesValues(g.GetX(), g.GetY(), g.GetZ());
    const CVector3 p(0.2, 0.5, 0.7), a = back.MapPoint(p), b = t.MapPoint(p);
    Expect3(a.GetX(), a.GetY(), a.GetZ(), b.GetX(), b.GetY(), b.GetZ(), 1e-9);

    t.SetRotationFromXYZAnglesValues(0, 90 * kDeg, 0);
    const CQuaternion q = t.GetRotationQuaternion();
    EXPECT_NEAR(q.GetY(), std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(q.GetW(), std::sqrt(0.5), 1e-15);
    t.SetRotationFromQuaternion(CQuaternion(2.0, 0.0, 0.0, 2.0)); // normalised: 90 about Z
    EXPECT_NEAR(t.GetRotationQuaternion().GetZ(), std::sqrt(0.5), 1e-15);
    ExpectPoint(t.MapPoint(CVector3(1, 0, 0)), 0, 1, 0);
    t.SetRotationFromQuaternion(CQuaternion(0, 0, 0, 0)); // identity, not NaNs
    EXPECT_EQ(t.GetRotationQuaternion().GetW(), 1.0);
}

TEST(Transformation, PointsMapScaleRotateTranslateAndMatrix4AgreesExactly) {
    // (1,1,1) -> S (2,3,4) -> Rz90 (-3,2,4) -> T (7,22,34)
    ExpectPoint(XSI::MATH::MapObjectPositionToWorldSpace(Make({2, 3, 4}, {0, 0, 90}, {10, 20, 30}),
                                                         CVector3(1, 1, 1)),
                7, 22, 34);
    const CTransformation t = Make({1.5, -0.25, 3.0}, {10, -70, 123}, {-7.0, 0.125, 1e6});
    const XSI::MATH::CMatrix4 m = t.GetMatrix4();
    EXPECT_EQ(m.GetValue(0, 3), 0.0);
    EXPECT_EQ(m.GetValue(3, 3), 1.0);
    const CVector3 p(0.3, -1.7, 2.9);
    const CVector3 mapped = XSI::MATH::MapObjectPositionToWorldSpace(t, p);
    const double want[3] = {mapped.GetX(), mapped.GetY(), mapped.GetZ()};
    for (short c = 0; c < 3; ++c)
        EXPECT_EQ(p.GetX() * m.GetValue(0, c) + p.GetY() * m.GetValue(1, c) +
                      p.GetZ() * m.GetValue(2, c) + m.GetValue(3, c),
                  want[c]);
}

TEST(Transformation, ProductsUpTheChainDecompose) {
    // Uniform parent scale: exact parts.
    CTransformation child = Make({1, 3, 1}, {30, 0, 0}, {1, 0, 0});
    child.MulInPlace(Make({2, 2, 2}, {0, 0, 90}, {0, 0, 5}));
    ExpectPoint(Part(child, kT), 0, 2, 5);
    ExpectPoint(Part(child, kS), 2, 6, 2);
    ExpectPartsRebuild(child);
    // (0,1,0): S (0,3,0), Rx30, T (1, 2.598, 1.5); parent S, Rz90, T.
    ExpectPoint(child.MapPoint(CVector3(0, 1, 0)), -6 * std::cos(30 * kDeg), 2, 8);

    // diag(2,1,1) Rz90 is Rz90 diag(1,2,1): no shear.
    child = Make({1, 1, 1}, {0, 0, 90}, {0, 0, 0});
    child.MulInPlace(Make({2, 1, 1}, {0, 0, 0}, {0, 0, 0}));
    ExpectPoint(Part(child, kS), 1, 2, 1);
    ExpectPoint(Part(child, kR), 0, 0, 90 * kDeg);

    // Shear: the closest rotation to diag(2,1,1) Rz45 is Rz45; what is left,
    // [[1.5, -0.5], [-0.5, 1.5]] in XY, gives the scaling (1.5, 1.5, 1).
    child = Make({1, 1, 1}, {0, 0, 45}, {1, 1, 0});
    child.MulInPlace(Make({2, 1, 1}, {0, 0, 0}, {1, 2, 3}));
    ExpectPoint(child.MapPoint(CVector3(1, 0, 0)), 2 * std::sqrt(0.5) + 3, std::sqrt(0.5) + 3, 3);
    ExpectPoint(Part(child, kR), 0, 0, 45 * kDeg);
    ExpectPoint(Part(child, kS), 1.5, 1.5, 1);

    // Mirrored: negative determinant, parts still rebuild the matrix.
    child = Make({1, 2, 1}, {30, 0, 0}, {0, 0, 0});
    child.MulInPlace(Make({1, 1, -1}, {0, 0, 0}, {0, 0, 0}));
    const CVector3 s = Part(child, kS);
    EXPECT_LT(s.GetX() * s.GetY() * s.GetZ(), 0.0);
    ExpectPartsRebuild(child);

    // Zero scale in the chain: finite parts.
    child = Make({1, 1, 1}, {17, 11, 6}, {0, 0, 0});
    child.MulInPlace(Make({0, 1, 1}, {0, 0, 0}, {0, 0, 0}));
    double v[6];
    child.GetScalingValues(v[0], v[1], v[2]);
    child.GetRotationFromXYZAnglesValues(v[3], v[4], v[5]);
    for (double d : v)
        EXPECT_TRUE(std::isfinite(d));
    EXPECT_EQ(child.MapPoint(CVector3(1, 1, 1)).GetX(), 0.0);
}

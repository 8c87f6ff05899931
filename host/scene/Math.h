// Small value types of the scene model: vectors, rotation quaternions, RGBA
// colours and 3x4 affine matrices, with the operations that evaluation needs.
//
// Conventions: column vectors, a matrix maps p to M p; a transform made of
// scaling S, rotation R and translation T maps p to R (S p) + T. Euler angles
// "XYZ" mean x is applied first: R = Rz * Ry * Rx. Angles are in radians.
#pragma once

#include <cmath>

namespace host {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(const Vec3& a, double k) {
    return {a.x * k, a.y * k, a.z * k};
}
inline double Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3& a) {
    return std::sqrt(Dot(a, a));
}

// A rotation quaternion, stored x, y, z, w like the SDK's CQuaternion.
struct Quat {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double w = 1.0;
};

// An RGBA colour.
struct Color {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    double a = 0.0;
};

// An affine transform: m[r][c], column 3 is the translation.
struct Mat34 {
    double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
};

// Quaternions.
Quat Normalize(const Quat& q);          // identity for a zero quaternion
Quat Mul(const Quat& a, const Quat& b); // rotation b first, then a
Quat QuatFromAxisAngle(const Vec3& axis, double angle);
Quat QuatFromXYZAngles(double x, double y, double z);
// Spherical-linear interpolation on the short arc, u in [0, 1].
Quat Slerp(const Quat& a, const Quat& b, double u);
// The rotation of a quaternion as the 3x3 part of a matrix (translation 0).
Mat34 RotationMatrix(const Quat& q);
// The quaternion of a proper rotation matrix (3x3 part), with w >= 0.
Quat QuatFromRotationMatrix(const Mat34& r);
// XYZ Euler angles of a proper rotation matrix (3x3 part).
Vec3 XYZAnglesFromRotationMatrix(const Mat34& r);

// Matrices.
Mat34 MatrixFromSRT(const Vec3& s, const Quat& r, const Vec3& t);
// a * b: b applied first, then a.
Mat34 Mul(const Mat34& a, const Mat34& b);
// The inverse of an affine matrix; the identity when it is singular.
Mat34 Inverse(const Mat34& a);
double Determinant3(const Mat34& a);

inline Vec3 Apply(const Mat34& a, const Vec3& p) {
    return {a.m[0][0] * p.x + a.m[0][1] * p.y + a.m[0][2] * p.z + a.m[0][3],
            a.m[1][0] * p.x + a.m[1][1] * p.y + a.m[1][2] * p.z + a.m[1][3],
            a.m[2][0] * p.x + a.m[2][1] * p.y + a.m[2][2] * p.z + a.m[2][3]};
}

// Interpolation between two key values: linear for numbers, vectors and
// colours, spherical-linear on the short arc for rotations.
inline double Blend(double a, double b, double u) {
    return a + (b - a) * u;
}
inline Vec3 Blend(const Vec3& a, const Vec3& b, double u) {
    return {Blend(a.x, b.x, u), Blend(a.y, b.y, u), Blend(a.z, b.z, u)};
}
inline Color Blend(const Color& a, const Color& b, double u) {
    return {Blend(a.r, b.r, u), Blend(a.g, b.g, u), Blend(a.b, b.b, u), Blend(a.a, b.a, u)};
}
inline Quat Blend(const Quat& a, const Quat& b, double u) {
    return Slerp(a, b, u);
}

constexpr double kPi = 3.14159265358979323846;
inline double DegToRad(double d) {
    return d * (kPi / 180.0);
}

} // namespace host

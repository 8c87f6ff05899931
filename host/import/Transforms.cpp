#include "host/import/Transforms.h"

#include <cmath>
#include <cstring>

namespace host {

Vec3 ToVec3(const aiVector3D& v) {
    return {v.x, v.y, v.z};
}
Quat ToQuat(const aiQuaternion& q) {
    return {q.x, q.y, q.z, q.w};
}

Mat34 ToMat34(const aiMatrix4x4& m) {
    Mat34 r;
    const double rows[3][4] = {
        {m.a1, m.a2, m.a3, m.a4}, {m.b1, m.b2, m.b3, m.b4}, {m.c1, m.c2, m.c3, m.c4}};
    std::memcpy(r.m, rows, sizeof(rows));
    return r;
}

bool IsIdentity(const Mat34& m) {
    static const Mat34 kIdentity;
    return std::memcmp(m.m, kIdentity.m, sizeof(m.m)) == 0;
}

SRT Decompose(const Mat34& m) {
    SRT out;
    out.t = {m.m[0][3], m.m[1][3], m.m[2][3]};
    double len[3];
    for (int c = 0; c < 3; ++c) {
        len[c] = std::sqrt(m.m[0][c] * m.m[0][c] + m.m[1][c] * m.m[1][c] + m.m[2][c] * m.m[2][c]);
    }
    if (Determinant3(m) < 0.0) {
        len[0] = -len[0]; // a mirror: one negative scale
    }
    out.s = {len[0], len[1], len[2]};
    Mat34 r;
    for (int c = 0; c < 3; ++c) {
        for (int row = 0; row < 3; ++row) {
            r.m[row][c] = len[c] != 0.0 ? m.m[row][c] / len[c] : (row == c ? 1.0 : 0.0);
        }
    }
    out.r = QuatFromRotationMatrix(r);
    return out;
}

bool HasShear(const Mat34& m) {
    Vec3 axes[3];
    for (int c = 0; c < 3; ++c) {
        axes[c] = {m.m[0][c], m.m[1][c], m.m[2][c]};
    }
    for (int a = 0; a < 3; ++a) {
        for (int b = a + 1; b < 3; ++b) {
            if (std::fabs(Dot(axes[a], axes[b])) > 1e-9 * Length(axes[a]) * Length(axes[b])) {
                return true;
            }
        }
    }
    return false;
}

namespace {

// The rotation that turns direction a into direction b (both unit length).
Quat RotationBetween(const Vec3& a, const Vec3& b) {
    const double d = Dot(a, b);
    if (d > 1.0 - 1e-12) {
        return Quat{};
    }
    if (d < -1.0 + 1e-12) {
        // Opposite: half a turn about any axis perpendicular to a.
        Vec3 axis = Cross(a, Vec3{0, 1, 0});
        if (Length(axis) < 1e-6) {
            axis = Cross(a, Vec3{1, 0, 0});
        }
        return QuatFromAxisAngle(axis, kPi);
    }
    return QuatFromAxisAngle(Cross(a, b), std::acos(d));
}

} // namespace

Mat34 FileFrame(const Vec3& position, const Vec3& lookAt, const Vec3& up) {
    Mat34 m;
    const double lookLen = Length(lookAt);
    if (lookLen > 0.0 && std::isfinite(lookLen)) {
        const Vec3 back = lookAt * (-1.0 / lookLen);
        const Vec3 right = Cross(up, back);
        const double rightLen = Length(right);
        if (rightLen > 1e-9 && std::isfinite(rightLen)) {
            const Vec3 x = right * (1.0 / rightLen);
            const Vec3 y = Cross(back, x);
            const Vec3 cols[3] = {x, y, back};
            for (int c = 0; c < 3; ++c) {
                m.m[0][c] = cols[c].x;
                m.m[1][c] = cols[c].y;
                m.m[2][c] = cols[c].z;
            }
        } else {
            m = RotationMatrix(RotationBetween(Vec3{0, 0, -1}, back * -1.0));
        }
    }
    if (std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z)) {
        m.m[0][3] = position.x;
        m.m[1][3] = position.y;
        m.m[2][3] = position.z;
    }
    // Rounding noise on the usual frame would only cost exactness.
    Mat34 identity;
    identity.m[0][3] = m.m[0][3];
    identity.m[1][3] = m.m[1][3];
    identity.m[2][3] = m.m[2][3];
    bool nearIdentity = true;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            nearIdentity = nearIdentity && std::fabs(m.m[r][c] - identity.m[r][c]) < 1e-12;
        }
    }
    return nearIdentity ? identity : m;
}

} // namespace host

#include "host/scene/Math.h"

#include <algorithm>

namespace host {

Quat Normalize(const Quat& q) {
    const double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(n > 0.0) || !std::isfinite(n)) {
        return Quat{};
    }
    return {q.x / n, q.y / n, q.z / n, q.w / n};
}

Quat Mul(const Quat& a, const Quat& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
            a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Quat QuatFromAxisAngle(const Vec3& axis, double angle) {
    const double len = Length(axis);
    if (!(len > 0.0)) {
        return Quat{};
    }
    const double s = std::sin(angle * 0.5) / len;
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5)};
}

Quat QuatFromXYZAngles(double x, double y, double z) {
    const Quat qx = QuatFromAxisAngle({1, 0, 0}, x);
    const Quat qy = QuatFromAxisAngle({0, 1, 0}, y);
    const Quat qz = QuatFromAxisAngle({0, 0, 1}, z);
    return Mul(qz, Mul(qy, qx));
}

Quat Slerp(const Quat& a, const Quat& in_b, double u) {
    Quat b = in_b;
    double d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    if (d < 0.0) { // the short arc: q and -q are the same rotation
        b = {-b.x, -b.y, -b.z, -b.w};
        d = -d;
    }
    double ka, kb;
    if (d > 0.9999995) { // nearly equal: linear blend avoids dividing by ~0
        ka = 1.0 - u;
        kb = u;
    } else {
        const double theta = std::acos(std::min(d, 1.0));
        const double s = std::sin(theta);
        ka = std::sin((1.0 - u) * theta) / s;
        kb = std::sin(u * theta) / s;
    }
    return Normalize(
        {ka * a.x + kb * b.x, ka * a.y + kb * b.y, ka * a.z + kb * b.z, ka * a.w + kb * b.w});
}

Mat34 RotationMatrix(const Quat& in_q) {
    const Quat q = Normalize(in_q);
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    Mat34 r;
    r.m[0][0] = 1 - 2 * (y * y + z * z);
    r.m[0][1] = 2 * (x * y - z * w);
    r.m[0][2] = 2 * (x * z + y * w);
    r.m[1][0] = 2 * (x * y + z * w);
    r.m[1][1] = 1 - 2 * (x * x + z * z);
    r.m[1][2] = 2 * (y * z - x * w);
    r.m[2][0] = 2 * (x * z - y * w);
    r.m[2][1] = 2 * (y * z + x * w);
    r.m[2][2] = 1 - 2 * (x * x + y * y);
    return r;
}

Quat QuatFromRotationMatrix(const Mat34& r) {
    const double(&m)[3][4] = r.m;
    const double tr = m[0][0] + m[1][1] + m[2][2];
    Quat q;
    // Take the largest of w, x, y, z first so the square root is well away
    // from zero.
    if (tr > m[0][0] && tr > m[1][1] && tr > m[2][2]) {
        const double s = std::sqrt(1.0 + tr) * 2.0; // 4w
        q.w = 0.25 * s;
        q.x = (m[2][1] - m[1][2]) / s;
        q.y = (m[0][2] - m[2][0]) / s;
        q.z = (m[1][0] - m[0][1]) / s;
    } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        const double s = std::sqrt(std::max(0.0, 1.0 + m[0][0] - m[1][1] - m[2][2])) * 2.0; // 4x
        q.w = (m[2][1] - m[1][2]) / s;
        q.x = 0.25 * s;
        q.y = (m[0][1] + m[1][0]) / s;
        q.z = (m[0][2] + m[2][0]) / s;
    } else if (m[1][1] >= m[2][2]) {
        const double s = std::sqrt(std::max(0.0, 1.0 + m[1][1] - m[0][0] - m[2][2])) * 2.0; // 4y
        q.w = (m[0][2] - m[2][0]) / s;
        q.x = (m[0][1] + m[1][0]) / s;
        q.y = 0.25 * s;
        q.z = (m[1][2] + m[2][1]) / s;
    } else {
        const double s = std::sqrt(std::max(0.0, 1.0 + m[2][2] - m[0][0] - m[1][1])) * 2.0; // 4z
        q.w = (m[1][0] - m[0][1]) / s;
        q.x = (m[0][2] + m[2][0]) / s;
        q.y = (m[1][2] + m[2][1]) / s;
        q.z = 0.25 * s;
    }
    if (q.w < 0.0) {
        q = {-q.x, -q.y, -q.z, -q.w};
    }
    return Normalize(q);
}

Vec3 XYZAnglesFromRotationMatrix(const Mat34& r) {
    // R = Rz(z) Ry(y) Rx(x): m20 = -sin y, m21 = cos y sin x, m22 = cos y cos x,
    // m10 = sin z cos y, m00 = cos z cos y.
    const double(&m)[3][4] = r.m;
    const double cy = std::sqrt(m[0][0] * m[0][0] + m[1][0] * m[1][0]);
    Vec3 a;
    a.y = std::atan2(-m[2][0], cy);
    if (cy > 1e-9) {
        a.x = std::atan2(m[2][1], m[2][2]);
        a.z = std::atan2(m[1][0], m[0][0]);
    } else {
        // Gimbal lock (y = +-90 degrees): only x -+ z is defined; take z = 0,
        // then m12 = -sin x and m11 = cos x.
        a.x = std::atan2(-m[1][2], m[1][1]);
        a.z = 0.0;
    }
    return a;
}

Mat34 MatrixFromSRT(const Vec3& s, const Quat& q, const Vec3& t) {
    Mat34 r = RotationMatrix(q);
    const double sc[3] = {s.x, s.y, s.z};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r.m[i][j] *= sc[j];
        }
    }
    r.m[0][3] = t.x;
    r.m[1][3] = t.y;
    r.m[2][3] = t.z;
    return r;
}

Mat34 Mul(const Mat34& a, const Mat34& b) {
    Mat34 c;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            double v = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
            if (j == 3) {
                v += a.m[i][3];
            }
            c.m[i][j] = v;
        }
    }
    return c;
}

double Determinant3(const Mat34& a) {
    const double(&m)[3][4] = a.m;
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Mat34 Inverse(const Mat34& a) {
    const double(&m)[3][4] = a.m;
    const double det = Determinant3(a);
    if (!std::isfinite(det) || std::fabs(det) < 1e-300) {
        return Mat34{};
    }
    const double k = 1.0 / det;
    Mat34 r;
    r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * k;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * k;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * k;
    r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * k;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * k;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * k;
    r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * k;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * k;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * k;
    for (int i = 0; i < 3; ++i) {
        r.m[i][3] = -(r.m[i][0] * m[0][3] + r.m[i][1] * m[1][3] + r.m[i][2] * m[2][3]);
    }
    return r;
}

} // namespace host

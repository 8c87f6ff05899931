// MATH::CTransformation: scaling, rotation and translation kept together
// with the affine matrix R S + T they make.
//
// Setting a part rebuilds the matrix. A product (MulInPlace) is computed on
// the matrices, so mapping points through a global transform is exact; its
// parts are then read back from the matrix: exactly when the parent's scaling
// is uniform, otherwise by a polar decomposition (the rotation closest to the
// matrix, and the stretch along the rotated axes as scaling), which still
// gives sensible values when non-uniform scaling under a rotation has left a
// shear in the matrix.
#include "host/scene/Math.h"

#include <xsi_transformation.h>

#include <algorithm>
#include <cmath>

namespace XSI {
namespace MATH {

namespace {
host::Quat ToHost(const CQuaternion& q) {
    return {q.GetX(), q.GetY(), q.GetZ(), q.GetW()};
}
CQuaternion FromHost(const host::Quat& q) {
    return CQuaternion(q.w, q.x, q.y, q.z);
}

bool IsUniform(const double s[3]) {
    const double m = std::max({std::fabs(s[0]), std::fabs(s[1]), std::fabs(s[2])});
    const double tol = 1e-12 * m;
    return std::fabs(s[0] - s[1]) <= tol && std::fabs(s[1] - s[2]) <= tol;
}

host::Mat34 Transpose3(const host::Mat34& a) {
    host::Mat34 t;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            t.m[i][j] = a.m[j][i];
        }
        t.m[i][3] = 0.0;
    }
    return t;
}

double Frobenius3(const host::Mat34& a) {
    double s = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            s += a.m[i][j] * a.m[i][j];
        }
    }
    return std::sqrt(s);
}

host::Vec3 Column(const host::Mat34& a, int j) {
    return {a.m[0][j], a.m[1][j], a.m[2][j]};
}

// A proper rotation close to a matrix whose columns may be zero or parallel:
// the longest column gives the first axis, the next one (made orthogonal)
// the second, the cross product the third.
host::Mat34 RotationFromDegenerate(const host::Mat34& a) {
    host::Vec3 c[3] = {Column(a, 0), Column(a, 1), Column(a, 2)};
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3,
              [&](int x, int y) { return host::Length(c[x]) > host::Length(c[y]); });
    host::Vec3 u[3];
    const int i0 = order[0], i1 = order[1], i2 = order[2];
    const double l0 = host::Length(c[i0]);
    if (!(l0 > 1e-300)) {
        return host::Mat34{};
    }
    u[i0] = c[i0] * (1.0 / l0);
    host::Vec3 v = c[i1] - u[i0] * host::Dot(c[i1], u[i0]);
    double l1 = host::Length(v);
    if (!(l1 > 1e-12 * l0)) {
        // Any axis perpendicular to the first.
        const host::Vec3 trial =
            std::fabs(u[i0].x) < 0.9 ? host::Vec3{1, 0, 0} : host::Vec3{0, 1, 0};
        v = host::Cross(u[i0], trial);
        l1 = host::Length(v);
    }
    u[i1] = v * (1.0 / l1);
    // Right-handed in the original column order: u[k] = u[k+1] x u[k+2].
    u[i2] = host::Cross(u[(i2 + 1) % 3], u[(i2 + 2) % 3]);
    host::Mat34 r;
    for (int j = 0; j < 3; ++j) {
        r.m[0][j] = u[j].x;
        r.m[1][j] = u[j].y;
        r.m[2][j] = u[j].z;
        r.m[j][3] = 0.0;
    }
    return r;
}
} // namespace

CTransformation::CTransformation() : m_s{1.0, 1.0, 1.0}, m_r(), m_t{0.0, 0.0, 0.0} {
    UpdateMatrix();
}

void CTransformation::GetTranslationValues(double& out_x, double& out_y, double& out_z) const {
    out_x = m_t[0];
    out_y = m_t[1];
    out_z = m_t[2];
}

void CTransformation::GetScalingValues(double& out_x, double& out_y, double& out_z) const {
    out_x = m_s[0];
    out_y = m_s[1];
    out_z = m_s[2];
}

void CTransformation::GetRotationFromXYZAnglesValues(double& out_x, double& out_y,
                                                     double& out_z) const {
    const host::Vec3 a = host::XYZAnglesFromRotationMatrix(host::RotationMatrix(ToHost(m_r)));
    out_x = a.x;
    out_y = a.y;
    out_z = a.z;
}

CQuaternion CTransformation::GetRotationQuaternion() const {
    return m_r;
}

CTransformation& CTransformation::SetTranslationFromValues(double in_x, double in_y, double in_z) {
    m_t[0] = in_x;
    m_t[1] = in_y;
    m_t[2] = in_z;
    UpdateMatrix();
    return *this;
}

CTransformation& CTransformation::SetScalingFromValues(double in_x, double in_y, double in_z) {
    m_s[0] = in_x;
    m_s[1] = in_y;
    m_s[2] = in_z;
    UpdateMatrix();
    return *this;
}

CTransformation& CTransformation::SetRotationFromQuaternion(const CQuaternion& in_q) {
    m_r = FromHost(host::Normalize(ToHost(in_q)));
    UpdateMatrix();
    return *this;
}

CTransformation& CTransformation::SetRotationFromXYZAnglesValues(double in_x, double in_y,
                                                                 double in_z) {
    m_r = FromHost(host::QuatFromXYZAngles(in_x, in_y, in_z));
    UpdateMatrix();
    return *this;
}

CTransformation& CTransformation::MulInPlace(const CTransformation& in_parent) {
    host::Mat34 child, parent;
    std::copy(&m_m[0][0], &m_m[0][0] + 12, &child.m[0][0]);
    std::copy(&in_parent.m_m[0][0], &in_parent.m_m[0][0] + 12, &parent.m[0][0]);
    const host::Mat34 product = host::Mul(parent, child);
    std::copy(&product.m[0][0], &product.m[0][0] + 12, &m_m[0][0]);
    if (IsUniform(in_parent.m_s)) {
        // P = Rp (k I) + Tp: the product is (Rp Rc) (k Sc) + (Tp + k Rp Tc).
        const double k = in_parent.m_s[0];
        for (double& s : m_s) {
            s *= k;
        }
        m_r = FromHost(host::Normalize(host::Mul(ToHost(in_parent.m_r), ToHost(m_r))));
        for (int i = 0; i < 3; ++i) {
            m_t[i] = m_m[i][3];
        }
    } else {
        DecomposeMatrix();
    }
    return *this;
}

CTransformation& CTransformation::SetMatrix4(const CMatrix4& in_matrix) {
    for (short r = 0; r < 3; ++r) {
        for (short c = 0; c < 4; ++c) {
            m_m[r][c] = in_matrix.GetValue(c, r);
        }
    }
    DecomposeMatrix();
    return *this;
}

void CTransformation::UpdateMatrix() {
    const host::Mat34 m =
        host::MatrixFromSRT({m_s[0], m_s[1], m_s[2]}, ToHost(m_r), {m_t[0], m_t[1], m_t[2]});
    std::copy(&m.m[0][0], &m.m[0][0] + 12, &m_m[0][0]);
}

void CTransformation::DecomposeMatrix() {
    host::Mat34 a;
    std::copy(&m_m[0][0], &m_m[0][0] + 12, &a.m[0][0]);
    for (int i = 0; i < 3; ++i) {
        m_t[i] = a.m[i][3];
        a.m[i][3] = 0.0;
    }
    const double norm = Frobenius3(a);
    const double det = host::Determinant3(a);
    host::Mat34 q;
    if (std::isfinite(det) && norm > 0.0 && std::fabs(det) > 1e-12 * norm * norm * norm) {
        // Polar decomposition by the scaled Newton iteration
        // Q <- (g Q + inverse(Q)^T / g) / 2, on the matrix made proper (a
        // mirrored matrix is decomposed with all scalings negative).
        const double sign = det < 0.0 ? -1.0 : 1.0;
        q = a;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                q.m[i][j] *= sign;
            }
        }
        for (int iter = 0; iter < 60; ++iter) {
            const host::Mat34 inv = host::Inverse(q);
            const host::Mat34 invT = Transpose3(inv);
            const double g = std::sqrt(Frobenius3(inv) / Frobenius3(q));
            host::Mat34 next;
            double change = 0.0;
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) {
                    next.m[i][j] = 0.5 * (g * q.m[i][j] + invT.m[i][j] / g);
                    change = std::max(change, std::fabs(next.m[i][j] - q.m[i][j]));
                }
                next.m[i][3] = 0.0;
            }
            q = next;
            if (change < 1e-15) {
                break;
            }
        }
    } else {
        q = RotationFromDegenerate(a);
    }
    const host::Quat r = host::QuatFromRotationMatrix(q);
    m_r = FromHost(r);
    // Scaling: the diagonal of R^T A, the stretch along each rotated axis.
    const host::Mat34 rm = host::RotationMatrix(r);
    for (int j = 0; j < 3; ++j) {
        m_s[j] = rm.m[0][j] * a.m[0][j] + rm.m[1][j] * a.m[1][j] + rm.m[2][j] * a.m[2][j];
    }
}

} // namespace MATH
} // namespace XSI

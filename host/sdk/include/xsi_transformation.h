// MATH::CTransformation: a transform made of scaling, rotation and
// translation, applied in that order, kept together with its affine matrix.
// A point p maps to R(S p) + T; a global transform is the product of the local
// transforms up the parent chain.
#pragma once

#include "xsi_matrix4.h"
#include "xsi_quaternion.h"
#include "xsi_vector3.h"

namespace XSI {
namespace MATH {

class CTransformation {
  public:
    // The identity transform.
    CTransformation();

    void GetTranslationValues(double& out_x, double& out_y, double& out_z) const;
    void GetScalingValues(double& out_x, double& out_y, double& out_z) const;
    // The rotation as XYZ Euler angles in radians (x applied first).
    void GetRotationFromXYZAnglesValues(double& out_x, double& out_y, double& out_z) const;
    CQuaternion GetRotationQuaternion() const;

    CTransformation& SetTranslationFromValues(double in_x, double in_y, double in_z);
    CTransformation& SetScalingFromValues(double in_x, double in_y, double in_z);
    CTransformation& SetRotationFromQuaternion(const CQuaternion& in_q);
    CTransformation& SetRotationFromXYZAnglesValues(double in_x, double in_y, double in_z);
    // this = this applied first, then in_parent (the global transform of a
    // child is child.MulInPlace(parentGlobal)).
    CTransformation& MulInPlace(const CTransformation& in_parent);
    // Takes an affine matrix for row vectors (translation in row 3, the
    // fourth column ignored). The parts are read back from it as for a
    // product: exactly when it holds no shear, otherwise the rotation
    // closest to it and the stretch along the rotated axes.
    CTransformation& SetMatrix4(const CMatrix4& in_matrix);

    // Row r, column c of the affine 3x4 matrix (c = 3 is the translation).
    double GetMatrixValue(int in_row, int in_col) const { return m_m[in_row][in_col]; }

    // The matrix of the transform for row vectors: p * GetMatrix4() maps p
    // exactly as MapPoint does, with the translation in row 3.
    CMatrix4 GetMatrix4() const {
        CMatrix4 m;
        for (short r = 0; r < 3; ++r) {
            for (short c = 0; c < 4; ++c) {
                m.SetValue(c, r, m_m[r][c]);
            }
        }
        return m;
    }

    // Maps a point: R(S p) + T.
    CVector3 MapPoint(const CVector3& in_p) const {
        const double x = in_p.GetX(), y = in_p.GetY(), z = in_p.GetZ();
        return CVector3(m_m[0][0] * x + m_m[0][1] * y + m_m[0][2] * z + m_m[0][3],
                        m_m[1][0] * x + m_m[1][1] * y + m_m[1][2] * z + m_m[1][3],
                        m_m[2][0] * x + m_m[2][1] * y + m_m[2][2] * z + m_m[2][3]);
    }

  private:
    void UpdateMatrix();
    void DecomposeMatrix();

    double m_s[3];
    CQuaternion m_r;
    double m_t[3];
    double m_m[3][4];
};

} // namespace MATH
} // namespace XSI

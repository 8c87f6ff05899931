// MATH::CQuaternion: a rotation quaternion. The four values are stored in the
// order X, Y, Z, W.
#pragma once

#include "xsi_decl.h"

namespace XSI {
namespace MATH {

class CQuaternion {
  public:
    // The identity rotation.
    CQuaternion() = default;
    CQuaternion(double in_w, double in_x, double in_y, double in_z)
        : m_x(in_x), m_y(in_y), m_z(in_z), m_w(in_w) {}

    double GetW() const { return m_w; }
    double GetX() const { return m_x; }
    double GetY() const { return m_y; }
    double GetZ() const { return m_z; }
    void Get(double& out_w, double& out_x, double& out_y, double& out_z) const {
        out_w = m_w;
        out_x = m_x;
        out_y = m_y;
        out_z = m_z;
    }
    void PutW(double in) { m_w = in; }
    void PutX(double in) { m_x = in; }
    void PutY(double in) { m_y = in; }
    void PutZ(double in) { m_z = in; }
    // The value at storage position i (0..3): X, Y, Z, W.
    double GetStored(int in_index) const {
        return in_index == 0 ? m_x : in_index == 1 ? m_y : in_index == 2 ? m_z : m_w;
    }

  private:
    double m_x = 0.0;
    double m_y = 0.0;
    double m_z = 0.0;
    double m_w = 1.0;
};

} // namespace MATH
} // namespace XSI

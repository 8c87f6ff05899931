// MATH::CVector3: a 3-D vector of doubles.
#pragma once

#include "xsi_decl.h"

namespace XSI {
namespace MATH {

class CVector3 {
  public:
    CVector3() = default;
    CVector3(double in_x, double in_y, double in_z) : m_x(in_x), m_y(in_y), m_z(in_z) {}

    double GetX() const { return m_x; }
    double GetY() const { return m_y; }
    double GetZ() const { return m_z; }
    void Get(double& out_x, double& out_y, double& out_z) const {
        out_x = m_x;
        out_y = m_y;
        out_z = m_z;
    }
    CVector3& PutX(double in) {
        m_x = in;
        return *this;
    }
    CVector3& PutY(double in) {
        m_y = in;
        return *this;
    }
    CVector3& PutZ(double in) {
        m_z = in;
        return *this;
    }
    CVector3& Set(double in_x, double in_y, double in_z) {
        m_x = in_x;
        m_y = in_y;
        m_z = in_z;
        return *this;
    }

  private:
    double m_x = 0.0;
    double m_y = 0.0;
    double m_z = 0.0;
};

} // namespace MATH
} // namespace XSI

// MATH::CMatrix4: a 4 x 4 matrix of doubles. Points are row vectors
// multiplied on the left, p' = (x, y, z, 1) * M, so the translation is in
// row 3.
#pragma once

#include "xsi_decl.h"

namespace XSI {
namespace MATH {

class CMatrix4 {
  public:
    // The identity.
    CMatrix4() = default;

    double GetValue(short in_sRow, short in_sCol) const { return m_m[in_sRow][in_sCol]; }
    void SetValue(short in_sRow, short in_sCol, double in_dVal) { m_m[in_sRow][in_sCol] = in_dVal; }

  private:
    double m_m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

} // namespace MATH
} // namespace XSI

// MATH::CVector3Array: an array of 3-D vectors, laid out as consecutive
// x, y, z doubles.
#pragma once

#include "xsi_vector3.h"

#include <vector>

namespace XSI {
namespace MATH {

class CVector3Array {
  public:
    CVector3Array() = default;
    explicit CVector3Array(LONG in_size) : m_items(in_size > 0 ? in_size : 0) {}

    LONG GetCount() const { return static_cast<LONG>(m_items.size()); }
    const CVector3& operator[](LONG in_index) const { return m_items[in_index]; }
    CVector3& operator[](LONG in_index) { return m_items[in_index]; }
    void Resize(LONG in_size) { m_items.resize(in_size > 0 ? in_size : 0); }
    void Add(const CVector3& in) { m_items.push_back(in); }
    const CVector3* GetArray() const { return m_items.data(); }
    CVector3* GetArray() { return m_items.data(); }

  private:
    std::vector<CVector3> m_items;
};

} // namespace MATH
} // namespace XSI

// CValueArray: an array of values.
#pragma once

#include "xsi_value.h"

#include <vector>

namespace XSI {

class CValueArray {
  public:
    CValueArray() = default;
    explicit CValueArray(LONG in_size) : m_items(in_size > 0 ? in_size : 0) {}

    LONG GetCount() const { return static_cast<LONG>(m_items.size()); }
    const CValue& operator[](LONG in_index) const { return m_items.at(in_index); }
    CValue& operator[](LONG in_index) { return m_items.at(in_index); }
    void Add(const CValue& in) { m_items.push_back(in); }
    void Resize(LONG in_size) { m_items.resize(in_size > 0 ? in_size : 0); }
    void Clear() { m_items.clear(); }

  private:
    std::vector<CValue> m_items;
};

} // namespace XSI

// CLongArray: an array of 32-bit integers.
#pragma once

#include "xsi_decl.h"

#include <vector>

namespace XSI {

class CLongArray {
  public:
    CLongArray() = default;
    explicit CLongArray(LONG in_size) : m_items(in_size > 0 ? in_size : 0) {}

    LONG GetCount() const { return static_cast<LONG>(m_items.size()); }
    const LONG& operator[](LONG in_index) const { return m_items.at(in_index); }
    LONG& operator[](LONG in_index) { return m_items.at(in_index); }
    void Add(LONG in) { m_items.push_back(in); }
    void Resize(LONG in_size) { m_items.resize(in_size > 0 ? in_size : 0); }
    void Clear() { m_items.clear(); }
    // The values laid end to end (nullptr when empty).
    const LONG* GetArray() const { return m_items.empty() ? nullptr : m_items.data(); }

  private:
    std::vector<LONG> m_items;
};

} // namespace XSI

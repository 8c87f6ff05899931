// CRefArray: an array of references.
#pragma once

#include "xsi_ref.h"

#include <vector>

namespace XSI {

class CRefArray {
  public:
    CRefArray() = default;
    explicit CRefArray(LONG in_size) : m_items(in_size > 0 ? in_size : 0) {}

    LONG GetCount() const { return static_cast<LONG>(m_items.size()); }
    const CRef& operator[](LONG in_index) const { return m_items.at(in_index); }
    CRef& operator[](LONG in_index) { return m_items.at(in_index); }
    CRef GetItem(LONG in_index) const {
        return in_index >= 0 && in_index < GetCount() ? m_items[in_index] : CRef();
    }
    void Add(const CRef& in) { m_items.push_back(in); }
    void Clear() { m_items.clear(); }

  private:
    std::vector<CRef> m_items;
};

} // namespace XSI

// Selection: the host's current selection, a snapshot taken when it is read.
#pragma once

#include "xsi_refarray.h"

namespace XSI {

class Selection {
  public:
    Selection() = default;
    explicit Selection(const CRefArray& in_items) : m_items(in_items) {}

    LONG GetCount() const { return m_items.GetCount(); }
    // The item at an index; an empty reference past the end.
    CRef GetItem(LONG in_index) const { return m_items.GetItem(in_index); }
    CRefArray GetArray() const { return m_items; }

  private:
    CRefArray m_items;
};

} // namespace XSI

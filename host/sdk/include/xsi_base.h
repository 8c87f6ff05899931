// CBase: the common root of every SDK object class. An SDK object is a light
// handle built from a CRef; it is valid when the reference names a host
// object of a class the handle accepts.
#pragma once

#include "xsi_decl.h"
#include "xsi_ref.h"

namespace XSI {

class CBase {
  public:
    CBase() = default;
    explicit CBase(const CRef& in_ref) : m_ref(in_ref) {}
    virtual ~CBase() = default;

    bool IsValid() const { return m_ref.IsValid(); }
    siClassID GetClassID() const { return m_ref.GetClassID(); }
    const CRef& GetRef() const { return m_ref; }
    operator CRef() const { return m_ref; }

  protected:
    CRef m_ref;
};

} // namespace XSI

// SIObject: a named host object.
#pragma once

#include "xsi_base.h"
#include "xsi_status.h"
#include "xsi_string.h"

namespace XSI {

class SIObject : public CBase {
  public:
    SIObject() = default;
    explicit SIObject(const CRef& in_ref) : CBase(in_ref) {}

    CString GetName() const;
    CStatus PutName(const CString& in_name);
    // The name with the names of its parents, joined by '.'.
    CString GetFullName() const;
};

} // namespace XSI

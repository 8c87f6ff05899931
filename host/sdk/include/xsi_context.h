// Context: what the host hands a command's callbacks: the command being
// defined or run (GetSource) and named attributes ("Arguments": the values
// of the command's arguments, in declaration order).
#pragma once

#include "xsi_siobject.h"
#include "xsi_value.h"

namespace XSI {

class Context : public SIObject {
  public:
    Context() = default;
    explicit Context(const CRef& in_ref) : SIObject(in_ref) {}

    CRef GetSource() const;
    CValue GetAttribute(const CString& in_name) const;
    CStatus PutAttribute(const CString& in_name, const CValue& in_value);
};

} // namespace XSI

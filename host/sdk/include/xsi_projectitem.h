// ProjectItem: a host object that holds parameters.
#pragma once

#include "xsi_parameter.h"
#include "xsi_siobject.h"

namespace XSI {

class ProjectItem : public SIObject {
  public:
    ProjectItem() = default;
    explicit ProjectItem(const CRef& in_ref) : SIObject(in_ref) {}

    // The named parameter; an invalid Parameter when the item has none.
    Parameter GetParameter(const CString& in_name) const;
    // The named parameter's value at a time; empty when there is no such
    // parameter.
    CValue GetParameterValue(const CString& in_name, double in_time = DBL_MAX) const;
};

} // namespace XSI

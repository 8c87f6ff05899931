// Command: a command registered by a plug-in, with its declared arguments.
#pragma once

#include "xsi_argument.h"
#include "xsi_siobject.h"

namespace XSI {

class Command : public SIObject {
  public:
    Command() = default;
    explicit Command(const CRef& in_ref) : SIObject(in_ref) {}

    CStatus EnableReturnValue(bool in_enable);
    bool IsReturnValueEnabled() const;
    ArgumentArray GetArguments() const;
};

} // namespace XSI

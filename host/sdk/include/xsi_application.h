// Application: the running host: log, commands, selection and UI toolkit.
#pragma once

#include "xsi_selection.h"
#include "xsi_siobject.h"
#include "xsi_status.h"
#include "xsi_string.h"
#include "xsi_uitoolkit.h"
#include "xsi_value.h"
#include "xsi_valuearray.h"

namespace XSI {

class Application : public SIObject {
  public:
    Application();

    // Writes one line to the host log at the given severity.
    CStatus LogMessage(const CString& in_message, siSeverityType in_severity = siInfoMsg) const;
    // Runs a host command or a command that a plug-in registered.
    CStatus ExecuteCommand(const CString& in_name, const CValueArray& in_args,
                           CValue& io_return) const;
    // The current selection.
    Selection GetSelection() const;
    UIToolkit GetUIToolkit() const;
};

} // namespace XSI

// ProgressBar: the host's progress bar with caption, status text and a
// cancel button.
#pragma once

#include "xsi_decl.h"
#include "xsi_status.h"
#include "xsi_string.h"

namespace XSI {

class ProgressBar {
  public:
    ProgressBar() = default;
    // Host side: a handle to the host's bar with the given id.
    explicit ProgressBar(int in_id) : m_id(in_id) {}

    CStatus PutMaximum(LONG in_max);
    LONG GetMaximum() const;
    CStatus PutMinimum(LONG in_min);
    LONG GetMinimum() const;
    CStatus PutValue(LONG in_value);
    LONG GetValue() const;
    CStatus PutStep(LONG in_step);
    LONG GetStep() const;
    CStatus PutVisible(bool in_visible);
    bool GetVisible() const;
    CStatus PutCaption(const CString& in_caption);
    CString GetCaption() const;
    CStatus PutStatusText(const CString& in_text);
    CString GetStatusText() const;
    CStatus PutCancelEnabled(bool in_enabled);
    // Adds the step (1 by default) and returns the new value.
    LONG Increment(LONG in_step = 1);
    // True once the user has asked to cancel.
    bool IsCancelPressed() const;

  private:
    int m_id = -1;
};

} // namespace XSI

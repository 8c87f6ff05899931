// UIToolkit: the host's user-interface services.
#pragma once

#include "xsi_progressbar.h"

namespace XSI {

class UIToolkit {
  public:
    // A new progress bar, at value 0.
    ProgressBar GetProgressBar() const;
};

} // namespace XSI

// CTime: a time in frames, and the scene's frame rate.
#pragma once

#include "xsi_decl.h"

namespace XSI {

class CTime {
  public:
    // The scene's current frame.
    CTime();
    explicit CTime(double in_frame) : m_frame(in_frame) {}

    double GetTime() const { return m_frame; }
    // Frames per second of the scene.
    double GetFrameRate() const;

  private:
    double m_frame;
};

} // namespace XSI

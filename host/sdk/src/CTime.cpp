#include <xsi_time.h>

#include "host/app/HostApp.h"

namespace XSI {

CTime::CTime() : m_frame(host::HostApp::Get().GetCurrentFrame()) {}

double CTime::GetFrameRate() const {
    return host::HostApp::Get().GetFrameRate();
}

} // namespace XSI

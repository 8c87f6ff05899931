// The stand-in host's log as texts, for tests that run commands in it.
#pragma once

#include "host/app/HostApp.h"

#include <string>
#include <vector>

namespace zkt {

// Every entry's text, or the errors' only.
inline std::vector<std::string> LogTexts(bool errorsOnly = false) {
    std::vector<std::string> texts;
    for (const host::LogEntry& e : host::HostApp::Get().GetLog())
        if (!errorsOnly || e.severity == XSI::siErrorMsg)
            texts.push_back(e.text);
    return texts;
}

} // namespace zkt

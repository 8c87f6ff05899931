#include "host/app/HostLog.h"

#include "host/ui/Terminal.h"

#include <algorithm>

namespace host {

namespace {

const char* SeverityPrefix(XSI::siSeverityType severity) {
    switch (severity) {
    case XSI::siFatalMsg:
    case XSI::siErrorMsg:
        return "ERROR: ";
    case XSI::siWarningMsg:
        return "WARNING: ";
    default:
        return "INFO: ";
    }
}

} // namespace

void HostLog::Log(const XSI::CString& text, XSI::siSeverityType severity) {
    LogEntry entry{severity, text.GetAsciiString()};
    m_log.push_back(entry);
    bool info =
        severity != XSI::siFatalMsg && severity != XSI::siErrorMsg && severity != XSI::siWarningMsg;
    if (!m_echoLog || (info && m_quiet)) {
        return;
    }
    // One message is one line: line breaks inside it become spaces.
    std::string line = SeverityPrefix(severity) + entry.text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    ui::WriteLine(line);
}

void HostLog::LogFailure(const std::wstring& what, const std::string& why) {
    XSI::CString reason;
    reason.PutAsciiString(why.c_str());
    Log(XSI::CString(what.c_str()) + L" failed: " + reason, XSI::siErrorMsg);
}

} // namespace host

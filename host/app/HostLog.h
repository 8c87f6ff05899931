// The host's log: every message is kept (tests read them back) and written as
// one line to stderr, prefixed by its severity ("ERROR: ", "WARNING: ",
// "INFO: "); informational lines are not written when quiet, and nothing is
// written when echo is off.
#pragma once

#include <xsi_decl.h>
#include <xsi_status.h>
#include <xsi_string.h>

#include <exception>
#include <string>
#include <vector>

namespace host {

struct LogEntry {
    XSI::siSeverityType severity;
    std::string text; // the message as 8-bit text (each character's low 8 bits)
};

class HostLog {
  public:
    void Log(const XSI::CString& text, XSI::siSeverityType severity);
    const std::vector<LogEntry>& GetLog() const { return m_log; }
    void ClearLog() { m_log.clear(); }
    void SetQuiet(bool quiet) { m_quiet = quiet; }
    bool IsQuiet() const { return m_quiet; }
    void SetEchoLog(bool echo) { m_echoLog = echo; }
    bool IsEchoed() const { return m_echoLog; }

    // Runs a command or plug-in entry. An exception that escapes it is logged
    // ("<what> failed: <why>") and reported as Fail instead of ending the host.
    template <typename Call> XSI::CStatus Guarded(const std::wstring& what, Call call) {
        std::string why = "unknown exception"; // copied: the exception ends with its handler
        try {
            return call();
        } catch (const std::exception& e) {
            why = e.what();
        } catch (...) {
        }
        LogFailure(what, why);
        return XSI::CStatus::Fail;
    }

  private:
    void LogFailure(const std::wstring& what, const std::string& why);

    std::vector<LogEntry> m_log;
    bool m_quiet = false;
    bool m_echoLog = true;
};

} // namespace host

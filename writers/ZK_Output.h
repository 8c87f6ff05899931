// What every file writer shares: the message sink through which an output
// that could not be made is reported, a file stream that is closed on every
// path and tells whether every byte reached the file, and the C number
// format for text output whatever the process locale is.
#pragma once

#include <clocale>
#include <cstdio>
#include <locale.h>

// Receives each message of the writers. The driver points it at the host
// log for the length of a run; by default messages go to stderr.
typedef void (*ZK_MessageSink)(const char* message);
void ZK_SetMessageSink(ZK_MessageSink sink);
ZK_MessageSink ZK_GetMessageSink();
void ZK_ReportMessage(const char* message);

// Logs "ZK_XSI_Baker - The <label> file cannot be written: <path>".
void ZK_ReportOutputFailure(const char* label, const char* path);

// Switches the calling thread to the C locale while it lives, so that "%f"
// always prints a decimal point.
class ZK_CLocaleScope {
  public:
    ZK_CLocaleScope();
    ~ZK_CLocaleScope();
    ZK_CLocaleScope(const ZK_CLocaleScope&) = delete;
    ZK_CLocaleScope& operator=(const ZK_CLocaleScope&) = delete;

  private:
    locale_t m_previous = nullptr;
};

// An output file opened with fopen; closed when it goes out of scope. Text
// written through it is formatted in the C locale.
class ZK_OutFile {
  public:
    ZK_OutFile(const char* path, const char* mode);
    ~ZK_OutFile();
    ZK_OutFile(const ZK_OutFile&) = delete;
    ZK_OutFile& operator=(const ZK_OutFile&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    FILE* Get() const { return m_file; }
    // Closes the file; true when it was open, every write succeeded and the
    // close succeeded.
    bool Close();

  private:
    ZK_CLocaleScope m_locale;
    FILE* m_file = nullptr;
};

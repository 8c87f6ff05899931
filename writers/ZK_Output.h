// What every file writer shares: the run's message sink through which an
// output that could not be made is reported, a file stream that is closed on every
// path and tells whether every byte reached the file, the C number format
// for text output whatever the process locale is, the check of the records
// a writer reads, and the open/write/close/report sequence of an output file.
#pragma once

#include "capture/ZK_Records.h"

#include <clocale>
#include <cstdio>
#include <functional>
#include <locale.h>
#include <utility>

// Receives the messages of one run's writers. The driver makes one per run
// that logs to the host log and hands it to every writer it calls; one made
// without a receiver writes each message to stderr.
class ZK_Messages {
  public:
    using Receiver = std::function<void(const char* message)>;
    ZK_Messages() = default;
    explicit ZK_Messages(Receiver receiver) : m_receiver(std::move(receiver)) {}
    void Report(const char* message) const;

  private:
    Receiver m_receiver;
};

// Reports "ZK_XSI_Baker - The <label> file cannot be written: <path>".
void ZK_ReportOutputFailure(const ZK_Messages& messages, const char* label, const char* path);

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

// True when a writer has a path and records holding every array it may read.
// A kind whose count is 0 may have no array (an empty kind is a null
// pointer); a kind whose count is above 0 must have its array, and when its
// motion bit is set and frameCount is above 0, every item its samples.
// Otherwise reports one message naming the file of label and path, and
// returns false: such records are a misuse and nothing is written from them.
bool ZK_WriterInputComplete(const ZK_Messages& messages, const ScCtrl* ctrl,
                            const ObjectData* objects, const CameraData_st* cameras,
                            const NullData_st* nulls, const LightData_st* lights, int frameCount,
                            const char* label, const char* path);

// Creates the file at path with mode ("w" for text, "wb" for binary), lets
// body(FILE*) write it and closes it. Returns false, after one message naming
// the label and the path, when the file could not be created (then body is
// not called and nothing is written) or not completely written.
template <class Body>
bool ZK_WriteFile(const ZK_Messages& messages, const char* label, const char* path,
                  const char* mode, Body body) {
    ZK_OutFile out(path, mode);
    if (!out.IsOpen()) {
        ZK_ReportOutputFailure(messages, label, path);
        return false;
    }
    body(out.Get());
    if (!out.Close()) {
        ZK_ReportOutputFailure(messages, label, path);
        return false;
    }
    return true;
}

// The whole of a writer of one file from the records: checks the records
// (above), then writes the file at path with body(FILE*). Returns 1 when the
// file was written whole, 0 otherwise (after one message).
template <class Body>
int ZK_WriteRecordsFile(const ZK_Messages& messages, const char* label, const char* mode,
                        const ScCtrl* ctrl, const ObjectData* objects, const CameraData_st* cameras,
                        const NullData_st* nulls, const LightData_st* lights, const char* path,
                        int frameCount, Body body) {
    if (!ZK_WriterInputComplete(messages, ctrl, objects, cameras, nulls, lights, frameCount, label,
                                path))
        return 0;
    return ZK_WriteFile(messages, label, path, mode, body) ? 1 : 0;
}

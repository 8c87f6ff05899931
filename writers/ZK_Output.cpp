#include "writers/ZK_Output.h"

#include <string>

namespace {

void StderrSink(const char* message) {
    std::fprintf(stderr, "ERROR: %s\n", message);
}

ZK_MessageSink g_sink = StderrSink;

locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

} // namespace

void ZK_SetMessageSink(ZK_MessageSink sink) {
    g_sink = sink ? sink : StderrSink;
}

ZK_MessageSink ZK_GetMessageSink() {
    return g_sink;
}

void ZK_ReportMessage(const char* message) {
    g_sink(message);
}

void ZK_ReportOutputFailure(const char* label, const char* path) {
    std::string text = "ZK_XSI_Baker - The ";
    text += label;
    text += " file cannot be written: ";
    text += path;
    ZK_ReportMessage(text.c_str());
}

ZK_CLocaleScope::ZK_CLocaleScope() {
    if (locale_t c = CLocale())
        m_previous = uselocale(c);
}

ZK_CLocaleScope::~ZK_CLocaleScope() {
    if (m_previous)
        uselocale(m_previous);
}

ZK_OutFile::ZK_OutFile(const char* path, const char* mode) : m_file(std::fopen(path, mode)) {}

ZK_OutFile::~ZK_OutFile() {
    Close();
}

bool ZK_OutFile::Close() {
    if (!m_file)
        return false;
    const bool writeFailed = std::ferror(m_file) != 0;
    const bool closeFailed = std::fclose(m_file) != 0;
    m_file = nullptr;
    return !writeFailed && !closeFailed;
}

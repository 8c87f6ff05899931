#include "writers/ZK_Output.h"

#include <string>

namespace {

locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

} // namespace

void ZK_Messages::Report(const char* message) const {
    if (m_receiver)
        m_receiver(message);
    else
        std::fprintf(stderr, "ERROR: %s\n", message);
}

void ZK_ReportOutputFailure(const ZK_Messages& messages, const char* label, const char* path) {
    std::string text = "ZK_XSI_Baker - The ";
    text += label;
    text += " file cannot be written: ";
    text += path;
    messages.Report(text.c_str());
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

namespace {

// True when a kind's array is there when it has items, and when its samples
// are needed, every item's samples.
template <class Record>
bool KindComplete(const Record* records, int count, bool sampled, int frameCount) {
    if (count <= 0)
        return true;
    if (!records)
        return false;
    if (!sampled || frameCount <= 0)
        return true;
    for (int k = 0; k < count; ++k)
        if (!records[k].motion)
            return false;
    return true;
}

} // namespace

bool ZK_WriterInputComplete(const ZK_Messages& messages, const ScCtrl* ctrl,
                            const ObjectData* objects, const CameraData_st* cameras,
                            const NullData_st* nulls, const LightData_st* lights, int frameCount,
                            const char* label, const char* path) {
    const bool complete =
        path && ctrl &&
        KindComplete(objects, ctrl->objectCount, ctrl->motionFlags & ZK_MOT_OBJECTS, frameCount) &&
        KindComplete(cameras, ctrl->cameraCount, ctrl->motionFlags & ZK_MOT_CAMERAS, frameCount) &&
        KindComplete(nulls, ctrl->nullCount, ctrl->motionFlags & ZK_MOT_NULLS, frameCount) &&
        KindComplete(lights, ctrl->lightCount, ctrl->motionFlags & ZK_MOT_LIGHTS, frameCount);
    if (!complete) {
        std::string text = "ZK_XSI_Baker - The export records are incomplete, the ";
        text += label;
        text += " file is not written: ";
        text += path ? ZK_FieldText(path) : std::string("(no path)");
        messages.Report(text.c_str());
    }
    return complete;
}

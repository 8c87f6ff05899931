#include "writers/LWEnvelope.h"

#include <cmath>
#include <cstring>

float ZK_LWKeyTime(int frame, float frameRate) {
    if (frame == 0)
        return 0.0f;
    return static_cast<float>(frame) / std::ceil(frameRate);
}

int ZK_LWFramesPerSecond(float frameRate) {
    const float whole = std::ceil(frameRate);
    // Outside the int range (or NaN) the conversion would be undefined.
    if (!(whole > -2147483648.0f && whole < 2147483648.0f))
        return 0;
    return static_cast<int>(whole);
}

void ZK_LWBeginEnvelope(FILE* file, int keyCount) {
    std::fprintf(file, "{ Envelope\n  %i\n", keyCount);
}

void ZK_LWWriteKey(FILE* file, float value, float time) {
    std::fprintf(file, "  Key %f %f 0 0 0 0 0 0 0\n", static_cast<double>(value),
                 static_cast<double>(time));
}

void ZK_LWEndEnvelope(FILE* file) {
    std::fputs("  Behaviors 1 1\n}\n", file);
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

bool ZK_WriterInputComplete(const ScCtrl* ctrl, const ObjectData* objects,
                            const CameraData_st* cameras, const NullData_st* nulls,
                            const LightData_st* lights, int frameCount, const char* label,
                            const char* path) {
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
        ZK_ReportMessage(text.c_str());
    }
    return complete;
}

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

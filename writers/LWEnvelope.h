// What the LightWave scene writer, the LightWave motion-file writer and the
// MEL writer share: the LightWave envelope block with its key times, the
// conversion of a sample into LightWave's motion channels.
#pragma once

#include "capture/ZK_Records.h"
#include "writers/ZK_Channels.h"
#include "writers/ZK_Output.h"

#include <cstdio>
#include <string>

// Time in seconds of a key at frame number frame: the frame divided in single
// precision by the frame rate rounded up to a whole number. Frame 0 lies at 0.
float ZK_LWKeyTime(int frame, float frameRate);

// The whole number of frames per second that LightWave is given: the frame
// rate rounded up (29.97 gives 30).
int ZK_LWFramesPerSecond(float frameRate);

inline float ZK_LWChannelValue(const MotionFrame_st& frame, int channel) {
    return ZK_TransformChannel(frame.pos, frame.hpb, frame.scale, channel);
}
inline float ZK_LWChannelValue(const CameraFrame_st& frame, int channel) {
    return ZK_TransformChannel(frame.pos, frame.hpb, nullptr, channel);
}
inline float ZK_LWChannelValue(const LightFrame_st& frame, int channel) {
    return ZK_TransformChannel(frame.pos, frame.hpb, nullptr, channel);
}

// Where the keys of an envelope lie: key i at frame number firstFrame + i,
// at the frame rate frameRate.
struct ZK_LWKeyTimes {
    int firstFrame = 0;
    float frameRate = 0.0f;
};

// The pieces of an envelope block: its head with the key count, one key line,
// and its tail.
void ZK_LWBeginEnvelope(FILE* file, int keyCount);
void ZK_LWWriteKey(FILE* file, float value, float time);
void ZK_LWEndEnvelope(FILE* file);

// Writes one envelope block of frameCount keys; key i holds valueOf(i).
template <class ValueOf>
void ZK_LWWriteEnvelope(FILE* file, int frameCount, const ZK_LWKeyTimes& times, ValueOf valueOf) {
    ZK_LWBeginEnvelope(file, frameCount);
    for (int i = 0; i < frameCount; ++i)
        ZK_LWWriteKey(file, valueOf(i), ZK_LWKeyTime(times.firstFrame + i, times.frameRate));
    ZK_LWEndEnvelope(file);
}

// Writes channels 0 to channelCount - 1 of an item's samples, each as a
// "Channel c" line and its envelope block.
template <class Frame>
void ZK_LWWriteChannels(FILE* file, const Frame* motion, int channelCount, int frameCount,
                        const ZK_LWKeyTimes& times) {
    for (int c = 0; c < channelCount; ++c) {
        std::fprintf(file, "Channel %i\n", c);
        ZK_LWWriteEnvelope(file, frameCount, times,
                           [&](int i) { return ZK_LWChannelValue(motion[i], c); });
    }
}

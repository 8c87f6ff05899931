#include "host/import/AnimTracks.h"

namespace host {

double FrameToTick(double frame, double fps, double ticksPerSecond, double tickOffset) {
    return frame / fps * ticksPerSecond + tickOffset;
}

double NodeChannel::Seconds(double frame) const {
    return FrameToTick(frame, fps, 1.0, 0.0);
}

Vec3 NodeChannel::Position(double frame) const {
    if (curve) {
        return Decompose(curve(Seconds(frame))).t;
    }
    return EvalTrack(position, FrameToTick(frame, fps, ticksPerSecond, tickOffset), pre, post,
                     rest.t);
}
Quat NodeChannel::Rotation(double frame) const {
    if (curve) {
        return Decompose(curve(Seconds(frame))).r;
    }
    return EvalTrack(rotation, FrameToTick(frame, fps, ticksPerSecond, tickOffset), pre, post,
                     rest.r);
}
Vec3 NodeChannel::Scaling(double frame) const {
    if (curve) {
        return Decompose(curve(Seconds(frame))).s;
    }
    return EvalTrack(scaling, FrameToTick(frame, fps, ticksPerSecond, tickOffset), pre, post,
                     rest.s);
}
Mat34 NodeChannel::Matrix(double frame) const {
    if (curve) {
        return curve(Seconds(frame));
    }
    return MatrixFromSRT(Scaling(frame), Rotation(frame), Position(frame));
}

const SRT& ComposedMotion::At(double frame) const {
    if (!m_valid || frame != m_frame) {
        Mat34 m = m_node.At(frame);
        if (m_withRoot) {
            m = Mul(m_root.At(frame), m);
        }
        m_srt = Decompose(Mul(Mul(m_before, m), m_after));
        m_frame = frame;
        m_valid = true;
    }
    return m_srt;
}

} // namespace host

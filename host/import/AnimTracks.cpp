#include "host/import/AnimTracks.h"

namespace host {

double FrameToTick(double frame, double fps, double ticksPerSecond, double tickOffset) {
    return frame / fps * ticksPerSecond + tickOffset;
}

double NodeChannel::Seconds(double frame) const {
    return FrameToTick(frame, fps, 1.0, 0.0);
}

double NodeChannel::Tick(double frame) const {
    return FrameToTick(frame, fps, ticksPerSecond, tickOffset);
}

const SRT& NodeChannel::CurveParts(double frame) const {
    if (!m_curveValid || frame != m_curveFrame) {
        m_curveParts = Decompose(curve(Seconds(frame)));
        m_curveFrame = frame;
        m_curveValid = true;
    }
    return m_curveParts;
}

Vec3 NodeChannel::Position(double frame) const {
    return curve ? CurveParts(frame).t : EvalTrack(position, Tick(frame), pre, post, rest.t);
}
Quat NodeChannel::Rotation(double frame) const {
    return curve ? CurveParts(frame).r : EvalTrack(rotation, Tick(frame), pre, post, rest.r);
}
Vec3 NodeChannel::Scaling(double frame) const {
    return curve ? CurveParts(frame).s : EvalTrack(scaling, Tick(frame), pre, post, rest.s);
}
Mat34 NodeChannel::Matrix(double frame) const {
    if (curve) {
        return curve(Seconds(frame));
    }
    return MatrixFromSRT(Scaling(frame), Rotation(frame), Position(frame));
}

Mat34 ComposedMotion::Matrix(double frame) const {
    Mat34 m = m_node.At(frame);
    if (m_withRoot) {
        m = Mul(m_root.At(frame), m);
    }
    return Mul(Mul(m_before, m), m_after);
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

// The conversions of a sampled transform into the motion channels of the
// LightWave and FXS scene files (and the negated z of the ZSC file).
#pragma once

// Negates a sampled value in single precision as v + v * (-2), so that a zero
// of either sign comes out as +0 and never prints with a minus sign.
inline float ZK_NegateSample(float value) {
    return value + value * -2.0f;
}

// Degrees to radians: the angle widened to double, divided by 180/pi in
// double precision and rounded back to single precision.
inline float ZK_DegreesToRadians(float degrees) {
    return static_cast<float>(static_cast<double>(degrees) / 57.29577951308232);
}

// Value of motion channel c of one sample: 0 position x, 1 position y,
// 2 negated position z, 3 negated heading, 4 negated pitch, 5 bank (angles in
// radians), 6 to 8 scale x, y, z (1 when scale is null). Other channels: 0.
inline float ZK_TransformChannel(const float pos[3], const float hpb[3], const float* scale,
                                 int channel) {
    switch (channel) {
    case 0:
        return pos[0];
    case 1:
        return pos[1];
    case 2:
        return ZK_NegateSample(pos[2]);
    case 3:
        return ZK_DegreesToRadians(ZK_NegateSample(hpb[0]));
    case 4:
        return ZK_DegreesToRadians(ZK_NegateSample(hpb[1]));
    case 5:
        return ZK_DegreesToRadians(hpb[2]);
    case 6:
    case 7:
    case 8:
        return scale ? scale[channel - 6] : 1.0f;
    default:
        return 0.0f;
    }
}

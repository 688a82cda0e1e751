// Records shared by the engine, the correction modes and the display.
#pragma once

#include <stdint.h>

// One harmonic of one colour channel. Scale: 256 x an amplitude in sample
// units (8 fractional bits). Harmonic 0 carries 256 x the channel mean in
// cosinePart and 0 in sinePart.
struct ChannelCoeff {
    int32_t sinePart;
    int32_t cosinePart;
};

// One harmonic in all three channels, red first: the reverse of the plane
// order of a planar row (plane 0 blue, 1 green, 2 red).
struct HarmonicCoeffs {
    ChannelCoeff red;
    ChannelCoeff green;
    ChannelCoeff blue;
};

static_assert(sizeof(HarmonicCoeffs) == 24, "six consecutive 32-bit integers");

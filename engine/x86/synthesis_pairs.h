// Coefficient packing shared by the SIMD synthesis kernels.
//
// A table pair interleaved as 16-bit words (sin j, cos j) meets a channel's
// coefficients packed as one dword (sine in the low word, cosine in the high
// word): one pmaddwd lane then yields sin j x s + cos j x c, both products and
// their sum exact in 32 bits.
//
// Harmonic 0's cosinePart is carried at full 32-bit size, so it is split as
// c = hi x 65536 + lo with lo the signed low word: cos j x c is, modulo 2^32,
// pmaddwd((sin j, cos j), (s, lo)) + (pmaddwd((sin j, cos j), (0, hi)) << 16).
// Static inline throughout (see engine/fixed_point.h).
#pragma once

#include <stdint.h>

#include "engine/coeffs.h"
#include "engine/fixed_point.h"

static inline uint32_t packWords(int32_t low, int32_t high)
{
    return (uint32_t)(uint16_t)low | (uint32_t)(uint16_t)high << 16;
}

// Both parts saturated to 16 bits.
static inline uint32_t packPair(const ChannelCoeff &ch)
{
    return packWords(saturate16(ch.sinePart), saturate16(ch.cosinePart));
}

// Harmonic 0: (s, lo) and (0, hi) as above.
static inline void packMeanPair(const ChannelCoeff &ch, uint32_t *sLo, uint32_t *zeroHi)
{
    const uint32_t c = (uint32_t)ch.cosinePart;
    const int32_t lo = (int16_t)(uint16_t)c;
    const uint32_t hi = (c - (uint32_t)lo) >> 16;
    *sLo = packWords(saturate16(ch.sinePart), lo);
    *zeroHi = packWords(0, (int32_t)hi);
}

// Channels in plane order: blue (plane 0), green, red.
static inline const ChannelCoeff &planeChannel(const HarmonicCoeffs &h, int p)
{
    return p == 0 ? h.blue : p == 1 ? h.green : h.red;
}

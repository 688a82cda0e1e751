// The scalar steps of the engine's fixed-point arithmetic, shared by the
// reference kernels and every SIMD variant so that each rounding rule is
// written once.
//
// Everything here has internal linkage (static inline): the per-ISA files
// include this header too, and an inline function with external linkage could
// be emitted with, say, AVX-512 instructions and then picked by the linker for
// every caller.
#pragma once

#include <stdint.h>

static inline int32_t saturate16(int32_t v)
{
    return v < -32768 ? -32768 : v > 32767 ? 32767 : v;
}

// Addition modulo 2^32, as the packed multiply-adds do it.
static inline int32_t wrapAdd(int32_t a, int32_t b)
{
    return (int32_t)((uint32_t)a + (uint32_t)b);
}

// Analysis scale: 1 / w divided in double and rounded to single precision.
static inline float analysisScale(int w)
{
    return (float)(1.0 / w);
}

// Analysis, harmonic h >= 1: trunc(2 x (v >> 2) x scale). The shift floors,
// the product is rounded to double, the doubling is exact, the conversion
// truncates. |v >> 2| <= 2^29 and scale <= 1/4, so the result fits easily.
static inline int32_t analysisCoeff(int32_t v, float scale)
{
    const double t = (double)(v >> 2) * (double)scale;
    return (int32_t)(t * 2.0);
}

// Analysis, harmonic 0: trunc((int32)(t << 8) x scale); t is the lane-folded
// sample sum, shifted as a 32-bit integer (it wraps for sums above 2^23).
static inline int32_t meanLevelCoeff(uint32_t t, float scale)
{
    return (int32_t)((double)(int32_t)(t << 8) * (double)scale);
}

// Correlation: trunc(2 x sum / w) for the int32 (wrapped) sum, exact in 64
// bits; w > 0.
static inline int32_t correlationField(uint32_t sum, int w)
{
    return (int32_t)(2 * (int64_t)(int32_t)sum / w);
}

// Correlation, harmonic 0: the sum of byte x 256 (int32, wrapping) is halved
// (exact: it is even) and then scaled like any other field, which gives
// 256 x the channel mean rounded toward zero.
static inline int32_t correlationMean(uint32_t sum256, int w)
{
    return (int32_t)(2 * (int64_t)((int32_t)sum256 / 2) / w);
}

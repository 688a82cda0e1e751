// Per-row kernels of the YUV import and the change correction, and the table
// of their implementations (the reference *_c, SSE2 forms where they pay).
//
// Every kernel works in single precision in one fixed order of operations,
// so every variant gives bit-identical results.
//
// Budget
//   samples   code values 0..2^16-1 in uint16 lanes
//   change    module bytes out - in, -255..255 per channel, int16 planes
//   luma      y' = y + rint(kR dR + kG dG + kB dB) (products summed left to
//             right), clamped to 0..max; |k| <= 0.73 x 2^(depth-8), so every
//             term stays below 2^depth and the single-precision sum is within
//             2^(depth-20) of the exact one (five roundings of half an ulp
//             and the coefficients' own): rounding differs from exact
//             arithmetic only that close to a half
//   chroma    sums of the change over a footprint in half-pixel weights,
//             exact in int32 (|sum| <= 255 x 8 x 8); c' = c + rint((kR sR +
//             kG sG + kB sB) x inv), inv = 1 / total weight, clamped
//   import    floats in module units (bytes); rint and clamp to 0..255
//   rint      round to nearest, ties to even (cvtps2dq and lrintf under the
//             default rounding mode)
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/dsp.h"

// Module pixels (bytes B, G, R, X) of a row: out - in into three int16
// planes laid end to end, w apart, in the order R, G, B.
typedef void (*change_row_fn)(int16_t *change, const uint32_t *in, const uint32_t *out, int w);
// Luma samples of a row plus the converted change (planes as above).
typedef void (*correct_luma_fn)(uint16_t *y, const int16_t *change, int w, const float k[3], int maxValue);
// Footprint sums across a row for 2:1 subsampling, chroma samples
// first..end-1 (whose footprints lie inside the row) into three int32 planes
// n apart: co-sited d[2k-1] + 2 d[2k] + d[2k+1], centred 2 (d[2k] + d[2k+1]),
// the weights in half pixels.
typedef void (*sums_x2_fn)(int32_t *sums, int n, const int16_t *change, int w, int first, int end, int centred);
// Chroma samples plus the converted footprint sums: sums holds three int32
// planes R, G, B, n apart; inv one reciprocal weight per sample.
typedef void (*correct_chroma_fn)(uint16_t *c, const int32_t *sums, const float *inv, int n, const float k[3],
                                  int maxValue);
// A chroma row for the module: (a + t (b - a) - offset) x gain, the rows
// above and below a luma row weighted by its place between them.
typedef void (*chroma_row_fn)(float *dst, const uint16_t *a, const uint16_t *b, float t, int n, float offset,
                              float gain);
// 2:1 chroma to full width for samples first..end-1 (those with a right
// neighbour): co-sited dst[2k] = s[k], dst[2k+1] = s[k] + 0.5 (s[k+1] - s[k]).
typedef void (*upsample_x2_fn)(float *dst, const float *src, int first, int end);
// One row of the module's picture: luma y' = (y - k[5]) x k[6]; cb and cr
// at full width already in module units; each byte is base + y' + the
// chroma terms (R: k0 cr; G: k1 cb + k2 cr; B: k3 cb; base k4, summed left to
// right), rounded to nearest and clamped to 0..255; byte 3 is 0.
typedef void (*xrgb_row_fn)(uint32_t *dst, const uint16_t *y, const float *cb, const float *cr, int w,
                            const float k[7]);
// 8-bit samples to and from uint16 lanes (values 0..255).
typedef void (*widen_bytes_fn)(uint16_t *dst, const uint8_t *src, int n);
typedef void (*narrow_bytes_fn)(uint8_t *dst, const uint16_t *src, int n);

// One element of each kernel: the reference loops and the SIMD tails use them.
#include <math.h>
static inline int correctionClamp(int v, int hi)
{
    return v < 0 ? 0 : v > hi ? hi : v;
}
static inline void changePixel(int16_t *r, int16_t *g, int16_t *b, uint32_t in, uint32_t out)
{
    *b = (int16_t)((int)(out & 0xff) - (int)(in & 0xff));
    *g = (int16_t)((int)(out >> 8 & 0xff) - (int)(in >> 8 & 0xff));
    *r = (int16_t)((int)(out >> 16 & 0xff) - (int)(in >> 16 & 0xff));
}
static inline uint16_t correctedLuma(uint16_t y, int r, int g, int b, const float k[3], int maxValue)
{
    const float v = k[0] * (float)r + k[1] * (float)g + k[2] * (float)b;
    return (uint16_t)correctionClamp(y + (int)lrintf(v), maxValue);
}
static inline uint16_t correctedChroma(uint16_t c, int32_t r, int32_t g, int32_t b, float inv, const float k[3],
                                       int maxValue)
{
    const float v = (k[0] * (float)r + k[1] * (float)g + k[2] * (float)b) * inv;
    return (uint16_t)correctionClamp(c + (int)lrintf(v), maxValue);
}
static inline int32_t sumX2(const int16_t *d, int k, int centred)
{
    return centred ? 2 * (d[2 * k] + d[2 * k + 1]) : d[2 * k - 1] + 2 * d[2 * k] + d[2 * k + 1];
}
static inline float chromaValue(uint16_t a, uint16_t b, float t, float offset, float gain)
{
    return ((float)a + t * ((float)b - (float)a) - offset) * gain;
}
static inline uint32_t xrgbPixel(uint16_t y, float cb, float cr, const float k[7])
{
    const float base = k[4] + ((float)y - k[5]) * k[6];
    const int r = correctionClamp((int)lrintf(base + k[0] * cr), 255);
    const int g = correctionClamp((int)lrintf(base + k[1] * cb + k[2] * cr), 255);
    const int b = correctionClamp((int)lrintf(base + k[3] * cb), 255);
    return (uint32_t)b | (uint32_t)g << 8 | (uint32_t)r << 16;
}

struct CorrectionDsp {
    change_row_fn changeRow;
    correct_luma_fn correctLuma;
    sums_x2_fn sumsX2;
    correct_chroma_fn correctChroma;
    chroma_row_fn chromaRow;
    upsample_x2_fn upsampleX2;
    xrgb_row_fn xrgbRow;
    widen_bytes_fn widenBytes;
    narrow_bytes_fn narrowBytes;
};

// Fill `dsp` with the reference, then overwrite each entry with the variant
// of every level up to min(cap, cpuDetect()). Returns the level used.
CpuLevel correctionDspInit(CorrectionDsp *dsp, CpuLevel cap);
// The process-wide table, at dspCpuLevel() like every other table: filled on
// first use, so a program with threads touches it once before they start.
const CorrectionDsp &correctionDsp();

#define CORRECTION_KERNELS(isa)                                                                                        \
    void change_row_##isa(int16_t *change, const uint32_t *in, const uint32_t *out, int w);                            \
    void correct_luma_##isa(uint16_t *y, const int16_t *change, int w, const float k[3], int maxValue);                \
    void sums_x2_##isa(int32_t *sums, int n, const int16_t *change, int w, int first, int end, int centred);           \
    void correct_chroma_##isa(uint16_t *c, const int32_t *sums, const float *inv, int n, const float k[3],             \
                              int maxValue);                                                                           \
    void chroma_row_##isa(float *dst, const uint16_t *a, const uint16_t *b, float t, int n, float offset, float gain); \
    void upsample_x2_##isa(float *dst, const float *src, int first, int end);                                          \
    void xrgb_row_##isa(uint32_t *dst, const uint16_t *y, const float *cb, const float *cr, int w, const float k[7]);  \
    void widen_bytes_##isa(uint16_t *dst, const uint8_t *src, int n);                                                  \
    void narrow_bytes_##isa(uint8_t *dst, const uint16_t *src, int n);
CORRECTION_KERNELS(c)
CORRECTION_KERNELS(sse2)
#undef CORRECTION_KERNELS

// Per-row kernels of the YUV import and the change correction, and the table
// of their implementations (the reference *_c, SSE2 forms where they pay).
//
// Every kernel works in single precision in one fixed order of operations,
// so every variant gives bit-identical results.
//
// Budget
//   samples   code values 0..2^16-1 in uint16 lanes
//   change    module bytes out - in, -255..255 per channel, int16 planes
//   luma      y' = y + floor(kR dR + kG dG + kB dB + 0.5) (products summed
//             left to right), clamped to 0..max; |k| x 255 x 3 < 2^18 so the
//             sum carries 6+ fractional bits even at 16 bits, enough that it
//             differs from exact arithmetic by under 1/64 of a code value
//   chroma    sums of the change over a footprint in half-pixel weights,
//             exact in int32 (|sum| <= 255 x 8 x 8); c' = c + floor((kR sR +
//             kG sG + kB sB) x inv + 0.5), inv = 1 / total weight, clamped
#pragma once

#include <stddef.h>
#include <stdint.h>

// Module pixels (bytes B, G, R, X) of a row: out - in into three int16
// planes laid end to end, w apart, in the order R, G, B.
typedef void (*change_row_fn)(int16_t *change, const uint32_t *in, const uint32_t *out, int w);
// Luma samples of a row plus the converted change (planes as above).
typedef void (*correct_luma_fn)(uint16_t *y, const int16_t *change, int w, const float k[3], int maxValue);
// Chroma samples plus the converted footprint sums: sums holds three int32
// planes R, G, B, n apart; inv one reciprocal weight per sample.
typedef void (*correct_chroma_fn)(uint16_t *c, const int32_t *sums, const float *inv, int n, const float k[3],
                                  int maxValue);
// One row of the module's picture: y holds luma already as
// (Y - yOffset) x gain, cb and cr chroma at full width already as
// (C - cOffset) x gain, both in module units; each byte is
// clamp(base + y + kcb x cb + kcr x cr) rounded to nearest, byte 3 is 0.
// k = {rCr, gCb, gCr, bCb, base}.
typedef void (*xrgb_row_fn)(uint32_t *dst, const float *y, const float *cb, const float *cr, int w, const float k[5]);

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
static inline uint32_t xrgbPixel(float y, float cb, float cr, const float k[5])
{
    const float base = k[4] + y;
    const int r = correctionClamp((int)lrintf(base + k[0] * cr), 255);
    const int g = correctionClamp((int)lrintf(base + k[1] * cb + k[2] * cr), 255);
    const int b = correctionClamp((int)lrintf(base + k[3] * cb), 255);
    return (uint32_t)b | (uint32_t)g << 8 | (uint32_t)r << 16;
}

struct CorrectionDsp {
    change_row_fn changeRow;
    correct_luma_fn correctLuma;
    correct_chroma_fn correctChroma;
    xrgb_row_fn xrgbRow;
};

// The table for the ZELT_CPU cap (or `cap`, a CpuLevel), filled with the
// reference first and overwritten by each level up to the cap.
void correctionDspInit(CorrectionDsp *dsp, int cap);
const CorrectionDsp &correctionDsp();

void change_row_c(int16_t *change, const uint32_t *in, const uint32_t *out, int w);
void correct_luma_c(uint16_t *y, const int16_t *change, int w, const float k[3], int maxValue);
void correct_chroma_c(uint16_t *c, const int32_t *sums, const float *inv, int n, const float k[3], int maxValue);
void xrgb_row_c(uint32_t *dst, const float *y, const float *cb, const float *cr, int w, const float k[5]);

void change_row_sse2(int16_t *change, const uint32_t *in, const uint32_t *out, int w);
void correct_luma_sse2(uint16_t *y, const int16_t *change, int w, const float k[3], int maxValue);
void correct_chroma_sse2(uint16_t *c, const int32_t *sums, const float *inv, int n, const float k[3], int maxValue);
void xrgb_row_sse2(uint32_t *dst, const float *y, const float *cb, const float *cr, int w, const float k[5]);

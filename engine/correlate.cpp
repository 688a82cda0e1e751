// Single-harmonic row correlation: scalar reference.
#include "engine/dsp.h"

// trunc(2 x sum / w), exact in 64 bits.
static inline int32_t scaleCorrelation(int64_t twiceSum, int w)
{
    return (int32_t)(twiceSum / w);
}

void correlate_row_c(const uint32_t *row, int w, HarmonicCoeffs *out, int a, const int32_t *sin32,
                     const int32_t *cos32, int stride)
{
    if (w <= 0) {
        *out = HarmonicCoeffs{{0, 0}, {0, 0}, {0, 0}};
        return;
    }
    if (a == 0) {
        uint32_t r = 0, g = 0, b = 0;
        for (int j = 0; j < w; j++) {
            r += ((row[j] >> 16) & 0xff) * 256u;
            g += ((row[j] >> 8) & 0xff) * 256u;
            b += (row[j] & 0xff) * 256u;
        }
        // Halved sums, then the general scaling: 256 x the mean, rounded down.
        out->red = {0, scaleCorrelation(2 * (int64_t)((int32_t)r / 2), w)};
        out->green = {0, scaleCorrelation(2 * (int64_t)((int32_t)g / 2), w)};
        out->blue = {0, scaleCorrelation(2 * (int64_t)((int32_t)b / 2), w)};
        return;
    }
    const int32_t *s = sin32 + (ptrdiff_t)a * stride;
    const int32_t *c = cos32 + (ptrdiff_t)a * stride;
    uint32_t rs = 0, rc = 0, gs = 0, gc = 0, bs = 0, bc = 0;  // int32, wrapping
    for (int j = 0; j < w; j++) {
        const uint32_t b = row[j] & 0xff, g = (row[j] >> 8) & 0xff, r = (row[j] >> 16) & 0xff;
        rs += r * (uint32_t)s[j];
        rc += r * (uint32_t)c[j];
        gs += g * (uint32_t)s[j];
        gc += g * (uint32_t)c[j];
        bs += b * (uint32_t)s[j];
        bc += b * (uint32_t)c[j];
    }
    out->red = {scaleCorrelation(2 * (int64_t)(int32_t)rs, w), scaleCorrelation(2 * (int64_t)(int32_t)rc, w)};
    out->green = {scaleCorrelation(2 * (int64_t)(int32_t)gs, w), scaleCorrelation(2 * (int64_t)(int32_t)gc, w)};
    out->blue = {scaleCorrelation(2 * (int64_t)(int32_t)bs, w), scaleCorrelation(2 * (int64_t)(int32_t)bc, w)};
}

// Single-harmonic row correlation: scalar reference.
#include "engine/dsp.h"
#include "engine/fixed_point.h"

void correlate_row_c(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32, const int32_t *cos32,
                     int stride)
{
    if (w <= 0) {
        *out = HarmonicCoeffs{{0, 0}, {0, 0}, {0, 0}};
        return;
    }
    if (h == 0) {
        uint32_t r = 0, g = 0, b = 0;
        for (int j = 0; j < w; j++) {
            r += ((row[j] >> 16) & 0xff) * 256u;
            g += ((row[j] >> 8) & 0xff) * 256u;
            b += (row[j] & 0xff) * 256u;
        }
        // Halved sums, then the general scaling: 256 x the mean, rounded down.
        out->red = {0, correlationMean(r, w)};
        out->green = {0, correlationMean(g, w)};
        out->blue = {0, correlationMean(b, w)};
        return;
    }
    const int32_t *s = sin32 + (ptrdiff_t)h * stride;
    const int32_t *c = cos32 + (ptrdiff_t)h * stride;
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
    out->red = {correlationField(rs, w), correlationField(rc, w)};
    out->green = {correlationField(gs, w), correlationField(gc, w)};
    out->blue = {correlationField(bs, w), correlationField(bc, w)};
}

// Forward harmonic analysis: scalar reference.
#include "engine/dsp.h"
#include "engine/fixed_point.h"

// Harmonic 0: the plane's sum in four 16-bit lanes per block of 256 samples,
// each lane wrapping modulo 65536 and read back unsigned.
static int32_t meanLevelSum(const int16_t *x, int n4)
{
    uint32_t total = 0;
    for (int base = 0; base < n4; base += 256) {
        const int end = base + 256 < n4 ? base + 256 : n4;
        uint16_t lane[4] = {0, 0, 0, 0};
        for (int j = base; j < end; j++)
            lane[j & 3] = (uint16_t)(lane[j & 3] + (uint16_t)x[j]);
        total += (uint32_t)lane[0] + lane[1] + lane[2] + lane[3];
    }
    return (int32_t)total;
}

void analyse_row_c(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                   const int16_t *cos16, int stride)
{
    const float scale = analysisScale(w);
    const int n4 = w & ~3;
    for (int h = first; h < end; h++) {
        HarmonicCoeffs &rec = out[h - first];
        ChannelCoeff *ch[3] = {&rec.blue, &rec.green, &rec.red};  // planes 0, 1, 2
        for (int p = 0; p < 3; p++) {
            const int16_t *x = planar + (ptrdiff_t)p * w;
            if (h == 0) {
                const int32_t t = meanLevelSum(x, n4);
                ch[p]->sinePart = 0;
                ch[p]->cosinePart = meanLevelCoeff((uint32_t)t, scale);
                continue;
            }
            const int16_t *s = sin16 + (ptrdiff_t)h * stride;
            const int16_t *c = cos16 + (ptrdiff_t)h * stride;
            int32_t vs = 0, vc = 0;
            for (int j = 0; j < n4; j++) {
                vs = wrapAdd(vs, (int32_t)x[j] * s[j]);
                vc = wrapAdd(vc, (int32_t)x[j] * c[j]);
            }
            ch[p]->sinePart = analysisCoeff(vs, scale);
            ch[p]->cosinePart = analysisCoeff(vc, scale);
        }
    }
}

void analyse_rows_c(const int16_t *planar, ptrdiff_t planarStride, int rows, int count, int w, HarmonicCoeffs *out,
                    ptrdiff_t outStride, const Tables16View *tables)
{
    if (count <= 0)
        return;
    for (int r = 0; r < rows; r++)
        analyse_row_c(planar + r * planarStride, 0, count, w, out + r * outStride, tables->sin16, tables->cos16,
                      tables->n);
}

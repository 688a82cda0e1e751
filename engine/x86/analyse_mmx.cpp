// Forward harmonic analysis, MMX.
//
// One plane at a time, two harmonics per pass: each step loads four samples
// and four entries of each table row and adds two pmaddwd pair sums per row
// into the sine and cosine accumulators; the accumulators are folded so that
// sine and cosine sums end in the two halves of one 64-bit value. All integer
// work of a group ends with emms before the double-precision scaling.
#include <mmintrin.h>
#include <string.h>

#include "engine/fixed_point.h"
#include "engine/x86/dsp_x86.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

constexpr int kGroup = 2;

ALWAYS_INLINE __m64 load64(const void *p)
{
    __m64 v;
    memcpy(&v, p, 8);
    return v;
}

// Mean-level plane sum: four 16-bit lanes per block of 256 samples (lane q
// takes samples j = q mod 4, modulo 65536), widened unsigned once per block.
// Leaves MMX state dirty; the caller issues emms.
ALWAYS_INLINE uint32_t meanLevelSum(const int16_t *x, int n4)
{
    __m64 total = _mm_setzero_si64();
    for (int base = 0; base < n4; base += 256) {
        const int end = base + 256 < n4 ? base + 256 : n4;
        __m64 lanes = _mm_setzero_si64();
        for (int j = base; j < end; j += 4)
            lanes = _mm_add_pi16(lanes, load64(x + j));
        const __m64 zero = _mm_setzero_si64();
        total = _mm_add_pi32(total, _mm_add_pi32(_mm_unpacklo_pi16(lanes, zero), _mm_unpackhi_pi16(lanes, zero)));
    }
    total = _mm_add_pi32(total, _mm_srli_si64(total, 32));
    return (uint32_t)_mm_cvtsi64_si32(total);
}

template <int NH>
void analyseGroup(const int16_t *const x[3], int n4, const int16_t *sin16, const int16_t *cos16, ptrdiff_t stride,
                  int b, float scale, HarmonicCoeffs *out)
{
    const int16_t *s[NH], *c[NH];
#pragma GCC unroll 24
    for (int k = 0; k < NH; k++) {
        s[k] = sin16 + (b + k) * stride;
        c[k] = cos16 + (b + k) * stride;
    }
    int32_t sums[NH][6];  // record order: red, green, blue; sine then cosine
#pragma GCC unroll 24
    for (int p = 0; p < 3; p++) {
        __m64 as[NH], ac[NH];
    #pragma GCC unroll 24
        for (int k = 0; k < NH; k++)
            as[k] = ac[k] = _mm_setzero_si64();
        for (int j = 0; j < n4; j += 4) {
            const __m64 xv = load64(x[p] + j);
#pragma GCC unroll 24
            for (int k = 0; k < NH; k++) {
                as[k] = _mm_add_pi32(as[k], _mm_madd_pi16(xv, load64(s[k] + j)));
                ac[k] = _mm_add_pi32(ac[k], _mm_madd_pi16(xv, load64(c[k] + j)));
            }
        }
    #pragma GCC unroll 24
        for (int k = 0; k < NH; k++) {
            const __m64 sc = _mm_add_pi32(_mm_unpacklo_pi32(as[k], ac[k]), _mm_unpackhi_pi32(as[k], ac[k]));
            memcpy(&sums[k][2 * (2 - p)], &sc, 8);
        }
    }
    _mm_empty();
    for (int k = 0; k < NH; k++) {
        int32_t *o = (int32_t *)(out + k);
        for (int f = 0; f < 6; f++)
            o[f] = analysisCoeff(sums[k][f], scale);
    }
}

}  // namespace

void analyse_row_mmx(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                     const int16_t *cos16, int stride)
{
    if (first >= end)
        return;
    const float scale = analysisScale(w);
    const int n4 = w & ~3;
    const int16_t *const x[3] = {planar, planar + w, planar + 2 * (ptrdiff_t)w};
    int b = first;
    if (b == 0) {
        uint32_t t[3];
        for (int p = 0; p < 3; p++)
            t[p] = meanLevelSum(x[p], n4);
        _mm_empty();
        ChannelCoeff *ch[3] = {&out->blue, &out->green, &out->red};
        for (int p = 0; p < 3; p++) {
            ch[p]->sinePart = 0;
            ch[p]->cosinePart = meanLevelCoeff(t[p], scale);
        }
        b++;
    }
    for (; b + kGroup <= end; b += kGroup)
        analyseGroup<kGroup>(x, n4, sin16, cos16, stride, b, scale, out + (b - first));
    if (b < end)
        analyseGroup<1>(x, n4, sin16, cos16, stride, b, scale, out + (b - first));
}

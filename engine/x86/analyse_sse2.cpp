// Forward harmonic analysis, SSE2.
//
// Same structure as the AVX2 form at 128 bits: several harmonics per pass over
// the samples, pmaddwd pair sums into separate sine and cosine accumulators per
// plane, one reduction and a packed double-precision scaling per group. The
// 32-bit build has eight vector registers and takes one harmonic per pass.
#include <emmintrin.h>
#include <string.h>

#include "engine/fixed_point.h"
#include "engine/x86/dsp_x86.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

#if defined(__x86_64__)
constexpr int kGroup = 2;
#else
constexpr int kGroup = 1;
#endif
constexpr int kAcc = 6 * kGroup < 12 ? 12 : 6 * kGroup;  // padded to whole reductions of four

// Mean-level plane sum: 8 lanes of 16 bits per block of 256 samples, folded
// to the four lanes j mod 4 modulo 65536, read back unsigned.
uint32_t meanLevelSum(const int16_t *x, int n4)
{
    uint32_t total = 0;
    for (int base = 0; base < n4; base += 256) {
        const int end = base + 256 < n4 ? base + 256 : n4;
        __m128i lanes = _mm_setzero_si128();
        int j = base;
        for (; j + 8 <= end; j += 8)
            lanes = _mm_add_epi16(lanes, _mm_loadu_si128((const __m128i *)(x + j)));
        if (j < end)  // four samples
            lanes = _mm_add_epi16(lanes, _mm_loadl_epi64((const __m128i *)(x + j)));
        const __m128i l4 = _mm_add_epi16(lanes, _mm_srli_si128(lanes, 8));
        __m128i wide = _mm_unpacklo_epi16(l4, _mm_setzero_si128());
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 8));
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 4));
        total += (uint32_t)_mm_cvtsi128_si32(wide);
    }
    return total;
}

ALWAYS_INLINE __m128i pairSum(__m128i a, __m128i b)
{
    return _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
}

ALWAYS_INLINE __m128i quadSum(__m128i ab, __m128i cd)
{
    return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
}

// Four sums to four coefficients, exactly as analysisCoeff.
ALWAYS_INLINE __m128i scaleFour(__m128i v, __m128d scale)
{
    const __m128i q = _mm_srai_epi32(v, 2);
    const __m128d lo = _mm_mul_pd(_mm_cvtepi32_pd(q), scale);
    const __m128d hi = _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(q, q)), scale);
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_add_pd(lo, lo)), _mm_cvttpd_epi32(_mm_add_pd(hi, hi)));
}

template <int NH>
ALWAYS_INLINE void step(__m128i acc[kAcc], const __m128i xr, const __m128i xg, const __m128i xb,
                        const int16_t *const s[NH], const int16_t *const c[NH], int j, bool half)
{
#pragma GCC unroll 24
    for (int k = 0; k < NH; k++) {
        const __m128i vs = half ? _mm_loadl_epi64((const __m128i *)(s[k] + j))
                                : _mm_loadu_si128((const __m128i *)(s[k] + j));
        const __m128i vc = half ? _mm_loadl_epi64((const __m128i *)(c[k] + j))
                                : _mm_loadu_si128((const __m128i *)(c[k] + j));
        __m128i *a = acc + 6 * k;  // record order: red, green, blue; sine then cosine
        a[0] = _mm_add_epi32(a[0], _mm_madd_epi16(xr, vs));
        a[1] = _mm_add_epi32(a[1], _mm_madd_epi16(xr, vc));
        a[2] = _mm_add_epi32(a[2], _mm_madd_epi16(xg, vs));
        a[3] = _mm_add_epi32(a[3], _mm_madd_epi16(xg, vc));
        a[4] = _mm_add_epi32(a[4], _mm_madd_epi16(xb, vs));
        a[5] = _mm_add_epi32(a[5], _mm_madd_epi16(xb, vc));
    }
}

template <int NH>
void analyseGroup(const int16_t *const x[3], int n4, const int16_t *sin16, const int16_t *cos16, ptrdiff_t stride,
                  int b, __m128d scale, HarmonicCoeffs *out)
{
    const int16_t *s[NH], *c[NH];
#pragma GCC unroll 24
    for (int k = 0; k < NH; k++) {
        s[k] = sin16 + (b + k) * stride;
        c[k] = cos16 + (b + k) * stride;
    }
    __m128i acc[kAcc];
#pragma GCC unroll 24
    for (int i = 0; i < kAcc; i++)
        acc[i] = _mm_setzero_si128();
    int j = 0;
    for (; j + 8 <= n4; j += 8) {
        const __m128i xr = _mm_loadu_si128((const __m128i *)(x[2] + j));
        const __m128i xg = _mm_loadu_si128((const __m128i *)(x[1] + j));
        const __m128i xb = _mm_loadu_si128((const __m128i *)(x[0] + j));
        step<NH>(acc, xr, xg, xb, s, c, j, false);
    }
    if (j < n4) {  // four samples; the upper lanes load as zero
        const __m128i xr = _mm_loadl_epi64((const __m128i *)(x[2] + j));
        const __m128i xg = _mm_loadl_epi64((const __m128i *)(x[1] + j));
        const __m128i xb = _mm_loadl_epi64((const __m128i *)(x[0] + j));
        step<NH>(acc, xr, xg, xb, s, c, j, true);
    }

    int32_t *dst = (int32_t *)out;
    int32_t tmp[kAcc];
    int32_t *o = 6 * NH == kAcc ? dst : tmp;
#pragma GCC unroll 24
    for (int i = 0; i < kAcc / 4; i++) {
        const __m128i sums = quadSum(pairSum(acc[4 * i], acc[4 * i + 1]), pairSum(acc[4 * i + 2], acc[4 * i + 3]));
        _mm_storeu_si128((__m128i *)(o + 4 * i), scaleFour(sums, scale));
    }
    if (6 * NH != kAcc)
        memcpy(dst, tmp, sizeof(HarmonicCoeffs) * NH);
}

}  // namespace

void analyse_row_sse2(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                      const int16_t *cos16, int stride)
{
    if (first >= end)
        return;
    const float scale = analysisScale(w);
    const int n4 = w & ~3;
    const int16_t *const x[3] = {planar, planar + w, planar + 2 * (ptrdiff_t)w};
    int b = first;
    if (b == 0) {
        ChannelCoeff *ch[3] = {&out->blue, &out->green, &out->red};
        for (int p = 0; p < 3; p++) {
            ch[p]->sinePart = 0;
            ch[p]->cosinePart = meanLevelCoeff(meanLevelSum(x[p], n4), scale);
        }
        b++;
    }
    const __m128d vscale = _mm_set1_pd((double)scale);
    for (; b + kGroup <= end; b += kGroup)
        analyseGroup<kGroup>(x, n4, sin16, cos16, stride, b, vscale, out + (b - first));
    if (b < end)
        analyseGroup<1>(x, n4, sin16, cos16, stride, b, vscale, out + (b - first));
}

// Forward harmonic analysis, AVX2.
//
// Two harmonics per pass over the samples: each step loads 16 samples of the
// three planes once and the sine and cosine rows of both harmonics, and feeds
// 12 accumulators with vpmaddwd pair sums (exact in 32 bits; table entries are
// at most 1024 in magnitude, so the one pmaddwd overflow case cannot occur, and
// the wrapping adds equal the reference's sums in any order). The 12 sums are
// reduced together and scaled in double precision four at a time.
#include <immintrin.h>
#include <string.h>

#include "engine/fixed_point.h"
#include "engine/x86/dsp_x86.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

constexpr int kGroup = 2;  // harmonics per pass

// Dword mask of the first `words` 16-bit elements (`words` even, < 16): the
// tails are whole groups of four samples, so whole dwords.
ALWAYS_INLINE __m256i tailMask(int words)
{
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(words / 2), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

ALWAYS_INLINE __m256i loadMasked(const int16_t *p, __m256i mask)
{
    return _mm256_maskload_epi32((const int *)p, mask);
}

// Mean-level plane sum: 16 lanes of 16 bits per block of 256 samples, folded
// to the four lanes j mod 4 modulo 65536, read back unsigned.
uint32_t meanLevelSum(const int16_t *x, int n4)
{
    uint32_t total = 0;
    for (int base = 0; base < n4; base += 256) {
        const int end = base + 256 < n4 ? base + 256 : n4;
        __m256i lanes = _mm256_setzero_si256();
        int j = base;
        for (; j + 16 <= end; j += 16)
            lanes = _mm256_add_epi16(lanes, _mm256_loadu_si256((const __m256i *)(x + j)));
        if (j < end)
            lanes = _mm256_add_epi16(lanes, loadMasked(x + j, tailMask(end - j)));
        const __m128i l8 = _mm_add_epi16(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1));
        const __m128i l4 = _mm_add_epi16(l8, _mm_srli_si128(l8, 8));
        __m128i wide = _mm_unpacklo_epi16(l4, _mm_setzero_si128());
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 8));
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 4));
        total += (uint32_t)_mm_cvtsi128_si32(wide);
    }
    return total;
}

ALWAYS_INLINE __m256i pairSum(__m256i a, __m256i b)
{
    return _mm256_add_epi32(_mm256_unpacklo_epi32(a, b), _mm256_unpackhi_epi32(a, b));
}

ALWAYS_INLINE __m128i quadSum(__m256i ab, __m256i cd)
{
    const __m256i q = _mm256_add_epi32(_mm256_unpacklo_epi64(ab, cd), _mm256_unpackhi_epi64(ab, cd));
    return _mm_add_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
}

// Four sums to four coefficients, exactly as analysisCoeff.
ALWAYS_INLINE __m128i scaleFour(__m128i v, __m256d scale)
{
    const __m256d t = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_srai_epi32(v, 2)), scale);
    return _mm256_cvttpd_epi32(_mm256_add_pd(t, t));
}

template <int NH, bool Masked>
ALWAYS_INLINE void step(__m256i acc[6 * kGroup], const int16_t *const x[3], const int16_t *const s[NH],
                        const int16_t *const c[NH], int j, __m256i mask)
{
    auto load = [&](const int16_t *p) {
        return Masked ? loadMasked(p + j, mask) : _mm256_loadu_si256((const __m256i *)(p + j));
    };
    const __m256i xr = load(x[2]), xg = load(x[1]), xb = load(x[0]);
#pragma GCC unroll 24
    for (int k = 0; k < NH; k++) {
        const __m256i vs = load(s[k]), vc = load(c[k]);
        __m256i *a = acc + 6 * k;  // record order: red, green, blue; sine then cosine
        a[0] = _mm256_add_epi32(a[0], _mm256_madd_epi16(xr, vs));
        a[1] = _mm256_add_epi32(a[1], _mm256_madd_epi16(xr, vc));
        a[2] = _mm256_add_epi32(a[2], _mm256_madd_epi16(xg, vs));
        a[3] = _mm256_add_epi32(a[3], _mm256_madd_epi16(xg, vc));
        a[4] = _mm256_add_epi32(a[4], _mm256_madd_epi16(xb, vs));
        a[5] = _mm256_add_epi32(a[5], _mm256_madd_epi16(xb, vc));
    }
}

template <int NH>
void analyseGroup(const int16_t *const x[3], int n4, const int16_t *sin16, const int16_t *cos16, ptrdiff_t stride,
                  int b, __m256d scale, HarmonicCoeffs *out)
{
    const int16_t *s[NH], *c[NH];
#pragma GCC unroll 24
    for (int k = 0; k < NH; k++) {
        s[k] = sin16 + (b + k) * stride;
        c[k] = cos16 + (b + k) * stride;
    }
    __m256i acc[6 * kGroup];
#pragma GCC unroll 24
    for (int i = 0; i < 6 * kGroup; i++)
        acc[i] = _mm256_setzero_si256();
    int j = 0;
    for (; j + 16 <= n4; j += 16)
        step<NH, false>(acc, x, s, c, j, _mm256_setzero_si256());
    if (j < n4)
        step<NH, true>(acc, x, s, c, j, tailMask(n4 - j));

    int32_t *dst = (int32_t *)out;
    int32_t tmp[6 * kGroup];
    int32_t *o = NH == kGroup ? dst : tmp;
#pragma GCC unroll 24
    for (int i = 0; i < 3; i++) {
        const __m128i sums = quadSum(pairSum(acc[4 * i], acc[4 * i + 1]), pairSum(acc[4 * i + 2], acc[4 * i + 3]));
        _mm_storeu_si128((__m128i *)(o + 4 * i), scaleFour(sums, scale));
    }
    if (NH != kGroup)
        memcpy(dst, tmp, sizeof(HarmonicCoeffs) * NH);
}

}  // namespace

void analyse_row_avx2(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
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
    const __m256d vscale = _mm256_set1_pd((double)scale);
    for (; b + kGroup <= end; b += kGroup)
        analyseGroup<kGroup>(x, n4, sin16, cos16, stride, b, vscale, out + (b - first));
    if (b < end)
        analyseGroup<1>(x, n4, sin16, cos16, stride, b, vscale, out + (b - first));
}

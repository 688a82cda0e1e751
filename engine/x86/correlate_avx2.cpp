// Single-harmonic row correlation, AVX2: the SSE2 scheme at sixteen pixels per
// step, the last pixels under a dword mask (pixels and table entries are both
// dwords, so masked lanes load as zero and add nothing). packssdw works per
// 128-bit lane, but the channel words and the entry words go through the same
// packing, so every byte still meets its own entry.
#include <immintrin.h>

#include "engine/fixed_point.h"
#include "engine/x86/dsp_x86.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

ALWAYS_INLINE __m256i dwordMask(int count)
{
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

ALWAYS_INLINE uint32_t horizontalSum(__m256i v)
{
    __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = _mm_add_epi32(x, _mm_srli_si128(x, 8));
    x = _mm_add_epi32(x, _mm_srli_si128(x, 4));
    return (uint32_t)_mm_cvtsi128_si32(x);
}

ALWAYS_INLINE uint32_t sadSum(__m256i v)
{
    __m128i x = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return (uint32_t)_mm_cvtsi128_si32(_mm_add_epi64(x, _mm_srli_si128(x, 8)));
}

void meanLevel(const uint32_t *row, int w, HarmonicCoeffs *out)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i mb = _mm256_set1_epi32(0xff), mg = _mm256_set1_epi32(0xff00), mr = _mm256_set1_epi32(0xff0000);
    __m256i sb = zero, sg = zero, sr = zero;
    for (int j = 0; j < w; j += 8) {
        const __m256i px = _mm256_maskload_epi32((const int *)(row + j), dwordMask(w - j));
        sb = _mm256_add_epi64(sb, _mm256_sad_epu8(_mm256_and_si256(px, mb), zero));
        sg = _mm256_add_epi64(sg, _mm256_sad_epu8(_mm256_and_si256(px, mg), zero));
        sr = _mm256_add_epi64(sr, _mm256_sad_epu8(_mm256_and_si256(px, mr), zero));
    }
    out->red = {0, correlationMean(sadSum(sr) << 8, w)};
    out->green = {0, correlationMean(sadSum(sg) << 8, w)};
    out->blue = {0, correlationMean(sadSum(sb) << 8, w)};
}

template <bool Masked>
ALWAYS_INLINE __m256i load(const void *p, __m256i mask)
{
    return Masked ? _mm256_maskload_epi32((const int *)p, mask) : _mm256_loadu_si256((const __m256i *)p);
}

template <bool Masked>
ALWAYS_INLINE void step(const uint32_t *row, const int32_t *s, const int32_t *c, int j, int rem, __m256i acc[6])
{
    const __m256i m0 = Masked ? dwordMask(rem) : __m256i(), m1 = Masked ? dwordMask(rem - 8) : __m256i();
    const __m256i low = _mm256_set1_epi32(0xff);
    const __m256i p0 = load<Masked>(row + j, m0), p1 = load<Masked>(row + j + 8, m1);
    const __m256i b = _mm256_packs_epi32(_mm256_and_si256(p0, low), _mm256_and_si256(p1, low));
    const __m256i g = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(p0, 8), low),
                                         _mm256_and_si256(_mm256_srli_epi32(p1, 8), low));
    const __m256i r = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(p0, 16), low),
                                         _mm256_and_si256(_mm256_srli_epi32(p1, 16), low));
    const __m256i vs = _mm256_packs_epi32(load<Masked>(s + j, m0), load<Masked>(s + j + 8, m1));
    const __m256i vc = _mm256_packs_epi32(load<Masked>(c + j, m0), load<Masked>(c + j + 8, m1));
    acc[0] = _mm256_add_epi32(acc[0], _mm256_madd_epi16(r, vs));
    acc[1] = _mm256_add_epi32(acc[1], _mm256_madd_epi16(r, vc));
    acc[2] = _mm256_add_epi32(acc[2], _mm256_madd_epi16(g, vs));
    acc[3] = _mm256_add_epi32(acc[3], _mm256_madd_epi16(g, vc));
    acc[4] = _mm256_add_epi32(acc[4], _mm256_madd_epi16(b, vs));
    acc[5] = _mm256_add_epi32(acc[5], _mm256_madd_epi16(b, vc));
}

}  // namespace

void correlate_row_avx2(const uint32_t *row, int w, HarmonicCoeffs *out, int a, const int32_t *sin32,
                        const int32_t *cos32, int stride)
{
    if (w <= 0) {
        *out = HarmonicCoeffs{{0, 0}, {0, 0}, {0, 0}};
        return;
    }
    if (a == 0) {
        meanLevel(row, w, out);
        return;
    }
    const int32_t *s = sin32 + (ptrdiff_t)a * stride;
    const int32_t *c = cos32 + (ptrdiff_t)a * stride;
    __m256i acc[6];
    for (int i = 0; i < 6; i++)
        acc[i] = _mm256_setzero_si256();
    int j = 0;
    for (; j + 16 <= w; j += 16)
        step<false>(row, s, c, j, 16, acc);
    if (j < w)
        step<true>(row, s, c, j, w - j, acc);
    out->red = {correlationField(horizontalSum(acc[0]), w), correlationField(horizontalSum(acc[1]), w)};
    out->green = {correlationField(horizontalSum(acc[2]), w), correlationField(horizontalSum(acc[3]), w)};
    out->blue = {correlationField(horizontalSum(acc[4]), w), correlationField(horizontalSum(acc[5]), w)};
}

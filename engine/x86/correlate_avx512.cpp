// Single-harmonic row correlation, AVX-512 (BW, VL, VNNI): the SSE2 scheme at
// 32 pixels per step with vpdpwssd accumulation, the last pixels under a
// mask. Channel words and entry words go through the same per-lane packing, so
// every byte meets its own entry.

#include "engine/x86/vnni.h"  // first: it includes the intrinsics header

#include "engine/fixed_point.h"
#include "engine/x86/dsp_x86.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

ALWAYS_INLINE __mmask16 dwordMask(int count)
{
    return count >= 16 ? (__mmask16)0xffff : count <= 0 ? (__mmask16)0 : (__mmask16)((1u << count) - 1);
}

// Wrapping sum of the 16 dwords (the compiler's reduce helper adds in int and
// must not overflow; these sums wrap by design).
ALWAYS_INLINE uint32_t horizontalSum(__m512i v)
{
    const __m256i y = _mm256_add_epi32(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
    __m128i x = _mm_add_epi32(_mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1));
    x = _mm_add_epi32(x, _mm_srli_si128(x, 8));
    x = _mm_add_epi32(x, _mm_srli_si128(x, 4));
    return (uint32_t)_mm_cvtsi128_si32(x);
}

// Low dwords of the eight 64-bit byte sums, added modulo 2^32.
ALWAYS_INLINE uint32_t sadSum(__m512i v)
{
    return horizontalSum(_mm512_maskz_mov_epi32(0x5555, v));
}

void meanLevel(const uint32_t *row, int w, HarmonicCoeffs *out)
{
    const __m512i zero = _mm512_setzero_si512();
    const __m512i mb = _mm512_set1_epi32(0xff), mg = _mm512_set1_epi32(0xff00), mr = _mm512_set1_epi32(0xff0000);
    __m512i sb = zero, sg = zero, sr = zero;
    for (int j = 0; j < w; j += 16) {
        const __m512i px = _mm512_maskz_loadu_epi32(dwordMask(w - j), row + j);
        sb = _mm512_add_epi64(sb, _mm512_sad_epu8(_mm512_and_si512(px, mb), zero));
        sg = _mm512_add_epi64(sg, _mm512_sad_epu8(_mm512_and_si512(px, mg), zero));
        sr = _mm512_add_epi64(sr, _mm512_sad_epu8(_mm512_and_si512(px, mr), zero));
    }
    out->red = {0, correlationMean(sadSum(sr) << 8, w)};
    out->green = {0, correlationMean(sadSum(sg) << 8, w)};
    out->blue = {0, correlationMean(sadSum(sb) << 8, w)};
}

template <bool Masked>
ALWAYS_INLINE __m512i load(const void *p, __mmask16 mask)
{
    return Masked ? _mm512_maskz_loadu_epi32(mask, p) : _mm512_loadu_si512(p);
}

template <bool Masked>
ALWAYS_INLINE void step(const uint32_t *row, const int32_t *s, const int32_t *c, int j, int rem, __m512i acc[6])
{
    const __mmask16 m0 = Masked ? dwordMask(rem) : 0, m1 = Masked ? dwordMask(rem - 16) : 0;
    const __m512i low = _mm512_set1_epi32(0xff);
    const __m512i p0 = load<Masked>(row + j, m0), p1 = load<Masked>(row + j + 16, m1);
    const __m512i b = _mm512_packs_epi32(_mm512_and_si512(p0, low), _mm512_and_si512(p1, low));
    const __m512i g = _mm512_packs_epi32(_mm512_and_si512(_mm512_srli_epi32(p0, 8), low),
                                         _mm512_and_si512(_mm512_srli_epi32(p1, 8), low));
    const __m512i r = _mm512_packs_epi32(_mm512_and_si512(_mm512_srli_epi32(p0, 16), low),
                                         _mm512_and_si512(_mm512_srli_epi32(p1, 16), low));
    const __m512i vs = _mm512_packs_epi32(load<Masked>(s + j, m0), load<Masked>(s + j + 16, m1));
    const __m512i vc = _mm512_packs_epi32(load<Masked>(c + j, m0), load<Masked>(c + j + 16, m1));
    acc[0] = dpwssd(acc[0], r, vs);
    acc[1] = dpwssd(acc[1], r, vc);
    acc[2] = dpwssd(acc[2], g, vs);
    acc[3] = dpwssd(acc[3], g, vc);
    acc[4] = dpwssd(acc[4], b, vs);
    acc[5] = dpwssd(acc[5], b, vc);
}

}  // namespace

void correlate_row_avx512(const uint32_t *row, int w, HarmonicCoeffs *out, int a, const int32_t *sin32,
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
    __m512i acc[6];
    for (int i = 0; i < 6; i++)
        acc[i] = _mm512_setzero_si512();
    int j = 0;
    for (; j + 32 <= w; j += 32)
        step<false>(row, s, c, j, 32, acc);
    if (j < w)
        step<true>(row, s, c, j, w - j, acc);
    uint32_t sums[6];
    for (int i = 0; i < 6; i++)
        sums[i] = horizontalSum(acc[i]);
    out->red = {correlationField(sums[0], w), correlationField(sums[1], w)};
    out->green = {correlationField(sums[2], w), correlationField(sums[3], w)};
    out->blue = {correlationField(sums[4], w), correlationField(sums[5], w)};
}

// Single-harmonic row correlation, AVX-512 (BW, VL, VNNI): the SSE2 scheme at
// 32 pixels per step with vpdpwssd accumulation, the last pixels under a
// mask. Channel words and entry words go through the same per-lane packing, so
// every byte meets its own entry.
// GCC 12's AVX-512 headers start some intrinsics from an undefined vector and
// then warn about it; the warning is about the header, not this code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include "engine/fixed_point.h"
#include "engine/x86/dsp_x86.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

ALWAYS_INLINE __mmask16 dwordMask(int count)
{
    return count >= 16 ? (__mmask16)0xffff : count <= 0 ? (__mmask16)0 : (__mmask16)((1u << count) - 1);
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
    out->red = {0, correlationMean((uint32_t)_mm512_reduce_add_epi64(sr) << 8, w)};
    out->green = {0, correlationMean((uint32_t)_mm512_reduce_add_epi64(sg) << 8, w)};
    out->blue = {0, correlationMean((uint32_t)_mm512_reduce_add_epi64(sb) << 8, w)};
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
    acc[0] = _mm512_dpwssd_epi32(acc[0], r, vs);
    acc[1] = _mm512_dpwssd_epi32(acc[1], r, vc);
    acc[2] = _mm512_dpwssd_epi32(acc[2], g, vs);
    acc[3] = _mm512_dpwssd_epi32(acc[3], g, vc);
    acc[4] = _mm512_dpwssd_epi32(acc[4], b, vs);
    acc[5] = _mm512_dpwssd_epi32(acc[5], b, vc);
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
        sums[i] = (uint32_t)_mm512_reduce_add_epi32(acc[i]);
    out->red = {correlationField(sums[0], w), correlationField(sums[1], w)};
    out->green = {correlationField(sums[2], w), correlationField(sums[3], w)};
    out->blue = {correlationField(sums[4], w), correlationField(sums[5], w)};
}

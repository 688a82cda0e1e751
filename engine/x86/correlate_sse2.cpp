// Single-harmonic row correlation, SSE2.
//
// Eight pixels per step: the channel bytes are taken out as dwords and packed
// to words, the 32-bit table entries (|entry| <= 256) are packed to words with
// packssdw without loss, and pmaddwd forms pair sums of byte x entry, exact in
// 32 bits; the six wrapping sums then equal the reference's in any order. The
// last pixels (fewer than eight) go one at a time. The mean-level path sums
// each channel's bytes with psadbw.
#include <emmintrin.h>

#include "engine/fixed_point.h"
#include "engine/x86/dsp_x86.h"

namespace {

inline uint32_t horizontalSum(__m128i v)
{
    v = _mm_add_epi32(v, _mm_srli_si128(v, 8));
    v = _mm_add_epi32(v, _mm_srli_si128(v, 4));
    return (uint32_t)_mm_cvtsi128_si32(v);
}

// Low dwords of the two 64-bit halves added (psadbw sums).
inline uint32_t sadSum(__m128i v)
{
    return (uint32_t)_mm_cvtsi128_si32(_mm_add_epi64(v, _mm_srli_si128(v, 8)));
}

void meanLevel(const uint32_t *row, int w, HarmonicCoeffs *out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i mb = _mm_set1_epi32(0xff), mg = _mm_set1_epi32(0xff00), mr = _mm_set1_epi32(0xff0000);
    __m128i sb = zero, sg = zero, sr = zero;  // 64-bit byte sums
    int j = 0;
    for (; j + 4 <= w; j += 4) {
        const __m128i px = _mm_loadu_si128((const __m128i *)(row + j));
        sb = _mm_add_epi64(sb, _mm_sad_epu8(_mm_and_si128(px, mb), zero));
        sg = _mm_add_epi64(sg, _mm_sad_epu8(_mm_and_si128(px, mg), zero));
        sr = _mm_add_epi64(sr, _mm_sad_epu8(_mm_and_si128(px, mr), zero));
    }
    uint32_t b = sadSum(sb), g = sadSum(sg), r = sadSum(sr);
    for (; j < w; j++) {
        b += row[j] & 0xff;
        g += (row[j] >> 8) & 0xff;
        r += (row[j] >> 16) & 0xff;
    }
    // byte x 256 summed in 32 bits is the byte sum shifted, modulo 2^32.
    out->red = {0, correlationMean(r << 8, w)};
    out->green = {0, correlationMean(g << 8, w)};
    out->blue = {0, correlationMean(b << 8, w)};
}

}  // namespace

void correlate_row_sse2(const uint32_t *row, int w, HarmonicCoeffs *out, int a, const int32_t *sin32,
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
    const __m128i low = _mm_set1_epi32(0xff);
    __m128i rs = _mm_setzero_si128(), rc = rs, gs = rs, gc = rs, bs = rs, bc = rs;
    int j = 0;
    for (; j + 8 <= w; j += 8) {
        const __m128i p0 = _mm_loadu_si128((const __m128i *)(row + j));
        const __m128i p1 = _mm_loadu_si128((const __m128i *)(row + j + 4));
        const __m128i b = _mm_packs_epi32(_mm_and_si128(p0, low), _mm_and_si128(p1, low));
        const __m128i g = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(p0, 8), low),
                                          _mm_and_si128(_mm_srli_epi32(p1, 8), low));
        const __m128i r = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(p0, 16), low),
                                          _mm_and_si128(_mm_srli_epi32(p1, 16), low));
        const __m128i vs = _mm_packs_epi32(_mm_loadu_si128((const __m128i *)(s + j)),
                                           _mm_loadu_si128((const __m128i *)(s + j + 4)));
        const __m128i vc = _mm_packs_epi32(_mm_loadu_si128((const __m128i *)(c + j)),
                                           _mm_loadu_si128((const __m128i *)(c + j + 4)));
        rs = _mm_add_epi32(rs, _mm_madd_epi16(r, vs));
        rc = _mm_add_epi32(rc, _mm_madd_epi16(r, vc));
        gs = _mm_add_epi32(gs, _mm_madd_epi16(g, vs));
        gc = _mm_add_epi32(gc, _mm_madd_epi16(g, vc));
        bs = _mm_add_epi32(bs, _mm_madd_epi16(b, vs));
        bc = _mm_add_epi32(bc, _mm_madd_epi16(b, vc));
    }
    uint32_t sums[6] = {horizontalSum(rs), horizontalSum(rc), horizontalSum(gs),
                        horizontalSum(gc), horizontalSum(bs), horizontalSum(bc)};
    for (; j < w; j++) {
        const uint32_t b = row[j] & 0xff, g = (row[j] >> 8) & 0xff, r = (row[j] >> 16) & 0xff;
        sums[0] += r * (uint32_t)s[j];
        sums[1] += r * (uint32_t)c[j];
        sums[2] += g * (uint32_t)s[j];
        sums[3] += g * (uint32_t)c[j];
        sums[4] += b * (uint32_t)s[j];
        sums[5] += b * (uint32_t)c[j];
    }
    out->red = {correlationField(sums[0], w), correlationField(sums[1], w)};
    out->green = {correlationField(sums[2], w), correlationField(sums[3], w)};
    out->blue = {correlationField(sums[4], w), correlationField(sums[5], w)};
}

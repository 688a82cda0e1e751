// addComponent, SSE2: four pixels per step.
//
// SSE2 has no 32 x 32-bit multiply, but table entries fit 16 bits, so each
// coefficient is split as hi x 65536 + lo with lo signed 16-bit: one pmaddwd
// of (cos, sin) pairs against (lo_c, lo_s) gives the low part exactly, and
// one against (hi_c, hi_s) gives the high part modulo 2^16, which is all that
// survives the shift left by 16. The sum is thus the reference's wrapping
// 32-bit sum for any coefficients. Saturating packs do the 0..255 clamp.
#include <emmintrin.h>

#include "modes/modes_dsp.h"

namespace {

struct SplitPair {
    __m128i lo, hi;  // (cos, sin) 16-bit pairs in every 32-bit lane
};

inline SplitPair splitPair(int32_t cosinePart, int32_t sinePart)
{
    const int16_t loC = (int16_t)(uint16_t)cosinePart, loS = (int16_t)(uint16_t)sinePart;
    // Borrow the sign of the low half back into the high half.
    const uint16_t hiC = (uint16_t)(((uint32_t)cosinePart - (uint32_t)(int32_t)loC) >> 16);
    const uint16_t hiS = (uint16_t)(((uint32_t)sinePart - (uint32_t)(int32_t)loS) >> 16);
    SplitPair p;
    p.lo = _mm_set1_epi32((int32_t)((uint32_t)(uint16_t)loC | (uint32_t)(uint16_t)loS << 16));
    p.hi = _mm_set1_epi32((int32_t)((uint32_t)hiC | (uint32_t)hiS << 16));
    return p;
}

// (c x cos + s x sin) >> 16 per lane, from the interleaved (cos, sin) entries.
inline __m128i component(__m128i entries, const SplitPair &p)
{
    const __m128i lo = _mm_madd_epi16(entries, p.lo);
    const __m128i hi = _mm_slli_epi32(_mm_madd_epi16(entries, p.hi), 16);
    return _mm_srai_epi32(_mm_add_epi32(lo, hi), 16);
}

}  // namespace

void add_component_sse2(uint32_t *row, int w, const HarmonicCoeffs *coeffs, const int32_t *sinRow,
                        const int32_t *cosRow)
{
    const SplitPair r = splitPair(coeffs->red.cosinePart, coeffs->red.sinePart);
    const SplitPair g = splitPair(coeffs->green.cosinePart, coeffs->green.sinePart);
    const SplitPair b = splitPair(coeffs->blue.cosinePart, coeffs->blue.sinePart);
    const __m128i low16 = _mm_set1_epi32(0xffff), byteMask = _mm_set1_epi32(0xff);
    const __m128i keep = _mm_set1_epi32((int32_t)0xff000000u), zero = _mm_setzero_si128();
    int j = 0;
    for (; j + 4 <= w; j += 4) {
        const __m128i c = _mm_loadu_si128((const __m128i *)(cosRow + j));
        const __m128i s = _mm_loadu_si128((const __m128i *)(sinRow + j));
        const __m128i entries = _mm_or_si128(_mm_and_si128(c, low16), _mm_slli_epi32(s, 16));
        const __m128i px = _mm_loadu_si128((const __m128i *)(row + j));
        const __m128i nb = _mm_add_epi32(_mm_and_si128(px, byteMask), component(entries, b));
        const __m128i ng = _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(px, 8), byteMask), component(entries, g));
        const __m128i nr = _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(px, 16), byteMask), component(entries, r));
        // Bytes b0..b3 g0..g3 r0..r3, clamped; then back to pixel order.
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(nb, ng), _mm_packs_epi32(nr, nr));
        const __m128i bg = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 4));
        const __m128i r0 = _mm_unpacklo_epi8(_mm_srli_si128(bytes, 8), zero);
        const __m128i out = _mm_or_si128(_mm_unpacklo_epi16(bg, r0), _mm_and_si128(px, keep));
        _mm_storeu_si128((__m128i *)(row + j), out);
    }
    if (j < w)
        add_component_c(row + j, w - j, coeffs, sinRow + j, cosRow + j);
}

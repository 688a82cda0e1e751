// addComponent, AVX2: eight pixels per step, the SSE2 variant's scheme on
// 256-bit registers (16-bit multiply-adds of split coefficients; see
// notch_sse2.cpp), which needs no 32-bit multiply at all.
#include <immintrin.h>

#include "modes/modes_dsp.h"

namespace {

struct SplitPair {
    __m256i lo, hi;  // (cos, sin) 16-bit pairs in every 32-bit lane
};

inline SplitPair splitPair(int32_t cosinePart, int32_t sinePart)
{
    const int16_t loC = (int16_t)(uint16_t)cosinePart, loS = (int16_t)(uint16_t)sinePart;
    // Borrow the sign of the low half back into the high half.
    const uint16_t hiC = (uint16_t)(((uint32_t)cosinePart - (uint32_t)(int32_t)loC) >> 16);
    const uint16_t hiS = (uint16_t)(((uint32_t)sinePart - (uint32_t)(int32_t)loS) >> 16);
    SplitPair p;
    p.lo = _mm256_set1_epi32((int32_t)((uint32_t)(uint16_t)loC | (uint32_t)(uint16_t)loS << 16));
    p.hi = _mm256_set1_epi32((int32_t)((uint32_t)hiC | (uint32_t)hiS << 16));
    return p;
}

// (c x cos + s x sin) >> 16 per lane, from the interleaved (cos, sin) entries.
inline __m256i component(__m256i entries, const SplitPair &p)
{
    const __m256i lo = _mm256_madd_epi16(entries, p.lo);
    const __m256i hi = _mm256_slli_epi32(_mm256_madd_epi16(entries, p.hi), 16);
    return _mm256_srai_epi32(_mm256_add_epi32(lo, hi), 16);
}

}  // namespace

void add_component_avx2(uint32_t *row, int w, const HarmonicCoeffs *coeffs, const int32_t *sinRow,
                        const int32_t *cosRow)
{
    const SplitPair r = splitPair(coeffs->red.cosinePart, coeffs->red.sinePart);
    const SplitPair g = splitPair(coeffs->green.cosinePart, coeffs->green.sinePart);
    const SplitPair b = splitPair(coeffs->blue.cosinePart, coeffs->blue.sinePart);
    const __m256i low16 = _mm256_set1_epi32(0xffff), byteMask = _mm256_set1_epi32(0xff);
    const __m256i keep = _mm256_set1_epi32((int32_t)0xff000000u), zero = _mm256_setzero_si256();
    int j = 0;
    for (; j + 8 <= w; j += 8) {
        const __m256i c = _mm256_loadu_si256((const __m256i *)(cosRow + j));
        const __m256i s = _mm256_loadu_si256((const __m256i *)(sinRow + j));
        const __m256i entries = _mm256_or_si256(_mm256_and_si256(c, low16), _mm256_slli_epi32(s, 16));
        const __m256i px = _mm256_loadu_si256((const __m256i *)(row + j));
        const __m256i nb = _mm256_add_epi32(_mm256_and_si256(px, byteMask), component(entries, b));
        const __m256i ng =
            _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(px, 8), byteMask), component(entries, g));
        const __m256i nr =
            _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(px, 16), byteMask), component(entries, r));
        // Per 128-bit half: bytes b0..b3 g0..g3 r0..r3, clamped; then back to
        // pixel order. Packs and unpacks stay within each half, as the pixels do.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(nb, ng), _mm256_packs_epi32(nr, nr));
        const __m256i bg = _mm256_unpacklo_epi8(bytes, _mm256_srli_si256(bytes, 4));
        const __m256i r0 = _mm256_unpacklo_epi8(_mm256_srli_si256(bytes, 8), zero);
        const __m256i out = _mm256_or_si256(_mm256_unpacklo_epi16(bg, r0), _mm256_and_si256(px, keep));
        _mm256_storeu_si256((__m256i *)(row + j), out);
    }
    if (j < w)
        add_component_c(row + j, w - j, coeffs, sinRow + j, cosRow + j);
}

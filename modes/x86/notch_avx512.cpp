// addComponents, AVX-512: sixteen pixels per step, each step taking its
// pixels through every harmonic of the band while they stay in registers
// (three channel vectors of dwords), clamped after every harmonic as the
// reference does. The component uses the SSE2 variant's scheme (notch_sse2.cpp):
// 16-bit multiply-adds of the table entries against split coefficients, exact
// modulo 2^32.
#include "engine/x86/intrinsics.h"

#include "modes/x86/modes_x86.h"

namespace {

constexpr int kBlock = 32;  // harmonics whose split coefficients are prepared at a time

// (cos, sin) coefficient words of one channel: c = hi x 65536 + lo, lo signed.
struct Split {
    uint32_t lo, hi;
};

inline Split split(int32_t cosinePart, int32_t sinePart)
{
    const int16_t loC = (int16_t)(uint16_t)cosinePart, loS = (int16_t)(uint16_t)sinePart;
    const uint16_t hiC = (uint16_t)(((uint32_t)cosinePart - (uint32_t)(int32_t)loC) >> 16);
    const uint16_t hiS = (uint16_t)(((uint32_t)sinePart - (uint32_t)(int32_t)loS) >> 16);
    return Split{(uint32_t)(uint16_t)loC | (uint32_t)(uint16_t)loS << 16, (uint32_t)hiC | (uint32_t)hiS << 16};
}

inline __m512i clampedAdd(__m512i v, __m512i entries, const Split &k)
{
    const __m512i lo = _mm512_madd_epi16(entries, _mm512_set1_epi32((int)k.lo));
    const __m512i hi = _mm512_slli_epi32(_mm512_madd_epi16(entries, _mm512_set1_epi32((int)k.hi)), 16);
    const __m512i sum = _mm512_add_epi32(v, _mm512_srai_epi32(_mm512_add_epi32(lo, hi), 16));
    return _mm512_min_epi32(_mm512_max_epi32(sum, _mm512_setzero_si512()), _mm512_set1_epi32(255));
}

}  // namespace

void add_components_avx512(uint32_t *row, int w, const HarmonicCoeffs *coeffs, int count, const int32_t *sinRows,
                           const int32_t *cosRows, ptrdiff_t stride)
{
    Split k[kBlock][3];  // red, green, blue
    const __m512i low = _mm512_set1_epi32(0xff);
    for (int h0 = 0; h0 < count; h0 += kBlock) {
        const int n = count - h0 < kBlock ? count - h0 : kBlock;
        for (int h = 0; h < n; h++) {
            const HarmonicCoeffs &c = coeffs[h0 + h];
            k[h][0] = split(c.red.cosinePart, c.red.sinePart);
            k[h][1] = split(c.green.cosinePart, c.green.sinePart);
            k[h][2] = split(c.blue.cosinePart, c.blue.sinePart);
        }
        for (int j = 0; j < w; j += 16) {
            const __mmask16 m = w - j >= 16 ? (__mmask16)0xffff : (__mmask16)((1u << (w - j)) - 1);
            const __m512i px = _mm512_maskz_loadu_epi32(m, row + j);
            __m512i b = _mm512_and_si512(px, low);
            __m512i g = _mm512_and_si512(_mm512_srli_epi32(px, 8), low);
            __m512i r = _mm512_and_si512(_mm512_srli_epi32(px, 16), low);
            const int32_t *s = sinRows + (ptrdiff_t)h0 * stride + j, *c = cosRows + (ptrdiff_t)h0 * stride + j;
            for (int h = 0; h < n; h++, s += stride, c += stride) {
                // Words (cos j, sin j) in every dword: entries fit 16 bits.
                const __m512i entries = _mm512_mask_blend_epi16(0xaaaaaaaau, _mm512_maskz_loadu_epi32(m, c),
                                                                _mm512_slli_epi32(_mm512_maskz_loadu_epi32(m, s), 16));
                r = clampedAdd(r, entries, k[h][0]);
                g = clampedAdd(g, entries, k[h][1]);
                b = clampedAdd(b, entries, k[h][2]);
            }
            const __m512i out = _mm512_ternarylogic_epi32(
                _mm512_and_si512(px, _mm512_set1_epi32((int)0xff000000u)), _mm512_slli_epi32(r, 16),
                _mm512_or_si512(_mm512_slli_epi32(g, 8), b), 0xfe);  // a | b | c
            _mm512_mask_storeu_epi32(row + j, m, out);
        }
    }
}

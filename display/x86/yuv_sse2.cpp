// Display colour conversion: SSE2, eight pixels per step.
//
// The same word pairs as the MMX form, (B, R) and (G, X) per pixel, four
// pixels per register; after the shift, signed packs gather eight pixels'
// outputs and the unsigned byte pack limits them to 0..255.
#include <emmintrin.h>

#include "display/x86/display_dsp_x86.h"
#include "display/yuv_pixel.h"

namespace {

inline __m128i sum15(__m128i br, __m128i gx, __m128i cBR, __m128i cG, __m128i add)
{
    return _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(br, cBR), _mm_madd_epi16(gx, cG)), add), 15);
}

}  // namespace

void convert_row_to_yuv_sse2(const uint32_t *src, uint32_t *dst, int w)
{
    if (w < 2)
        return;
    const int count = 2 * (w >> 1);
    const __m128i lowBytes = _mm_set1_epi32(0x00ff00ff);
    const __m128i yBR = _mm_set1_epi32(9765 << 16 | 3801), yG = _mm_set1_epi32(19202);
    const __m128i vBR = _mm_set1_epi32(16384 << 16 | (-2687 & 0xffff)), vG = _mm_set1_epi32(-13697 & 0xffff);
    const __m128i uBR = _mm_set1_epi32((int)(0xffffu & -5538) << 16 | 16384), uG = _mm_set1_epi32(-10846 & 0xffff);
    const __m128i yAdd = _mm_set1_epi32(16384), uvAdd = _mm_set1_epi32(4210688);
    const __m128i zero = _mm_setzero_si128();
    int k = 0;
    for (; k + 8 <= count; k += 8) {
        const __m128i p0 = _mm_loadu_si128((const __m128i *)(src + k));
        const __m128i p1 = _mm_loadu_si128((const __m128i *)(src + k + 4));
        const __m128i br0 = _mm_and_si128(p0, lowBytes), gx0 = _mm_srli_epi16(p0, 8);
        const __m128i br1 = _mm_and_si128(p1, lowBytes), gx1 = _mm_srli_epi16(p1, 8);
        const __m128i y = _mm_packs_epi32(sum15(br0, gx0, yBR, yG, yAdd), sum15(br1, gx1, yBR, yG, yAdd));
        const __m128i v = _mm_packs_epi32(sum15(br0, gx0, vBR, vG, uvAdd), sum15(br1, gx1, vBR, vG, uvAdd));
        const __m128i u = _mm_packs_epi32(sum15(br0, gx0, uBR, uG, uvAdd), sum15(br1, gx1, uBR, uG, uvAdd));
        const __m128i uvBytes = _mm_packus_epi16(u, v);  // U0..U7 V0..V7
        const __m128i uv = _mm_unpacklo_epi8(uvBytes, _mm_srli_si128(uvBytes, 8));
        const __m128i y0 = _mm_unpacklo_epi8(_mm_packus_epi16(y, y), zero);
        _mm_storeu_si128((__m128i *)(dst + k), _mm_unpacklo_epi16(uv, y0));
        _mm_storeu_si128((__m128i *)(dst + k + 4), _mm_unpackhi_epi16(uv, y0));
    }
    yuvPixels(src, dst, k, count);
}

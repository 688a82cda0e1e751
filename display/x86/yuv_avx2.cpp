// Display colour conversion: AVX2, sixteen pixels per step.
//
// The SSE2 scheme in both 128-bit lanes. The packs and unpacks work within a
// lane, which interleaves the two loads' halves; the final word unpacks undo
// it, so the low result holds pixels 0..7 and the high one 8..15.
#include <immintrin.h>

#include "display/x86/display_dsp_x86.h"
#include "display/yuv_pixel.h"

namespace {

inline __m256i sum15(__m256i br, __m256i gx, __m256i cBR, __m256i cG, __m256i add)
{
    return _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(br, cBR), _mm256_madd_epi16(gx, cG)), add), 15);
}

}  // namespace

void convert_row_to_yuv_avx2(const uint32_t *src, uint32_t *dst, int w)
{
    if (w < 2)
        return;
    const int count = 2 * (w >> 1);
    const __m256i lowBytes = _mm256_set1_epi32(0x00ff00ff);
    const __m256i yBR = _mm256_set1_epi32(9765 << 16 | 3801), yG = _mm256_set1_epi32(19202);
    const __m256i vBR = _mm256_set1_epi32(16384 << 16 | (-2687 & 0xffff)), vG = _mm256_set1_epi32(-13697 & 0xffff);
    const __m256i uBR = _mm256_set1_epi32((int)(0xffffu & -5538) << 16 | 16384),
                  uG = _mm256_set1_epi32(-10846 & 0xffff);
    const __m256i yAdd = _mm256_set1_epi32(16384), uvAdd = _mm256_set1_epi32(4210688);
    const __m256i zero = _mm256_setzero_si256();
    int k = 0;
    for (; k + 16 <= count; k += 16) {
        const __m256i p0 = _mm256_loadu_si256((const __m256i *)(src + k));
        const __m256i p1 = _mm256_loadu_si256((const __m256i *)(src + k + 8));
        const __m256i br0 = _mm256_and_si256(p0, lowBytes), gx0 = _mm256_srli_epi16(p0, 8);
        const __m256i br1 = _mm256_and_si256(p1, lowBytes), gx1 = _mm256_srli_epi16(p1, 8);
        const __m256i y = _mm256_packs_epi32(sum15(br0, gx0, yBR, yG, yAdd), sum15(br1, gx1, yBR, yG, yAdd));
        const __m256i v = _mm256_packs_epi32(sum15(br0, gx0, vBR, vG, uvAdd), sum15(br1, gx1, vBR, vG, uvAdd));
        const __m256i u = _mm256_packs_epi32(sum15(br0, gx0, uBR, uG, uvAdd), sum15(br1, gx1, uBR, uG, uvAdd));
        const __m256i uvBytes = _mm256_packus_epi16(u, v);
        const __m256i uv = _mm256_unpacklo_epi8(uvBytes, _mm256_srli_si256(uvBytes, 8));
        const __m256i y0 = _mm256_unpacklo_epi8(_mm256_packus_epi16(y, y), zero);
        _mm256_storeu_si256((__m256i *)(dst + k), _mm256_unpacklo_epi16(uv, y0));
        _mm256_storeu_si256((__m256i *)(dst + k + 8), _mm256_unpackhi_epi16(uv, y0));
    }
    yuvPixels(src, dst, k, count);
}

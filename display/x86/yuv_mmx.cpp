// Display colour conversion: MMX, two pixels per step, as the 32-bit modules
// run it.
//
// Each pixel's dword is split into the word pairs (B, R) and (G, X); one
// multiply-add of each against (cB, cR) and (cG, 0) gives the pixel's 32-bit
// sum, so byte 3 meets a zero coefficient.
#include <mmintrin.h>

#include "display/x86/display_dsp_x86.h"
#include "display/yuv_pixel.h"

void convert_row_to_yuv_mmx(const uint32_t *src, uint32_t *dst, int w)
{
    if (w < 2)
        return;
    const int pairs = w >> 1;
    const __m64 lowBytes = _mm_set1_pi32(0x00ff00ff);
    const __m64 yBR = _mm_set_pi16(9765, 3801, 9765, 3801), yG = _mm_set_pi16(0, 19202, 0, 19202);
    const __m64 vBR = _mm_set_pi16(16384, -2687, 16384, -2687), vG = _mm_set_pi16(0, -13697, 0, -13697);
    const __m64 uBR = _mm_set_pi16(-5538, 16384, -5538, 16384), uG = _mm_set_pi16(0, -10846, 0, -10846);
    const __m64 yAdd = _mm_set1_pi32(16384), uvAdd = _mm_set1_pi32(4210688);
    const __m64 zero = _mm_setzero_si64();
    for (int k = 0; k < pairs; k++) {
        __m64 px;
        __builtin_memcpy(&px, src + 2 * k, 8);
        const __m64 br = _mm_and_si64(px, lowBytes);
        const __m64 gx = _mm_srli_pi16(px, 8);
        const __m64 y =
            _mm_srai_pi32(_mm_add_pi32(_mm_add_pi32(_mm_madd_pi16(br, yBR), _mm_madd_pi16(gx, yG)), yAdd), 15);
        const __m64 v =
            _mm_srai_pi32(_mm_add_pi32(_mm_add_pi32(_mm_madd_pi16(br, vBR), _mm_madd_pi16(gx, vG)), uvAdd), 15);
        const __m64 u =
            _mm_srai_pi32(_mm_add_pi32(_mm_add_pi32(_mm_madd_pi16(br, uBR), _mm_madd_pi16(gx, uG)), uvAdd), 15);
        // Bytes U0 U1 Y0 Y1 V0 V1 0 0, then regrouped to U0 V0 Y0 0 U1 V1 Y1 0.
        const __m64 bytes = _mm_packs_pu16(_mm_packs_pi32(u, y), _mm_packs_pi32(v, zero));
        const __m64 halves = _mm_unpacklo_pi8(bytes, _mm_srli_si64(bytes, 32));
        const __m64 out = _mm_unpacklo_pi16(halves, _mm_srli_si64(halves, 32));
        __builtin_memcpy(dst + 2 * k, &out, 8);
    }
    _mm_empty();
}

// dcShiftRow, AVX2: eight pixels per step, the SSE2 variant on 256-bit
// registers (unpacks and packs stay within each 128-bit half).
#include <immintrin.h>

#include "modes/modes_dsp.h"

namespace {

inline __m256i shift16(__m256i v, __m256i delta)
{
    const __m256i t = _mm256_add_epi16(v, delta);
    const __m256i over = _mm256_cmpgt_epi16(t, _mm256_set1_epi16(255));
    const __m256i floored = _mm256_max_epi16(t, _mm256_setzero_si256());
    return _mm256_blendv_epi8(floored, v, over);
}

}  // namespace

void dc_shift_row_avx2(uint32_t *row, int w, int deltaRed, int deltaGreen, int deltaBlue)
{
    const int16_t r = (int16_t)deltaRed, g = (int16_t)deltaGreen, b = (int16_t)deltaBlue;
    const __m256i delta = _mm256_set_epi16(0, r, g, b, 0, r, g, b, 0, r, g, b, 0, r, g, b);
    const __m256i zero = _mm256_setzero_si256();
    int j = 0;
    for (; j + 8 <= w; j += 8) {
        const __m256i px = _mm256_loadu_si256((const __m256i *)(row + j));
        const __m256i lo = shift16(_mm256_unpacklo_epi8(px, zero), delta);
        const __m256i hi = shift16(_mm256_unpackhi_epi8(px, zero), delta);
        _mm256_storeu_si256((__m256i *)(row + j), _mm256_packus_epi16(lo, hi));
    }
    if (j < w)
        dc_shift_row_c(row + j, w - j, deltaRed, deltaGreen, deltaBlue);
}

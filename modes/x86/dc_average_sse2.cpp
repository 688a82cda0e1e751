// dcShiftRow, SSE2: four pixels per step, channels widened to 16 bits.
// Byte 3 gets a delta of 0, which leaves it as it is.
#include <emmintrin.h>

#include "modes/modes_dsp.h"

namespace {

// v + d below 0 gives 0, above 255 keeps v.
inline __m128i shift16(__m128i v, __m128i delta)
{
    const __m128i t = _mm_add_epi16(v, delta);
    const __m128i over = _mm_cmpgt_epi16(t, _mm_set1_epi16(255));
    const __m128i floored = _mm_max_epi16(t, _mm_setzero_si128());
    return _mm_or_si128(_mm_and_si128(over, v), _mm_andnot_si128(over, floored));
}

}  // namespace

void dc_shift_row_sse2(uint32_t *row, int w, int deltaRed, int deltaGreen, int deltaBlue)
{
    const __m128i delta = _mm_set_epi16(0, (int16_t)deltaRed, (int16_t)deltaGreen, (int16_t)deltaBlue, 0,
                                        (int16_t)deltaRed, (int16_t)deltaGreen, (int16_t)deltaBlue);
    const __m128i zero = _mm_setzero_si128();
    int j = 0;
    for (; j + 4 <= w; j += 4) {
        const __m128i px = _mm_loadu_si128((const __m128i *)(row + j));
        const __m128i lo = shift16(_mm_unpacklo_epi8(px, zero), delta);
        const __m128i hi = shift16(_mm_unpackhi_epi8(px, zero), delta);
        _mm_storeu_si128((__m128i *)(row + j), _mm_packus_epi16(lo, hi));
    }
    if (j < w)
        dc_shift_row_c(row + j, w - j, deltaRed, deltaGreen, deltaBlue);
}

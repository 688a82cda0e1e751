// weightedPower, AVX-512 (F, DQ): eight harmonics per step. A channel's
// (sine, cosine) pair is one qword of the record, so two permutes and a blend
// gather a channel of eight records; the squares are 32 x 32 -> 64-bit
// products and the weighting runs in double in the reference's order, without
// fused multiply-adds.
#include "engine/x86/intrinsics.h"

#include "modes/x86/modes_x86.h"

namespace {

// s^2 + c^2 of the (s, c) dword pairs of v, in int64.
inline __m512i squares(__m512i v)
{
    return _mm512_add_epi64(_mm512_mul_epi32(v, v),
                            _mm512_mul_epi32(_mm512_srli_epi64(v, 32), _mm512_srli_epi64(v, 32)));
}

}  // namespace

void weighted_power_avx512(const HarmonicCoeffs *rows, ptrdiff_t stride, int nrows, int count, int64_t *power)
{
    // Qword 3i + ch of eight records is channel ch (red, green, blue) of
    // record i: lanes from (q0, q1) first, the last ones from (q1, q2).
    const __m512i lowRed = _mm512_setr_epi64(0, 3, 6, 9, 12, 15, 0, 0);
    const __m512i highRed = _mm512_setr_epi64(0, 0, 0, 0, 0, 0, 10, 13);
    const __m512i lowGreen = _mm512_setr_epi64(1, 4, 7, 10, 13, 0, 0, 0);
    const __m512i highGreen = _mm512_setr_epi64(0, 0, 0, 0, 0, 8, 11, 14);
    const __m512i lowBlue = _mm512_setr_epi64(2, 5, 8, 11, 14, 0, 0, 0);
    const __m512i highBlue = _mm512_setr_epi64(0, 0, 0, 0, 0, 9, 12, 15);
    const __m512d wg = _mm512_set1_pd(0.586), wr = _mm512_set1_pd(0.298), wb = _mm512_set1_pd(0.116);
    const __m512d limit = _mm512_set1_pd(9223372036854775807.0);
    const __m512i top = _mm512_set1_epi64(INT64_MAX);
    for (int r = 0; r < nrows; r++) {
        const int64_t *q = (const int64_t *)(rows + r * stride);
        for (int k = 0; k < count; k += 8) {
            const int n = count - k < 8 ? count - k : 8;
            const int qwords = 3 * n;
            const __mmask8 m0 = qwords >= 8 ? 0xff : (__mmask8)((1u << qwords) - 1);
            const __mmask8 m1 = qwords >= 16 ? 0xff : qwords <= 8 ? 0 : (__mmask8)((1u << (qwords - 8)) - 1);
            const __mmask8 m2 = qwords <= 16 ? 0 : (__mmask8)((1u << (qwords - 16)) - 1);
            const __m512i q0 = _mm512_maskz_loadu_epi64(m0, q + 3 * k);
            const __m512i q1 = _mm512_maskz_loadu_epi64(m1, q + 3 * k + 8);
            const __m512i q2 = _mm512_maskz_loadu_epi64(m2, q + 3 * k + 16);
            const __m512i red = _mm512_mask_blend_epi64(0xc0, _mm512_permutex2var_epi64(q0, lowRed, q1),
                                                        _mm512_permutex2var_epi64(q1, highRed, q2));
            const __m512i green = _mm512_mask_blend_epi64(0xe0, _mm512_permutex2var_epi64(q0, lowGreen, q1),
                                                          _mm512_permutex2var_epi64(q1, highGreen, q2));
            const __m512i blue = _mm512_mask_blend_epi64(0xe0, _mm512_permutex2var_epi64(q0, lowBlue, q1),
                                                         _mm512_permutex2var_epi64(q1, highBlue, q2));
            const __mmask8 m = (__mmask8)((1u << n) - 1);
            const __m512d weighted = _mm512_add_pd(_mm512_mul_pd(wg, _mm512_cvtepi64_pd(squares(green))),
                                                   _mm512_mul_pd(wr, _mm512_cvtepi64_pd(squares(red))));
            const __m512d x =
                _mm512_add_pd(_mm512_add_pd(weighted, _mm512_mul_pd(wb, _mm512_cvtepi64_pd(squares(blue)))),
                              _mm512_cvtepi64_pd(_mm512_maskz_loadu_epi64(m, power + k)));
            const __m512i t =
                _mm512_mask_mov_epi64(_mm512_cvttpd_epi64(x), _mm512_cmp_pd_mask(x, limit, _CMP_GE_OQ), top);
            _mm512_mask_storeu_epi64(power + k, m, t);
        }
    }
}

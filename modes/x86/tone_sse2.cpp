// The tone remover's kernels, SSE2: eight samples per step. Integer only, so
// any order of the sums gives the reference's results exactly.
#include <emmintrin.h>

#include "modes/tone_kernels.h"

namespace {

const int kBlock = 256;  // a multiple of 8: the vector steps never straddle blocks

inline int64_t sumLanes(__m128i v)
{
    int32_t l[4];
    _mm_storeu_si128((__m128i *)l, v);
    return (int64_t)l[0] + l[1] + l[2] + l[3];
}

}  // namespace

void tone_inner_sse2(const int16_t *x, int w, const int16_t *basis, int nb, int64_t *p)
{
    const __m128i ones = _mm_set1_epi16(1);
    for (int b = 0; b <= nb; b++)
        p[b] = 0;
    for (int j0 = 0; j0 < w; j0 += kBlock) {
        const int j1 = w - j0 < kBlock ? w : j0 + kBlock;
        const int jv = j0 + ((j1 - j0) & ~7);
        __m128i s = _mm_setzero_si128();
        for (int j = j0; j < jv; j += 8)
            s = _mm_add_epi32(s, _mm_madd_epi16(_mm_loadu_si128((const __m128i *)(x + j)), ones));
        int64_t tail = 0;
        for (int j = jv; j < j1; j++)
            tail += x[j];
        p[0] += sumLanes(s) + tail;
        for (int b = 0; b < nb; b++) {
            const int16_t *row = basis + (size_t)b * w;
            __m128i d = _mm_setzero_si128();
            for (int j = j0; j < jv; j += 8)
                d = _mm_add_epi32(d, _mm_madd_epi16(_mm_loadu_si128((const __m128i *)(x + j)),
                                                    _mm_loadu_si128((const __m128i *)(row + j))));
            int64_t t = 0;
            for (int j = jv; j < j1; j++)
                t += (int32_t)x[j] * row[j];
            p[1 + b] += sumLanes(d) + t;
        }
    }
}

void tone_sum_sse2(int32_t *acc, int w, const int16_t *pairs, int nt, const int16_t *coef, int32_t bias)
{
    __m128i cp[8];
    for (int t = 0; t < nt && t < 8; t++)
        cp[t] = _mm_set1_epi32((int32_t)((uint32_t)(uint16_t)coef[2 * t] | (uint32_t)(uint16_t)coef[2 * t + 1] << 16));
    if (nt > 8) {
        tone_sum_c(acc, w, pairs, nt, coef, bias);
        return;
    }
    const __m128i vb = _mm_set1_epi32(bias);
    const int jv = w & ~3;
    for (int j = 0; j < jv; j += 4) {
        __m128i a = vb;
        for (int t = 0; t < nt; t++) {
            const int16_t *pr = pairs + (size_t)t * 2 * w + 2 * j;
            a = _mm_add_epi32(a, _mm_madd_epi16(_mm_loadu_si128((const __m128i *)pr), cp[t]));
        }
        _mm_storeu_si128((__m128i *)(acc + j), a);
    }
    for (int j = jv; j < w; j++) {
        int32_t a = bias;
        for (int t = 0; t < nt; t++) {
            const int16_t *pr = pairs + (size_t)t * 2 * w;
            a += (int32_t)coef[2 * t] * pr[2 * j] + (int32_t)coef[2 * t + 1] * pr[2 * j + 1];
        }
        acc[j] = a;
    }
}

void tone_subtract_sse2(int16_t *x, const int32_t *acc, int w, int shift)
{
    const __m128i half = _mm_set1_epi32((int32_t)1 << (shift - 1));
    const __m128i count = _mm_cvtsi32_si128(shift);
    const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi16(255);
    const int jv = w & ~7;
    for (int j = 0; j < jv; j += 8) {
        const __m128i lo = _mm_sra_epi32(_mm_add_epi32(_mm_loadu_si128((const __m128i *)(acc + j)), half), count);
        const __m128i hi = _mm_sra_epi32(_mm_add_epi32(_mm_loadu_si128((const __m128i *)(acc + j + 4)), half), count);
        // Tones beyond the int16 range saturate; the clamp below gives the
        // same byte as the exact difference would.
        __m128i v = _mm_subs_epi16(_mm_loadu_si128((const __m128i *)(x + j)), _mm_packs_epi32(lo, hi));
        v = _mm_min_epi16(_mm_max_epi16(v, zero), top);
        _mm_storeu_si128((__m128i *)(x + j), v);
    }
    tone_subtract_c(x + jv, acc + jv, w - jv, shift);
}

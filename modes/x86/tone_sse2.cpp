// The tone remover's kernels, SSE2: eight samples per step. Integer only, so
// any order of the sums gives the reference's results exactly; but for the
// evaluation in doubles, whose four vectors are the reference's eight
// partial sums, lane for lane.
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

void tone_unpack_sse2(const uint32_t *row, int16_t *planar, int w)
{
    const __m128i low = _mm_set1_epi32(0xff);
    const int jv = w & ~7;
    for (int j = 0; j < jv; j += 8) {
        const __m128i a = _mm_loadu_si128((const __m128i *)(row + j));
        const __m128i b = _mm_loadu_si128((const __m128i *)(row + j + 4));
        _mm_storeu_si128((__m128i *)(planar + j), _mm_packs_epi32(_mm_and_si128(a, low), _mm_and_si128(b, low)));
        _mm_storeu_si128((__m128i *)(planar + w + j), _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, 8), low),
                                                                      _mm_and_si128(_mm_srli_epi32(b, 8), low)));
        _mm_storeu_si128((__m128i *)(planar + 2 * w + j), _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, 16), low),
                                                                          _mm_and_si128(_mm_srli_epi32(b, 16), low)));
    }
    for (int j = jv; j < w; j++) {
        const uint32_t p = row[j];
        planar[j] = (int16_t)(p & 0xff);
        planar[w + j] = (int16_t)(p >> 8 & 0xff);
        planar[2 * w + j] = (int16_t)(p >> 16 & 0xff);
    }
}

void tone_pack_sse2(const int16_t *planar, const uint32_t *src, uint32_t *dst, int w)
{
    // Samples are 0..255 here (subtractPlane clamps), so bytes can be
    // formed by shifts and ors within the 16-bit lanes.
    const __m128i top = _mm_set1_epi32((int32_t)0xff000000u);
    const int jv = w & ~7;
    for (int j = 0; j < jv; j += 8) {
        const __m128i b = _mm_loadu_si128((const __m128i *)(planar + j));
        const __m128i g = _mm_loadu_si128((const __m128i *)(planar + w + j));
        const __m128i r = _mm_loadu_si128((const __m128i *)(planar + 2 * w + j));
        const __m128i bg = _mm_or_si128(b, _mm_slli_epi16(g, 8));
        const __m128i x0 = _mm_and_si128(_mm_loadu_si128((const __m128i *)(src + j)), top);
        const __m128i x1 = _mm_and_si128(_mm_loadu_si128((const __m128i *)(src + j + 4)), top);
        _mm_storeu_si128((__m128i *)(dst + j), _mm_or_si128(_mm_unpacklo_epi16(bg, r), x0));
        _mm_storeu_si128((__m128i *)(dst + j + 4), _mm_or_si128(_mm_unpackhi_epi16(bg, r), x1));
    }
    for (int j = jv; j < w; j++)
        dst[j] = (src[j] & 0xff000000u) | (uint32_t)planar[2 * w + j] << 16 | (uint32_t)planar[w + j] << 8 |
                 (uint32_t)planar[j];
}

void tone_evaluate_sse2(const double *y, const double *cs, const double *sn, int n, double *re, double *im)
{
    __m128d r[4], i[4];
    for (int v = 0; v < 4; v++)
        r[v] = _mm_setzero_pd(), i[v] = _mm_setzero_pd();
    int j = 0;
    for (; j + 8 <= n; j += 8)
        for (int v = 0; v < 4; v++) {
            const __m128d yv = _mm_loadu_pd(y + j + 2 * v);
            r[v] = _mm_add_pd(r[v], _mm_mul_pd(yv, _mm_loadu_pd(cs + j + 2 * v)));
            i[v] = _mm_sub_pd(i[v], _mm_mul_pd(yv, _mm_loadu_pd(sn + j + 2 * v)));
        }
    double rs[8], is[8];
    for (int v = 0; v < 4; v++)
        _mm_storeu_pd(rs + 2 * v, r[v]), _mm_storeu_pd(is + 2 * v, i[v]);
    for (; j < n; j++)
        rs[0] += y[j] * cs[j], is[0] -= y[j] * sn[j];
    *re = ((rs[0] + rs[1]) + (rs[2] + rs[3])) + ((rs[4] + rs[5]) + (rs[6] + rs[7]));
    *im = ((is[0] + is[1]) + (is[2] + is[3])) + ((is[4] + is[5]) + (is[6] + is[7]));
}

void tone_butterflies_sse2(double *re, double *im, int n, int half, const double *wr, const double *wi)
{
    if (half < 2) {
        tone_butterflies_c(re, im, n, half, wr, wi);
        return;
    }
    for (int i = 0; i < n; i += 2 * half)
        for (int k = 0; k < half; k += 2) {
            double *ra = re + i + k, *ia = im + i + k, *rb = ra + half, *ib = ia + half;
            const __m128d c = _mm_loadu_pd(wr + k), s = _mm_loadu_pd(wi + k);
            const __m128d br = _mm_loadu_pd(rb), bi = _mm_loadu_pd(ib), ar = _mm_loadu_pd(ra), ai = _mm_loadu_pd(ia);
            const __m128d xr = _mm_sub_pd(_mm_mul_pd(br, c), _mm_mul_pd(bi, s));
            const __m128d xi = _mm_add_pd(_mm_mul_pd(br, s), _mm_mul_pd(bi, c));
            _mm_storeu_pd(rb, _mm_sub_pd(ar, xr));
            _mm_storeu_pd(ib, _mm_sub_pd(ai, xi));
            _mm_storeu_pd(ra, _mm_add_pd(ar, xr));
            _mm_storeu_pd(ia, _mm_add_pd(ai, xi));
        }
}

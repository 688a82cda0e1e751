// The tone remover's work in doubles, AVX2. The evaluation's two vectors hold
// the reference's eight partial sums, lane for lane, so the sums round as
// there; the butterflies do four of the reference's at once.
#include <immintrin.h>

#include "modes/tone_kernels.h"

void tone_evaluate_avx2(const double *y, const double *cs, const double *sn, int n, double *re, double *im)
{
    __m256d r0 = _mm256_setzero_pd(), r1 = _mm256_setzero_pd(), i0 = _mm256_setzero_pd(), i1 = _mm256_setzero_pd();
    int j = 0;
    for (; j + 8 <= n; j += 8) {
        const __m256d y0 = _mm256_loadu_pd(y + j), y1 = _mm256_loadu_pd(y + j + 4);
        r0 = _mm256_add_pd(r0, _mm256_mul_pd(y0, _mm256_loadu_pd(cs + j)));
        r1 = _mm256_add_pd(r1, _mm256_mul_pd(y1, _mm256_loadu_pd(cs + j + 4)));
        i0 = _mm256_sub_pd(i0, _mm256_mul_pd(y0, _mm256_loadu_pd(sn + j)));
        i1 = _mm256_sub_pd(i1, _mm256_mul_pd(y1, _mm256_loadu_pd(sn + j + 4)));
    }
    double rs[8], is[8];
    _mm256_storeu_pd(rs, r0), _mm256_storeu_pd(rs + 4, r1);
    _mm256_storeu_pd(is, i0), _mm256_storeu_pd(is + 4, i1);
    for (; j < n; j++)
        rs[0] += y[j] * cs[j], is[0] -= y[j] * sn[j];
    *re = ((rs[0] + rs[1]) + (rs[2] + rs[3])) + ((rs[4] + rs[5]) + (rs[6] + rs[7]));
    *im = ((is[0] + is[1]) + (is[2] + is[3])) + ((is[4] + is[5]) + (is[6] + is[7]));
}

void tone_butterflies_avx2(double *re, double *im, int n, int half, const double *wr, const double *wi)
{
    if (half < 4) {
        tone_butterflies_sse2(re, im, n, half, wr, wi);
        return;
    }
    for (int i = 0; i < n; i += 2 * half)
        for (int k = 0; k < half; k += 4) {
            double *ra = re + i + k, *ia = im + i + k, *rb = ra + half, *ib = ia + half;
            const __m256d c = _mm256_loadu_pd(wr + k), s = _mm256_loadu_pd(wi + k);
            const __m256d br = _mm256_loadu_pd(rb), bi = _mm256_loadu_pd(ib);
            const __m256d ar = _mm256_loadu_pd(ra), ai = _mm256_loadu_pd(ia);
            const __m256d xr = _mm256_sub_pd(_mm256_mul_pd(br, c), _mm256_mul_pd(bi, s));
            const __m256d xi = _mm256_add_pd(_mm256_mul_pd(br, s), _mm256_mul_pd(bi, c));
            _mm256_storeu_pd(rb, _mm256_sub_pd(ar, xr));
            _mm256_storeu_pd(ib, _mm256_sub_pd(ai, xi));
            _mm256_storeu_pd(ra, _mm256_add_pd(ar, xr));
            _mm256_storeu_pd(ia, _mm256_add_pd(ai, xi));
        }
}

// The tone remover's evaluation in doubles, AVX2: one vector holds the
// reference's four partial sums, lane for lane, so the sums round as there.
#include <immintrin.h>

#include "modes/tone_kernels.h"

void tone_evaluate_avx2(const double *y, const double *cs, const double *sn, int n, double *re, double *im)
{
    __m256d r = _mm256_setzero_pd(), i = _mm256_setzero_pd();
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m256d v = _mm256_loadu_pd(y + j);
        r = _mm256_add_pd(r, _mm256_mul_pd(v, _mm256_loadu_pd(cs + j)));
        i = _mm256_sub_pd(i, _mm256_mul_pd(v, _mm256_loadu_pd(sn + j)));
    }
    double rs[4], is[4];
    _mm256_storeu_pd(rs, r);
    _mm256_storeu_pd(is, i);
    for (; j < n; j++)
        rs[0] += y[j] * cs[j], is[0] -= y[j] * sn[j];
    *re = (rs[0] + rs[1]) + (rs[2] + rs[3]);
    *im = (is[0] + is[1]) + (is[2] + is[3]);
}

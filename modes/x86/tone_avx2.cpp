// The tone remover's evaluation in doubles, AVX2: two vectors hold the
// reference's eight partial sums, lane for lane, so the sums round as there.
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

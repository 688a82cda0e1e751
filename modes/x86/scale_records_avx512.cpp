// scaleRecords, AVX-512: eight fields per step in double precision, which
// holds every int32 x float product exactly, as the reference's product does;
// clamping the product to the int32 range before the truncating conversion
// gives the reference's saturation.
#include "engine/x86/intrinsics.h"

#include "modes/x86/modes_x86.h"

namespace {

constexpr int kBlock = 64;  // harmonics whose gains are spread out per field at a time

}  // namespace

void scale_records_avx512(const HarmonicCoeffs *in, HarmonicCoeffs *out, ptrdiff_t stride, int rows, int count,
                          const float *gains)
{
    double fieldGain[6 * kBlock];
    const __m512d lo = _mm512_set1_pd(-2147483648.0), hi = _mm512_set1_pd(2147483647.0);
    for (int k0 = 0; k0 < count; k0 += kBlock) {
        const int harmonics = count - k0 < kBlock ? count - k0 : kBlock;
        const int fields = 6 * harmonics;
        for (int i = 0; i < fields; i++)
            fieldGain[i] = (double)gains[k0 + i / 6];
        for (int r = 0; r < rows; r++) {
            const int32_t *f = (const int32_t *)(in + r * stride + k0);
            int32_t *o = (int32_t *)(out + r * stride + k0);
            for (int i = 0; i < fields; i += 8) {
                const __mmask8 m = fields - i >= 8 ? (__mmask8)0xff : (__mmask8)((1u << (fields - i)) - 1);
                const __m512d v = _mm512_cvtepi32_pd(_mm256_maskz_loadu_epi32(m, f + i));
                const __m512d p = _mm512_mul_pd(v, _mm512_maskz_loadu_pd(m, fieldGain + i));
                _mm256_mask_storeu_epi32(o + i, m, _mm512_cvttpd_epi32(_mm512_min_pd(_mm512_max_pd(p, lo), hi)));
            }
        }
    }
}

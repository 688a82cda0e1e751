// Forward harmonic analysis, AVX2: sixteen samples per step, two harmonics per
// pass, vpmaddwd pair sums (exact in 32 bits; table entries are at most 1024 in
// magnitude, so the one pmaddwd overflow case cannot occur) into 12
// accumulators, reduced together and scaled in double precision four at a
// time. The tail of a row goes under a dword mask.
#include <immintrin.h>

#include "engine/x86/analyse_tmpl.h"
#include "engine/x86/dsp_x86.h"

namespace {

// Dword mask of the first `words` 16-bit elements (`words` even, < 16): the
// tails are whole groups of four samples, so whole dwords.
ALWAYS_INLINE __m256i tailMask(int words)
{
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(words / 2), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

ALWAYS_INLINE __m256i pairSum(__m256i a, __m256i b)
{
    return _mm256_add_epi32(_mm256_unpacklo_epi32(a, b), _mm256_unpackhi_epi32(a, b));
}

ALWAYS_INLINE __m128i quadSum(__m256i ab, __m256i cd)
{
    const __m256i q = _mm256_add_epi32(_mm256_unpacklo_epi64(ab, cd), _mm256_unpackhi_epi64(ab, cd));
    return _mm_add_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
}

// Four sums to four coefficients, exactly as analysisCoeff.
ALWAYS_INLINE __m128i scaleFour(__m128i v, __m256d scale)
{
    const __m256d t = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_srai_epi32(v, 2)), scale);
    return _mm256_cvttpd_epi32(_mm256_add_pd(t, t));
}

struct Avx2 {
    typedef __m256i Vec;
    typedef __m256d Scale;
    static constexpr int kLanes = 16;
    static constexpr int kGroup = 2;

    static ALWAYS_INLINE Vec zero() { return _mm256_setzero_si256(); }
    static ALWAYS_INLINE Vec load(const int16_t *p) { return _mm256_loadu_si256((const __m256i *)p); }
    static ALWAYS_INLINE Vec loadTail(const int16_t *p, int words)
    {
        return _mm256_maskload_epi32((const int *)p, tailMask(words));
    }
    static ALWAYS_INLINE Vec add16(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
    static ALWAYS_INLINE uint32_t foldLanes(Vec lanes)
    {
        const __m128i l8 = _mm_add_epi16(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1));
        const __m128i l4 = _mm_add_epi16(l8, _mm_srli_si128(l8, 8));
        __m128i wide = _mm_unpacklo_epi16(l4, _mm_setzero_si128());
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 8));
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 4));
        return (uint32_t)_mm_cvtsi128_si32(wide);
    }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec x, Vec t) { return _mm256_add_epi32(acc, _mm256_madd_epi16(x, t)); }
    static ALWAYS_INLINE Scale scaleOf(float scale) { return _mm256_set1_pd((double)scale); }
    static ALWAYS_INLINE void done() {}

    // Twelve sums (one harmonic's six padded with zeros), four per reduction.
    template <int NH>
    static ALWAYS_INLINE void store(const Vec *acc, Scale scale, HarmonicCoeffs *out)
    {
        Vec a[12];
#pragma GCC unroll 12
        for (int i = 0; i < 12; i++)
            a[i] = i < 6 * NH ? acc[i] : _mm256_setzero_si256();
        int32_t tmp[12];
        int32_t *o = NH == 2 ? (int32_t *)out : tmp;
#pragma GCC unroll 3
        for (int i = 0; i < 3; i++) {
            const __m128i sums = quadSum(pairSum(a[4 * i], a[4 * i + 1]), pairSum(a[4 * i + 2], a[4 * i + 3]));
            _mm_storeu_si128((__m128i *)(o + 4 * i), scaleFour(sums, scale));
        }
        if (NH != 2)
            __builtin_memcpy(out, tmp, sizeof(HarmonicCoeffs) * NH);
    }
};

}  // namespace

void analyse_row_avx2(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                      const int16_t *cos16, int stride)
{
    analyseRow<Avx2>(planar, first, end, w, out, sin16, cos16, stride);
}

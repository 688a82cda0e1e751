// Forward harmonic analysis, SSE2: eight samples per step, pmaddwd pair sums
// into separate sine and cosine accumulators per plane, one reduction and a
// packed double-precision scaling per group. The 32-bit build has eight vector
// registers and takes one harmonic per pass.
#include <emmintrin.h>
#include <string.h>

#include "engine/x86/analyse_tmpl.h"
#include "engine/x86/dsp_x86.h"

namespace {

ALWAYS_INLINE __m128i pairSum(__m128i a, __m128i b)
{
    return _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
}

ALWAYS_INLINE __m128i quadSum(__m128i ab, __m128i cd)
{
    return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
}

// Four sums to four coefficients, exactly as analysisCoeff.
ALWAYS_INLINE __m128i scaleFour(__m128i v, __m128d scale)
{
    const __m128i q = _mm_srai_epi32(v, 2);
    const __m128d lo = _mm_mul_pd(_mm_cvtepi32_pd(q), scale);
    const __m128d hi = _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(q, q)), scale);
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_add_pd(lo, lo)), _mm_cvttpd_epi32(_mm_add_pd(hi, hi)));
}

struct Sse2 {
    typedef __m128i Vec;
    typedef __m128d Scale;
    static constexpr int kLanes = 8;
#if defined(__x86_64__)
    static constexpr int kGroup = 2;
#else
    static constexpr int kGroup = 1;
#endif

    static ALWAYS_INLINE Vec zero()
    {
        return _mm_setzero_si128();
    }
    static ALWAYS_INLINE Vec load(const int16_t *p)
    {
        return _mm_loadu_si128((const __m128i *)p);
    }
    // The tail is always four samples.
    static ALWAYS_INLINE Vec loadTail(const int16_t *p, int)
    {
        return _mm_loadl_epi64((const __m128i *)p);
    }
    static ALWAYS_INLINE Vec add16(Vec a, Vec b)
    {
        return _mm_add_epi16(a, b);
    }
    static ALWAYS_INLINE uint32_t foldLanes(Vec lanes)
    {
        const __m128i l4 = _mm_add_epi16(lanes, _mm_srli_si128(lanes, 8));
        __m128i wide = _mm_unpacklo_epi16(l4, _mm_setzero_si128());
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 8));
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 4));
        return (uint32_t)_mm_cvtsi128_si32(wide);
    }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec x, Vec t)
    {
        return _mm_add_epi32(acc, _mm_madd_epi16(x, t));
    }
    static ALWAYS_INLINE Scale scaleOf(float scale)
    {
        return _mm_set1_pd((double)scale);
    }
    static ALWAYS_INLINE void done() {}

    // Four sums per reduction; the accumulators are padded with zeros to
    // whole reductions.
    template <int NH>
    static ALWAYS_INLINE void store(const Vec *acc, Scale scale, HarmonicCoeffs *out)
    {
        constexpr int kSums = 6 * NH, kPadded = (kSums + 3) / 4 * 4;
        Vec a[kPadded];
#pragma GCC unroll 24
        for (int i = 0; i < kPadded; i++)
            a[i] = i < kSums ? acc[i] : _mm_setzero_si128();
        int32_t tmp[kPadded];
        int32_t *o = kSums == kPadded ? (int32_t *)out : tmp;
#pragma GCC unroll 24
        for (int i = 0; i < kPadded / 4; i++) {
            const __m128i sums = quadSum(pairSum(a[4 * i], a[4 * i + 1]), pairSum(a[4 * i + 2], a[4 * i + 3]));
            _mm_storeu_si128((__m128i *)(o + 4 * i), scaleFour(sums, scale));
        }
        if (kSums != kPadded)
            memcpy(out, tmp, sizeof(HarmonicCoeffs) * NH);
    }
};

}  // namespace

void analyse_row_sse2(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                      const int16_t *cos16, int stride)
{
    analyseRow<Sse2>(planar, first, end, w, out, sin16, cos16, stride);
}

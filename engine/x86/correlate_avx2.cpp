// Single-harmonic row correlation, AVX2: sixteen pixels per step, the last
// pixels under a dword mask (pixels and table entries are both dwords, so
// masked lanes load as zero and add nothing).
#include <immintrin.h>

#include "engine/x86/correlate_tmpl.h"
#include "engine/x86/dsp_x86.h"

namespace {

ALWAYS_INLINE __m256i dwordMask(int count)
{
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

struct Avx2 {
    typedef __m256i Vec;
    static constexpr int kPixels = 8;
    static constexpr bool kMaskedTail = true;

    static ALWAYS_INLINE Vec zero() { return _mm256_setzero_si256(); }
    static ALWAYS_INLINE Vec load(const void *p) { return _mm256_loadu_si256((const __m256i *)p); }
    static ALWAYS_INLINE Vec loadTail(const void *p, int dwords)
    {
        return _mm256_maskload_epi32((const int *)p, dwordMask(dwords));
    }
    template <int Shift>
    static ALWAYS_INLINE Vec channel(Vec px)
    {
        const __m256i low = _mm256_set1_epi32(0xff);
        return Shift ? _mm256_and_si256(_mm256_srli_epi32(px, Shift), low) : _mm256_and_si256(px, low);
    }
    static ALWAYS_INLINE Vec packs(Vec a, Vec b) { return _mm256_packs_epi32(a, b); }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec a, Vec b) { return _mm256_add_epi32(acc, _mm256_madd_epi16(a, b)); }
    static ALWAYS_INLINE uint32_t sum(Vec v)
    {
        __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        x = _mm_add_epi32(x, _mm_srli_si128(x, 8));
        x = _mm_add_epi32(x, _mm_srli_si128(x, 4));
        return (uint32_t)_mm_cvtsi128_si32(x);
    }
    template <int Shift>
    static ALWAYS_INLINE Vec addBytes(Vec acc, Vec px)
    {
        return _mm256_add_epi64(
            acc, _mm256_sad_epu8(_mm256_and_si256(px, _mm256_set1_epi32(0xff << Shift)), _mm256_setzero_si256()));
    }
    static ALWAYS_INLINE uint32_t byteSum(Vec acc)
    {
        const __m128i x = _mm_add_epi64(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
        return (uint32_t)_mm_cvtsi128_si32(_mm_add_epi64(x, _mm_srli_si128(x, 8)));
    }
    static ALWAYS_INLINE void done() {}
};

}  // namespace

void correlate_row_avx2(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32,
                        const int32_t *cos32, int stride)
{
    correlateRow<Avx2>(row, w, out, h, sin32, cos32, stride);
}

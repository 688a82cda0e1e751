// Single-harmonic row correlation, SSE2: eight pixels per step, the last
// pixels (fewer than eight) one at a time. The mean level sums each channel's
// bytes with psadbw.
#include <emmintrin.h>

#include "engine/x86/correlate_tmpl.h"
#include "engine/x86/dsp_x86.h"

namespace {

struct Sse2 {
    typedef __m128i Vec;
    static constexpr int kPixels = 4;
    static constexpr bool kMaskedTail = false;

    static ALWAYS_INLINE Vec zero() { return _mm_setzero_si128(); }
    static ALWAYS_INLINE Vec load(const void *p) { return _mm_loadu_si128((const __m128i *)p); }
    template <int Shift>
    static ALWAYS_INLINE Vec channel(Vec px)
    {
        const __m128i low = _mm_set1_epi32(0xff);
        return Shift ? _mm_and_si128(_mm_srli_epi32(px, Shift), low) : _mm_and_si128(px, low);
    }
    static ALWAYS_INLINE Vec packs(Vec a, Vec b) { return _mm_packs_epi32(a, b); }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec a, Vec b) { return _mm_add_epi32(acc, _mm_madd_epi16(a, b)); }
    static ALWAYS_INLINE uint32_t sum(Vec v)
    {
        v = _mm_add_epi32(v, _mm_srli_si128(v, 8));
        v = _mm_add_epi32(v, _mm_srli_si128(v, 4));
        return (uint32_t)_mm_cvtsi128_si32(v);
    }
    // 64-bit psadbw sums of the channel's bytes in place.
    template <int Shift>
    static ALWAYS_INLINE Vec addBytes(Vec acc, Vec px)
    {
        return _mm_add_epi64(acc, _mm_sad_epu8(_mm_and_si128(px, _mm_set1_epi32(0xff << Shift)), _mm_setzero_si128()));
    }
    static ALWAYS_INLINE uint32_t byteSum(Vec acc)
    {
        return (uint32_t)_mm_cvtsi128_si32(_mm_add_epi64(acc, _mm_srli_si128(acc, 8)));
    }
    static ALWAYS_INLINE void done() {}
};

}  // namespace

void correlate_row_sse2(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32,
                        const int32_t *cos32, int stride)
{
    correlateRow<Sse2>(row, w, out, h, sin32, cos32, stride);
}

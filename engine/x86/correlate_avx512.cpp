// Single-harmonic row correlation, AVX-512 (BW, VL, VNNI): 32 pixels per step
// with vpdpwssd accumulation, the last pixels under a mask.

#include "engine/x86/vnni.h"  // first: it includes the intrinsics header

#include "engine/x86/correlate_tmpl.h"
#include "engine/x86/dsp_x86.h"

namespace {

ALWAYS_INLINE __mmask16 dwordMask(int count)
{
    return count >= 16 ? (__mmask16)0xffff : count <= 0 ? (__mmask16)0 : (__mmask16)((1u << count) - 1);
}

struct Avx512 {
    typedef __m512i Vec;
    static constexpr int kPixels = 16;
    static constexpr bool kMaskedTail = true;

    static ALWAYS_INLINE Vec zero() { return _mm512_setzero_si512(); }
    static ALWAYS_INLINE Vec load(const void *p) { return _mm512_loadu_si512(p); }
    static ALWAYS_INLINE Vec loadTail(const void *p, int dwords)
    {
        return _mm512_maskz_loadu_epi32(dwordMask(dwords), p);
    }
    template <int Shift>
    static ALWAYS_INLINE Vec channel(Vec px)
    {
        const __m512i low = _mm512_set1_epi32(0xff);
        return Shift ? _mm512_and_si512(_mm512_srli_epi32(px, Shift), low) : _mm512_and_si512(px, low);
    }
    static ALWAYS_INLINE Vec packs(Vec a, Vec b) { return _mm512_packs_epi32(a, b); }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec a, Vec b) { return dpwssd(acc, a, b); }
    // Added modulo 2^32 by hand: the compiler's reduce helper adds in int and
    // must not overflow, while these sums wrap by design.
    static ALWAYS_INLINE uint32_t sum(Vec v)
    {
        const __m256i y = _mm256_add_epi32(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
        __m128i x = _mm_add_epi32(_mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1));
        x = _mm_add_epi32(x, _mm_srli_si128(x, 8));
        x = _mm_add_epi32(x, _mm_srli_si128(x, 4));
        return (uint32_t)_mm_cvtsi128_si32(x);
    }
    template <int Shift>
    static ALWAYS_INLINE Vec addBytes(Vec acc, Vec px)
    {
        return _mm512_add_epi64(
            acc, _mm512_sad_epu8(_mm512_and_si512(px, _mm512_set1_epi32(0xff << Shift)), _mm512_setzero_si512()));
    }
    // Low dwords of the eight 64-bit byte sums, added modulo 2^32.
    static ALWAYS_INLINE uint32_t byteSum(Vec acc) { return sum(_mm512_maskz_mov_epi32(0x5555, acc)); }
    static ALWAYS_INLINE void done() {}
};

}  // namespace

void correlate_row_avx512(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32,
                          const int32_t *cos32, int stride)
{
    correlateRow<Avx512>(row, w, out, h, sin32, cos32, stride);
}

// Harmonic synthesis, AVX2: blocks of sixteen samples, the tail under dword
// masks. vpunpckl/hwd interleave per 128-bit lane: the two pair vectors of a
// block hold samples (0-3, 8-11) and (4-7, 12-15); vpackssdw of the two
// restores the natural order.
#include <immintrin.h>

#include "engine/x86/dsp_x86.h"
#include "engine/x86/synthesise_tmpl.h"

namespace {

// Mask of the first `count` dwords (clipped to 0..8).
ALWAYS_INLINE __m256i dwordMask(int count)
{
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

template <bool Tail>
ALWAYS_INLINE __m256i load(const void *p, int dwords)
{
    return Tail ? _mm256_maskload_epi32((const int *)p, dwordMask(dwords)) : _mm256_loadu_si256((const __m256i *)p);
}

template <bool Tail>
ALWAYS_INLINE void store(void *p, int dwords, __m256i v)
{
    if (Tail)
        _mm256_maskstore_epi32((int *)p, dwordMask(dwords), v);
    else
        _mm256_storeu_si256((__m256i *)p, v);
}

struct Avx2 {
    typedef __m256i Vec;
    typedef uint32_t Coef;
    static constexpr int kLanes = 16;
    static constexpr int kHalves = 1;  // two table loads a block spill accumulators
    static constexpr int kChunk = 128;

    static ALWAYS_INLINE Coef coef(uint32_t pair) { return pair; }
    static ALWAYS_INLINE Vec broadcast(Coef k) { return _mm256_set1_epi32((int)k); }

    template <bool Tail>
    static ALWAYS_INLINE void loadPairs(const int16_t *s, const int16_t *c, int rem, Vec *lo, Vec *hi)
    {
        const __m256i vs = load<Tail>(s, rem / 2);  // 16-bit samples, in pairs
        __m256i vc = load<Tail>(c, rem / 2);
        __asm__("" : "+x"(vc));  // one load, not one per unpack
        *lo = _mm256_unpacklo_epi16(vs, vc);
        *hi = _mm256_unpackhi_epi16(vs, vc);
    }
    static ALWAYS_INLINE Vec meanTerm(Vec pairs, Vec lo, Vec hi)
    {
        return _mm256_add_epi32(_mm256_madd_epi16(pairs, lo), _mm256_slli_epi32(_mm256_madd_epi16(pairs, hi), 16));
    }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec pairs, Vec k)
    {
        return _mm256_add_epi32(acc, _mm256_madd_epi16(pairs, k));
    }

    template <bool Tail>
    static ALWAYS_INLINE void loadAcc(const int32_t *a, int rem, Vec *v0, Vec *v1)
    {
        const __m256i n0 = load<Tail>(a, rem), n1 = load<Tail>(a + 8, rem - 8);
        *v0 = _mm256_permute2x128_si256(n0, n1, 0x20);
        *v1 = _mm256_permute2x128_si256(n0, n1, 0x31);
    }
    template <bool Tail>
    static ALWAYS_INLINE void storeAcc(int32_t *a, int rem, Vec v0, Vec v1)
    {
        store<Tail>(a, rem, _mm256_permute2x128_si256(v0, v1, 0x20));
        store<Tail>(a + 8, rem - 8, _mm256_permute2x128_si256(v0, v1, 0x31));
    }
    template <bool Tail>
    static ALWAYS_INLINE void storeSamples(int16_t *o, int rem, Vec v0, Vec v1)
    {
        store<Tail>(o, rem / 2, _mm256_packs_epi32(_mm256_srai_epi32(v0, 18), _mm256_srai_epi32(v1, 18)));
    }
    static ALWAYS_INLINE void done() {}
};

}  // namespace

void synthesise_row_avx2(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                         const int16_t *cos16, int stride)
{
    synthesiseRow<Avx2>(work, count, w, coeffs, sin16, cos16, stride);
}

// Harmonic synthesis, SSE2: blocks of eight samples; the two pair vectors of a
// block hold samples 0-3 and 4-7. The tail of a plane goes through partial
// loads and stores of whole dwords.
#include <emmintrin.h>
#include <string.h>

#include "engine/x86/dsp_x86.h"
#include "engine/x86/synthesise_tmpl.h"

namespace {

// The first `bytes` bytes (a multiple of 4; 16 or more is a whole vector,
// 0 or less nothing), the rest zero.
ALWAYS_INLINE __m128i loadPartial(const void *p, int bytes)
{
    const char *q = (const char *)p;
    if (bytes <= 0)
        return _mm_setzero_si128();
    if (bytes >= 16)
        return _mm_loadu_si128((const __m128i *)q);
    int32_t last = 0;
    if (bytes & 4)
        memcpy(&last, q + (bytes & 8), 4);
    const __m128i tail = _mm_cvtsi32_si128(last);
    if (bytes & 8)
        return _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i *)q), tail);
    return tail;
}

ALWAYS_INLINE void storePartial(void *p, int bytes, __m128i v)
{
    char *q = (char *)p;
    if (bytes <= 0)
        return;
    if (bytes >= 16) {
        _mm_storeu_si128((__m128i *)q, v);
        return;
    }
    if (bytes & 8) {
        _mm_storel_epi64((__m128i *)q, v);
        v = _mm_srli_si128(v, 8);
    }
    if (bytes & 4) {
        const int32_t last = _mm_cvtsi128_si32(v);
        memcpy(q + (bytes & 8), &last, 4);
    }
}

template <bool Tail>
ALWAYS_INLINE __m128i load(const void *p, int bytes)
{
    return Tail ? loadPartial(p, bytes) : _mm_loadu_si128((const __m128i *)p);
}

template <bool Tail>
ALWAYS_INLINE void store(void *p, int bytes, __m128i v)
{
    if (Tail)
        storePartial(p, bytes, v);
    else
        _mm_storeu_si128((__m128i *)p, v);
}

struct Sse2 {
    typedef __m128i Vec;
    typedef __m128i Coef;
    static constexpr int kLanes = 8;
    static constexpr int kHalves = 1;
    static constexpr int kChunk = 64;

    static ALWAYS_INLINE Coef coef(uint32_t pair) { return _mm_set1_epi32((int)pair); }
    static ALWAYS_INLINE Vec broadcast(Coef k) { return k; }

    template <bool Tail>
    static ALWAYS_INLINE void loadPairs(const int16_t *s, const int16_t *c, int rem, Vec *lo, Vec *hi)
    {
        const __m128i vs = load<Tail>(s, 2 * rem), vc = load<Tail>(c, 2 * rem);
        *lo = _mm_unpacklo_epi16(vs, vc);
        *hi = _mm_unpackhi_epi16(vs, vc);
    }
    static ALWAYS_INLINE Vec meanTerm(Vec pairs, Vec lo, Vec hi)
    {
        return _mm_add_epi32(_mm_madd_epi16(pairs, lo), _mm_slli_epi32(_mm_madd_epi16(pairs, hi), 16));
    }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec pairs, Vec k) { return _mm_add_epi32(acc, _mm_madd_epi16(pairs, k)); }

    template <bool Tail>
    static ALWAYS_INLINE void loadAcc(const int32_t *a, int rem, Vec *v0, Vec *v1)
    {
        *v0 = load<Tail>(a, 4 * rem);
        *v1 = load<Tail>(a + 4, 4 * rem - 16);
    }
    template <bool Tail>
    static ALWAYS_INLINE void storeAcc(int32_t *a, int rem, Vec v0, Vec v1)
    {
        store<Tail>(a, 4 * rem, v0);
        store<Tail>(a + 4, 4 * rem - 16, v1);
    }
    template <bool Tail>
    static ALWAYS_INLINE void storeSamples(int16_t *o, int rem, Vec v0, Vec v1)
    {
        store<Tail>(o, 2 * rem, _mm_packs_epi32(_mm_srai_epi32(v0, 18), _mm_srai_epi32(v1, 18)));
    }
    static ALWAYS_INLINE void done() {}
};

}  // namespace

void synthesise_row_sse2(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                         const int16_t *cos16, int stride)
{
    synthesiseRow<Sse2>(work, count, w, coeffs, sin16, cos16, stride);
}

// Harmonic synthesis, MMX: blocks of four samples; an odd pair at the end of a
// plane is a block of its own. emms closes every path that used MMX.
#include <mmintrin.h>
#include <string.h>

#include "engine/x86/dsp_x86.h"
#include "engine/x86/synthesise_tmpl.h"

namespace {

ALWAYS_INLINE __m64 load32(const void *p)
{
    int32_t v;
    memcpy(&v, p, 4);
    return _mm_cvtsi32_si64(v);
}

ALWAYS_INLINE __m64 load64(const void *p)
{
    __m64 v;
    memcpy(&v, p, 8);
    return v;
}

ALWAYS_INLINE void store32(void *p, __m64 v)
{
    const int32_t x = _mm_cvtsi64_si32(v);
    memcpy(p, &x, 4);
}

ALWAYS_INLINE void store64(void *p, __m64 v)
{
    memcpy(p, &v, 8);
}

// Samples come in pairs, so a block holds four samples or, at the tail, two.
struct Mmx {
    typedef __m64 Vec;
    typedef __m64 Coef;
    static constexpr int kLanes = 4;
    static constexpr int kHalves = 1;
    static constexpr int kChunk = 64;

    static ALWAYS_INLINE Coef coef(uint32_t pair) { return _mm_set1_pi32((int)pair); }
    static ALWAYS_INLINE Vec broadcast(Coef k) { return k; }

    // lo: samples 0 and 1, hi: 2 and 3.
    template <bool Tail>
    static ALWAYS_INLINE void loadPairs(const int16_t *s, const int16_t *c, int rem, Vec *lo, Vec *hi)
    {
        if (Tail && rem < 4) {
            *lo = _mm_unpacklo_pi16(load32(s), load32(c));
            *hi = _mm_setzero_si64();
            return;
        }
        const __m64 vs = load64(s), vc = load64(c);
        *lo = _mm_unpacklo_pi16(vs, vc);
        *hi = _mm_unpackhi_pi16(vs, vc);
    }
    static ALWAYS_INLINE Vec meanTerm(Vec pairs, Vec lo, Vec hi)
    {
        return _mm_add_pi32(_mm_madd_pi16(pairs, lo), _mm_slli_pi32(_mm_madd_pi16(pairs, hi), 16));
    }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec pairs, Vec k) { return _mm_add_pi32(acc, _mm_madd_pi16(pairs, k)); }

    template <bool Tail>
    static ALWAYS_INLINE void loadAcc(const int32_t *a, int rem, Vec *v0, Vec *v1)
    {
        *v0 = load64(a);
        *v1 = Tail && rem < 4 ? _mm_setzero_si64() : load64(a + 2);
    }
    template <bool Tail>
    static ALWAYS_INLINE void storeAcc(int32_t *a, int rem, Vec v0, Vec v1)
    {
        store64(a, v0);
        if (!Tail || rem >= 4)
            store64(a + 2, v1);
    }
    template <bool Tail>
    static ALWAYS_INLINE void storeSamples(int16_t *o, int rem, Vec v0, Vec v1)
    {
        const __m64 lo = _mm_srai_pi32(v0, 18);
        if (Tail && rem < 4)
            store32(o, _mm_packs_pi32(lo, lo));
        else
            store64(o, _mm_packs_pi32(lo, _mm_srai_pi32(v1, 18)));
    }
    static ALWAYS_INLINE void done() { _mm_empty(); }
};

}  // namespace

void synthesise_row_mmx(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                        const int16_t *cos16, int stride)
{
    synthesiseRow<Mmx>(work, count, w, coeffs, sin16, cos16, stride);
}

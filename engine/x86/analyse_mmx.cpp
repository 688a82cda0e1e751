// Forward harmonic analysis, MMX: four samples per step, pmaddwd pair sums into
// separate sine and cosine accumulators per plane; the sums are folded to
// (sine, cosine) halves, and emms closes the integer work of a group before
// the double-precision scaling.
#include <mmintrin.h>
#include <string.h>

#include "engine/x86/analyse_tmpl.h"
#include "engine/x86/dsp_x86.h"

namespace {

struct Mmx {
    typedef __m64 Vec;
    typedef float Scale;
    static constexpr int kLanes = 4;
    // Eight registers: one harmonic's six accumulators and a product.
    static constexpr int kGroup = 1;

    static ALWAYS_INLINE Vec zero() { return _mm_setzero_si64(); }
    static ALWAYS_INLINE Vec load(const int16_t *p)
    {
        __m64 v;
        memcpy(&v, p, 8);
        return v;
    }
    // Samples come in groups of four: there is never a tail.
    static ALWAYS_INLINE Vec loadTail(const int16_t *p, int) { return load(p); }
    static ALWAYS_INLINE Vec add16(Vec a, Vec b) { return _mm_add_pi16(a, b); }
    static ALWAYS_INLINE uint32_t foldLanes(Vec lanes)
    {
        const __m64 zero = _mm_setzero_si64();
        const __m64 wide = _mm_add_pi32(_mm_unpacklo_pi16(lanes, zero), _mm_unpackhi_pi16(lanes, zero));
        return (uint32_t)_mm_cvtsi64_si32(_mm_add_pi32(wide, _mm_srli_si64(wide, 32)));
    }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec x, Vec t) { return _mm_add_pi32(acc, _mm_madd_pi16(x, t)); }
    static ALWAYS_INLINE Scale scaleOf(float scale) { return scale; }
    static ALWAYS_INLINE void done() { _mm_empty(); }

    template <int NH>
    static ALWAYS_INLINE void store(const Vec *acc, Scale scale, HarmonicCoeffs *out)
    {
        int32_t sums[6 * NH];
#pragma GCC unroll 12
        for (int i = 0; i < 3 * NH; i++) {
            const __m64 a = acc[2 * i], b = acc[2 * i + 1];
            const __m64 sc = _mm_add_pi32(_mm_unpacklo_pi32(a, b), _mm_unpackhi_pi32(a, b));
            memcpy(&sums[2 * i], &sc, 8);
        }
        _mm_empty();
        int32_t *o = (int32_t *)out;
        for (int f = 0; f < 6 * NH; f++)
            o[f] = analysisCoeff(sums[f], scale);
    }
};

}  // namespace

void analyse_row_mmx(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                     const int16_t *cos16, int stride)
{
    analyseRow<Mmx>(planar, first, end, w, out, sin16, cos16, stride);
}

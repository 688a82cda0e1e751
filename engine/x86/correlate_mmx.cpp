// Single-harmonic row correlation, MMX: four pixels per step, the last pixels
// one at a time; emms before any result is formed.
#include <mmintrin.h>
#include <string.h>

#include "engine/x86/correlate_tmpl.h"
#include "engine/x86/dsp_x86.h"

namespace {

struct Mmx {
    typedef __m64 Vec;
    static constexpr int kPixels = 2;
    static constexpr bool kMaskedTail = false;

    static ALWAYS_INLINE Vec zero() { return _mm_setzero_si64(); }
    static ALWAYS_INLINE Vec load(const void *p)
    {
        __m64 v;
        memcpy(&v, p, 8);
        return v;
    }
    template <int Shift>
    static ALWAYS_INLINE Vec channel(Vec px)
    {
        const __m64 low = _mm_set1_pi32(0xff);
        return Shift ? _mm_and_si64(_mm_srli_pi32(px, Shift), low) : _mm_and_si64(px, low);
    }
    static ALWAYS_INLINE Vec packs(Vec a, Vec b) { return _mm_packs_pi32(a, b); }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec a, Vec b) { return _mm_add_pi32(acc, _mm_madd_pi16(a, b)); }
    static ALWAYS_INLINE uint32_t sum(Vec v)
    {
        return (uint32_t)_mm_cvtsi64_si32(_mm_add_pi32(v, _mm_srli_si64(v, 32)));
    }
    // Byte sums in dword lanes, modulo 2^32.
    template <int Shift>
    static ALWAYS_INLINE Vec addBytes(Vec acc, Vec px)
    {
        return _mm_add_pi32(acc, channel<Shift>(px));
    }
    static ALWAYS_INLINE uint32_t byteSum(Vec acc) { return sum(acc); }
    static ALWAYS_INLINE void done() { _mm_empty(); }
};

}  // namespace

void correlate_row_mmx(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32,
                       const int32_t *cos32, int stride)
{
    correlateRow<Mmx>(row, w, out, h, sin32, cos32, stride);
}

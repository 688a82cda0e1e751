// Planar row conversion, MMX: four pixels per step, then one pixel pair.
#include <mmintrin.h>
#include <string.h>

#include "engine/x86/dsp_x86.h"

static inline __m64 load64(const void *p)
{
    __m64 v;
    memcpy(&v, p, 8);
    return v;
}

static inline void store64(void *p, __m64 v)
{
    memcpy(p, &v, 8);
}

static inline __m64 load32(const void *p)
{
    int32_t v;
    memcpy(&v, p, 4);
    return _mm_cvtsi32_si64(v);
}

static inline void store32(void *p, __m64 v)
{
    const int32_t x = _mm_cvtsi64_si32(v);
    memcpy(p, &x, 4);
}

void unpack_row_mmx(const uint32_t *src, int16_t *planar, int w)
{
    const int samples = 2 * (w / 2);
    int16_t *b = planar, *g = planar + w, *r = planar + 2 * (ptrdiff_t)w;
    const __m64 low = _mm_set1_pi32(0xff);
    int k = 0;
    for (; k + 4 <= samples; k += 4) {
        const __m64 p0 = load64(src + k), p1 = load64(src + k + 2);
        const __m64 b0 = _mm_and_si64(p0, low), b1 = _mm_and_si64(p1, low);
        const __m64 g0 = _mm_and_si64(_mm_srli_pi32(p0, 8), low), g1 = _mm_and_si64(_mm_srli_pi32(p1, 8), low);
        const __m64 r0 = _mm_and_si64(_mm_srli_pi32(p0, 16), low), r1 = _mm_and_si64(_mm_srli_pi32(p1, 16), low);
        store64(b + k, _mm_packs_pi32(b0, b1));
        store64(g + k, _mm_packs_pi32(g0, g1));
        store64(r + k, _mm_packs_pi32(r0, r1));
    }
    if (k < samples) {
        // One pair: bytes widened with zero bytes, regrouped per channel.
        const __m64 p = load64(src + k);
        const __m64 lo = _mm_unpacklo_pi8(p, _mm_setzero_si64());  // b0 g0 r0 x0
        const __m64 hi = _mm_unpackhi_pi8(p, _mm_setzero_si64());  // b1 g1 r1 x1
        const __m64 bg = _mm_unpacklo_pi16(lo, hi);                // b0 b1 g0 g1
        const __m64 rx = _mm_unpackhi_pi16(lo, hi);                // r0 r1 x0 x1
        store32(b + k, bg);
        store32(g + k, _mm_srli_si64(bg, 32));
        store32(r + k, rx);
    }
    _mm_empty();
}

void pack_row_mmx(const int16_t *planar, uint32_t *dst, int w)
{
    const int samples = 2 * (w / 2);
    const int16_t *b = planar, *g = planar + w, *r = planar + 2 * (ptrdiff_t)w;
    const __m64 zero = _mm_setzero_si64();
    int k = 0;
    for (; k + 4 <= samples; k += 4) {
        const __m64 vb = load64(b + k), vg = load64(g + k), vr = load64(r + k);
        const __m64 bgLo = _mm_unpacklo_pi16(vb, vg), bgHi = _mm_unpackhi_pi16(vb, vg);
        const __m64 r0Lo = _mm_unpacklo_pi16(vr, zero), r0Hi = _mm_unpackhi_pi16(vr, zero);
        // Words (b, g, r, 0) per pixel; the zero word packs to byte 3 = 0.
        store64(dst + k, _mm_packs_pu16(_mm_unpacklo_pi32(bgLo, r0Lo), _mm_unpackhi_pi32(bgLo, r0Lo)));
        store64(dst + k + 2, _mm_packs_pu16(_mm_unpacklo_pi32(bgHi, r0Hi), _mm_unpackhi_pi32(bgHi, r0Hi)));
    }
    if (k < samples) {
        const __m64 bg = _mm_unpacklo_pi16(load32(b + k), load32(g + k));
        const __m64 r0 = _mm_unpacklo_pi16(load32(r + k), zero);
        store64(dst + k, _mm_packs_pu16(_mm_unpacklo_pi32(bg, r0), _mm_unpackhi_pi32(bg, r0)));
    }
    _mm_empty();
}

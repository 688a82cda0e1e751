// Planar row conversion, SSE2: eight pixels per step, the odd pair (if any)
// by the reference step.
#include <emmintrin.h>
#include <string.h>

#include "engine/x86/dsp_x86.h"

void unpack_row_sse2(const uint32_t *src, int16_t *planar, int w)
{
    const int samples = 2 * (w / 2);
    int16_t *b = planar, *g = planar + w, *r = planar + 2 * (ptrdiff_t)w;
    const __m128i low = _mm_set1_epi32(0xff);
    int k = 0;
    for (; k + 8 <= samples; k += 8) {
        const __m128i p0 = _mm_loadu_si128((const __m128i *)(src + k));
        const __m128i p1 = _mm_loadu_si128((const __m128i *)(src + k + 4));
        // Each channel as 32-bit lanes (0..255), then narrowed: packssdw
        // cannot saturate such values.
        const __m128i b0 = _mm_and_si128(p0, low), b1 = _mm_and_si128(p1, low);
        const __m128i g0 = _mm_and_si128(_mm_srli_epi32(p0, 8), low), g1 = _mm_and_si128(_mm_srli_epi32(p1, 8), low);
        const __m128i r0 = _mm_and_si128(_mm_srli_epi32(p0, 16), low), r1 = _mm_and_si128(_mm_srli_epi32(p1, 16), low);
        _mm_storeu_si128((__m128i *)(b + k), _mm_packs_epi32(b0, b1));
        _mm_storeu_si128((__m128i *)(g + k), _mm_packs_epi32(g0, g1));
        _mm_storeu_si128((__m128i *)(r + k), _mm_packs_epi32(r0, r1));
    }
    for (; k < samples; k++) {
        const uint32_t px = src[k];
        b[k] = (int16_t)(px & 0xff);
        g[k] = (int16_t)((px >> 8) & 0xff);
        r[k] = (int16_t)((px >> 16) & 0xff);
    }
}

// Four pixels from four samples of each plane (low 64 bits of b, g, r are
// used): words (b, g, r, 0) per pixel, then one unsigned-saturating pack. The
// zero word packs to the zero fourth byte.
static inline __m128i packFour(__m128i b, __m128i g, __m128i r, __m128i *hiPair)
{
    const __m128i bg = _mm_unpacklo_epi16(b, g);
    const __m128i r0 = _mm_unpacklo_epi16(r, _mm_setzero_si128());
    *hiPair = _mm_unpackhi_epi32(bg, r0);
    return _mm_unpacklo_epi32(bg, r0);
}

void pack_row_sse2(const int16_t *planar, uint32_t *dst, int w)
{
    const int samples = 2 * (w / 2);
    const int16_t *b = planar, *g = planar + w, *r = planar + 2 * (ptrdiff_t)w;
    int k = 0;
    for (; k + 8 <= samples; k += 8) {
        const __m128i vb = _mm_loadu_si128((const __m128i *)(b + k));
        const __m128i vg = _mm_loadu_si128((const __m128i *)(g + k));
        const __m128i vr = _mm_loadu_si128((const __m128i *)(r + k));
        __m128i p23, p67;
        const __m128i p01 = packFour(vb, vg, vr, &p23);
        const __m128i p45 =
            packFour(_mm_unpackhi_epi64(vb, vb), _mm_unpackhi_epi64(vg, vg), _mm_unpackhi_epi64(vr, vr), &p67);
        _mm_storeu_si128((__m128i *)(dst + k), _mm_packus_epi16(p01, p23));
        _mm_storeu_si128((__m128i *)(dst + k + 4), _mm_packus_epi16(p45, p67));
    }
    for (; k < samples; k += 2) {
        int32_t vb, vg, vr;
        memcpy(&vb, b + k, 4);
        memcpy(&vg, g + k, 4);
        memcpy(&vr, r + k, 4);
        __m128i unused;
        const __m128i p01 = packFour(_mm_cvtsi32_si128(vb), _mm_cvtsi32_si128(vg), _mm_cvtsi32_si128(vr), &unused);
        _mm_storel_epi64((__m128i *)(dst + k), _mm_packus_epi16(p01, p01));
    }
}

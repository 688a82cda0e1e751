// Planar row conversion, AVX2: sixteen pixels per step, the rest (fewer than
// sixteen) one pixel at a time.
#include <immintrin.h>
#include <string.h>

#include "engine/x86/dsp_x86.h"

void unpack_row_avx2(const uint32_t *src, int16_t *planar, int w)
{
    const int samples = 2 * (w / 2);
    int16_t *b = planar, *g = planar + w, *r = planar + 2 * (ptrdiff_t)w;
    const __m256i low = _mm256_set1_epi32(0xff);
    int k = 0;
    for (; k + 16 <= samples; k += 16) {
        const __m256i p0 = _mm256_loadu_si256((const __m256i *)(src + k));
        const __m256i p1 = _mm256_loadu_si256((const __m256i *)(src + k + 8));
        const __m256i b0 = _mm256_and_si256(p0, low), b1 = _mm256_and_si256(p1, low);
        const __m256i g0 = _mm256_and_si256(_mm256_srli_epi32(p0, 8), low);
        const __m256i g1 = _mm256_and_si256(_mm256_srli_epi32(p1, 8), low);
        const __m256i r0 = _mm256_srli_epi32(_mm256_slli_epi32(p0, 8), 24);
        const __m256i r1 = _mm256_srli_epi32(_mm256_slli_epi32(p1, 8), 24);
        // packssdw works per 128-bit lane: the qword permute restores order.
        _mm256_storeu_si256((__m256i *)(b + k), _mm256_permute4x64_epi64(_mm256_packs_epi32(b0, b1), 0xd8));
        _mm256_storeu_si256((__m256i *)(g + k), _mm256_permute4x64_epi64(_mm256_packs_epi32(g0, g1), 0xd8));
        _mm256_storeu_si256((__m256i *)(r + k), _mm256_permute4x64_epi64(_mm256_packs_epi32(r0, r1), 0xd8));
    }
    for (; k < samples; k++) {
        const uint32_t px = src[k];
        b[k] = (int16_t)(px & 0xff);
        g[k] = (int16_t)((px >> 8) & 0xff);
        r[k] = (int16_t)((px >> 16) & 0xff);
    }
}

static inline uint32_t saturateByte(int v)
{
    return v < 0 ? 0u : v > 255 ? 255u : (uint32_t)v;
}

void pack_row_avx2(const int16_t *planar, uint32_t *dst, int w)
{
    const int samples = 2 * (w / 2);
    const int16_t *b = planar, *g = planar + w, *r = planar + 2 * (ptrdiff_t)w;
    const __m256i zero = _mm256_setzero_si256();
    int k = 0;
    for (; k + 16 <= samples; k += 16) {
        const __m256i vb = _mm256_loadu_si256((const __m256i *)(b + k));
        const __m256i vg = _mm256_loadu_si256((const __m256i *)(g + k));
        const __m256i vr = _mm256_loadu_si256((const __m256i *)(r + k));
        // Per 128-bit lane: words (b, g, r, 0) of pixels 0-3 and 4-7 (lane 0)
        // and 8-11, 12-15 (lane 1); unsigned-saturating packs give the bytes.
        const __m256i bgLo = _mm256_unpacklo_epi16(vb, vg), bgHi = _mm256_unpackhi_epi16(vb, vg);
        const __m256i r0Lo = _mm256_unpacklo_epi16(vr, zero), r0Hi = _mm256_unpackhi_epi16(vr, zero);
        const __m256i q0 = _mm256_packus_epi16(_mm256_unpacklo_epi32(bgLo, r0Lo), _mm256_unpackhi_epi32(bgLo, r0Lo));
        const __m256i q1 = _mm256_packus_epi16(_mm256_unpacklo_epi32(bgHi, r0Hi), _mm256_unpackhi_epi32(bgHi, r0Hi));
        // q0 = pixels 0-3 | 8-11, q1 = 4-7 | 12-15.
        _mm256_storeu_si256((__m256i *)(dst + k), _mm256_permute2x128_si256(q0, q1, 0x20));
        _mm256_storeu_si256((__m256i *)(dst + k + 8), _mm256_permute2x128_si256(q0, q1, 0x31));
    }
    for (; k < samples; k++)
        dst[k] = saturateByte(b[k]) | saturateByte(g[k]) << 8 | saturateByte(r[k]) << 16;
}

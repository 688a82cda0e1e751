// Single-harmonic row correlation, MMX: four pixels per step (channel bytes as
// dwords packed to words, entries packed to words with packssdw, pmaddwd pair
// sums), the last pixels one at a time. emms before any result is formed.
#include <mmintrin.h>
#include <string.h>

#include "engine/fixed_point.h"
#include "engine/x86/dsp_x86.h"

namespace {

inline __m64 load64(const void *p)
{
    __m64 v;
    memcpy(&v, p, 8);
    return v;
}

inline uint32_t halvesSum(__m64 v)
{
    return (uint32_t)_mm_cvtsi64_si32(_mm_add_pi32(v, _mm_srli_si64(v, 32)));
}

void meanLevel(const uint32_t *row, int w, HarmonicCoeffs *out)
{
    const __m64 low = _mm_set1_pi32(0xff);
    __m64 sb = _mm_setzero_si64(), sg = sb, sr = sb;  // dword byte sums, modulo 2^32
    int j = 0;
    for (; j + 2 <= w; j += 2) {
        const __m64 px = load64(row + j);
        sb = _mm_add_pi32(sb, _mm_and_si64(px, low));
        sg = _mm_add_pi32(sg, _mm_and_si64(_mm_srli_pi32(px, 8), low));
        sr = _mm_add_pi32(sr, _mm_and_si64(_mm_srli_pi32(px, 16), low));
    }
    uint32_t b = halvesSum(sb), g = halvesSum(sg), r = halvesSum(sr);
    _mm_empty();
    if (j < w) {
        b += row[j] & 0xff;
        g += (row[j] >> 8) & 0xff;
        r += (row[j] >> 16) & 0xff;
    }
    out->red = {0, correlationMean(r << 8, w)};
    out->green = {0, correlationMean(g << 8, w)};
    out->blue = {0, correlationMean(b << 8, w)};
}

}  // namespace

void correlate_row_mmx(const uint32_t *row, int w, HarmonicCoeffs *out, int a, const int32_t *sin32,
                       const int32_t *cos32, int stride)
{
    if (w <= 0) {
        *out = HarmonicCoeffs{{0, 0}, {0, 0}, {0, 0}};
        return;
    }
    if (a == 0) {
        meanLevel(row, w, out);
        return;
    }
    const int32_t *s = sin32 + (ptrdiff_t)a * stride;
    const int32_t *c = cos32 + (ptrdiff_t)a * stride;
    const __m64 low = _mm_set1_pi32(0xff);
    __m64 rs = _mm_setzero_si64(), rc = rs, gs = rs, gc = rs, bs = rs, bc = rs;
    int j = 0;
    for (; j + 4 <= w; j += 4) {
        const __m64 p0 = load64(row + j), p1 = load64(row + j + 2);
        const __m64 b = _mm_packs_pi32(_mm_and_si64(p0, low), _mm_and_si64(p1, low));
        const __m64 g = _mm_packs_pi32(_mm_and_si64(_mm_srli_pi32(p0, 8), low), _mm_and_si64(_mm_srli_pi32(p1, 8), low));
        const __m64 r =
            _mm_packs_pi32(_mm_and_si64(_mm_srli_pi32(p0, 16), low), _mm_and_si64(_mm_srli_pi32(p1, 16), low));
        const __m64 vs = _mm_packs_pi32(load64(s + j), load64(s + j + 2));
        const __m64 vc = _mm_packs_pi32(load64(c + j), load64(c + j + 2));
        rs = _mm_add_pi32(rs, _mm_madd_pi16(r, vs));
        rc = _mm_add_pi32(rc, _mm_madd_pi16(r, vc));
        gs = _mm_add_pi32(gs, _mm_madd_pi16(g, vs));
        gc = _mm_add_pi32(gc, _mm_madd_pi16(g, vc));
        bs = _mm_add_pi32(bs, _mm_madd_pi16(b, vs));
        bc = _mm_add_pi32(bc, _mm_madd_pi16(b, vc));
    }
    uint32_t sums[6] = {halvesSum(rs), halvesSum(rc), halvesSum(gs), halvesSum(gc), halvesSum(bs), halvesSum(bc)};
    _mm_empty();
    for (; j < w; j++) {
        const uint32_t b = row[j] & 0xff, g = (row[j] >> 8) & 0xff, r = (row[j] >> 16) & 0xff;
        sums[0] += r * (uint32_t)s[j];
        sums[1] += r * (uint32_t)c[j];
        sums[2] += g * (uint32_t)s[j];
        sums[3] += g * (uint32_t)c[j];
        sums[4] += b * (uint32_t)s[j];
        sums[5] += b * (uint32_t)c[j];
    }
    out->red = {correlationField(sums[0], w), correlationField(sums[1], w)};
    out->green = {correlationField(sums[2], w), correlationField(sums[3], w)};
    out->blue = {correlationField(sums[4], w), correlationField(sums[5], w)};
}

// SSE2 forms of the import and correction kernels: the reference's single-
// precision operations in the same order, four lanes at a time; conversions
// round to nearest even like lrintf under the default rounding mode.
#include <emmintrin.h>

#include "cli/correction_dsp.h"

namespace {

inline __m128i clampEpi32(__m128i v, __m128i hi)
{
    v = _mm_and_si128(v, _mm_cmpgt_epi32(v, _mm_setzero_si128()));
    const __m128i over = _mm_cmpgt_epi32(v, hi);
    return _mm_or_si128(_mm_andnot_si128(over, v), _mm_and_si128(over, hi));
}

// Eight int32 in 0..65535 to uint16, through the signed pack.
inline __m128i packU16(__m128i lo, __m128i hi)
{
    const __m128i bias32 = _mm_set1_epi32(32768);
    const __m128i p = _mm_packs_epi32(_mm_sub_epi32(lo, bias32), _mm_sub_epi32(hi, bias32));
    return _mm_xor_si128(p, _mm_set1_epi16((short)0x8000));
}

inline __m128 lowPs(__m128i v16)
{
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v16, v16), 16));
}

inline __m128 highPs(__m128i v16)
{
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v16, v16), 16));
}

}  // namespace

void change_row_sse2(int16_t *change, const uint32_t *in, const uint32_t *out, int w)
{
    int16_t *r = change, *g = change + w, *b = change + 2 * w;
    const __m128i byte = _mm_set1_epi32(0xff);
    int x = 0;
    for (; x + 8 <= w; x += 8) {
        const __m128i i0 = _mm_loadu_si128((const __m128i *)(in + x));
        const __m128i i1 = _mm_loadu_si128((const __m128i *)(in + x + 4));
        const __m128i o0 = _mm_loadu_si128((const __m128i *)(out + x));
        const __m128i o1 = _mm_loadu_si128((const __m128i *)(out + x + 4));
        for (int c = 0; c < 3; c++) {
            const int shift = 8 * c;
            const __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(i0, shift), byte),
                                              _mm_and_si128(_mm_srli_epi32(i1, shift), byte));
            const __m128i z = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(o0, shift), byte),
                                              _mm_and_si128(_mm_srli_epi32(o1, shift), byte));
            int16_t *plane = c == 0 ? b : c == 1 ? g : r;
            _mm_storeu_si128((__m128i *)(plane + x), _mm_sub_epi16(z, a));
        }
    }
    for (; x < w; x++)
        changePixel(r + x, g + x, b + x, in[x], out[x]);
}

void correct_luma_sse2(uint16_t *y, const int16_t *change, int w, const float k[3], int maxValue)
{
    const int16_t *r = change, *g = change + w, *b = change + 2 * w;
    const __m128 k0 = _mm_set1_ps(k[0]), k1 = _mm_set1_ps(k[1]), k2 = _mm_set1_ps(k[2]);
    const __m128i hi = _mm_set1_epi32(maxValue);
    int x = 0;
    for (; x + 8 <= w; x += 8) {
        const __m128i rv = _mm_loadu_si128((const __m128i *)(r + x));
        const __m128i gv = _mm_loadu_si128((const __m128i *)(g + x));
        const __m128i bv = _mm_loadu_si128((const __m128i *)(b + x));
        const __m128i yv = _mm_loadu_si128((const __m128i *)(y + x));
        const __m128 vl = _mm_add_ps(_mm_add_ps(_mm_mul_ps(k0, lowPs(rv)), _mm_mul_ps(k1, lowPs(gv))),
                                     _mm_mul_ps(k2, lowPs(bv)));
        const __m128 vh = _mm_add_ps(_mm_add_ps(_mm_mul_ps(k0, highPs(rv)), _mm_mul_ps(k1, highPs(gv))),
                                     _mm_mul_ps(k2, highPs(bv)));
        const __m128i zero = _mm_setzero_si128();
        const __m128i lo = clampEpi32(_mm_add_epi32(_mm_unpacklo_epi16(yv, zero), _mm_cvtps_epi32(vl)), hi);
        const __m128i hv = clampEpi32(_mm_add_epi32(_mm_unpackhi_epi16(yv, zero), _mm_cvtps_epi32(vh)), hi);
        _mm_storeu_si128((__m128i *)(y + x), packU16(lo, hv));
    }
    for (; x < w; x++)
        y[x] = correctedLuma(y[x], r[x], g[x], b[x], k, maxValue);
}

void correct_chroma_sse2(uint16_t *c, const int32_t *sums, const float *inv, int n, const float k[3], int maxValue)
{
    const int32_t *r = sums, *g = sums + n, *b = sums + 2 * n;
    const __m128 k0 = _mm_set1_ps(k[0]), k1 = _mm_set1_ps(k[1]), k2 = _mm_set1_ps(k[2]);
    const __m128i hi = _mm_set1_epi32(maxValue);
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        __m128i half[2];
        for (int h = 0; h < 2; h++) {
            const int i = x + 4 * h;
            const __m128 rv = _mm_cvtepi32_ps(_mm_loadu_si128((const __m128i *)(r + i)));
            const __m128 gv = _mm_cvtepi32_ps(_mm_loadu_si128((const __m128i *)(g + i)));
            const __m128 bv = _mm_cvtepi32_ps(_mm_loadu_si128((const __m128i *)(b + i)));
            const __m128 v = _mm_mul_ps(
                _mm_add_ps(_mm_add_ps(_mm_mul_ps(k0, rv), _mm_mul_ps(k1, gv)), _mm_mul_ps(k2, bv)),
                _mm_loadu_ps(inv + i));
            half[h] = _mm_cvtps_epi32(v);
        }
        const __m128i cv = _mm_loadu_si128((const __m128i *)(c + x));
        const __m128i lo = clampEpi32(_mm_add_epi32(_mm_unpacklo_epi16(cv, zero), half[0]), hi);
        const __m128i hv = clampEpi32(_mm_add_epi32(_mm_unpackhi_epi16(cv, zero), half[1]), hi);
        _mm_storeu_si128((__m128i *)(c + x), packU16(lo, hv));
    }
    for (; x < n; x++)
        c[x] = correctedChroma(c[x], r[x], g[x], b[x], inv[x], k, maxValue);
}

void xrgb_row_sse2(uint32_t *dst, const float *y, const float *cb, const float *cr, int w, const float k[5])
{
    const __m128 k0 = _mm_set1_ps(k[0]), k1 = _mm_set1_ps(k[1]), k2 = _mm_set1_ps(k[2]), k3 = _mm_set1_ps(k[3]);
    const __m128 k4 = _mm_set1_ps(k[4]);
    const __m128i hi = _mm_set1_epi32(255);
    int x = 0;
    for (; x + 4 <= w; x += 4) {
        const __m128 base = _mm_add_ps(k4, _mm_loadu_ps(y + x));
        const __m128 cbv = _mm_loadu_ps(cb + x), crv = _mm_loadu_ps(cr + x);
        const __m128i r = clampEpi32(_mm_cvtps_epi32(_mm_add_ps(base, _mm_mul_ps(k0, crv))), hi);
        const __m128i g = clampEpi32(
            _mm_cvtps_epi32(_mm_add_ps(_mm_add_ps(base, _mm_mul_ps(k1, cbv)), _mm_mul_ps(k2, crv))), hi);
        const __m128i b = clampEpi32(_mm_cvtps_epi32(_mm_add_ps(base, _mm_mul_ps(k3, cbv))), hi);
        const __m128i px = _mm_or_si128(b, _mm_or_si128(_mm_slli_epi32(g, 8), _mm_slli_epi32(r, 16)));
        _mm_storeu_si128((__m128i *)(dst + x), px);
    }
    for (; x < w; x++)
        dst[x] = xrgbPixel(y[x], cb[x], cr[x], k);
}

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
        const __m128 vl =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(k0, lowPs(rv)), _mm_mul_ps(k1, lowPs(gv))), _mm_mul_ps(k2, lowPs(bv)));
        const __m128 vh =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(k0, highPs(rv)), _mm_mul_ps(k1, highPs(gv))), _mm_mul_ps(k2, highPs(bv)));
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
            const __m128 v =
                _mm_mul_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(k0, rv), _mm_mul_ps(k1, gv)), _mm_mul_ps(k2, bv)),
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

void sums_x2_sse2(int32_t *sums, int n, const int16_t *change, int w, int first, int end, int centred)
{
    for (int c = 0; c < 3; c++) {
        const int16_t *d = change + c * w;
        int32_t *o = sums + c * n;
        int k = first;
        // Even samples sign-extended from the low halves of 32-bit lanes,
        // odd ones from the high halves.
        for (; k + 4 <= end; k += 4) {
            const __m128i here = _mm_loadu_si128((const __m128i *)(d + 2 * k));
            const __m128i even = _mm_srai_epi32(_mm_slli_epi32(here, 16), 16);
            const __m128i odd = _mm_srai_epi32(here, 16);
            __m128i s;
            if (centred) {
                s = _mm_slli_epi32(_mm_add_epi32(even, odd), 1);
            } else {
                const __m128i before = _mm_srai_epi32(_mm_loadu_si128((const __m128i *)(d + 2 * k - 2)), 16);
                s = _mm_add_epi32(_mm_add_epi32(before, _mm_slli_epi32(even, 1)), odd);
            }
            _mm_storeu_si128((__m128i *)(o + k), s);
        }
        for (; k < end; k++)
            o[k] = sumX2(d, k, centred);
    }
}

void chroma_row_sse2(float *dst, const uint16_t *a, const uint16_t *b, float t, int n, float offset, float gain)
{
    const __m128 tv = _mm_set1_ps(t), off = _mm_set1_ps(offset), g = _mm_set1_ps(gain);
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i av = _mm_loadu_si128((const __m128i *)(a + i));
        const __m128i bv = _mm_loadu_si128((const __m128i *)(b + i));
        for (int h = 0; h < 2; h++) {
            const __m128 af = _mm_cvtepi32_ps(h ? _mm_unpackhi_epi16(av, zero) : _mm_unpacklo_epi16(av, zero));
            const __m128 bf = _mm_cvtepi32_ps(h ? _mm_unpackhi_epi16(bv, zero) : _mm_unpacklo_epi16(bv, zero));
            const __m128 v = _mm_mul_ps(_mm_sub_ps(_mm_add_ps(af, _mm_mul_ps(tv, _mm_sub_ps(bf, af))), off), g);
            _mm_storeu_ps(dst + i + 4 * h, v);
        }
    }
    for (; i < n; i++)
        dst[i] = chromaValue(a[i], b[i], t, offset, gain);
}

void upsample_x2_sse2(float *dst, const float *src, int first, int end)
{
    const __m128 half = _mm_set1_ps(0.5f);
    int k = first;
    for (; k + 4 <= end; k += 4) {
        const __m128 s = _mm_loadu_ps(src + k), next = _mm_loadu_ps(src + k + 1);
        const __m128 mid = _mm_add_ps(s, _mm_mul_ps(half, _mm_sub_ps(next, s)));
        _mm_storeu_ps(dst + 2 * k, _mm_unpacklo_ps(s, mid));
        _mm_storeu_ps(dst + 2 * k + 4, _mm_unpackhi_ps(s, mid));
    }
    for (; k < end; k++) {
        dst[2 * k] = src[k];
        dst[2 * k + 1] = src[k] + 0.5f * (src[k + 1] - src[k]);
    }
}

void widen_bytes_sse2(uint16_t *dst, const uint8_t *src, int n)
{
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128((const __m128i *)(src + i));
        _mm_storeu_si128((__m128i *)(dst + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128((__m128i *)(dst + i + 8), _mm_unpackhi_epi8(v, zero));
    }
    for (; i < n; i++)
        dst[i] = src[i];
}

void narrow_bytes_sse2(uint8_t *dst, const uint16_t *src, int n)
{
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i lo = _mm_loadu_si128((const __m128i *)(src + i));
        const __m128i hi = _mm_loadu_si128((const __m128i *)(src + i + 8));
        _mm_storeu_si128((__m128i *)(dst + i), _mm_packus_epi16(lo, hi));
    }
    for (; i < n; i++)
        dst[i] = (uint8_t)src[i];
}

void xrgb_row_sse2(uint32_t *dst, const uint16_t *y, const float *cb, const float *cr, int w, const float k[7])
{
    const __m128 k0 = _mm_set1_ps(k[0]), k1 = _mm_set1_ps(k[1]), k2 = _mm_set1_ps(k[2]), k3 = _mm_set1_ps(k[3]);
    const __m128 k4 = _mm_set1_ps(k[4]), k5 = _mm_set1_ps(k[5]), k6 = _mm_set1_ps(k[6]);
    const __m128i hi = _mm_set1_epi32(255);
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 4 <= w; x += 4) {
        const __m128 yv = _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_loadl_epi64((const __m128i *)(y + x)), zero));
        const __m128 base = _mm_add_ps(k4, _mm_mul_ps(_mm_sub_ps(yv, k5), k6));
        const __m128 cbv = _mm_loadu_ps(cb + x), crv = _mm_loadu_ps(cr + x);
        const __m128i r = clampEpi32(_mm_cvtps_epi32(_mm_add_ps(base, _mm_mul_ps(k0, crv))), hi);
        const __m128i g =
            clampEpi32(_mm_cvtps_epi32(_mm_add_ps(_mm_add_ps(base, _mm_mul_ps(k1, cbv)), _mm_mul_ps(k2, crv))), hi);
        const __m128i b = clampEpi32(_mm_cvtps_epi32(_mm_add_ps(base, _mm_mul_ps(k3, cbv))), hi);
        const __m128i px = _mm_or_si128(b, _mm_or_si128(_mm_slli_epi32(g, 8), _mm_slli_epi32(r, 16)));
        _mm_storeu_si128((__m128i *)(dst + x), px);
    }
    for (; x < w; x++)
        dst[x] = xrgbPixel(y[x], cb[x], cr[x], k);
}

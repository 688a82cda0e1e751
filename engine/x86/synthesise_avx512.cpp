// Harmonic synthesis, AVX-512 (BW, VL, VNNI).
//
// The accumulators live in registers: a block of 64 samples of all three
// planes (12 vectors) takes every harmonic in turn, each contributing one
// vpdpwssd per vector against its packed (sine, cosine) dword, broadcast from
// a small table of the harmonics' coefficients kept on the stack. When more
// harmonics than that table holds are asked for, the blocks park their
// accumulators in the work buffer (natural order, one int32 per sample, as the
// reference lays them out) between chunks and a final in-place pass narrows
// them; otherwise each block writes its samples directly.
//
// Interleaving a table row pair with vpunpckl/hwd works per 128-bit lane, so a
// block's four pair vectors hold samples (0-3, 8-11, 16-19, 24-27),
// (4-7, 12-15, ...), and the same again from 32; vpackssdw of the first two
// restores the natural order of samples 0-31.
// GCC 12's AVX-512 headers start some intrinsics from an undefined vector and
// then warn about it; the warning is about the header, not this code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#include <string.h>

#include "engine/x86/dsp_x86.h"
#include "engine/x86/synthesis_pairs.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

constexpr int kChunk = 128;  // harmonics per coefficient table
constexpr int kBlock = 64;   // samples per plane per block

struct Job {
    int32_t *work;
    int w;
    int n;  // samples per plane handled: 2 x floor(w / 2)
    const int16_t *sin16, *cos16;
    ptrdiff_t stride;
    const uint32_t (*coef)[3];  // chunk's harmonics, plane order
    uint32_t h0Lo[3], h0Hi[3];  // harmonic 0, see synthesis_pairs.h
};

ALWAYS_INLINE __mmask32 wordMask(int count)
{
    return count >= 32 ? (__mmask32)~0u : count <= 0 ? (__mmask32)0 : (__mmask32)((1u << count) - 1);
}

ALWAYS_INLINE __mmask16 dwordMask(int count)
{
    return count >= 16 ? (__mmask16)0xffff : count <= 0 ? (__mmask16)0 : (__mmask16)((1u << count) - 1);
}

template <bool Masked>
ALWAYS_INLINE void loadPairs(const int16_t *s, const int16_t *c, __mmask32 mA, __mmask32 mB, __m512i pr[4])
{
    const __m512i sa = Masked ? _mm512_maskz_loadu_epi16(mA, s) : _mm512_loadu_si512(s);
    const __m512i ca = Masked ? _mm512_maskz_loadu_epi16(mA, c) : _mm512_loadu_si512(c);
    const __m512i sb = Masked ? _mm512_maskz_loadu_epi16(mB, s + 32) : _mm512_loadu_si512(s + 32);
    const __m512i cb = Masked ? _mm512_maskz_loadu_epi16(mB, c + 32) : _mm512_loadu_si512(c + 32);
    pr[0] = _mm512_unpacklo_epi16(sa, ca);
    pr[1] = _mm512_unpackhi_epi16(sa, ca);
    pr[2] = _mm512_unpacklo_epi16(sb, cb);
    pr[3] = _mm512_unpackhi_epi16(sb, cb);
}

// Pair order <-> natural order for 32 samples held in two vectors.
ALWAYS_INLINE void toNatural(__m512i a, __m512i b, __m512i *n0, __m512i *n1)
{
    *n0 = _mm512_permutex2var_epi64(a, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), b);
    *n1 = _mm512_permutex2var_epi64(a, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), b);
}

ALWAYS_INLINE void fromNatural(__m512i n0, __m512i n1, __m512i *a, __m512i *b)
{
    *a = _mm512_shuffle_i32x4(n0, n1, _MM_SHUFFLE(2, 0, 2, 0));
    *b = _mm512_shuffle_i32x4(n0, n1, _MM_SHUFFLE(3, 1, 3, 1));
}

// Samples j0 .. j0 + 63 (fewer for the masked tail) of harmonics h0 .. h1 - 1.
template <bool Masked>
void runBlock(const Job &job, int j0, int h0, int h1, bool first, bool direct)
{
    const int rem = job.n - j0;
    const __mmask32 mA = wordMask(rem), mB = wordMask(rem - 32);
    __m512i acc[3][4];
    __m512i pr[4];
    int h = h0;
    if (first) {
        // Harmonic 0 at full size sets the accumulators.
        loadPairs<Masked>(job.sin16 + j0, job.cos16 + j0, mA, mB, pr);
        for (int p = 0; p < 3; p++) {
            const __m512i lo = _mm512_set1_epi32((int)job.h0Lo[p]), hi = _mm512_set1_epi32((int)job.h0Hi[p]);
            for (int i = 0; i < 4; i++)
                acc[p][i] = _mm512_add_epi32(_mm512_madd_epi16(pr[i], lo),
                                             _mm512_slli_epi32(_mm512_madd_epi16(pr[i], hi), 16));
        }
        h = 1;
    } else {
        for (int p = 0; p < 3; p++) {
            const int32_t *a = job.work + (ptrdiff_t)p * job.w + j0;
            __m512i n[4];
            for (int i = 0; i < 4; i++)
                n[i] = Masked ? _mm512_maskz_loadu_epi32(dwordMask(rem - 16 * i), a + 16 * i)
                              : _mm512_loadu_si512(a + 16 * i);
            fromNatural(n[0], n[1], &acc[p][0], &acc[p][1]);
            fromNatural(n[2], n[3], &acc[p][2], &acc[p][3]);
        }
    }
    const int16_t *s = job.sin16 + h * job.stride + j0;
    const int16_t *c = job.cos16 + h * job.stride + j0;
    for (; h < h1; h++, s += job.stride, c += job.stride) {
        loadPairs<Masked>(s, c, mA, mB, pr);
        const uint32_t *k = job.coef[h - h0];
        for (int p = 0; p < 3; p++) {
            const __m512i kp = _mm512_set1_epi32((int)k[p]);
            for (int i = 0; i < 4; i++)
                acc[p][i] = _mm512_dpwssd_epi32(acc[p][i], pr[i], kp);
        }
    }
    for (int p = 0; p < 3; p++) {
        if (direct) {
            int16_t *o = (int16_t *)job.work + (ptrdiff_t)p * job.w + j0;
            const __m512i lo = _mm512_packs_epi32(_mm512_srai_epi32(acc[p][0], 18), _mm512_srai_epi32(acc[p][1], 18));
            const __m512i hi = _mm512_packs_epi32(_mm512_srai_epi32(acc[p][2], 18), _mm512_srai_epi32(acc[p][3], 18));
            if (Masked) {
                _mm512_mask_storeu_epi16(o, mA, lo);
                _mm512_mask_storeu_epi16(o + 32, mB, hi);
            } else {
                _mm512_storeu_si512(o, lo);
                _mm512_storeu_si512(o + 32, hi);
            }
        } else {
            int32_t *a = job.work + (ptrdiff_t)p * job.w + j0;
            __m512i n[4];
            toNatural(acc[p][0], acc[p][1], &n[0], &n[1]);
            toNatural(acc[p][2], acc[p][3], &n[2], &n[3]);
            for (int i = 0; i < 4; i++) {
                if (Masked)
                    _mm512_mask_storeu_epi32(a + 16 * i, dwordMask(rem - 16 * i), n[i]);
                else
                    _mm512_storeu_si512(a + 16 * i, n[i]);
            }
        }
    }
}

// Parked accumulators to samples, in place: plane by plane, ascending, each
// step reading its 32 accumulators before writing the 32 samples below them.
void narrowInPlace(int32_t *work, int w, int n)
{
    int16_t *out = (int16_t *)work;
    for (int p = 0; p < 3; p++) {
        const int32_t *a = work + (ptrdiff_t)p * w;
        int16_t *o = out + (ptrdiff_t)p * w;
        for (int j = 0; j < n; j += 32) {
            const int rem = n - j;
            const __m512i v0 = _mm512_srai_epi32(_mm512_maskz_loadu_epi32(dwordMask(rem), a + j), 18);
            const __m512i v1 = _mm512_srai_epi32(_mm512_maskz_loadu_epi32(dwordMask(rem - 16), a + j + 16), 18);
            _mm256_mask_storeu_epi16(o + j, (__mmask16)dwordMask(rem), _mm512_cvtsepi32_epi16(v0));
            _mm256_mask_storeu_epi16(o + j + 16, (__mmask16)dwordMask(rem - 16), _mm512_cvtsepi32_epi16(v1));
        }
    }
}

}  // namespace

void synthesise_row_avx512(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                           const int16_t *cos16, int stride)
{
    const int n = 2 * (w / 2);
    if (n <= 0)
        return;
    if (count <= 0) {
        memset(work, 0, (size_t)6 * (size_t)w);
        return;
    }
    uint32_t coef[kChunk][3];
    Job job = {work, w, n, sin16, cos16, stride, coef, {0, 0, 0}, {0, 0, 0}};
    for (int p = 0; p < 3; p++)
        packMeanPair(planeChannel(coeffs[0], p), &job.h0Lo[p], &job.h0Hi[p]);
    const bool direct = count <= kChunk;
    for (int h0 = 0; h0 < count; h0 += kChunk) {
        const int h1 = count - h0 > kChunk ? h0 + kChunk : count;
        for (int h = h0; h < h1; h++)
            for (int p = 0; p < 3; p++)
                coef[h - h0][p] = packPair(planeChannel(coeffs[h], p));
        int j0 = 0;
        for (; j0 + kBlock <= n; j0 += kBlock)
            runBlock<false>(job, j0, h0, h1, h0 == 0, direct);
        if (j0 < n)
            runBlock<true>(job, j0, h0, h1, h0 == 0, direct);
    }
    if (!direct)
        narrowInPlace(work, w, n);
}

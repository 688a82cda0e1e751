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
// Interleaving a table row pair with vpunpckl/hwd works per 128-bit lane, so
// the two pair vectors of each 32 samples hold samples (0-3, 8-11, 16-19,
// 24-27) and (4-7, 12-15, 20-23, 28-31); vpackssdw of the two restores the
// natural order.

#include "engine/x86/vnni.h"  // first: it includes the intrinsics header
#include <string.h>

#include "engine/x86/dsp_x86.h"
#include "engine/x86/synthesis_pairs.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

// Harmonics per coefficient table; 64 measured fastest for 352 harmonics of
// a 720-sample row (32 and 128 cost 5-7% more).
constexpr int kChunk = 64;
constexpr int kBlock = 64;  // samples per plane per block
constexpr int kHalves = kBlock / 32;  // 32-sample table loads per block
constexpr int kVecs = 2 * kHalves;    // accumulator vectors per plane

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

// Interleaved (sine, cosine) pairs of one 32-sample half: samples
// (0-3, 8-11, 16-19, 24-27) and (4-7, 12-15, 20-23, 28-31).
template <bool Masked>
ALWAYS_INLINE void loadPairs(const int16_t *s, const int16_t *c, __mmask32 m, __m512i *lo, __m512i *hi)
{
    const __m512i vs = Masked ? _mm512_maskz_loadu_epi16(m, s) : _mm512_loadu_si512(s);
    __m512i vc = Masked ? _mm512_maskz_loadu_epi16(m, c) : _mm512_loadu_si512(c);
    __asm__("" : "+v"(vc));  // one load, not one per unpack
    *lo = _mm512_unpacklo_epi16(vs, vc);
    *hi = _mm512_unpackhi_epi16(vs, vc);
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

// Samples j0 .. j0 + kBlock - 1 (fewer for the masked tail) of harmonics
// h0 .. h1 - 1.
template <bool Masked>
void runBlock(const Job &job, int j0, int h0, int h1, bool first, bool direct)
{
    const int rem = job.n - j0;
    __mmask32 m[kHalves];
#pragma GCC unroll 8
    for (int q = 0; q < kHalves; q++)
        m[q] = wordMask(rem - 32 * q);
    __m512i acc[3][kVecs];
    int h = h0;
    if (first) {
        // Harmonic 0 at full size sets the accumulators.
#pragma GCC unroll 8
        for (int q = 0; q < kHalves; q++) {
            __m512i pr[2];
            loadPairs<Masked>(job.sin16 + j0 + 32 * q, job.cos16 + j0 + 32 * q, m[q], &pr[0], &pr[1]);
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++) {
                const __m512i lo = _mm512_set1_epi32((int)job.h0Lo[p]), hi = _mm512_set1_epi32((int)job.h0Hi[p]);
#pragma GCC unroll 2
                for (int i = 0; i < 2; i++)
                    acc[p][2 * q + i] = _mm512_add_epi32(_mm512_madd_epi16(pr[i], lo),
                                                         _mm512_slli_epi32(_mm512_madd_epi16(pr[i], hi), 16));
            }
        }
        h = 1;
    } else {
#pragma GCC unroll 3
        for (int p = 0; p < 3; p++) {
            const int32_t *a = job.work + (ptrdiff_t)p * job.w + j0;
#pragma GCC unroll 8
            for (int q = 0; q < kHalves; q++) {
                const __m512i n0 = Masked ? _mm512_maskz_loadu_epi32(dwordMask(rem - 32 * q), a + 32 * q)
                                          : _mm512_loadu_si512(a + 32 * q);
                const __m512i n1 = Masked ? _mm512_maskz_loadu_epi32(dwordMask(rem - 32 * q - 16), a + 32 * q + 16)
                                          : _mm512_loadu_si512(a + 32 * q + 16);
                fromNatural(n0, n1, &acc[p][2 * q], &acc[p][2 * q + 1]);
            }
        }
    }
    const int16_t *s = job.sin16 + h * job.stride + j0;
    const int16_t *c = job.cos16 + h * job.stride + j0;
    for (; h < h1; h++, s += job.stride, c += job.stride) {
        const uint32_t *k = job.coef[h - h0];
        const __m512i kb = _mm512_set1_epi32((int)k[0]), kg = _mm512_set1_epi32((int)k[1]),
                      kr = _mm512_set1_epi32((int)k[2]);
#pragma GCC unroll 8
        for (int q = 0; q < kHalves; q++) {
            __m512i lo, hi;
            loadPairs<Masked>(s + 32 * q, c + 32 * q, m[q], &lo, &hi);
            acc[0][2 * q] = dpwssd(acc[0][2 * q], lo, kb);
            acc[0][2 * q + 1] = dpwssd(acc[0][2 * q + 1], hi, kb);
            acc[1][2 * q] = dpwssd(acc[1][2 * q], lo, kg);
            acc[1][2 * q + 1] = dpwssd(acc[1][2 * q + 1], hi, kg);
            acc[2][2 * q] = dpwssd(acc[2][2 * q], lo, kr);
            acc[2][2 * q + 1] = dpwssd(acc[2][2 * q + 1], hi, kr);
        }
    }
#pragma GCC unroll 3
    for (int p = 0; p < 3; p++) {
#pragma GCC unroll 8
        for (int q = 0; q < kHalves; q++) {
            if (direct) {
                int16_t *o = (int16_t *)job.work + (ptrdiff_t)p * job.w + j0 + 32 * q;
                const __m512i v = _mm512_packs_epi32(_mm512_srai_epi32(acc[p][2 * q], 18),
                                                     _mm512_srai_epi32(acc[p][2 * q + 1], 18));
                if (Masked)
                    _mm512_mask_storeu_epi16(o, m[q], v);
                else
                    _mm512_storeu_si512(o, v);
            } else {
                int32_t *a = job.work + (ptrdiff_t)p * job.w + j0 + 32 * q;
                __m512i n0, n1;
                toNatural(acc[p][2 * q], acc[p][2 * q + 1], &n0, &n1);
                if (Masked) {
                    _mm512_mask_storeu_epi32(a, dwordMask(rem - 32 * q), n0);
                    _mm512_mask_storeu_epi32(a + 16, dwordMask(rem - 32 * q - 16), n1);
                } else {
                    _mm512_storeu_si512(a, n0);
                    _mm512_storeu_si512(a + 16, n1);
                }
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

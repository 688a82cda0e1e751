// Harmonic synthesis, AVX2.
//
// As the AVX-512 form: accumulators in registers for a block of 16 samples of
// the three planes (6 vectors), every harmonic of a chunk in turn with one
// vpmaddwd per vector against its broadcast (sine, cosine) dword; accumulators
// parked in the work buffer in natural order between chunks; a final in-place
// narrowing pass when there was more than one chunk.
//
// vpunpckl/hwd interleave per 128-bit lane: the two pair vectors of a block
// hold samples (0-3, 8-11) and (4-7, 12-15); vpackssdw of the two restores
// the natural order.
#include <immintrin.h>
#include <string.h>

#include "engine/x86/dsp_x86.h"
#include "engine/x86/synthesis_pairs.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

constexpr int kChunk = 128;           // harmonics per coefficient table
constexpr int kBlock = 16;            // samples per plane per block (more spills)
constexpr int kHalves = kBlock / 16;  // 16-sample table loads per block

struct Job {
    int32_t *work;
    int w;
    int n;
    const int16_t *sin16, *cos16;
    ptrdiff_t stride;
    const uint32_t (*coef)[3];
    uint32_t h0Lo[3], h0Hi[3];
};

// Mask of the first `count` dwords (clipped to 0..8).
ALWAYS_INLINE __m256i dwordMask(int count)
{
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

template <bool Masked>
ALWAYS_INLINE __m256i load(const void *p, __m256i mask)
{
    return Masked ? _mm256_maskload_epi32((const int *)p, mask) : _mm256_loadu_si256((const __m256i *)p);
}

template <bool Masked>
ALWAYS_INLINE void store(void *p, __m256i mask, __m256i v)
{
    if (Masked)
        _mm256_maskstore_epi32((int *)p, mask, v);
    else
        _mm256_storeu_si256((__m256i *)p, v);
}

template <bool Masked>
ALWAYS_INLINE void loadPairs(const int16_t *s, const int16_t *c, __m256i mask, __m256i *lo, __m256i *hi)
{
    const __m256i vs = load<Masked>(s, mask);
    __m256i vc = load<Masked>(c, mask);
    __asm__("" : "+x"(vc));  // one load, not one per unpack
    *lo = _mm256_unpacklo_epi16(vs, vc);
    *hi = _mm256_unpackhi_epi16(vs, vc);
}

template <bool Masked>
void runBlock(const Job &job, int j0, int h0, int h1, bool first, bool direct)
{
    const int rem = job.n - j0;  // even
    __m256i mWords[kHalves], m0[kHalves], m1[kHalves];
#pragma GCC unroll 4
    for (int q = 0; q < kHalves; q++) {
        mWords[q] = dwordMask((rem - 16 * q) / 2);  // 16-bit samples, in pairs
        m0[q] = dwordMask(rem - 16 * q);
        m1[q] = dwordMask(rem - 16 * q - 8);
    }
    __m256i acc[3][2 * kHalves];
    int h = h0;
    if (first) {
#pragma GCC unroll 4
        for (int q = 0; q < kHalves; q++) {
            __m256i pr[2];
            loadPairs<Masked>(job.sin16 + j0 + 16 * q, job.cos16 + j0 + 16 * q, mWords[q], &pr[0], &pr[1]);
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++) {
                const __m256i lo = _mm256_set1_epi32((int)job.h0Lo[p]), hi = _mm256_set1_epi32((int)job.h0Hi[p]);
#pragma GCC unroll 2
                for (int i = 0; i < 2; i++)
                    acc[p][2 * q + i] = _mm256_add_epi32(_mm256_madd_epi16(pr[i], lo),
                                                         _mm256_slli_epi32(_mm256_madd_epi16(pr[i], hi), 16));
            }
        }
        h = 1;
    } else {
#pragma GCC unroll 3
        for (int p = 0; p < 3; p++) {
#pragma GCC unroll 4
            for (int q = 0; q < kHalves; q++) {
                const int32_t *a = job.work + (ptrdiff_t)p * job.w + j0 + 16 * q;
                const __m256i n0 = load<Masked>(a, m0[q]), n1 = load<Masked>(a + 8, m1[q]);
                acc[p][2 * q] = _mm256_permute2x128_si256(n0, n1, 0x20);
                acc[p][2 * q + 1] = _mm256_permute2x128_si256(n0, n1, 0x31);
            }
        }
    }
    const int16_t *s = job.sin16 + h * job.stride + j0;
    const int16_t *c = job.cos16 + h * job.stride + j0;
    for (; h < h1; h++, s += job.stride, c += job.stride) {
        const uint32_t *k = job.coef[h - h0];
        const __m256i kp[3] = {_mm256_set1_epi32((int)k[0]), _mm256_set1_epi32((int)k[1]),
                               _mm256_set1_epi32((int)k[2])};
#pragma GCC unroll 4
        for (int q = 0; q < kHalves; q++) {
            __m256i lo, hi;
            loadPairs<Masked>(s + 16 * q, c + 16 * q, mWords[q], &lo, &hi);
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++) {
                acc[p][2 * q] = _mm256_add_epi32(acc[p][2 * q], _mm256_madd_epi16(lo, kp[p]));
                acc[p][2 * q + 1] = _mm256_add_epi32(acc[p][2 * q + 1], _mm256_madd_epi16(hi, kp[p]));
            }
        }
    }
#pragma GCC unroll 3
    for (int p = 0; p < 3; p++) {
#pragma GCC unroll 4
        for (int q = 0; q < kHalves; q++) {
            if (direct) {
                int16_t *o = (int16_t *)job.work + (ptrdiff_t)p * job.w + j0 + 16 * q;
                store<Masked>(o, mWords[q],
                              _mm256_packs_epi32(_mm256_srai_epi32(acc[p][2 * q], 18),
                                                 _mm256_srai_epi32(acc[p][2 * q + 1], 18)));
            } else {
                int32_t *a = job.work + (ptrdiff_t)p * job.w + j0 + 16 * q;
                store<Masked>(a, m0[q], _mm256_permute2x128_si256(acc[p][2 * q], acc[p][2 * q + 1], 0x20));
                store<Masked>(a + 8, m1[q], _mm256_permute2x128_si256(acc[p][2 * q], acc[p][2 * q + 1], 0x31));
            }
        }
    }
}

// Parked accumulators to samples, in place, ascending; each step reads its 16
// accumulators before writing the 16 samples below them.
void narrowInPlace(int32_t *work, int w, int n)
{
    int16_t *out = (int16_t *)work;
        for (int p = 0; p < 3; p++) {
        const int32_t *a = work + (ptrdiff_t)p * w;
        int16_t *o = out + (ptrdiff_t)p * w;
        for (int j = 0; j < n; j += 16) {
            const int rem = n - j;
            const __m256i v0 = _mm256_srai_epi32(_mm256_maskload_epi32(a + j, dwordMask(rem)), 18);
            const __m256i v1 = _mm256_srai_epi32(_mm256_maskload_epi32(a + j + 8, dwordMask(rem - 8)), 18);
            const __m256i v = _mm256_permute4x64_epi64(_mm256_packs_epi32(v0, v1), 0xd8);
            _mm256_maskstore_epi32((int *)(o + j), dwordMask(rem / 2), v);
        }
    }
}

}  // namespace

void synthesise_row_avx2(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
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

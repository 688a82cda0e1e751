// Harmonic synthesis, MMX.
//
// Accumulators in registers for a block of 4 samples of the three planes (6
// vectors of two dwords), every harmonic of a chunk in turn: two sine and two
// cosine entries are interleaved into (sin j, cos j, sin j+1, cos j+1) and meet
// the plane's (sine, cosine, sine, cosine) vector with one pmaddwd, giving both
// samples' sums at once. An odd pair at the end of a plane is its own block.
// Between chunks the accumulators are parked in the work buffer; a final
// in-place pass narrows them when there was more than one chunk. emms closes
// every path.
#include <mmintrin.h>
#include <string.h>

#include "engine/x86/dsp_x86.h"
#include "engine/x86/synthesis_pairs.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

constexpr int kChunk = 64;

struct Job {
    int32_t *work;
    int w;
    int n;
    const int16_t *sin16, *cos16;
    ptrdiff_t stride;
    const __m64 (*coef)[3];
    __m64 h0Lo[3], h0Hi[3];
};

ALWAYS_INLINE __m64 load32(const void *p)
{
    int32_t v;
    memcpy(&v, p, 4);
    return _mm_cvtsi32_si64(v);
}

ALWAYS_INLINE __m64 load64(const void *p)
{
    __m64 v;
    memcpy(&v, p, 8);
    return v;
}

ALWAYS_INLINE void store32(void *p, __m64 v)
{
    const int32_t x = _mm_cvtsi64_si32(v);
    memcpy(p, &x, 4);
}

ALWAYS_INLINE void store64(void *p, __m64 v)
{
    memcpy(p, &v, 8);
}

ALWAYS_INLINE __m64 pairs(const int16_t *s, const int16_t *c)
{
    return _mm_unpacklo_pi16(load32(s), load32(c));
}

// Samples j0 .. j0 + 2 x Pairs - 1 (Pairs = 2, or 1 for the last pair).
template <int Pairs>
void runBlock(const Job &job, int j0, int h0, int h1, bool first, bool direct)
{
    __m64 acc[3][2];
    int h = h0;
    if (first) {
#pragma GCC unroll 24
        for (int i = 0; i < Pairs; i++) {
            const __m64 pr = pairs(job.sin16 + j0 + 2 * i, job.cos16 + j0 + 2 * i);
#pragma GCC unroll 24
            for (int p = 0; p < 3; p++)
                acc[p][i] = _mm_add_pi32(_mm_madd_pi16(pr, job.h0Lo[p]),
                                         _mm_slli_pi32(_mm_madd_pi16(pr, job.h0Hi[p]), 16));
        }
        h = 1;
    } else {
#pragma GCC unroll 24
        for (int p = 0; p < 3; p++)
#pragma GCC unroll 24
            for (int i = 0; i < Pairs; i++)
                acc[p][i] = load64(job.work + (ptrdiff_t)p * job.w + j0 + 2 * i);
    }
    const int16_t *s = job.sin16 + h * job.stride + j0;
    const int16_t *c = job.cos16 + h * job.stride + j0;
    for (; h < h1; h++, s += job.stride, c += job.stride) {
        const __m64 *k = job.coef[h - h0];
#pragma GCC unroll 24
        for (int i = 0; i < Pairs; i++) {
            const __m64 pr = pairs(s + 2 * i, c + 2 * i);
#pragma GCC unroll 24
            for (int p = 0; p < 3; p++)
                acc[p][i] = _mm_add_pi32(acc[p][i], _mm_madd_pi16(pr, k[p]));
        }
    }
#pragma GCC unroll 24
    for (int p = 0; p < 3; p++) {
        if (direct) {
            int16_t *o = (int16_t *)job.work + (ptrdiff_t)p * job.w + j0;
            const __m64 lo = _mm_srai_pi32(acc[p][0], 18);
            if (Pairs == 2)
                store64(o, _mm_packs_pi32(lo, _mm_srai_pi32(acc[p][1], 18)));
            else
                store32(o, _mm_packs_pi32(lo, lo));
        } else {
#pragma GCC unroll 24
            for (int i = 0; i < Pairs; i++)
                store64(job.work + (ptrdiff_t)p * job.w + j0 + 2 * i, acc[p][i]);
        }
    }
}

// Parked accumulators to samples, in place, ascending, two at a time; each
// step reads its accumulators before writing the samples below them.
void narrowInPlace(int32_t *work, int w, int n)
{
    int16_t *out = (int16_t *)work;
    for (int p = 0; p < 3; p++) {
        const int32_t *a = work + (ptrdiff_t)p * w;
        int16_t *o = out + (ptrdiff_t)p * w;
        for (int j = 0; j < n; j += 2) {
            const __m64 v = _mm_srai_pi32(load64(a + j), 18);
            store32(o + j, _mm_packs_pi32(v, v));
        }
    }
}

}  // namespace

void synthesise_row_mmx(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                        const int16_t *cos16, int stride)
{
    const int n = 2 * (w / 2);
    if (n <= 0)
        return;
    if (count <= 0) {
        memset(work, 0, (size_t)6 * (size_t)w);
        return;
    }
    __m64 coef[kChunk][3];
    Job job;
    job.work = work;
    job.w = w;
    job.n = n;
    job.sin16 = sin16;
    job.cos16 = cos16;
    job.stride = stride;
    job.coef = coef;
    for (int p = 0; p < 3; p++) {
        uint32_t lo, hi;
        packMeanPair(planeChannel(coeffs[0], p), &lo, &hi);
        job.h0Lo[p] = _mm_set1_pi32((int)lo);
        job.h0Hi[p] = _mm_set1_pi32((int)hi);
    }
    const bool direct = count <= kChunk;
    for (int h0 = 0; h0 < count; h0 += kChunk) {
        const int h1 = count - h0 > kChunk ? h0 + kChunk : count;
        for (int h = h0; h < h1; h++)
            for (int p = 0; p < 3; p++)
                coef[h - h0][p] = _mm_set1_pi32((int)packPair(planeChannel(coeffs[h], p)));
        int j0 = 0;
        for (; j0 + 4 <= n; j0 += 4)
            runBlock<2>(job, j0, h0, h1, h0 == 0, direct);
        if (j0 < n)
            runBlock<1>(job, j0, h0, h1, h0 == 0, direct);
    }
    if (!direct)
        narrowInPlace(work, w, n);
    _mm_empty();
}

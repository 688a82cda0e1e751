// Harmonic synthesis, SSE2.
//
// Accumulators in registers for a block of 8 samples of the three planes (6
// vectors), every harmonic of a chunk in turn: the block's sine and cosine
// entries are interleaved into two pair vectors (samples 0-3 and 4-7, natural
// order) and meet each plane's pre-broadcast (sine, cosine) dwords with one
// pmaddwd per vector. Between chunks the accumulators are parked in the work
// buffer; a final in-place pass narrows them when there was more than one.
#include <emmintrin.h>
#include <string.h>

#include "engine/x86/dsp_x86.h"
#include "engine/x86/synthesis_pairs.h"

namespace {

#define ALWAYS_INLINE inline __attribute__((always_inline))

constexpr int kChunk = 64;
constexpr int kBlock = 8;

struct Job {
    int32_t *work;
    int w;
    int n;
    const int16_t *sin16, *cos16;
    ptrdiff_t stride;
    const __m128i (*coef)[3];
    __m128i h0Lo[3], h0Hi[3];
};

// The first `bytes` bytes (a multiple of 4; 16 or more is a whole vector,
// 0 or less nothing), the rest zero.
ALWAYS_INLINE __m128i loadPartial(const void *p, int bytes)
{
    const char *q = (const char *)p;
    if (bytes <= 0)
        return _mm_setzero_si128();
    if (bytes >= 16)
        return _mm_loadu_si128((const __m128i *)q);
    int32_t last = 0;
    if (bytes & 4)
        memcpy(&last, q + (bytes & 8), 4);
    const __m128i tail = _mm_cvtsi32_si128(last);
    if (bytes & 8)
        return _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i *)q), tail);
    return tail;
}

ALWAYS_INLINE void storePartial(void *p, int bytes, __m128i v)
{
    char *q = (char *)p;
    if (bytes <= 0)
        return;
    if (bytes >= 16) {
        _mm_storeu_si128((__m128i *)q, v);
        return;
    }
    if (bytes & 8) {
        _mm_storel_epi64((__m128i *)q, v);
        v = _mm_srli_si128(v, 8);
    }
    if (bytes & 4) {
        const int32_t last = _mm_cvtsi128_si32(v);
        memcpy(q + (bytes & 8), &last, 4);
    }
}

template <bool Partial>
ALWAYS_INLINE __m128i load(const void *p, int bytes)
{
    return Partial ? loadPartial(p, bytes) : _mm_loadu_si128((const __m128i *)p);
}

template <bool Partial>
ALWAYS_INLINE void store(void *p, int bytes, __m128i v)
{
    if (Partial)
        storePartial(p, bytes, v);
    else
        _mm_storeu_si128((__m128i *)p, v);
}

template <bool Partial>
void runBlock(const Job &job, int j0, int h0, int h1, bool first, bool direct)
{
    const int rem = job.n - j0;  // even
    const int wordBytes = 2 * rem, acc0Bytes = 4 * rem, acc1Bytes = 4 * rem - 16;
    __m128i acc[3][2];
    int h = h0;
    if (first) {
        const __m128i s = load<Partial>(job.sin16 + j0, wordBytes), c = load<Partial>(job.cos16 + j0, wordBytes);
        const __m128i pr[2] = {_mm_unpacklo_epi16(s, c), _mm_unpackhi_epi16(s, c)};
#pragma GCC unroll 24
        for (int p = 0; p < 3; p++)
#pragma GCC unroll 24
            for (int i = 0; i < 2; i++)
                acc[p][i] = _mm_add_epi32(_mm_madd_epi16(pr[i], job.h0Lo[p]),
                                          _mm_slli_epi32(_mm_madd_epi16(pr[i], job.h0Hi[p]), 16));
        h = 1;
    } else {
#pragma GCC unroll 24
        for (int p = 0; p < 3; p++) {
            const int32_t *a = job.work + (ptrdiff_t)p * job.w + j0;
            acc[p][0] = load<Partial>(a, acc0Bytes);
            acc[p][1] = load<Partial>(a + 4, acc1Bytes);
        }
    }
    const int16_t *s = job.sin16 + h * job.stride + j0;
    const int16_t *c = job.cos16 + h * job.stride + j0;
    for (; h < h1; h++, s += job.stride, c += job.stride) {
        const __m128i vs = load<Partial>(s, wordBytes), vc = load<Partial>(c, wordBytes);
        const __m128i pr0 = _mm_unpacklo_epi16(vs, vc), pr1 = _mm_unpackhi_epi16(vs, vc);
        const __m128i *k = job.coef[h - h0];
#pragma GCC unroll 24
        for (int p = 0; p < 3; p++) {
            acc[p][0] = _mm_add_epi32(acc[p][0], _mm_madd_epi16(pr0, k[p]));
            acc[p][1] = _mm_add_epi32(acc[p][1], _mm_madd_epi16(pr1, k[p]));
        }
    }
#pragma GCC unroll 24
    for (int p = 0; p < 3; p++) {
        if (direct) {
            int16_t *o = (int16_t *)job.work + (ptrdiff_t)p * job.w + j0;
            store<Partial>(o, wordBytes, _mm_packs_epi32(_mm_srai_epi32(acc[p][0], 18), _mm_srai_epi32(acc[p][1], 18)));
        } else {
            int32_t *a = job.work + (ptrdiff_t)p * job.w + j0;
            store<Partial>(a, acc0Bytes, acc[p][0]);
            store<Partial>(a + 4, acc1Bytes, acc[p][1]);
        }
    }
}

// Parked accumulators to samples, in place, ascending; each step reads its 8
// accumulators before writing the 8 samples below them.
void narrowInPlace(int32_t *work, int w, int n)
{
    int16_t *out = (int16_t *)work;
    for (int p = 0; p < 3; p++) {
        const int32_t *a = work + (ptrdiff_t)p * w;
        int16_t *o = out + (ptrdiff_t)p * w;
        for (int j = 0; j < n; j += 8) {
            const int rem = n - j;
            const __m128i v0 = _mm_srai_epi32(loadPartial(a + j, 4 * rem), 18);
            const __m128i v1 = _mm_srai_epi32(loadPartial(a + j + 4, 4 * rem - 16), 18);
            storePartial(o + j, 2 * rem, _mm_packs_epi32(v0, v1));
        }
    }
}

}  // namespace

void synthesise_row_sse2(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                         const int16_t *cos16, int stride)
{
    const int n = 2 * (w / 2);
    if (n <= 0)
        return;
    if (count <= 0) {
        memset(work, 0, (size_t)6 * (size_t)w);
        return;
    }
    __m128i coef[kChunk][3];
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
        job.h0Lo[p] = _mm_set1_epi32((int)lo);
        job.h0Hi[p] = _mm_set1_epi32((int)hi);
    }
    const bool direct = count <= kChunk;
    for (int h0 = 0; h0 < count; h0 += kChunk) {
        const int h1 = count - h0 > kChunk ? h0 + kChunk : count;
        for (int h = h0; h < h1; h++)
            for (int p = 0; p < 3; p++)
                coef[h - h0][p] = _mm_set1_epi32((int)packPair(planeChannel(coeffs[h], p)));
        int j0 = 0;
        for (; j0 + kBlock <= n; j0 += kBlock)
            runBlock<false>(job, j0, h0, h1, h0 == 0, direct);
        if (j0 < n)
            runBlock<true>(job, j0, h0, h1, h0 == 0, direct);
    }
    if (!direct)
        narrowInPlace(work, w, n);
}

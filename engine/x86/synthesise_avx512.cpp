// Harmonic synthesis, AVX-512 (BW, VL, VNNI): blocks of 64 samples (two table
// loads, 12 accumulator vectors), one vpdpwssd per vector and harmonic, the
// tail under masks.
//
// Interleaving a table row pair with vpunpckl/hwd works per 128-bit lane, so
// the two pair vectors of each 32 samples hold samples (0-3, 8-11, 16-19,
// 24-27) and (4-7, 12-15, 20-23, 28-31); vpackssdw of the two restores the
// natural order.

#include "engine/x86/vnni.h"  // first: it includes the intrinsics header
#include <string.h>

#include "engine/x86/dsp_x86.h"
#include "engine/x86/synthesise_tmpl.h"

namespace {

ALWAYS_INLINE __mmask32 wordMask(int count)
{
    return count >= 32 ? (__mmask32)~0u : count <= 0 ? (__mmask32)0 : (__mmask32)((1u << count) - 1);
}

ALWAYS_INLINE __mmask16 dwordMask(int count)
{
    return count >= 16 ? (__mmask16)0xffff : count <= 0 ? (__mmask16)0 : (__mmask16)((1u << count) - 1);
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

struct Avx512 {
    typedef __m512i Vec;
    typedef uint32_t Coef;
    static constexpr int kLanes = 32;
    static constexpr int kHalves = 2;
    // 64 measured fastest for 352 harmonics of a 720-sample row (32 and 128
    // cost 5-7% more).
    static constexpr int kChunk = 64;

    static ALWAYS_INLINE Coef coef(uint32_t pair) { return pair; }
    static ALWAYS_INLINE Vec broadcast(Coef k) { return _mm512_set1_epi32((int)k); }

    template <bool Tail>
    static ALWAYS_INLINE void loadPairs(const int16_t *s, const int16_t *c, int rem, Vec *lo, Vec *hi)
    {
        const __mmask32 m = wordMask(rem);
        const __m512i vs = Tail ? _mm512_maskz_loadu_epi16(m, s) : _mm512_loadu_si512(s);
        __m512i vc = Tail ? _mm512_maskz_loadu_epi16(m, c) : _mm512_loadu_si512(c);
        __asm__("" : "+v"(vc));  // one load, not one per unpack
        *lo = _mm512_unpacklo_epi16(vs, vc);
        *hi = _mm512_unpackhi_epi16(vs, vc);
    }
    static ALWAYS_INLINE Vec meanTerm(Vec pairs, Vec lo, Vec hi)
    {
        return _mm512_add_epi32(_mm512_madd_epi16(pairs, lo), _mm512_slli_epi32(_mm512_madd_epi16(pairs, hi), 16));
    }
    static ALWAYS_INLINE Vec madd(Vec acc, Vec pairs, Vec k) { return dpwssd(acc, pairs, k); }

    template <bool Tail>
    static ALWAYS_INLINE void loadAcc(const int32_t *a, int rem, Vec *v0, Vec *v1)
    {
        const __m512i n0 = Tail ? _mm512_maskz_loadu_epi32(dwordMask(rem), a) : _mm512_loadu_si512(a);
        const __m512i n1 = Tail ? _mm512_maskz_loadu_epi32(dwordMask(rem - 16), a + 16) : _mm512_loadu_si512(a + 16);
        fromNatural(n0, n1, v0, v1);
    }
    template <bool Tail>
    static ALWAYS_INLINE void storeAcc(int32_t *a, int rem, Vec v0, Vec v1)
    {
        __m512i n0, n1;
        toNatural(v0, v1, &n0, &n1);
        if (Tail) {
            _mm512_mask_storeu_epi32(a, dwordMask(rem), n0);
            _mm512_mask_storeu_epi32(a + 16, dwordMask(rem - 16), n1);
        } else {
            _mm512_storeu_si512(a, n0);
            _mm512_storeu_si512(a + 16, n1);
        }
    }
    template <bool Tail>
    static ALWAYS_INLINE void storeSamples(int16_t *o, int rem, Vec v0, Vec v1)
    {
        const __m512i v = _mm512_packs_epi32(_mm512_srai_epi32(v0, 18), _mm512_srai_epi32(v1, 18));
        if (Tail)
            _mm512_mask_storeu_epi16(o, wordMask(rem), v);
        else
            _mm512_storeu_si512(o, v);
    }
    static ALWAYS_INLINE void done() {}
};

}  // namespace

void synthesise_row_avx512(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                           const int16_t *cos16, int stride)
{
    synthesiseRow<Avx512>(work, count, w, coeffs, sin16, cos16, stride);
}

// ---------------------------------------------------------------------------
// Whole-frame synthesis straight into pixels.
//
// The coefficients of a block of rows are packed to 16-bit (sine, cosine)
// pairs once (vpmovsdw saturates exactly as the reference does). Then, for
// every 64-sample slice of the row, two rows at a time keep 24 accumulators
// (2 rows x 3 planes x 64 samples) in registers through all harmonics, so the
// slice of the tables (count x 256 bytes) is read from cache by every row
// pair of the block. The sums go to pixels directly: acc >> 18 saturated to
// 16 bits and then to 0..255 is acc >> 18 clamped to 0..255. A last slice of
// fewer than 64 samples works in vectors of 16 samples on up to eight rows.

namespace {

constexpr int kRowBlock = 32;  // rows whose packed coefficients fit the work buffer

struct SynthRow {
    const uint32_t *pairs;      // (sine, cosine) pairs, channel order red, green, blue, 3 per harmonic
    uint32_t h0Lo[3], h0Hi[3];  // harmonic 0 in plane order, see synthesis_pairs.h
    uint32_t h0Flat[3];         // harmonic 0's term where its table row is flat, see flatMeanRow
    uint32_t *dst;
};

// Whether harmonic 0's table row is sine 0 and cosine 1024 at samples
// 0..samples-1, as the system's tables always have it (angle 0). Its term is then
// the same 1024 x cosinePart (mod 2^32) at every sample, and the accumulators
// start from that constant instead of a multiply-add per vector.
bool flatMeanRow(const int16_t *sin16, const int16_t *cos16, int samples)
{
    const __m512i zero = _mm512_setzero_si512(), unit = _mm512_set1_epi16(1024);
    for (int j = 0; j < samples; j += 32) {
        const __mmask32 m = samples - j >= 32 ? ~(__mmask32)0 : (__mmask32)((1u << (samples - j)) - 1);
        if (_mm512_mask_cmpneq_epi16_mask(m, _mm512_maskz_loadu_epi16(m, sin16 + j), zero) ||
            _mm512_mask_cmpneq_epi16_mask(m, _mm512_maskz_loadu_epi16(m, cos16 + j), unit))
            return false;
    }
    return true;
}

// Pairs of every record: vpmovsdw narrows six int32 fields to six saturated
// words, i.e. three dwords (red, green, blue) of (sine, cosine).
void packRecords(const HarmonicCoeffs *coeffs, int count, uint32_t *pairs)
{
    const int32_t *f = (const int32_t *)coeffs;
    int16_t *o = (int16_t *)pairs;
    const int fields = 6 * count;
    int i = 0;
    for (; i + 16 <= fields; i += 16)
        _mm256_storeu_si256((__m256i *)(o + i), _mm512_cvtsepi32_epi16(_mm512_loadu_si512(f + i)));
    if (i < fields) {
        const __mmask16 m = (__mmask16)((1u << (fields - i)) - 1);
        _mm256_mask_storeu_epi16(o + i, m, _mm512_cvtsepi32_epi16(_mm512_maskz_loadu_epi32(m, f + i)));
    }
}

// Four 16-sample vectors of table pairs for samples j .. j + 63, in pair
// order (see toNatural).
ALWAYS_INLINE void slicePairs(const int16_t *s, const int16_t *c, __m512i pr[4])
{
#pragma GCC unroll 2
    for (int q = 0; q < 2; q++) {
        __m512i vs = _mm512_loadu_si512(s + 32 * q), vc = _mm512_loadu_si512(c + 32 * q);
        __asm__("" : "+v"(vs), "+v"(vc));  // one load each, not one per unpack
        pr[2 * q] = _mm512_unpacklo_epi16(vs, vc);
        pr[2 * q + 1] = _mm512_unpackhi_epi16(vs, vc);
    }
}

// One 16-sample vector of pairs for samples j .. j + k - 1 (k <= 16, even),
// zero beyond: samples in 128-bit blocks (0-3, 8-11, 4-7, 12-15).
ALWAYS_INLINE __m512i narrowPairs(const int16_t *s, const int16_t *c, __mmask16 m)
{
    __m256i vs = _mm256_maskz_loadu_epi16(m, s), vc = _mm256_maskz_loadu_epi16(m, c);
    __asm__("" : "+v"(vs), "+v"(vc));
    return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_unpacklo_epi16(vs, vc)), _mm256_unpackhi_epi16(vs, vc), 1);
}

// Harmonic 0 at its full size: pairs x (s, lo) + (pairs x (0, hi) << 16).
// A row mean (0..65280) has hi 0 or 1, and pairs x (0, 1) << 16 is just the
// cosine word moved up, which the mask of the pair's high word gives.
ALWAYS_INLINE __m512i meanTerm(__m512i pairs, uint32_t lo, uint32_t hi)
{
    const __m512i low = _mm512_madd_epi16(pairs, _mm512_set1_epi32((int)lo));
    if (hi == 0)
        return low;
    if (hi == 1u << 16)
        return _mm512_add_epi32(low, _mm512_and_si512(pairs, _mm512_set1_epi32((int)0xffff0000u)));
    return _mm512_add_epi32(low, _mm512_slli_epi32(_mm512_madd_epi16(pairs, _mm512_set1_epi32((int)hi)), 16));
}

// Three planes of sums to pixels (blue, green, red, 0): acc >> 18 saturated
// to 16 and then to 8 bits by the packs, the bytes of each pixel gathered by
// one shuffle. Pixels stay in the sample order of the sums.
ALWAYS_INLINE __m512i toPixels(__m512i b, __m512i g, __m512i r)
{
    const __m512i bg = _mm512_packs_epi32(_mm512_srai_epi32(b, 18), _mm512_srai_epi32(g, 18));
    const __m512i rr = _mm512_srai_epi32(r, 18);
    const __m512i bytes = _mm512_packus_epi16(bg, _mm512_packs_epi32(rr, rr));  // per lane b0-3 g0-3 r0-3 r0-3
    const __m512i gather = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 4, 8, -1, 1, 5, 9, -1, 2, 6, 10, -1, 3, 7, 11, -1));
    return _mm512_shuffle_epi8(bytes, gather);
}

// Harmonics 1..count-1 of 64 samples for R rows. The accumulators are copied
// into a local array and back: GCC 12 otherwise keeps a memory copy of the
// caller's array up to date on every harmonic.
template <int R>
ALWAYS_INLINE void wideHarmonics(const SynthRow *rows, int count, const int16_t *s, const int16_t *c, ptrdiff_t stride,
                                 __m512i *accOut)
{
    __m512i acc[12 * R];
#pragma GCC unroll 24
    for (int i = 0; i < 12 * R; i++)
        acc[i] = accOut[i];
    for (int h = 1; h < count; h++) {
        s += stride;
        c += stride;
        __m512i pr[4];
        slicePairs(s, c, pr);
#pragma GCC unroll 2
        for (int r = 0; r < R; r++) {
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++) {
                __m512i k = _mm512_set1_epi32((int)rows[r].pairs[3 * h + 2 - p]);
                __asm__("" : "+v"(k));
#pragma GCC unroll 4
                for (int v = 0; v < 4; v++)
                    acc[(3 * r + p) * 4 + v] = dpwssd(acc[(3 * r + p) * 4 + v], pr[v], k);
            }
        }
    }
#pragma GCC unroll 24
    for (int i = 0; i < 12 * R; i++)
        accOut[i] = acc[i];
}

// Samples j .. j + 63 of R rows.
template <int R>
void wideSlice(const SynthRow *rows, int count, const int16_t *sin16, const int16_t *cos16, ptrdiff_t stride, int j,
               bool flatMean)
{
    __m512i acc[12 * R];
    if (flatMean) {
#pragma GCC unroll 2
        for (int r = 0; r < R; r++)
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++)
#pragma GCC unroll 4
                for (int v = 0; v < 4; v++)
                    acc[(3 * r + p) * 4 + v] = _mm512_set1_epi32((int)rows[r].h0Flat[p]);
    } else {
        __m512i pr[4];
        slicePairs(sin16 + j, cos16 + j, pr);
#pragma GCC unroll 2
        for (int r = 0; r < R; r++)
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++)
#pragma GCC unroll 4
                for (int v = 0; v < 4; v++)
                    acc[(3 * r + p) * 4 + v] = meanTerm(pr[v], rows[r].h0Lo[p], rows[r].h0Hi[p]);
    }
    wideHarmonics<R>(rows, count, sin16 + j, cos16 + j, stride, acc);
#pragma GCC unroll 2
    for (int r = 0; r < R; r++) {
#pragma GCC unroll 2
        for (int q = 0; q < 2; q++) {
            const __m512i a =
                toPixels(acc[3 * r * 4 + 2 * q], acc[(3 * r + 1) * 4 + 2 * q], acc[(3 * r + 2) * 4 + 2 * q]);
            const __m512i b = toPixels(acc[3 * r * 4 + 2 * q + 1], acc[(3 * r + 1) * 4 + 2 * q + 1],
                                       acc[(3 * r + 2) * 4 + 2 * q + 1]);
            __m512i n0, n1;
            toNatural(a, b, &n0, &n1);
            _mm512_storeu_si512(rows[r].dst + j + 32 * q, n0);
            _mm512_storeu_si512(rows[r].dst + j + 32 * q + 16, n1);
        }
    }
}

// Samples j .. j + k - 1 (0 < k < 64, even) of R rows, in V = ceil(k / 16)
// vectors.
template <int R, int V>
void narrowSlice(const SynthRow *rows, int count, const int16_t *sin16, const int16_t *cos16, ptrdiff_t stride, int j,
                 int k, bool flatMean)
{
    __mmask16 m[V];
#pragma GCC unroll 4
    for (int v = 0; v < V; v++) {
        const int left = k - 16 * v;
        m[v] = left >= 16 ? (__mmask16)0xffff : (__mmask16)((1u << left) - 1);
    }
    __m512i acc[3 * R * V];
    if (flatMean) {
#pragma GCC unroll 8
        for (int r = 0; r < R; r++)
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++)
#pragma GCC unroll 4
                for (int v = 0; v < V; v++)
                    acc[(3 * r + p) * V + v] = _mm512_set1_epi32((int)rows[r].h0Flat[p]);
    } else {
        __m512i pr[V];
#pragma GCC unroll 4
        for (int v = 0; v < V; v++)
            pr[v] = narrowPairs(sin16 + j + 16 * v, cos16 + j + 16 * v, m[v]);
#pragma GCC unroll 8
        for (int r = 0; r < R; r++)
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++)
#pragma GCC unroll 4
                for (int v = 0; v < V; v++)
                    acc[(3 * r + p) * V + v] = meanTerm(pr[v], rows[r].h0Lo[p], rows[r].h0Hi[p]);
    }
    {
        __m512i a[3 * R * V];
#pragma GCC unroll 24
        for (int i = 0; i < 3 * R * V; i++)
            a[i] = acc[i];
        const int16_t *s = sin16 + j, *c = cos16 + j;
        for (int h = 1; h < count; h++) {
            s += stride;
            c += stride;
            __m512i pr[V];
#pragma GCC unroll 4
            for (int v = 0; v < V; v++)
                pr[v] = narrowPairs(s + 16 * v, c + 16 * v, m[v]);
#pragma GCC unroll 8
            for (int r = 0; r < R; r++) {
#pragma GCC unroll 3
                for (int p = 0; p < 3; p++) {
                    __m512i kv = _mm512_set1_epi32((int)rows[r].pairs[3 * h + 2 - p]);
                    __asm__("" : "+v"(kv));
#pragma GCC unroll 4
                    for (int v = 0; v < V; v++)
                        a[(3 * r + p) * V + v] = dpwssd(a[(3 * r + p) * V + v], pr[v], kv);
                }
            }
        }
#pragma GCC unroll 24
        for (int i = 0; i < 3 * R * V; i++)
            acc[i] = a[i];
    }
#pragma GCC unroll 8
    for (int r = 0; r < R; r++) {
#pragma GCC unroll 4
        for (int v = 0; v < V; v++) {
            const __m512i px = toPixels(acc[3 * r * V + v], acc[(3 * r + 1) * V + v], acc[(3 * r + 2) * V + v]);
            _mm512_mask_storeu_epi32(rows[r].dst + j + 16 * v, m[v],
                                     _mm512_shuffle_i64x2(px, px, _MM_SHUFFLE(3, 1, 2, 0)));
        }
    }
}

// The narrow slice over any number of rows: eight, four, two, one at a time,
// as many as keep the accumulators within 24 registers.
template <int V>
void narrowSliceRows(const SynthRow *rows, int rowCount, int count, const int16_t *sin16, const int16_t *cos16,
                     ptrdiff_t stride, int j, int k, bool flatMean)
{
    int r = 0;
    if (V == 1)
        for (; r + 8 <= rowCount; r += 8)
            narrowSlice<8, 1>(rows + r, count, sin16, cos16, stride, j, k, flatMean);
    if (V <= 2)
        for (; r + 4 <= rowCount; r += 4)
            narrowSlice<4, (V <= 2 ? V : 1)>(rows + r, count, sin16, cos16, stride, j, k, flatMean);
    for (; r + 2 <= rowCount; r += 2)
        narrowSlice<2, V>(rows + r, count, sin16, cos16, stride, j, k, flatMean);
    if (r < rowCount)
        narrowSlice<1, V>(rows + r, count, sin16, cos16, stride, j, k, flatMean);
}

}  // namespace

void synthesise_rows_avx512(const HarmonicCoeffs *coeffs, ptrdiff_t coeffStride, int rows, int count, int w,
                            uint32_t *dst, ptrdiff_t pitch, int32_t *work, const Tables16View *tables)
{
    const int samples = 2 * (w / 2);
    if (samples <= 0 || rows <= 0)
        return;
    if (count <= 0) {
        // No harmonic: every sample 0, every pixel 0.
        for (int r = 0; r < rows; r++)
            memset((uint8_t *)dst + r * pitch, 0, (size_t)samples * 4);
        return;
    }
    const ptrdiff_t stride = tables->n;
    const bool flatMean = flatMeanRow(tables->sin16, tables->cos16, samples);
    uint32_t *packed = (uint32_t *)work;
    for (int r0 = 0; r0 < rows; r0 += kRowBlock) {
        const int nr = rows - r0 < kRowBlock ? rows - r0 : kRowBlock;
        SynthRow job[kRowBlock];
        for (int i = 0; i < nr; i++) {
            const HarmonicCoeffs *rec = coeffs + (r0 + i) * coeffStride;
            uint32_t *pairs = packed + (size_t)i * 3 * count;
            packRecords(rec, count, pairs);
            job[i].pairs = pairs;
            for (int p = 0; p < 3; p++) {
                packMeanPair(planeChannel(rec[0], p), &job[i].h0Lo[p], &job[i].h0Hi[p]);
                job[i].h0Flat[p] = 1024u * (uint32_t)planeChannel(rec[0], p).cosinePart;
            }
            job[i].dst = (uint32_t *)((uint8_t *)dst + (r0 + i) * pitch);
        }
        int j = 0;
        for (; j + 64 <= samples; j += 64) {
            int i = 0;
            for (; i + 2 <= nr; i += 2)
                wideSlice<2>(job + i, count, tables->sin16, tables->cos16, stride, j, flatMean);
            if (i < nr)
                wideSlice<1>(job + i, count, tables->sin16, tables->cos16, stride, j, flatMean);
        }
        const int k = samples - j;
        switch ((k + 15) / 16) {
        case 1: narrowSliceRows<1>(job, nr, count, tables->sin16, tables->cos16, stride, j, k, flatMean); break;
        case 2: narrowSliceRows<2>(job, nr, count, tables->sin16, tables->cos16, stride, j, k, flatMean); break;
        case 3: narrowSliceRows<3>(job, nr, count, tables->sin16, tables->cos16, stride, j, k, flatMean); break;
        case 4: narrowSliceRows<4>(job, nr, count, tables->sin16, tables->cos16, stride, j, k, flatMean); break;
        default: break;
        }
    }
}

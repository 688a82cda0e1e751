// Forward harmonic analysis, AVX-512 (BW, VL, VNNI).
//
// Four harmonics per pass over the samples: each step loads 32 samples of the
// three planes once and the sine and cosine rows of the four harmonics, and
// feeds 24 independent vpdpwssd accumulators (pair sums of 16 x 16-bit
// products, added without saturation: exact modulo 2^32, like the reference's
// wrapping sums in any order). The 24 sums are reduced together, scaled in
// double precision eight at a time and stored as four whole records.

#include "engine/x86/vnni.h"  // first: it includes the intrinsics header
#include <string.h>

#include <type_traits>

#include "engine/x86/analyse_tmpl.h"
#include "engine/x86/dsp_x86.h"

namespace {

// Per 128-bit lane: (a0 + a2, b0 + b2, a1 + a3, b1 + b3).
ALWAYS_INLINE __m512i pairSum(__m512i a, __m512i b)
{
    return _mm512_add_epi32(_mm512_unpacklo_epi32(a, b), _mm512_unpackhi_epi32(a, b));
}

// Per 128-bit lane: the lane's sums of a, b, c, d, from pairSum(a, b) and
// pairSum(c, d).
ALWAYS_INLINE __m512i quadSum(__m512i ab, __m512i cd)
{
    return _mm512_add_epi32(_mm512_unpacklo_epi64(ab, cd), _mm512_unpackhi_epi64(ab, cd));
}

// From u, v holding four sums per lane: lanes (u0+u1, u2+u3, v0+v1, v2+v3).
ALWAYS_INLINE __m512i laneSum(__m512i u, __m512i v)
{
    return _mm512_add_epi32(_mm512_shuffle_i32x4(u, v, _MM_SHUFFLE(2, 0, 2, 0)),
                            _mm512_shuffle_i32x4(u, v, _MM_SHUFFLE(3, 1, 3, 1)));
}

// Eight sums to eight coefficients: trunc(2 x (v >> 2) x scale) exactly as
// analysisCoeff (product rounded to double, doubling exact, truncation).
ALWAYS_INLINE __m256i scaleEight(__m256i v, __m512d scale)
{
    const __m512d t = _mm512_mul_pd(_mm512_cvtepi32_pd(_mm256_srai_epi32(v, 2)), scale);
    return _mm512_cvttpd_epi32(_mm512_add_pd(t, t));
}

// The first `words` 16-bit lanes (fewer than 32).
ALWAYS_INLINE __mmask32 wordMask(int words)
{
    return (__mmask32)((1u << words) - 1);
}

struct Avx512 {
    typedef __m512i Vec;
    typedef __m512d Scale;
    static constexpr int kLanes = 32;
    static constexpr int kGroup = 4;

    static ALWAYS_INLINE Vec zero() { return _mm512_setzero_si512(); }
    static ALWAYS_INLINE Vec load(const int16_t *p) { return _mm512_loadu_si512(p); }
    static ALWAYS_INLINE Vec loadTail(const int16_t *p, int words)
    {
        return _mm512_maskz_loadu_epi16(wordMask(words), p);
    }
    static ALWAYS_INLINE Vec add16(Vec a, Vec b) { return _mm512_add_epi16(a, b); }
    static ALWAYS_INLINE uint32_t foldLanes(Vec lanes)
    {
        const __m256i l16 = _mm256_add_epi16(_mm512_castsi512_si256(lanes), _mm512_extracti64x4_epi64(lanes, 1));
        const __m128i l8 = _mm_add_epi16(_mm256_castsi256_si128(l16), _mm256_extracti128_si256(l16, 1));
        const __m128i l4 = _mm_add_epi16(l8, _mm_srli_si128(l8, 8));
        __m128i wide = _mm_unpacklo_epi16(l4, _mm_setzero_si128());
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 8));
        wide = _mm_add_epi32(wide, _mm_srli_si128(wide, 4));
        return (uint32_t)_mm_cvtsi128_si32(wide);
    }
    // vpdpwssd: no saturation, exact modulo 2^32 like the reference's sums.
    static ALWAYS_INLINE Vec madd(Vec acc, Vec x, Vec t) { return dpwssd(acc, x, t); }
    static ALWAYS_INLINE Scale scaleOf(float scale) { return _mm512_set1_pd((double)scale); }
    static ALWAYS_INLINE void done() {}

    // 24 sums (fewer harmonics padded with zeros) reduced together, scaled
    // eight at a time.
    template <int NH>
    static ALWAYS_INLINE void store(const Vec *acc, Scale scale, HarmonicCoeffs *out)
    {
        Vec a[24];
#pragma GCC unroll 24
        for (int i = 0; i < 24; i++)
            a[i] = i < 6 * NH ? acc[i] : _mm512_setzero_si512();
        __m512i u[6];
#pragma GCC unroll 6
        for (int i = 0; i < 6; i++)
            u[i] = quadSum(pairSum(a[4 * i], a[4 * i + 1]), pairSum(a[4 * i + 2], a[4 * i + 3]));
        const __m512i v0 = laneSum(u[0], u[1]), v1 = laneSum(u[2], u[3]), v2 = laneSum(u[4], u[5]);
        const __m512i f0 = laneSum(v0, v1);  // sums 0..15
        const __m512i f1 = laneSum(v2, v2);  // sums 16..23, twice
        int32_t tmp[24];
        int32_t *o = NH == 4 ? (int32_t *)out : tmp;
        _mm256_storeu_si256((__m256i *)o, scaleEight(_mm512_castsi512_si256(f0), scale));
        _mm256_storeu_si256((__m256i *)(o + 8), scaleEight(_mm512_extracti64x4_epi64(f0, 1), scale));
        _mm256_storeu_si256((__m256i *)(o + 16), scaleEight(_mm512_castsi512_si256(f1), scale));
        if (NH != 4)
            memcpy(out, tmp, sizeof(HarmonicCoeffs) * NH);
    }
};

}  // namespace

void analyse_row_avx512(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                        const int16_t *cos16, int stride)
{
    analyseRow<Avx512>(planar, first, end, w, out, sin16, cos16, stride);
}

// ---------------------------------------------------------------------------
// Whole-frame analysis over the harmonic-group layout.
//
// Each accumulator lane belongs to one output: lane 4k + 2t + p of the vector
// of group g sums harmonic 4g+1+k, sine (t = 0) or cosine (t = 1), over the
// sample pairs 4q+2p, 4q+2p+1 of every quad q. One vpbroadcastq of a quad of
// samples against one layout vector thus feeds four harmonics at once, and
// the only horizontal work left is adding the two phases p of each output at
// the end. A tile is two rows by up to four groups (sixteen harmonics) or
// four rows by up to two groups, 24 accumulators at most; the tile's slice of
// the layout stays in cache while the rows of a block pass over it. The mean
// level, and one or two harmonics past the last whole group, take a plain
// pass over the rows of their own.

namespace {

constexpr int kRowBlock = 32;  // rows per pass over the layout

// One pass over R rows for what the harmonic groups leave: the mean level
// (harmonic 0) and NH harmonics first..first+NH-1 past the last whole group.
// The mean sums go as in meanLevelSum (analyse_tmpl.h): per block of 256 samples, 32
// lanes of 16 bits folded to the four lanes j mod 4, modulo 65536, widened
// unsigned. The harmonics go as in the row kernel: vpdpwssd sums over the
// samples, reduced at the end.
template <int R, int NH>
void rowPass(const int16_t *const x[3 * R], int n4, const int16_t *sin16, const int16_t *cos16, ptrdiff_t stride,
             int first, float scale, __m512d vscale, HarmonicCoeffs *const out[R])
{
    constexpr int NA = 6 * R * NH > 0 ? 6 * R * NH : 1;
    __m512i acc[NA];  // (row, harmonic, record field): red, green, blue; sine, cosine
#pragma GCC unroll 12
    for (int i = 0; i < NA; i++)
        acc[i] = _mm512_setzero_si512();
    __m128i total[3 * R];
#pragma GCC unroll 6
    for (int i = 0; i < 3 * R; i++)
        total[i] = _mm_setzero_si128();
    const int16_t *s[NH > 0 ? NH : 1], *c[NH > 0 ? NH : 1];
#pragma GCC unroll 2
    for (int k = 0; k < NH; k++) {
        s[k] = sin16 + (first + k) * stride;
        c[k] = cos16 + (first + k) * stride;
    }
    for (int base = 0; base < n4; base += 256) {
        const int end = base + 256 < n4 ? base + 256 : n4;
        __m512i lanes[3 * R];
#pragma GCC unroll 6
        for (int i = 0; i < 3 * R; i++)
            lanes[i] = _mm512_setzero_si512();
        // 32 samples from j, those from `end` on masked off.
        const auto step = [&](int j, __mmask32 m, auto masked) ALWAYS_INLINE_LAMBDA {
            const auto load = [&](const int16_t *p) {
                return decltype(masked)::value ? _mm512_maskz_loadu_epi16(m, p) : _mm512_loadu_si512(p);
            };
            __m512i t[2 * (NH > 0 ? NH : 1)];
#pragma GCC unroll 2
            for (int k = 0; k < NH; k++) {
                t[2 * k] = load(s[k] + j);
                t[2 * k + 1] = load(c[k] + j);
            }
#pragma GCC unroll 2
            for (int r = 0; r < R; r++) {
#pragma GCC unroll 3
                for (int p = 0; p < 3; p++) {
                    __m512i v = load(x[3 * r + p] + j);
                    __asm__("" : "+v"(v));
                    lanes[3 * r + p] = _mm512_add_epi16(lanes[3 * r + p], v);
#pragma GCC unroll 2
                    for (int k = 0; k < NH; k++) {
                        __m512i *a = acc + (r * NH + k) * 6 + 2 * (2 - p);
                        a[0] = dpwssd(a[0], v, t[2 * k]);
                        a[1] = dpwssd(a[1], v, t[2 * k + 1]);
                    }
                }
            }
        };
        int j = base;
        for (; j + 32 <= end; j += 32)
            step(j, ~(__mmask32)0, std::false_type());
        if (j < end)
            step(j, (__mmask32)((1u << (end - j)) - 1), std::true_type());
#pragma GCC unroll 6
        for (int i = 0; i < 3 * R; i++) {
            const __m256i l16 =
                _mm256_add_epi16(_mm512_castsi512_si256(lanes[i]), _mm512_extracti64x4_epi64(lanes[i], 1));
            const __m128i l8 = _mm_add_epi16(_mm256_castsi256_si128(l16), _mm256_extracti128_si256(l16, 1));
            total[i] = _mm_add_epi32(total[i], _mm_cvtepu16_epi32(_mm_add_epi16(l8, _mm_srli_si128(l8, 8))));
        }
    }
#pragma GCC unroll 2
    for (int r = 0; r < R; r++) {
        ChannelCoeff *ch[3] = {&out[r]->blue, &out[r]->green, &out[r]->red};
#pragma GCC unroll 3
        for (int p = 0; p < 3; p++) {
            __m128i t = _mm_add_epi32(total[3 * r + p], _mm_srli_si128(total[3 * r + p], 8));
            t = _mm_add_epi32(t, _mm_srli_si128(t, 4));
            ch[p]->sinePart = 0;
            ch[p]->cosinePart = meanLevelCoeff((uint32_t)_mm_cvtsi128_si32(t), scale);
        }
    }
    if (NH > 0) {
        // Twelve sums per vector of f: four per 128-bit block.
        const __m512i u0 = quadSum(pairSum(acc[0], acc[1]), pairSum(acc[2], acc[3]));
        const __m512i u1 = quadSum(pairSum(acc[4], acc[5]), pairSum(acc[6 % NA], acc[7 % NA]));
        const __m512i u2 = quadSum(pairSum(acc[8 % NA], acc[9 % NA]), pairSum(acc[10 % NA], acc[11 % NA]));
        const __m512i f = laneSum(laneSum(u0, u1), laneSum(u2, u2));  // sums 0..11
        int32_t sums[16];
        _mm256_storeu_si256((__m256i *)sums, scaleEight(_mm512_castsi512_si256(f), vscale));
        _mm256_storeu_si256((__m256i *)(sums + 8), scaleEight(_mm512_extracti64x4_epi64(f, 1), vscale));
#pragma GCC unroll 2
        for (int r = 0; r < R; r++)
#pragma GCC unroll 2
            for (int k = 0; k < NH; k++)
                memcpy(out[r] + first + k, sums + (r * NH + k) * 6, sizeof(HarmonicCoeffs));
    }
}

// The row pass for rows r0..r1-1 with `left` (0, 1 or 2) harmonics from
// `first`: two rows at a time where the accumulators allow.
void rowPasses(const int16_t *planar, ptrdiff_t planarStride, int r0, int r1, int w, const Tables16View *tables,
               int first, int left, HarmonicCoeffs *out, ptrdiff_t outStride)
{
    const int n4 = w & ~3;
    const float scale = analysisScale(w);
    const __m512d vscale = _mm512_set1_pd((double)scale);
    int r = r0;
    if (left < 2) {
        for (; r + 2 <= r1; r += 2) {
            const int16_t *a = planar + r * planarStride, *b = a + planarStride;
            const int16_t *const x[6] = {a, a + w, a + 2 * (ptrdiff_t)w, b, b + w, b + 2 * (ptrdiff_t)w};
            HarmonicCoeffs *const o[2] = {out + r * outStride, out + (r + 1) * outStride};
            if (left == 1)
                rowPass<2, 1>(x, n4, tables->sin16, tables->cos16, tables->n, first, scale, vscale, o);
            else
                rowPass<2, 0>(x, n4, tables->sin16, tables->cos16, tables->n, first, scale, vscale, o);
        }
    }
    for (; r < r1; r++) {
        const int16_t *a = planar + r * planarStride;
        const int16_t *const x[3] = {a, a + w, a + 2 * (ptrdiff_t)w};
        HarmonicCoeffs *const o[1] = {out + r * outStride};
        if (left == 2)
            rowPass<1, 2>(x, n4, tables->sin16, tables->cos16, tables->n, first, scale, vscale, o);
        else if (left == 1)
            rowPass<1, 1>(x, n4, tables->sin16, tables->cos16, tables->n, first, scale, vscale, o);
        else
            rowPass<1, 0>(x, n4, tables->sin16, tables->cos16, tables->n, first, scale, vscale, o);
    }
}

// Samples 4q..4q+3 of a plane in every qword.
ALWAYS_INLINE __m512i quadOf(const int16_t *x)
{
    return _mm512_broadcastq_epi64(_mm_loadl_epi64((const __m128i *)x));
}

// Lanes (2i, 2i + 1) added: the eight sums of a group, (sine, cosine) of its
// four harmonics.
ALWAYS_INLINE __m256i foldPhases(__m512i a)
{
    return _mm512_cvtepi64_epi32(_mm512_add_epi32(a, _mm512_srli_epi64(a, 32)));
}

// Up to four records of one row from the plane vectors (blue, green, red) of
// foldPhases, scaled: record qwords are (red, green, blue) pairs.
ALWAYS_INLINE void storeGroup(HarmonicCoeffs *o, __m256i blue, __m256i green, __m256i red, int records)
{
    const __m512i rg = _mm512_inserti64x4(_mm512_castsi256_si512(red), green, 1);
    const __m512i b = _mm512_castsi256_si512(blue);
    const __m512i first = _mm512_permutex2var_epi64(rg, _mm512_setr_epi64(0, 4, 8, 1, 5, 9, 2, 6), b);
    const __m512i rest = _mm512_permutex2var_epi64(rg, _mm512_setr_epi64(10, 3, 7, 11, 0, 0, 0, 0), b);
    int64_t *q = (int64_t *)o;
    if (records == 4) {
        _mm512_storeu_si512(q, first);
        _mm256_storeu_si256((__m256i *)(q + 8), _mm512_castsi512_si256(rest));
        return;
    }
    const int qwords = 3 * records;  // 3, 6 or 9
    _mm512_mask_storeu_epi64(q, (__mmask8)((1u << (qwords < 8 ? qwords : 8)) - 1), first);
    if (qwords > 8)
        _mm512_mask_storeu_epi64(q + 8, (__mmask8)((1u << (qwords - 8)) - 1), rest);
}

// The planes of up to four rows of a tile. One pointer a row, the planes
// reached through the plane length: twelve plane pointers would not fit the
// general registers next to the loop's own.
struct TileRows {
    const int16_t *x[4];
    ptrdiff_t w;
};

// Rows r .. r + count - 1 (count <= 4) of planar rows `stride` samples apart.
TileRows tileRows(const int16_t *planar, ptrdiff_t stride, int w, int r, int count)
{
    TileRows k = {};
    for (int i = 0; i < count; i++)
        k.x[i] = planar + (r + i) * stride;
    k.w = w;
    return k;
}

// R rows by HV groups: harmonics h0 .. h0 + 4 HV - 1, of which `records` are
// stored.
template <int R, int HV>
void analyseTile(const TileRows &src, int quads, const uint32_t *layout, ptrdiff_t groupStride, __m512d scale,
                 HarmonicCoeffs *const out[R], int records)
{
    __m512i acc[3 * R * HV];
#pragma GCC unroll 24
    for (int i = 0; i < 3 * R * HV; i++)
        acc[i] = _mm512_setzero_si512();
    for (int q = 0; q < quads; q++) {
        __m512i t[HV];
#pragma GCC unroll 4
        for (int v = 0; v < HV; v++) {
            t[v] = _mm512_loadu_si512(layout + v * groupStride + 16 * q);
            __asm__("" : "+v"(t[v]));  // one load each, not one per use
        }
#pragma GCC unroll 4
        for (int r = 0; r < R; r++) {
            const int16_t *row = src.x[r] + 4 * q;
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++) {
                __m512i s = quadOf(row + p * src.w);
                __asm__("" : "+v"(s));
#pragma GCC unroll 4
                for (int v = 0; v < HV; v++)
                    acc[(3 * r + p) * HV + v] = dpwssd(acc[(3 * r + p) * HV + v], t[v], s);
            }
        }
    }
#pragma GCC unroll 4
    for (int r = 0; r < R; r++) {
#pragma GCC unroll 4
        for (int v = 0; v < HV; v++) {
            const int left = records - 4 * v;
            if (left <= 0)
                break;
            __m256i plane[3];
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++)
                plane[p] = scaleEight(foldPhases(acc[(3 * r + p) * HV + v]), scale);
            storeGroup(out[r] + 4 * v, plane[0], plane[1], plane[2], left < 4 ? left : 4);
        }
    }
}

// R rows through the tile of `records` harmonics.
template <int R>
void analyseTileRows(const TileRows &src, int quads, const uint32_t *layout, ptrdiff_t groupStride, __m512d scale,
                     HarmonicCoeffs *const out[R], int records)
{
    switch ((records + 3) / 4) {
    case 4: analyseTile<R, 4>(src, quads, layout, groupStride, scale, out, records); break;
    case 3: analyseTile<R, 3>(src, quads, layout, groupStride, scale, out, records); break;
    case 2: analyseTile<R, 2>(src, quads, layout, groupStride, scale, out, records); break;
    default: analyseTile<R, 1>(src, quads, layout, groupStride, scale, out, records); break;
    }
}

// Four rows at a time when the tile is one or two groups wide (24
// accumulators either way).
void analyseTileFourRows(const TileRows &src, int quads, const uint32_t *layout, ptrdiff_t groupStride, __m512d scale,
                         HarmonicCoeffs *const out[4], int records)
{
    if (records > 4)
        analyseTile<4, 2>(src, quads, layout, groupStride, scale, out, records);
    else
        analyseTile<4, 1>(src, quads, layout, groupStride, scale, out, records);
}

// Harmonics first..end-1 (first >= 1) of planar rows r0..r1-1, tile by tile.
void analyseTiles(const int16_t *planar, ptrdiff_t planarStride, int w, int r0, int r1, int first, int end, int quads,
                  const uint32_t *quads16, ptrdiff_t groupStride, __m512d scale, HarmonicCoeffs *out,
                  ptrdiff_t outStride)
{
    for (int h = first; h < end; h += 16) {
        const int records = end - h < 16 ? end - h : 16;
        const uint32_t *layout = quads16 + (ptrdiff_t)((h - 1) / 4) * groupStride;
        int r = r0;
        if (records <= 8) {
            for (; r + 4 <= r1; r += 4) {
                HarmonicCoeffs *const o[4] = {out + r * outStride + h, out + (r + 1) * outStride + h,
                                              out + (r + 2) * outStride + h, out + (r + 3) * outStride + h};
                analyseTileFourRows(tileRows(planar, planarStride, w, r, 4), quads, layout, groupStride, scale, o,
                                    records);
            }
        }
        for (; r + 2 <= r1; r += 2) {
            HarmonicCoeffs *const o[2] = {out + r * outStride + h, out + (r + 1) * outStride + h};
            analyseTileRows<2>(tileRows(planar, planarStride, w, r, 2), quads, layout, groupStride, scale, o, records);
        }
        if (r < r1) {
            HarmonicCoeffs *const o[1] = {out + r * outStride + h};
            analyseTileRows<1>(tileRows(planar, planarStride, w, r, 1), quads, layout, groupStride, scale, o, records);
        }
    }
}

// Rows 0..rows-1 (at most kRowBlock) of planar rows through every group of
// harmonics and the row pass.
void analyseBlock(const int16_t *planar, ptrdiff_t planarStride, int rows, int count, int w, HarmonicCoeffs *out,
                  ptrdiff_t outStride, const Tables16View *tables)
{
    const int quads = w / 4;  // the n4 samples, exactly
    const ptrdiff_t groupStride = (ptrdiff_t)(tables->n / 4) * 16;
    const __m512d scale = _mm512_set1_pd((double)analysisScale(w));
    // Harmonic 0 takes the mean-level path; one or two harmonics left over
    // beyond the last whole group of four would waste most lanes of a group,
    // so they go with it in a pass of their own.
    const int left = (count - 1) % 4;
    const int groupEnd = left == 1 || left == 2 ? count - left : count;
    // With a single tile of groups, four rows at a time go through the tile
    // and then the pass, which finds them still in the first-level cache.
    const int step = groupEnd <= 17 ? 4 : rows;
    for (int r0 = 0; r0 < rows; r0 += step) {
        const int r1 = rows - r0 < step ? rows : r0 + step;
        analyseTiles(planar, planarStride, w, r0, r1, 1, groupEnd, quads, tables->quads, groupStride, scale, out,
                     outStride);
        rowPasses(planar, planarStride, r0, r1, w, tables, groupEnd, count - groupEnd, out, outStride);
    }
}

}  // namespace

void analyse_rows_avx512(const int16_t *planar, ptrdiff_t planarStride, int rows, int count, int w, HarmonicCoeffs *out,
                         ptrdiff_t outStride, const Tables16View *tables)
{
    if (count <= 0 || rows <= 0)
        return;
    if (!tables->quads) {
        for (int r = 0; r < rows; r++)
            analyse_row_avx512(planar + r * planarStride, 0, count, w, out + r * outStride, tables->sin16,
                               tables->cos16, tables->n);
        return;
    }
    for (int r0 = 0; r0 < rows; r0 += kRowBlock)
        analyseBlock(planar + r0 * planarStride, planarStride, rows - r0 < kRowBlock ? rows - r0 : kRowBlock, count, w,
                     out + r0 * outStride, outStride, tables);
}

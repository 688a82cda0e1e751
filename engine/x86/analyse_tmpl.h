// Forward harmonic analysis: the row driver, written once over the vector
// primitives of one instruction set and compiled in that set's file
// (engine/x86/analyse_<isa>.cpp), which defines the traits struct and
// instantiates analyseRow<Traits>.
//
// The traits struct provides:
//   Vec, kLanes         a vector of kLanes 16-bit samples (a multiple of 4)
//   kGroup              harmonics per pass over the samples
//   zero(), load(p), loadTail(p, words)
//                       loadTail reads `words` samples (a multiple of 4, below
//                       kLanes); the other lanes are zero
//   add16(a, b)         lane-wise 16-bit add, wrapping
//   foldLanes(lanes)    the lanes folded to the four lanes j mod 4 modulo
//                       65536, read back unsigned and added
//   madd(acc, x, t)     acc + pair sums of 16 x 16-bit products, wrapping
//   Scale, scaleOf(f)   the analysis scale in the form store() takes
//   store<NH>(acc, scale, out)
//                       6 NH sums (record order: red, green, blue; sine then
//                       cosine; harmonic after harmonic) to NH records, each
//                       field trunc(2 x (sum >> 2) x scale) as analysisCoeff
//   done()              ends integer vector work before floating point
//
// Every function here is a template over the traits, which live in an
// anonymous namespace: each file's instantiations stay its own, compiled with
// its own instruction set (see engine/fixed_point.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/coeffs.h"
#include "engine/fixed_point.h"
#include "engine/x86/util.h"

namespace {

template <class Isa, bool Tail>
ALWAYS_INLINE typename Isa::Vec loadSamples(const int16_t *p, int words)
{
    return Tail ? Isa::loadTail(p, words) : Isa::load(p);
}

// Mean-level plane sum: per block of 256 samples, 16-bit lanes wrapping
// modulo 65536, folded to the four lanes j mod 4 and widened unsigned.
template <class Isa>
uint32_t meanLevelSum(const int16_t *x, int n4)
{
    uint32_t total = 0;
    for (int base = 0; base < n4; base += 256) {
        const int end = base + 256 < n4 ? base + 256 : n4;
        typename Isa::Vec lanes = Isa::zero();
        int j = base;
        for (; j + Isa::kLanes <= end; j += Isa::kLanes)
            lanes = Isa::add16(lanes, Isa::load(x + j));
        if (j < end)
            lanes = Isa::add16(lanes, Isa::loadTail(x + j, end - j));
        total += Isa::foldLanes(lanes);
    }
    return total;
}

// kLanes samples of the three planes against the rows of NH harmonics.
template <class Isa, int NH, bool Tail>
ALWAYS_INLINE void analyseStep(typename Isa::Vec acc[6 * NH], const int16_t *const x[3], const int16_t *const s[NH],
                               const int16_t *const c[NH], int j, int words)
{
    typedef typename Isa::Vec Vec;
    const Vec xr = loadSamples<Isa, Tail>(x[2] + j, words);
    const Vec xg = loadSamples<Isa, Tail>(x[1] + j, words);
    const Vec xb = loadSamples<Isa, Tail>(x[0] + j, words);
#pragma GCC unroll 4
    for (int k = 0; k < NH; k++) {
        const Vec vs = loadSamples<Isa, Tail>(s[k] + j, words);
        const Vec vc = loadSamples<Isa, Tail>(c[k] + j, words);
        Vec *a = acc + 6 * k;
        a[0] = Isa::madd(a[0], xr, vs);
        a[1] = Isa::madd(a[1], xr, vc);
        a[2] = Isa::madd(a[2], xg, vs);
        a[3] = Isa::madd(a[3], xg, vc);
        a[4] = Isa::madd(a[4], xb, vs);
        a[5] = Isa::madd(a[5], xb, vc);
    }
}

// Harmonics h .. h + NH - 1 into out[0 .. NH - 1], in one pass over the
// samples. The sums wrap like the reference's, in any order.
template <class Isa, int NH>
void analyseGroup(const int16_t *const x[3], int n4, const int16_t *sin16, const int16_t *cos16, ptrdiff_t stride,
                  int h, typename Isa::Scale scale, HarmonicCoeffs *out)
{
    const int16_t *s[NH], *c[NH];
#pragma GCC unroll 4
    for (int k = 0; k < NH; k++) {
        s[k] = sin16 + (h + k) * stride;
        c[k] = cos16 + (h + k) * stride;
    }
    typename Isa::Vec acc[6 * NH];
#pragma GCC unroll 24
    for (int i = 0; i < 6 * NH; i++)
        acc[i] = Isa::zero();
    int j = 0;
    for (; j + Isa::kLanes <= n4; j += Isa::kLanes)
        analyseStep<Isa, NH, false>(acc, x, s, c, j, Isa::kLanes);
    if (j < n4)
        analyseStep<Isa, NH, true>(acc, x, s, c, j, n4 - j);
    Isa::template store<NH>(acc, scale, out);
}

// The harmonics left after the whole groups: fewer than kGroup, one group of
// their own size.
template <class Isa, int NH>
ALWAYS_INLINE void analyseRest(const int16_t *const x[3], int n4, const int16_t *sin16, const int16_t *cos16,
                               ptrdiff_t stride, int h, int left, typename Isa::Scale scale, HarmonicCoeffs *out)
{
    if constexpr (NH > 0) {
        if (left == NH)
            analyseGroup<Isa, NH>(x, n4, sin16, cos16, stride, h, scale, out);
        else
            analyseRest<Isa, NH - 1>(x, n4, sin16, cos16, stride, h, left, scale, out);
    }
}

// analyse_row_fn (engine/dsp.h): harmonics first .. end - 1.
template <class Isa>
void analyseRow(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                const int16_t *cos16, int stride)
{
    if (first >= end)
        return;
    const float scale = analysisScale(w);
    const int n4 = w & ~3;
    const int16_t *const x[3] = {planar, planar + w, planar + 2 * (ptrdiff_t)w};
    int h = first;
    if (h == 0) {
        uint32_t t[3];
        for (int p = 0; p < 3; p++)
            t[p] = meanLevelSum<Isa>(x[p], n4);
        Isa::done();
        ChannelCoeff *ch[3] = {&out->blue, &out->green, &out->red};
        for (int p = 0; p < 3; p++)
            *ch[p] = {0, meanLevelCoeff(t[p], scale)};
        h++;
    }
    const typename Isa::Scale vscale = Isa::scaleOf(scale);
    for (; h + Isa::kGroup <= end; h += Isa::kGroup)
        analyseGroup<Isa, Isa::kGroup>(x, n4, sin16, cos16, stride, h, vscale, out + (h - first));
    analyseRest<Isa, Isa::kGroup - 1>(x, n4, sin16, cos16, stride, h, end - h, vscale, out + (h - first));
}

}  // namespace

// Harmonic synthesis: the row driver, written once over the vector primitives
// of one instruction set and compiled in that set's file
// (engine/x86/synthesise_<isa>.cpp), which defines the traits struct and
// instantiates synthesiseRow<Traits>.
//
// Scheme: the accumulators of a block of samples of the three planes live in
// registers while every harmonic of a chunk passes over them. A table pair is
// interleaved into (sine j, cosine j) words, which meet a channel's packed
// (sine, cosine) dword with one multiply-add per vector (synthesis_pairs.h).
// With more harmonics than one chunk, the blocks park their accumulators in
// the work buffer (natural order, one int32 per sample, as the reference lays
// them out) between chunks and a final in-place pass narrows them; otherwise
// each block writes its samples directly.
//
// The traits struct provides:
//   Vec, kLanes         a vector of 32-bit lanes; kLanes table entries (16-bit)
//                       are one table load, whose pairs fill two vectors
//   kHalves             table loads per block: a block is kLanes x kHalves samples
//   kChunk              harmonics per coefficient table
//   Coef, coef(dword), broadcast(Coef)
//                       a packed (sine, cosine) dword as the table keeps it
//   loadPairs<Tail>(s, c, rem, &lo, &hi)
//                       the interleaved pairs of samples 0 .. min(rem, kLanes) - 1,
//                       zero beyond; lo and hi are the pair order of the set
//   meanTerm(pairs, lo, hi), madd(acc, pairs, k)
//   loadAcc<Tail>, storeAcc<Tail>(a, rem, ...)
//                       parked accumulators of min(rem, kLanes) samples, natural
//                       order in memory, pair order in the two vectors
//   storeSamples<Tail>(o, rem, v0, v1)
//                       sat16(acc >> 18) of both vectors as min(rem, kLanes)
//                       samples in natural order
//   done()              ends integer vector work
// With Tail, rem may be anything (at most nothing is read or written); without
// it, rem >= kLanes.
//
// Every function here is a template over the traits, which live in an
// anonymous namespace (see analyse_tmpl.h).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "engine/coeffs.h"
#include "engine/x86/synthesis_pairs.h"
#include "engine/x86/util.h"

namespace {

template <class Isa>
struct SynthesisJob {
    int32_t *work;
    int w;
    int samples;  // per plane: 2 x floor(w / 2)
    const int16_t *sin16, *cos16;
    ptrdiff_t stride;
    const typename Isa::Coef (*coef)[3];  // the chunk's harmonics, plane order
    typename Isa::Coef h0Lo[3], h0Hi[3];  // harmonic 0, see synthesis_pairs.h
};

// Samples j0 .. j0 + kLanes x kHalves - 1 (fewer for the tail) of harmonics
// h0 .. h1 - 1.
template <class Isa, bool Tail>
void synthesiseBlock(const SynthesisJob<Isa> &job, int j0, int h0, int h1, bool first, bool direct)
{
    typedef typename Isa::Vec Vec;
    constexpr int L = Isa::kLanes, Q = Isa::kHalves;
    const int rem = job.samples - j0;
    Vec acc[3][2 * Q];
    int h = h0;
    if (first) {
        // Harmonic 0 at full size sets the accumulators.
#pragma GCC unroll 4
        for (int q = 0; q < Q; q++) {
            Vec pr[2];
            Isa::template loadPairs<Tail>(job.sin16 + j0 + L * q, job.cos16 + j0 + L * q, rem - L * q, &pr[0], &pr[1]);
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++) {
                const Vec lo = Isa::broadcast(job.h0Lo[p]), hi = Isa::broadcast(job.h0Hi[p]);
#pragma GCC unroll 2
                for (int i = 0; i < 2; i++)
                    acc[p][2 * q + i] = Isa::meanTerm(pr[i], lo, hi);
            }
        }
        h = 1;
    } else {
#pragma GCC unroll 3
        for (int p = 0; p < 3; p++)
#pragma GCC unroll 4
            for (int q = 0; q < Q; q++)
                Isa::template loadAcc<Tail>(job.work + (ptrdiff_t)p * job.w + j0 + L * q, rem - L * q, &acc[p][2 * q],
                                            &acc[p][2 * q + 1]);
    }
    const int16_t *s = job.sin16 + h * job.stride + j0;
    const int16_t *c = job.cos16 + h * job.stride + j0;
    for (; h < h1; h++, s += job.stride, c += job.stride) {
        const typename Isa::Coef *k = job.coef[h - h0];
        const Vec kp[3] = {Isa::broadcast(k[0]), Isa::broadcast(k[1]), Isa::broadcast(k[2])};
#pragma GCC unroll 4
        for (int q = 0; q < Q; q++) {
            Vec lo, hi;
            Isa::template loadPairs<Tail>(s + L * q, c + L * q, rem - L * q, &lo, &hi);
#pragma GCC unroll 3
            for (int p = 0; p < 3; p++) {
                acc[p][2 * q] = Isa::madd(acc[p][2 * q], lo, kp[p]);
                acc[p][2 * q + 1] = Isa::madd(acc[p][2 * q + 1], hi, kp[p]);
            }
        }
    }
#pragma GCC unroll 3
    for (int p = 0; p < 3; p++) {
#pragma GCC unroll 4
        for (int q = 0; q < Q; q++) {
            const ptrdiff_t at = (ptrdiff_t)p * job.w + j0 + L * q;
            if (direct)
                Isa::template storeSamples<Tail>((int16_t *)job.work + at, rem - L * q, acc[p][2 * q],
                                                 acc[p][2 * q + 1]);
            else
                Isa::template storeAcc<Tail>(job.work + at, rem - L * q, acc[p][2 * q], acc[p][2 * q + 1]);
        }
    }
}

// Parked accumulators to samples, in place: plane by plane, ascending, each
// step reading its accumulators before writing the samples below them.
template <class Isa>
void narrowInPlace(int32_t *work, int w, int samples)
{
    typedef typename Isa::Vec Vec;
    int16_t *out = (int16_t *)work;
    for (int p = 0; p < 3; p++) {
        const int32_t *a = work + (ptrdiff_t)p * w;
        int16_t *o = out + (ptrdiff_t)p * w;
        for (int j = 0; j < samples; j += Isa::kLanes) {
            Vec v0, v1;
            Isa::template loadAcc<true>(a + j, samples - j, &v0, &v1);
            Isa::template storeSamples<true>(o + j, samples - j, v0, v1);
        }
    }
}

// synthesise_row_fn (engine/dsp.h).
template <class Isa>
void synthesiseRow(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                   const int16_t *cos16, int stride)
{
    const int samples = 2 * (w / 2);
    if (samples <= 0)
        return;
    if (count <= 0) {
        memset(work, 0, (size_t)6 * (size_t)w);
        return;
    }
    typename Isa::Coef coef[Isa::kChunk][3];
    SynthesisJob<Isa> job;
    job.work = work;
    job.w = w;
    job.samples = samples;
    job.sin16 = sin16;
    job.cos16 = cos16;
    job.stride = stride;
    job.coef = coef;
    for (int p = 0; p < 3; p++) {
        uint32_t lo, hi;
        packMeanPair(planeChannel(coeffs[0], p), &lo, &hi);
        job.h0Lo[p] = Isa::coef(lo);
        job.h0Hi[p] = Isa::coef(hi);
    }
    constexpr int kBlock = Isa::kLanes * Isa::kHalves;
    const bool direct = count <= Isa::kChunk;
    for (int h0 = 0; h0 < count; h0 += Isa::kChunk) {
        const int h1 = count - h0 > Isa::kChunk ? h0 + Isa::kChunk : count;
        for (int h = h0; h < h1; h++)
            for (int p = 0; p < 3; p++)
                coef[h - h0][p] = Isa::coef(packPair(planeChannel(coeffs[h], p)));
        int j0 = 0;
        for (; j0 + kBlock <= samples; j0 += kBlock)
            synthesiseBlock<Isa, false>(job, j0, h0, h1, h0 == 0, direct);
        if (j0 < samples)
            synthesiseBlock<Isa, true>(job, j0, h0, h1, h0 == 0, direct);
    }
    if (!direct)
        narrowInPlace<Isa>(work, w, samples);
    Isa::done();
}

}  // namespace

// Single-harmonic row correlation: the row driver, written once over the
// vector primitives of one instruction set and compiled in that set's file
// (engine/x86/correlate_<isa>.cpp), which defines the traits struct and
// instantiates correlateRow<Traits>.
//
// Scheme: two vectors of pixels per step. Each channel's bytes are taken out
// as dwords and packed to words, the 32-bit table entries (|entry| <= 256) are
// packed to words without loss, and one 16 x 16-bit multiply-add forms pair
// sums of byte x entry, exact in 32 bits; the six wrapping sums then equal the
// reference's in any order. Channel words and entry words go through the same
// packing, so every byte meets its own entry even where the packs work per
// 128-bit lane. The mean level sums each channel's bytes.
//
// The traits struct provides:
//   Vec, kPixels        a vector of kPixels dwords
//   kMaskedTail         whether the last pixels go through loadTail (else one
//                       at a time, after done())
//   zero(), load(p), loadTail(p, dwords)
//                       loadTail (kMaskedTail only) reads min(dwords, kPixels)
//                       dwords, zero beyond
//   channel<Shift>(px)  (px >> Shift) & 0xff in every dword
//   packs(a, b)         dwords to words with signed saturation
//   madd(acc, a, b)     acc + pair sums of 16 x 16-bit products, wrapping
//   sum(v)              the dwords added modulo 2^32
//   addBytes<Shift>(acc, px), byteSum(acc)
//                       the mean level's running sum of one channel's bytes
//   done()              ends integer vector work
//
// Every function here is a template over the traits, which live in an
// anonymous namespace (see analyse_tmpl.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/coeffs.h"
#include "engine/fixed_point.h"
#include "engine/x86/util.h"

namespace {

template <class Isa, bool Tail>
ALWAYS_INLINE typename Isa::Vec loadDwords(const void *p, int dwords)
{
    if constexpr (Tail)
        return Isa::loadTail(p, dwords);
    else
        return Isa::load(p);
}

// Harmonic 0: 256 x the channel means, from the byte sums.
template <class Isa>
void correlateMean(const uint32_t *row, int w, HarmonicCoeffs *out)
{
    typedef typename Isa::Vec Vec;
    Vec sb = Isa::zero(), sg = sb, sr = sb;
    int j = 0;
    for (; j + Isa::kPixels <= w; j += Isa::kPixels) {
        const Vec px = Isa::load(row + j);
        sb = Isa::template addBytes<0>(sb, px);
        sg = Isa::template addBytes<8>(sg, px);
        sr = Isa::template addBytes<16>(sr, px);
    }
    if constexpr (Isa::kMaskedTail) {
        if (j < w) {
            const Vec px = Isa::loadTail(row + j, w - j);
            sb = Isa::template addBytes<0>(sb, px);
            sg = Isa::template addBytes<8>(sg, px);
            sr = Isa::template addBytes<16>(sr, px);
            j = w;
        }
    }
    uint32_t b = Isa::byteSum(sb), g = Isa::byteSum(sg), r = Isa::byteSum(sr);
    Isa::done();
    for (; j < w; j++) {
        b += row[j] & 0xff;
        g += (row[j] >> 8) & 0xff;
        r += (row[j] >> 16) & 0xff;
    }
    // byte x 256 summed in 32 bits is the byte sum shifted, modulo 2^32.
    out->red = {0, correlationMean(r << 8, w)};
    out->green = {0, correlationMean(g << 8, w)};
    out->blue = {0, correlationMean(b << 8, w)};
}

// Pixels j .. j + 2 kPixels - 1 (fewer under Tail: rem of them).
template <class Isa, bool Tail>
ALWAYS_INLINE void correlateStep(const uint32_t *row, const int32_t *s, const int32_t *c, int j, int rem,
                                 typename Isa::Vec acc[6])
{
    typedef typename Isa::Vec Vec;
    constexpr int P = Isa::kPixels;
    const Vec p0 = loadDwords<Isa, Tail>(row + j, rem), p1 = loadDwords<Isa, Tail>(row + j + P, rem - P);
    const Vec b = Isa::packs(Isa::template channel<0>(p0), Isa::template channel<0>(p1));
    const Vec g = Isa::packs(Isa::template channel<8>(p0), Isa::template channel<8>(p1));
    const Vec r = Isa::packs(Isa::template channel<16>(p0), Isa::template channel<16>(p1));
    const Vec vs = Isa::packs(loadDwords<Isa, Tail>(s + j, rem), loadDwords<Isa, Tail>(s + j + P, rem - P));
    const Vec vc = Isa::packs(loadDwords<Isa, Tail>(c + j, rem), loadDwords<Isa, Tail>(c + j + P, rem - P));
    acc[0] = Isa::madd(acc[0], r, vs);
    acc[1] = Isa::madd(acc[1], r, vc);
    acc[2] = Isa::madd(acc[2], g, vs);
    acc[3] = Isa::madd(acc[3], g, vc);
    acc[4] = Isa::madd(acc[4], b, vs);
    acc[5] = Isa::madd(acc[5], b, vc);
}

// correlate_row_fn (engine/dsp.h).
template <class Isa>
void correlateRow(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32, const int32_t *cos32,
                  int stride)
{
    if (w <= 0) {
        *out = HarmonicCoeffs{{0, 0}, {0, 0}, {0, 0}};
        return;
    }
    if (h == 0) {
        correlateMean<Isa>(row, w, out);
        return;
    }
    const int32_t *s = sin32 + (ptrdiff_t)h * stride;
    const int32_t *c = cos32 + (ptrdiff_t)h * stride;
    typename Isa::Vec acc[6];
    for (int i = 0; i < 6; i++)
        acc[i] = Isa::zero();
    constexpr int kStep = 2 * Isa::kPixels;
    int j = 0;
    for (; j + kStep <= w; j += kStep)
        correlateStep<Isa, false>(row, s, c, j, kStep, acc);
    if constexpr (Isa::kMaskedTail) {
        if (j < w) {
            correlateStep<Isa, true>(row, s, c, j, w - j, acc);
            j = w;
        }
    }
    uint32_t sums[6];
    for (int i = 0; i < 6; i++)
        sums[i] = Isa::sum(acc[i]);
    Isa::done();
    for (; j < w; j++) {
        const uint32_t b = row[j] & 0xff, g = (row[j] >> 8) & 0xff, r = (row[j] >> 16) & 0xff;
        sums[0] += r * (uint32_t)s[j];
        sums[1] += r * (uint32_t)c[j];
        sums[2] += g * (uint32_t)s[j];
        sums[3] += g * (uint32_t)c[j];
        sums[4] += b * (uint32_t)s[j];
        sums[5] += b * (uint32_t)c[j];
    }
    out->red = {correlationField(sums[0], w), correlationField(sums[1], w)};
    out->green = {correlationField(sums[2], w), correlationField(sums[3], w)};
    out->blue = {correlationField(sums[4], w), correlationField(sums[5], w)};
}

}  // namespace

// Rejection curve: one gain per harmonic from a frame's magnitude spectrum.
#pragma once

#include "engine/coeffs.h"

enum { LOW_PASS_LENGTH = 120, REJECTION_CURVE_GAINS = 512 };

struct RejectionCurve {
    float gain[REJECTION_CURVE_GAINS + 1];  // harmonic 512 is still measured
};

// Hamming-windowed sinc low-pass of length + 1 taps, normalised to unit sum.
void buildLowPassKernel(int length, float *taps);

// Gains for harmonics 0..harmonics-1 from spectrum[b].red (sinePart 0,
// cosinePart the magnitude). The spectrum holds `records` entries; records
// that the neighbourhood sums reach beyond it count as zero magnitude.
// Harmonics 0..59 and every entry the spectrum does not decide keep 1.0; a
// harmonic at or above its smoothed neighbourhood gets neighbourhood /
// magnitude, then the curve is smoothed over entries 3..499. Every gain ends
// in 0.0..1.0. Squares are formed in 64 bits, so any 32-bit magnitude works.
void buildRejectionCurve(const HarmonicCoeffs *spectrum, int records, int harmonics, RejectionCurve *curve);

// Gain of harmonic b: the curve's entry, 1.0 above the curve.
float rejectionGain(const RejectionCurve *curve, int b);

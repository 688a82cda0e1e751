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
void buildRejectionCurve(const HarmonicCoeffs *spectrum, int records, int harmonics, RejectionCurve *curve);

// Gain of harmonic b: the curve's entry, 1.0 above the curve.
float rejectionGain(const RejectionCurve *curve, int b);

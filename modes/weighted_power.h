// The frame spectrum of curve-weighted full processing: per harmonic, the sum
// over rows of 0.586 G + 0.298 R + 0.116 B, where R, G, B are the squared
// magnitudes of the channel's coefficients. Squares and sums are 64-bit: a
// bright row's mean (65280) alone squares beyond the 32-bit range. The
// weighted sum is formed in double and truncated, as a 32-bit accumulator
// would be wherever that one does not overflow.
#pragma once

#include <stdint.h>

#include "engine/coeffs.h"

namespace zelt_lpf {

// power[k] = trunc((0.586 G + 0.298 R) + 0.116 B + power[k]) for k < count.
void accumulateWeightedPower(const HarmonicCoeffs *row, int count, int64_t *power);

// trunc(sqrt(power)), saturated to the 32-bit range.
int32_t powerMagnitude(int64_t power);

}  // namespace zelt_lpf

// The correction stages of the filter chain. Each measures the source bitmap
// and writes the destination bitmap, addressing rows by pitch; source and
// destination share width, height and pitch.
#pragma once

#include "abi/vdfilter.h"
#include "engine/coeffs.h"

// Removes the band minHarmonic <= a < maxHarmonic from every row; tapers the
// ends of the source rows in place first. 0, or -1 when its gains cannot be
// allocated (frames untouched).
int notchFilter(const FilterActivation *fa, const FilterFunctions *ff);
// Adds the component of harmonic a described by `coeffs` to a pixel row, with
// clamping to 0..255 per channel; byte 3 untouched.
int addComponent(uint32_t *row, int a, int w, HarmonicCoeffs coeffs);

// Evens out the mean level of neighbouring rows (and, with dcTemporal, of the
// previous frame's same rows). Always 0.
int dcAverageFilter(const FilterActivation *fa, const FilterFunctions *ff);
// Drops the temporal history (tests; a host never needs it).
void dcHistoryReset();

namespace zelt_lpf {
// Two-pass resynthesis weighted by the frame's rejection curve. Always 0.
int FilterFull(const FilterActivation *fa, const FilterFunctions *ff);
}  // namespace zelt_lpf

namespace zelt {
// Plain resynthesis from N harmonics, one timing line per frame. Always 0.
int FilterFull(const FilterActivation *fa, const FilterFunctions *ff);
}  // namespace zelt

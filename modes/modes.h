// The correction stages of the filter chain. Each measures the source frame
// and writes the destination frame; both share width, height and pitch. The
// stages know nothing of the plug-in interface or of the dialog's settings:
// the module hands them the frames and their own parameters.
#pragma once

#include <stdint.h>

#include "engine/coeffs.h"
#include "engine/frame.h"

// Copies the source into the destination, tapers the ends of the source rows
// in place, then removes the band minHarmonic <= a < maxHarmonic (clipped to
// the table rows) from every destination row, each harmonic measured on the
// tapered source. Every harmonic of the band is removed in full: its gain is
// always 1.0. 0, or -1 with both frames untouched when the band's working
// block cannot be obtained.
int notchFilter(FrameView src, FrameView dst, int32_t minHarmonic, int32_t maxHarmonic);
// Adds the component of harmonic a described by `coeffs` to a pixel row, with
// clamping to 0..255 per channel; byte 3 untouched. Does nothing for a
// harmonic or width outside the 32-bit tables.
void addComponent(uint32_t *row, int a, int w, HarmonicCoeffs coeffs);

// Evens out the mean level of neighbouring rows (and, when `temporal`, of the
// previous temporal frame's same rows).
void dcAverageFilter(FrameView src, FrameView dst, bool temporal);
// Drops the temporal history (tests; a host never needs it).
void dcHistoryReset();

// Full processing rebuilds destination rows from the first `harmonics`
// harmonics of the source rows (clamped to the table rows; zero or less gives
// black rows).
namespace zelt_lpf {
// Two-pass resynthesis weighted by the frame's rejection curve; rows h-2 and
// h-1 are left as they are.
void FilterFull(FrameView src, FrameView dst, int harmonics);
}  // namespace zelt_lpf

namespace zelt {
// Plain resynthesis of every row, one timing line per frame.
void FilterFull(FrameView src, FrameView dst, int harmonics);
}  // namespace zelt

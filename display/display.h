// The spectrum display: replaces the destination with a plot of the source's
// measured spectrum, `harmonics` of them (clamped to the frame width and the
// table rows). Every pixel write is clipped to the destination.
#pragma once

#include "engine/frame.h"

namespace zelt_lpf {
// Log-scale luma and colour-difference spectra with the rejection curve.
// 0; -1 with the destination untouched when working memory cannot be obtained
// or when the 16-bit tables are not those of the source width.
int runSpectrumDisplay(FrameView src, FrameView dst, int harmonics);
}  // namespace zelt_lpf

namespace zelt {
// Linear bars of one source row's blue spectrum. 0; -1 with the destination
// untouched when working memory cannot be obtained or when the 32-bit tables
// are not those of the source width.
int runSpectrumDisplay(FrameView src, FrameView dst, int harmonics);
}  // namespace zelt

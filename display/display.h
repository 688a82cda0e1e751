// The spectrum display: replaces the destination with a plot of the source's
// measured spectrum. Rows are addressed by pitch; every pixel write is clipped
// to the destination.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "abi/vdfilter.h"

namespace zelt_lpf {
// Log-scale luma and colour-difference spectra with the rejection curve.
// 0, or -1 (destination untouched) when working memory cannot be obtained.
int runSpectrumDisplay(const FilterActivation *fa, const FilterFunctions *ff);
}  // namespace zelt_lpf

namespace zelt {
// Linear bars of one source row's blue spectrum.
int runSpectrumDisplay(const FilterActivation *fa, const FilterFunctions *ff);
}  // namespace zelt

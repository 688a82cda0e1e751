// The transform modules (zelt_lpf, zelt): the run, start and end callbacks
// over the shared spine (host/spine.h). Built once per module from the same
// source; the build variant picks the name, the display and full-processing
// stages and the table-build form (host/variant.h).
#pragma once

#include <stdint.h>

#include "abi/vdfilter.h"
#include "engine/frame.h"
#include "host/settings.h"
#include "host/spine.h"

// The run callback: the spectrum display when displaySpectrum is 1 (its
// status), else the filter chain (0).
VD_ENTRY int VDCALL filterRun(const FilterActivation *fa, const FilterFunctions *ff);
VD_ENTRY int VDCALL filterStart(FilterActivation *fa, const FilterFunctions *ff);
VD_ENTRY int VDCALL filterEnd(FilterActivation *fa, const FilterFunctions *ff);

// The stages the run callback reaches, filled with this build's operations.
// This file is the one place that turns the host's calls and the dialog's
// settings into the stages' frames and parameters. Tests swap entries to
// watch what is called, with what and in which order.
struct FilterStages {
    int (*notch)(FrameView src, FrameView dst, int32_t minHarmonic, int32_t maxHarmonic);
    void (*dcAverage)(FrameView src, FrameView dst, bool temporal);
    void (*full)(FrameView src, FrameView dst, int harmonics);
    int (*display)(FrameView src, FrameView dst, int harmonics);
};
extern FilterStages filterStages;
// This build's own stages.
FilterStages buildFilterStages();

// Copies the source into the destination, then runs each stage the settings
// enable, always in the order notch, DC average, full processing. A stage's
// status is ignored.
void runFilterChain(const VFBitmap &src, const VFBitmap &dst, const FilterSettings &settings);

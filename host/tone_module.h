// The tone module (zelt_tone): removes interference tones at any frequency,
// whole or fractional cycles per row, over the shared spine (host/spine.h).
// This file is the one place that turns the host's calls and the dialog's
// settings into the tone stage's frames and parameters (modes/tone.h).
#pragma once

#include "abi/vdfilter.h"
#include "host/spine.h"
#include "host/tone_settings.h"
#include "modes/tone.h"

#define ZELT_TONE_FILTER_NAME "Quorvel Tone Remover"
#define ZELT_TONE_FILTER_DESC \
    "Removes interference tones at whole or fractional cycles per row, found in each frame or typed in."

// What the run has learnt from the frames so far; emptied at every start, so
// that a run depends only on its own frames, in order.
extern ToneState toneState;

// Estimates the frame's tones (smoothed with the run's frames before it) and
// writes the source without them to the destination. Always 0: a frame the
// stage cannot take (source and destination of different sizes) or whose
// removal fails for want of memory passes unchanged.
VD_ENTRY int VDCALL toneRun(const FilterActivation *fa, const FilterFunctions *ff);
// -1 while a run is under way, else empties toneState and returns 0.
VD_ENTRY int VDCALL toneStart(FilterActivation *fa, const FilterFunctions *ff);
VD_ENTRY int VDCALL toneEnd(FilterActivation *fa, const FilterFunctions *ff);

// The run's work on one frame pair with the given stage parameters.
void runToneRemoval(const VFBitmap &src, const VFBitmap &dst, const ToneSettings &settings);

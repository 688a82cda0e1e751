// The module spine: exports, the filter definition, and the run, start and
// end callbacks. Built once per module (zelt_lpf, zelt) from the same source;
// the build variant picks the name, the display and full-processing stages
// and the table-build form (host/variant.h).
#pragma once

#include <stdint.h>

#include "abi/vdfilter.h"
#include "engine/frame.h"
#include "host/settings.h"
#include "platform/dialog_api.h"

#if defined(_WIN32)
#define ZELT_EXPORT  // the module-definition file names the exports
#else
#define ZELT_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
ZELT_EXPORT VD_ENTRY int VDCALL VirtualdubFilterModuleInit2(FilterModule *fm, const FilterFunctions *ff,
                                                            int *version, int *compatibility);
ZELT_EXPORT VD_ENTRY void VDCALL VirtualdubFilterModuleDeinit(FilterModule *fm, const FilterFunctions *ff);
// Keeps the instance at process attach; always 1. Native builds call it from
// a load-time constructor with an instance handle that leads to the module's
// resources (platform/dialog_template.h).
VD_ENTRY BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
}

// Registered with its size (72 bytes on 32-bit, 144 on 64-bit); never changed
// after load.
extern FilterDefinition filterDefinition;
// What addFilter returned; null until registration.
extern FilterDefinition *filterHandle;
extern HINSTANCE moduleInstance;
// 1 while a run this module started is under way.
extern uint8_t startGuard;

// The run callback: the spectrum display when displaySpectrum is 1 (its
// status), else the filter chain (0).
VD_ENTRY int VDCALL filterRun(const FilterActivation *fa, const FilterFunctions *ff);
VD_ENTRY int VDCALL filterStart(FilterActivation *fa, const FilterFunctions *ff);
VD_ENTRY int VDCALL filterEnd(FilterActivation *fa, const FilterFunctions *ff);

// A host bitmap as the stages see it.
inline FrameView frameViewOf(const VFBitmap &b)
{
    return FrameView{(uint8_t *)b.data, b.w, b.h, (ptrdiff_t)b.pitch};
}

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

// Copies the source bitmap into the destination: the source's `size` bytes as
// one block when both bitmaps share a positive pitch, else row by row over
// the rows and pixels both have. Never more than the destination's size.
void copySourceToDestination(const VFBitmap &src, const VFBitmap &dst);

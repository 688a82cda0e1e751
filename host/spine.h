// The spine every module built from this tree shares: the exports, the
// handles the host gives and the start/end guard. Each module supplies its
// own filterDefinition (callbacks, names) and its own dialog resources; the
// spine registers whichever definition the module was linked with.
#pragma once

#include <stdint.h>

#include "abi/vdfilter.h"
#include "engine/frame.h"
#include "platform/dialog_api.h"

#if defined(_WIN32)
#define ZELT_EXPORT  // the module-definition file names the exports
#else
#define ZELT_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
ZELT_EXPORT VD_ENTRY int VDCALL VirtualdubFilterModuleInit2(FilterModule *fm, const FilterFunctions *ff, int *version,
                                                            int *compatibility);
ZELT_EXPORT VD_ENTRY void VDCALL VirtualdubFilterModuleDeinit(FilterModule *fm, const FilterFunctions *ff);
// Keeps the instance at process attach; always 1. Native builds call it from
// a load-time constructor with an instance handle that leads to the module's
// resources (platform/dialog_template.h).
VD_ENTRY BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
}

// Registered with its size (72 bytes on 32-bit, 144 on 64-bit); never changed after load. Defined
// by each module.
extern FilterDefinition filterDefinition;
// What addFilter returned; null until registration.
extern FilterDefinition *filterHandle;
extern HINSTANCE moduleInstance;
// 1 while a run this module started is under way.
extern uint8_t startGuard;

// The start callback's guard: false when a run is already under way (the
// start is refused and nothing may be built), else the guard is taken for
// `fa`. Taken before anything is built, so a start that then fails for want
// of memory keeps it until the next end.
bool takeStartGuard(const FilterActivation *fa);
// The end callback's release: false for the end of an instance whose start
// was refused while another run is under way (that run's state must be left
// alone), else the guard is released and the caller frees the run's state.
bool releaseStartGuard(const FilterActivation *fa);

// What every module's settings dialog does with the messages it gets: fills
// its controls from the settings when it opens, stores them on OK (the
// dialog returns 0) and leaves them alone on Cancel (-1).
INT_PTR settingsDialogMessage(HWND dialog, UINT message, WPARAM wParam, void (*initialise)(HWND),
                              void (*accept)(HWND));
// An edit control shown and read as a whole number.
void showIntItem(HWND dialog, int id, int32_t value);
int32_t readIntItem(HWND dialog, int id);

// A host bitmap as the stages see it.
inline FrameView frameViewOf(const VFBitmap &b)
{
    return FrameView{(uint8_t *)b.data, b.w, b.h, (ptrdiff_t)b.pitch};
}

// Copies the source bitmap into the destination: the source's `size` bytes as
// one block when both bitmaps share a positive pitch, else row by row over
// the rows and pixels both have. Never more than the destination's size.
void copySourceToDestination(const VFBitmap &src, const VFBitmap &dst);

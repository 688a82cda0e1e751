#include "host/module.h"

#include <string.h>

#include "engine/trig_tables.h"
#include "host/dialog.h"
#include "host/settings.h"
#include "host/variant.h"
#include "platform/dialog_template.h"

FilterDefinition filterDefinition = {
    nullptr, nullptr, nullptr,  // host-owned links
    ZELT_FILTER_NAME,
    ZELT_FILTER_DESC,
    ZELT_FILTER_MAKER,
    nullptr,  // private_data
    0,        // inst_data_size: all state is process-wide
    nullptr,  // initProc
    nullptr,  // deinitProc
    filterRun,
    nullptr,  // paramProc
    filterConfigure,
    nullptr,  // stringProc
    filterStart,
    filterEnd,
    nullptr,  // script_obj
    nullptr,  // fssProc
};

FilterDefinition *filterHandle = nullptr;
HINSTANCE moduleInstance = nullptr;
uint8_t startGuard = 0;

namespace {
// Constant, so that no code of ours runs before the entry point.
constexpr FilterStages kBuildStages = {notchFilter, dcAverageFilter, variant::FilterFull, variant::runSpectrumDisplay};
}  // namespace

FilterStages filterStages = kBuildStages;

FilterStages buildFilterStages()
{
    return kBuildStages;
}

namespace {

// The activation whose start took the guard, and one whose start was refused
// while that run was under way (see filterEnd).
const FilterActivation *runOwner = nullptr;
const FilterActivation *refusedActivation = nullptr;

}  // namespace

#if !defined(_WIN32)
// The dialog layer finds the module's dialog through its instance handle, as
// user32 does; here the handle points at the resource table generated from
// the module's .rc. No loader calls DllMain on these platforms, so the module
// attaches itself when it is loaded.
extern const ModuleResources moduleResources;

__attribute__((constructor)) static void attachModule()
{
    DllMain((HINSTANCE)&moduleResources, DLL_PROCESS_ATTACH, nullptr);
}
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        moduleInstance = instance;
    return TRUE;
}

extern "C" int VDCALL VirtualdubFilterModuleInit2(FilterModule *fm, const FilterFunctions *ff, int *version,
                                                  int *compatibility)
{
    filterHandle = ff->addFilter(fm, &filterDefinition, VD_FILTER_DEFINITION_SIZE);
    if (!filterHandle)
        return 1;
    *version = VD_FILTER_VERSION;
    *compatibility = VD_FILTER_COMPATIBILITY;
    return 0;
}

extern "C" void VDCALL VirtualdubFilterModuleDeinit(FilterModule *, const FilterFunctions *ff)
{
    // Nothing to give back after a refused registration, or twice.
    if (!filterHandle)
        return;
    ff->removeFilter(filterHandle);
    filterHandle = nullptr;
}

int VDCALL filterRun(const FilterActivation *fa, const FilterFunctions *)
{
    // Every setting is read afresh for each frame.
    if (filterSettings.displaySpectrum == 1)
        return filterStages.display(frameViewOf(*fa->src), frameViewOf(*fa->dst), filterSettings.harmonicsNumber);
    runFilterChain(*fa->src, *fa->dst, filterSettings);
    return 0;
}

void copySourceToDestination(const VFBitmap &src, const VFBitmap &dst)
{
    if (!src.data || !dst.data)
        return;
    if (src.pitch > 0 && src.pitch == dst.pitch) {
        const vd_sizet bytes = src.size < dst.size ? src.size : dst.size;
        if (bytes > 0)
            memmove(dst.data, src.data, (size_t)bytes);
        return;
    }
    const int w = src.w < dst.w ? src.w : dst.w;
    const int h = src.h < dst.h ? src.h : dst.h;
    if (w <= 0 || h <= 0)
        return;
    for (int r = 0; r < h; r++)
        memmove((uint8_t *)dst.data + (ptrdiff_t)r * dst.pitch, (const uint8_t *)src.data + (ptrdiff_t)r * src.pitch,
                (size_t)w * 4);
}

void runFilterChain(const VFBitmap &src, const VFBitmap &dst, const FilterSettings &settings)
{
    copySourceToDestination(src, dst);
    const FrameView in = frameViewOf(src), out = frameViewOf(dst);
    if (settings.notchEnabled)
        filterStages.notch(in, out, settings.minHarmonic, settings.maxHarmonic);
    if (settings.dcAverage)
        filterStages.dcAverage(in, out, settings.dcTemporal != 0);
    if (settings.fullProcessing)
        filterStages.full(in, out, settings.harmonicsNumber);
}

int VDCALL filterStart(FilterActivation *fa, const FilterFunctions *)
{
    if (startGuard != 0) {
        if (fa != runOwner)
            refusedActivation = fa;
        return -1;
    }
    // Taken before building: a start that fails for want of memory keeps the
    // guard until the next end.
    startGuard = 1;
    runOwner = fa;
    refusedActivation = nullptr;
    const int w = fa && fa->src ? fa->src->w : 0;
    const int built16 = buildTrigTables16(w, w, kTableAngleForm);
    const int built32 = buildTrigTables32(w, w, kTableAngleForm);  // even when the first failed
    return built16 == 0 && built32 == 0 ? 0 : -1;
}

int VDCALL filterEnd(FilterActivation *fa, const FilterFunctions *)
{
    // The host keeps no per-instance data, so instances are told apart by
    // their activation: an end from the one whose start was refused must not
    // release the guard or free the tables of the run still under way.
    if (startGuard != 0 && fa != runOwner && fa == refusedActivation) {
        refusedActivation = nullptr;
        return 0;
    }
    // An end without any run under way leaves the guard at 0 instead of
    // wrapping it round (which would refuse every later start).
    if (startGuard != 0)
        startGuard--;
    if (startGuard == 0)
        runOwner = refusedActivation = nullptr;
    freeTrigTables32();
    freeTrigTables16();
    return 0;
}

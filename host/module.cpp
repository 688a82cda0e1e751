#include "host/module.h"

#include "engine/trig_tables.h"
#include "host/dialog.h"
#include "host/settings.h"
#include "host/variant.h"

FilterDefinition filterDefinition = {
    nullptr,
    nullptr,
    nullptr,  // host-owned links
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

namespace {
// Constant, so that no code of ours runs before the entry point.
constexpr FilterStages kBuildStages = {notchFilter, dcAverageFilter, variant::FilterFull, variant::runSpectrumDisplay};
}  // namespace

FilterStages filterStages = kBuildStages;

FilterStages buildFilterStages()
{
    return kBuildStages;
}

int VDCALL filterRun(const FilterActivation *fa, const FilterFunctions *)
{
    // Every setting is read afresh for each frame.
    if (filterSettings.displaySpectrum == 1)
        return filterStages.display(frameViewOf(*fa->src), frameViewOf(*fa->dst), filterSettings.harmonicsNumber);
    runFilterChain(*fa->src, *fa->dst, filterSettings);
    return 0;
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
    if (!takeStartGuard(fa))
        return -1;
    const int w = fa && fa->src ? fa->src->w : 0;
    const int built16 = buildTrigTables16(w, w, kTableAngleForm);
    const int built32 = buildTrigTables32(w, w, kTableAngleForm);  // even when the first failed
    return built16 == 0 && built32 == 0 ? 0 : -1;
}

int VDCALL filterEnd(FilterActivation *fa, const FilterFunctions *)
{
    if (!releaseStartGuard(fa))
        return 0;  // the tables belong to the run still under way
    freeTrigTables32();
    freeTrigTables16();
    return 0;
}

#include "host/tone_module.h"

#include "host/module_id.h"
#include "host/tone_dialog.h"

static_assert(ZELT_MODULE == ZELT_MODULE_ZELT_TONE, "the tone callbacks belong to zelt_tone");

FilterDefinition filterDefinition = {
    nullptr,
    nullptr,
    nullptr,  // host-owned links
    ZELT_TONE_FILTER_NAME,
    ZELT_TONE_FILTER_DESC,
    "Brantwick",
    nullptr,  // private_data
    0,        // inst_data_size: all state is process-wide
    nullptr,  // initProc
    nullptr,  // deinitProc
    toneRun,
    nullptr,  // paramProc
    toneConfigure,
    nullptr,  // stringProc
    toneStart,
    toneEnd,
    nullptr,  // script_obj
    nullptr,  // fssProc
};

ToneState toneState;

void runToneRemoval(const VFBitmap &src, const VFBitmap &dst, const ToneSettings &settings)
{
    const FrameView in = frameViewOf(src), out = frameViewOf(dst);
    if (!in.data || !out.data || in.w != out.w || in.h != out.h) {
        copySourceToDestination(src, dst);
        return;
    }
    const ToneList tones = estimateTones(in, &toneState, settings);
    // The stage leaves the destination untouched when it cannot get its
    // working memory: the frame then passes unchanged.
    if (removeTones(in, out, tones, settings) != 0)
        copySourceToDestination(src, dst);
}

int VDCALL toneRun(const FilterActivation *fa, const FilterFunctions *)
{
    // Every setting is read afresh for each frame.
    runToneRemoval(*fa->src, *fa->dst, toneStageSettings(toneFilterSettings));
    return 0;
}

int VDCALL toneStart(FilterActivation *fa, const FilterFunctions *)
{
    if (!takeStartGuard(fa))
        return -1;
    toneStateReset(&toneState);
    return 0;
}

int VDCALL toneEnd(FilterActivation *fa, const FilterFunctions *)
{
    releaseStartGuard(fa);  // the tone state is a plain record: nothing to free
    return 0;
}

// A module that misbehaves on purpose, to exercise quorvel's error paths:
// STUB_REFUSE makes registration fail, STUB_FAIL_START makes every start fail,
// STUB_FAIL_RUN fails on the second frame, STUB_SLOW takes 20 ms a frame (and
// leaves the output as it was) so that a run lasts long enough to interrupt.
#include <time.h>

#include "abi/vdfilter.h"

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

[[maybe_unused]] int framesRun = 0;

int run(const FilterActivation *, const FilterFunctions *)
{
#if defined(STUB_FAIL_RUN)
    return ++framesRun == 2 ? 1 : 0;
#elif defined(STUB_SLOW)
    const timespec pause = {0, 20 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    return 0;
#else
    return 0;
#endif
}

int start(FilterActivation *, const FilterFunctions *)
{
#if defined(STUB_FAIL_RUN) || defined(STUB_SLOW)
    return 0;
#else
    return -1;
#endif
}

int end(FilterActivation *, const FilterFunctions *)
{
    return 0;
}

[[maybe_unused]] FilterDefinition definition = {nullptr, nullptr, nullptr, "stub", "always fails", "tests", nullptr,
                                                0,       nullptr, nullptr, run,    nullptr,        nullptr, nullptr,
                                                start,   end,     nullptr, nullptr};
FilterDefinition *handle = nullptr;

}  // namespace

STUB_EXPORT int VirtualdubFilterModuleInit2(FilterModule *fm, const FilterFunctions *ff, int *version,
                                            int *compatibility)
{
#ifdef STUB_REFUSE
    (void)fm;
    (void)ff;
    (void)version;
    (void)compatibility;
    return 1;
#else
    handle = ff->addFilter(fm, &definition, (int)sizeof(FilterDefinition));
    if (!handle)
        return 1;
    *version = VD_FILTER_VERSION;
    *compatibility = VD_FILTER_COMPATIBILITY;
    return 0;
#endif
}

STUB_EXPORT void VirtualdubFilterModuleDeinit(FilterModule *, const FilterFunctions *ff)
{
    if (handle)
        ff->removeFilter(handle);
    handle = nullptr;
}

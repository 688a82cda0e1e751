#include "engine/x86/dsp_x86.h"

void engineDspInitX86(EngineDsp *dsp, CpuLevel level)
{
    (void)dsp;
    if (level < CPU_MMX)
        return;
    // Variants arrive here in ascending order.
}

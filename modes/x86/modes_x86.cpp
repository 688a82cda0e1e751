#include "modes/x86/modes_x86.h"

void modesDspInitX86(ModesDsp *dsp, CpuLevel level)
{
    (void)dsp;
    if (level < CPU_SSE2)
        return;
}

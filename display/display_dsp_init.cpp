// The display's dispatch table: the reference first, then each instruction
// set in ascending order, stopping at the first the CPU (or the cap) lacks.
#include "display/display_dsp.h"
#include "display/x86/display_dsp_x86.h"

CpuLevel displayDspInit(DisplayDsp *dsp, CpuLevel cap)
{
    dsp->convertRowToYuv = convert_row_to_yuv_c;
    const CpuLevel have = cpuDetect();
    const CpuLevel level = cap < have ? cap : have;
    displayDspInitX86(dsp, level);
    return level;
}

static LazyDspTable<DisplayDsp> processDsp = {displayDspInit, {}, 0};

const DisplayDsp &displayDsp()
{
    return processDsp.get();
}

void convertRowToYuv(const uint32_t *src, uint32_t *dst, int w)
{
    displayDsp().convertRowToYuv(src, dst, w);
}

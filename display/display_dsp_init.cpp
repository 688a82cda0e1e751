// The display's dispatch table: the reference first, then each instruction
// set in ascending order, stopping at the first the CPU (or the cap) lacks.
#include "display/display_dsp.h"

CpuLevel displayDspInit(DisplayDsp *dsp, CpuLevel cap)
{
    dsp->convertRowToYuv = convert_row_to_yuv_c;
    const CpuLevel have = cpuDetect();
    const CpuLevel level = cap < have ? cap : have;
#if defined(__i386__) || defined(__x86_64__)
    if (level < CPU_MMX)
        return level;
#if !defined(ZELT_NO_MMX)  // set by builds whose host does not expect the MMX state touched
    dsp->convertRowToYuv = convert_row_to_yuv_mmx;
#endif
    if (level < CPU_SSE2)
        return level;
    dsp->convertRowToYuv = convert_row_to_yuv_sse2;
#if defined(ZELT_DISPLAY_AVX2)
    if (level < CPU_AVX2)
        return level;
    dsp->convertRowToYuv = convert_row_to_yuv_avx2;
#endif
#endif
    return level;
}

static DisplayDsp processDsp;
static bool processDspReady = false;

const DisplayDsp &displayDsp()
{
    if (!processDspReady) {
        displayDspInit(&processDsp, cpuCapFromEnv());
        processDspReady = true;
    }
    return processDsp;
}

CpuLevel displayDspSetCap(CpuLevel cap)
{
    const CpuLevel level = displayDspInit(&processDsp, cap);
    processDspReady = true;
    return level;
}

int convertRowToYuv(const uint32_t *src, uint32_t *dst, int w)
{
    displayDsp().convertRowToYuv(src, dst, w);
    return 0;
}

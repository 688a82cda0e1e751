// Variants in ascending order; each step returns when the level runs out.
#include "display/x86/display_dsp_x86.h"

void displayDspInitX86(DisplayDsp *dsp, CpuLevel level)
{
    if (level < CPU_MMX)
        return;
    dsp->convertRowToYuv = convert_row_to_yuv_mmx;

    if (level < CPU_SSE2)
        return;
    dsp->convertRowToYuv = convert_row_to_yuv_sse2;

#if ZELT_HAVE_AVX_KERNELS
    if (level < CPU_AVX2)
        return;
    dsp->convertRowToYuv = convert_row_to_yuv_avx2;
#endif
}

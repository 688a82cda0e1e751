// Variants in ascending order; each step returns when the level runs out.
// There is no MMX variant: every CPU with MMX but no SSE2 predates the
// hosts this runs in, and the scalar reference serves it.
#include "modes/x86/modes_x86.h"

void modesDspInitX86(ModesDsp *dsp, CpuLevel level)
{
    if (level < CPU_SSE2)
        return;
    dsp->addComponent = add_component_sse2;
    dsp->dcShiftRow = dc_shift_row_sse2;
#if ZELT_HAVE_AVX_KERNELS
    if (level < CPU_AVX2)
        return;
    dsp->addComponent = add_component_avx2;
    dsp->dcShiftRow = dc_shift_row_avx2;

    if (level < CPU_AVX512)
        return;
    dsp->addComponents = add_components_avx512;
    dsp->scaleRecords = scale_records_avx512;
    dsp->weightedPower = weighted_power_avx512;
#endif
}

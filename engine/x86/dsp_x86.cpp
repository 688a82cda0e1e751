// The x86 entries of the dispatch table, in ascending order of instruction
// set; each level returns early when the CPU (or the cap) stops there.
#include "engine/x86/dsp_x86.h"

void engineDspInitX86(EngineDsp *dsp, CpuLevel level)
{
    if (level < CPU_MMX)
        return;
    dsp->unpackRow = unpack_row_mmx;
    dsp->packRow = pack_row_mmx;
    dsp->analyseRow = analyse_row_mmx;
    dsp->synthesiseRow = synthesise_row_mmx;
    dsp->correlateRow = correlate_row_mmx;

    if (level < CPU_SSE2)
        return;
    dsp->unpackRow = unpack_row_sse2;
    dsp->packRow = pack_row_sse2;
    dsp->analyseRow = analyse_row_sse2;
    dsp->synthesiseRow = synthesise_row_sse2;
    dsp->correlateRow = correlate_row_sse2;

#if ZELT_HAVE_AVX_KERNELS
    if (level < CPU_AVX2)
        return;
    dsp->unpackRow = unpack_row_avx2;
    dsp->packRow = pack_row_avx2;
    dsp->analyseRow = analyse_row_avx2;
    dsp->synthesiseRow = synthesise_row_avx2;
    dsp->correlateRow = correlate_row_avx2;

    if (level < CPU_AVX512)
        return;
    dsp->analyseRow = analyse_row_avx512;
    dsp->synthesiseRow = synthesise_row_avx512;
    dsp->correlateRow = correlate_row_avx512;
#endif
}

// The x86 entries of the dispatch table, in ascending order of instruction
// set; each level returns early when the CPU (or the cap) stops there.
#include "engine/x86/dsp_x86.h"

namespace {

// The whole-frame forms of a level without kernels of their own: its row
// kernels, row after row, as the references do it.
template <analyse_row_fn analyseRow>
void analyseRowsWith(const int16_t *planar, ptrdiff_t planarStride, int rows, int count, int w, HarmonicCoeffs *out,
                     ptrdiff_t outStride, const Tables16View *tables)
{
    if (count <= 0)
        return;
    for (int r = 0; r < rows; r++)
        analyseRow(planar + r * planarStride, 0, count, w, out + r * outStride, tables->sin16, tables->cos16,
                   tables->n);
}

template <synthesise_row_fn synthesiseRow, pack_row_fn packRow>
void synthesiseRowsWith(const HarmonicCoeffs *coeffs, ptrdiff_t coeffStride, int rows, int count, int w, uint32_t *dst,
                        ptrdiff_t pitch, int32_t *work, const Tables16View *tables)
{
    for (int r = 0; r < rows; r++) {
        synthesiseRow(work, count, w, coeffs + r * coeffStride, tables->sin16, tables->cos16, tables->n);
        packRow((const int16_t *)work, (uint32_t *)((uint8_t *)dst + r * pitch), w);
    }
}

}  // namespace

void engineDspInitX86(EngineDsp *dsp, CpuLevel level)
{
    if (level < CPU_MMX)
        return;
#if !defined(ZELT_NO_MMX)  // set by builds whose host does not expect the MMX state touched
    dsp->unpackRow = unpack_row_mmx;
    dsp->packRow = pack_row_mmx;
    dsp->analyseRow = analyse_row_mmx;
    dsp->synthesiseRow = synthesise_row_mmx;
    dsp->correlateRow = correlate_row_mmx;
    dsp->analyseRows = analyseRowsWith<analyse_row_mmx>;
    dsp->synthesiseRows = synthesiseRowsWith<synthesise_row_mmx, pack_row_mmx>;
#endif

    if (level < CPU_SSE2)
        return;
    dsp->unpackRow = unpack_row_sse2;
    dsp->packRow = pack_row_sse2;
    dsp->analyseRow = analyse_row_sse2;
    dsp->synthesiseRow = synthesise_row_sse2;
    dsp->correlateRow = correlate_row_sse2;
    dsp->analyseRows = analyseRowsWith<analyse_row_sse2>;
    dsp->synthesiseRows = synthesiseRowsWith<synthesise_row_sse2, pack_row_sse2>;

#if ZELT_HAVE_AVX_KERNELS
    if (level < CPU_AVX2)
        return;
    dsp->unpackRow = unpack_row_avx2;
    dsp->packRow = pack_row_avx2;
    dsp->analyseRow = analyse_row_avx2;
    dsp->synthesiseRow = synthesise_row_avx2;
    dsp->correlateRow = correlate_row_avx2;
    dsp->analyseRows = analyseRowsWith<analyse_row_avx2>;
    dsp->synthesiseRows = synthesiseRowsWith<synthesise_row_avx2, pack_row_avx2>;

    if (level < CPU_AVX512)
        return;
    dsp->analyseRow = analyse_row_avx512;
    dsp->synthesiseRow = synthesise_row_avx512;
    dsp->correlateRow = correlate_row_avx512;
    dsp->analyseRows = analyse_rows_avx512;
    dsp->synthesiseRows = synthesise_rows_avx512;
#endif
}

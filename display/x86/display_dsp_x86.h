// x86 variants of the display's kernels, one file per instruction set.
#pragma once

#include "display/display_dsp.h"

// Overwrite the entries of `dsp` with the variants up to `level`.
void displayDspInitX86(DisplayDsp *dsp, CpuLevel level);

void convert_row_to_yuv_mmx(const uint32_t *src, uint32_t *dst, int w);
void convert_row_to_yuv_sse2(const uint32_t *src, uint32_t *dst, int w);
#if ZELT_HAVE_AVX_KERNELS
void convert_row_to_yuv_avx2(const uint32_t *src, uint32_t *dst, int w);
#endif

// x86 variants of the modes' kernels, one file per instruction set.
#pragma once

#include "modes/modes_dsp.h"

// Overwrite the entries of `dsp` with the variants up to `level`.
void modesDspInitX86(ModesDsp *dsp, CpuLevel level);

void add_component_sse2(uint32_t *row, int w, const HarmonicCoeffs *coeffs, const int32_t *sinRow,
                        const int32_t *cosRow);
void dc_shift_row_sse2(uint32_t *row, int w, int deltaRed, int deltaGreen, int deltaBlue);
#if ZELT_HAVE_AVX_KERNELS
void add_component_avx2(uint32_t *row, int w, const HarmonicCoeffs *coeffs, const int32_t *sinRow,
                        const int32_t *cosRow);
void dc_shift_row_avx2(uint32_t *row, int w, int deltaRed, int deltaGreen, int deltaBlue);
void add_components_avx512(uint32_t *row, int w, const HarmonicCoeffs *coeffs, int count, const int32_t *sinRows,
                           const int32_t *cosRows, ptrdiff_t stride);
void weighted_power_avx512(const HarmonicCoeffs *rows, ptrdiff_t stride, int nrows, int count, int64_t *power);
void scale_records_avx512(const HarmonicCoeffs *in, HarmonicCoeffs *out, ptrdiff_t stride, int rows, int count,
                          const float *gains);
#endif

// x86 variants of the engine kernels. Each instruction set lives in its own
// file (engine/x86/<reference>_<isa>.cpp), compiled with that set's flags
// only. The AVX2 and AVX-512 forms exist in 64-bit builds only; the 32-bit
// modules use MMX and SSE2.
#pragma once

#include "engine/dsp.h"

// Overwrite the entries of `dsp` with the variants up to `level`.
void engineDspInitX86(EngineDsp *dsp, CpuLevel level);

void unpack_row_mmx(const uint32_t *src, int16_t *planar, int w);
void unpack_row_sse2(const uint32_t *src, int16_t *planar, int w);
void pack_row_mmx(const int16_t *planar, uint32_t *dst, int w);
void pack_row_sse2(const int16_t *planar, uint32_t *dst, int w);
void analyse_row_mmx(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                     const int16_t *cos16, int stride);
void analyse_row_sse2(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                      const int16_t *cos16, int stride);
void synthesise_row_mmx(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                        const int16_t *cos16, int stride);
void synthesise_row_sse2(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                         const int16_t *cos16, int stride);
void correlate_row_mmx(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32,
                       const int32_t *cos32, int stride);
void correlate_row_sse2(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32,
                        const int32_t *cos32, int stride);

#if ZELT_HAVE_AVX_KERNELS
void unpack_row_avx2(const uint32_t *src, int16_t *planar, int w);
void pack_row_avx2(const int16_t *planar, uint32_t *dst, int w);
void analyse_row_avx2(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                      const int16_t *cos16, int stride);
void analyse_row_avx512(const int16_t *planar, int first, int end, int w, HarmonicCoeffs *out, const int16_t *sin16,
                        const int16_t *cos16, int stride);
void synthesise_row_avx2(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                         const int16_t *cos16, int stride);
void synthesise_row_avx512(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs, const int16_t *sin16,
                           const int16_t *cos16, int stride);
void correlate_row_avx2(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32,
                        const int32_t *cos32, int stride);
void correlate_row_avx512(const uint32_t *row, int w, HarmonicCoeffs *out, int h, const int32_t *sin32,
                          const int32_t *cos32, int stride);
void analyse_rows_avx512(const int16_t *planar, ptrdiff_t planarStride, int rows, int count, int w, HarmonicCoeffs *out,
                         ptrdiff_t outStride, const Tables16View *tables);
void synthesise_rows_avx512(const HarmonicCoeffs *coeffs, ptrdiff_t coeffStride, int rows, int count, int w,
                            uint32_t *dst, ptrdiff_t pitch, int32_t *work, const Tables16View *tables);
#endif

// Below AVX-512 the whole-frame forms are the row kernels of the level, row
// after row (dsp_x86.cpp).

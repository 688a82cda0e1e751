// Per-sample kernels of the tone remover and the table of their
// implementations, on the pattern of modes/modes_dsp.h: one typedef per
// signature, the scalar reference (*_c) is the definition, every variant
// gives bit-identical results for every input.
//
// Fixed-point budget
//   planes      samples 0..255 in int16, planes blue, green, red, w apart
//   basis       int16, |entry| <= 16384
//   products    summed in int32 over blocks of at most 256 samples
//               (|block| <= 256 x 255 x 16384 < 2^30), blocks in int64: exact
//   toneSum     int16 coefficients x basis pairs in int32; the caller keeps
//               |bias| + sum |coefficient| x 16384 below 2^30, so it is exact
//   subtract    x - ((acc + 2^(shift-1)) >> shift), arithmetic shift, 1 <= shift
//               <= 30, clamped to 0..255
#pragma once

#include <stdint.h>

#include "engine/dsp.h"

// Bytes 0, 1, 2 of pixels 0..w-1 into planes 0, 1, 2.
typedef void (*tone_unpack_fn)(const uint32_t *row, int16_t *planar, int w);
// p[0] = sum of x[j]; p[1 + b] = sum of x[j] x basis[b x w + j], b < nb.
typedef void (*tone_inner_fn)(const int16_t *x, int w, const int16_t *basis, int nb, int64_t *p);
// acc[j] = bias + sum over t < nt of coef[2t] x pairs[t][2j] + coef[2t+1] x
// pairs[t][2j+1], tone t's pairs at pairs + t x 2w.
typedef void (*tone_sum_fn)(int32_t *acc, int w, const int16_t *pairs, int nt, const int16_t *coef, int32_t bias);
// x[j] = clamp(x[j] - ((acc[j] + 2^(shift-1)) >> shift), 0, 255).
typedef void (*tone_subtract_fn)(int16_t *x, const int32_t *acc, int w, int shift);
// Pixels from planes 0, 1, 2 (samples 0..255) and byte 3 of src (dst may
// be src).
typedef void (*tone_pack_fn)(const int16_t *planar, const uint32_t *src, uint32_t *dst, int w);
// *re = sum of y[j] x cs[j], *im = -(sum of y[j] x sn[j]) over j < n, in
// doubles: eight partial sums (sample j goes to sum j mod 8, the last n mod 8
// samples to sum 0), each product rounded before it is added, combined as
// ((s0 + s1) + (s2 + s3)) + ((s4 + s5) + (s6 + s7)). Every variant keeps
// exactly this order; eight sums keep the vector adds' latency hidden.
typedef void (*tone_evaluate_fn)(const double *y, const double *cs, const double *sn, int n, double *re, double *im);
// One radix-2 pass of toneFft over n points in blocks of 2 x half: for each
// block's a = i + k, b = a + half (k < half), x = (re[b] wr[k] - im[b] wi[k],
// re[b] wi[k] + im[b] wr[k]), then b = a - x, a = a + x. Each lane does the
// same operations in the same order, so every variant rounds alike.
typedef void (*tone_butterflies_fn)(double *re, double *im, int n, int half, const double *wr, const double *wi);

struct ToneKernels {
    tone_unpack_fn unpackPlanes;
    tone_inner_fn innerProducts;
    tone_sum_fn toneSum;
    tone_subtract_fn subtractPlane;
    tone_pack_fn packPlanes;
    tone_evaluate_fn evaluate;
    tone_butterflies_fn butterflies;
};

CpuLevel toneKernelsInit(ToneKernels *k, CpuLevel cap);
// The process-wide table, at dspCpuLevel() like every other table.
const ToneKernels &toneKernels();

void tone_unpack_c(const uint32_t *row, int16_t *planar, int w);
void tone_inner_c(const int16_t *x, int w, const int16_t *basis, int nb, int64_t *p);
void tone_sum_c(int32_t *acc, int w, const int16_t *pairs, int nt, const int16_t *coef, int32_t bias);
void tone_subtract_c(int16_t *x, const int32_t *acc, int w, int shift);
void tone_pack_c(const int16_t *planar, const uint32_t *src, uint32_t *dst, int w);
void tone_evaluate_c(const double *y, const double *cs, const double *sn, int n, double *re, double *im);
void tone_butterflies_c(double *re, double *im, int n, int half, const double *wr, const double *wi);

void tone_inner_sse2(const int16_t *x, int w, const int16_t *basis, int nb, int64_t *p);
void tone_sum_sse2(int32_t *acc, int w, const int16_t *pairs, int nt, const int16_t *coef, int32_t bias);
void tone_subtract_sse2(int16_t *x, const int32_t *acc, int w, int shift);
void tone_unpack_sse2(const uint32_t *row, int16_t *planar, int w);
void tone_pack_sse2(const int16_t *planar, const uint32_t *src, uint32_t *dst, int w);
void tone_evaluate_sse2(const double *y, const double *cs, const double *sn, int n, double *re, double *im);
void tone_evaluate_avx2(const double *y, const double *cs, const double *sn, int n, double *re, double *im);
void tone_butterflies_sse2(double *re, double *im, int n, int half, const double *wr, const double *wi);
void tone_butterflies_avx2(double *re, double *im, int n, int half, const double *wr, const double *wi);

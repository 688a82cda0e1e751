// Per-pixel kernels of the correction modes and the table of their
// implementations, on the pattern of engine/dsp.h: one typedef per signature,
// the scalar reference (*_c) is the definition, every variant gives
// bit-identical bytes for every input.
//
// Fixed-point budget
//   addComponent  coefficients are 256 x an amplitude (|c| <= 130,560 from
//                 correlateRow), table entries 256 x sin/cos (|e| <= 256):
//                 c x e + s x e' is exact in int32 for such inputs (and wraps
//                 for larger ones); >> 16 is arithmetic (floor); each byte is
//                 clamped to 0..255 per harmonic.
//   dcShiftRow    delta is -255..255; v + d < 0 gives 0, v + d > 255 keeps v.
//   Byte 3 of every pixel is never touched.
//   weightedPower squares and sums in int64, the weighting in double in the
//                 order (0.586 G + 0.298 R) + 0.116 B + power, truncated and
//                 saturated to int64.
//   scaleRecords  field x gain formed in double (exact: a 32-bit integer times
//                 a float), truncated toward zero, saturated to int32.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/coeffs.h"
#include "engine/dsp.h"

// Adds the component (cosinePart x cosRow[j] + sinePart x sinRow[j]) >> 16 to
// bytes 2, 1, 0 (red, green, blue) of pixels 0..w-1.
typedef void (*add_component_fn)(uint32_t *row, int w, const HarmonicCoeffs *coeffs, const int32_t *sinRow,
                                 const int32_t *cosRow);
// addComponent for harmonics 0..count-1 in ascending order, harmonic k with
// coeffs[k] and the table rows at sinRows + k x stride, cosRows + k x stride;
// each byte is clamped after every harmonic.
typedef void (*add_components_fn)(uint32_t *row, int w, const HarmonicCoeffs *coeffs, int count, const int32_t *sinRows,
                                  const int32_t *cosRows, ptrdiff_t stride);
// Moves bytes 2, 1, 0 of pixels 0..w-1 by the three deltas.
typedef void (*dc_shift_row_fn)(uint32_t *row, int w, int deltaRed, int deltaGreen, int deltaBlue);

// Every field of records 0..count-1 of `rows` rows (row r at in + r x
// stride, out + r x stride) times its harmonic's gain: out field =
// trunc(field x gains[k]), saturated to int32. A gain of 1.0 copies.
typedef void (*scale_records_fn)(const HarmonicCoeffs *in, HarmonicCoeffs *out, ptrdiff_t stride, int rows, int count,
                                 const float *gains);

// The weighted power of rows 0..nrows-1 (row r at rows + r x stride), in
// row order: power[k] = trunc((0.586 G + 0.298 R) + 0.116 B + power[k]) for
// k < count, G, R, B the squared magnitudes of record k's channels.
typedef void (*weighted_power_fn)(const HarmonicCoeffs *rows, ptrdiff_t stride, int nrows, int count, int64_t *power);

struct ModesDsp {
    add_component_fn addComponent;
    add_components_fn addComponents;
    dc_shift_row_fn dcShiftRow;
    scale_records_fn scaleRecords;
    weighted_power_fn weightedPower;
};

// Fill `dsp` with the references, then the best variants up to
// min(cap, cpuDetect()). Returns the level used.
CpuLevel modesDspInit(ModesDsp *dsp, CpuLevel cap);
// The process-wide table, at dspCpuLevel() (engine/dsp.h).
const ModesDsp &modesDsp();

void add_component_c(uint32_t *row, int w, const HarmonicCoeffs *coeffs, const int32_t *sinRow, const int32_t *cosRow);
void add_components_c(uint32_t *row, int w, const HarmonicCoeffs *coeffs, int count, const int32_t *sinRows,
                      const int32_t *cosRows, ptrdiff_t stride);
void dc_shift_row_c(uint32_t *row, int w, int deltaRed, int deltaGreen, int deltaBlue);
void weighted_power_c(const HarmonicCoeffs *rows, ptrdiff_t stride, int nrows, int count, int64_t *power);
void scale_records_c(const HarmonicCoeffs *in, HarmonicCoeffs *out, ptrdiff_t stride, int rows, int count,
                     const float *gains);

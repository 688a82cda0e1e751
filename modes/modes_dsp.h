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
#pragma once

#include <stdint.h>

#include "engine/coeffs.h"
#include "engine/dsp.h"

// Adds the component (cosinePart x cosRow[j] + sinePart x sinRow[j]) >> 16 to
// bytes 2, 1, 0 (red, green, blue) of pixels 0..w-1.
typedef void (*add_component_fn)(uint32_t *row, int w, const HarmonicCoeffs *coeffs, const int32_t *sinRow,
                                 const int32_t *cosRow);
// Moves bytes 2, 1, 0 of pixels 0..w-1 by the three deltas.
typedef void (*dc_shift_row_fn)(uint32_t *row, int w, int deltaRed, int deltaGreen, int deltaBlue);

struct ModesDsp {
    add_component_fn addComponent;
    dc_shift_row_fn dcShiftRow;
};

// Fill `dsp` with the references, then the best variants up to
// min(cap, cpuDetect()). Returns the level used.
CpuLevel modesDspInit(ModesDsp *dsp, CpuLevel cap);
// The process-wide table, filled on first use with the environment's cap
// (ZELT_CPU, as the engine's).
const ModesDsp &modesDsp();
// Refill the process-wide table with a new cap (tests, benchmarks, hosts).
CpuLevel modesDspSetCap(CpuLevel cap);

void add_component_c(uint32_t *row, int w, const HarmonicCoeffs *coeffs, const int32_t *sinRow,
                     const int32_t *cosRow);
void dc_shift_row_c(uint32_t *row, int w, int deltaRed, int deltaGreen, int deltaBlue);

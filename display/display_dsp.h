// Kernels of the spectrum display and the table of their implementations,
// built like the engine's (engine/dsp.h): one typedef per signature, the
// scalar reference first, then the variants in ascending instruction-set
// order, capped by the same CPU levels.
//
// Colour conversion, fixed point in units of 1/32768:
//
//          R       G       B      added
//   Y    9765   19202    3801     16384    (weights 0.298 0.586 0.116; sum 32768)
//   V   16384  -13697   -2687   4210688    (128.5 x 32768; weights sum to 0)
//   U   -5538  -10846   16384   4210688
//
// Every product is 16 x 16 bits; every sum is positive and below 2^24, so
// 32-bit lanes never wrap and the arithmetic and logical shifts by 15 agree.
// Y stays in 0..255 (at most 255.5 before the shift); U and V lie in 1..256
// and only pure blue / pure red reach 256, which the 0..255 limit takes to
// 255. The intermediate signed 16-bit saturation of the packed forms never
// takes effect. Byte 3 of the input has coefficient 0; byte 3 of the output
// is 0.
#pragma once

#include <stdint.h>

#include "engine/dsp.h"

// Pixels 0 .. 2 x (w >> 1) - 1 of `src` (bytes B, G, R, X) to `dst` (bytes U,
// V, Y, 0). Pairs only: an odd width leaves its last pixel neither read nor
// written, and w < 2 converts nothing. `src` and `dst` do not overlap.
typedef void (*convert_row_to_yuv_fn)(const uint32_t *src, uint32_t *dst, int w);

struct DisplayDsp {
    convert_row_to_yuv_fn convertRowToYuv;
};

// Fill `dsp` with the reference, then overwrite each entry with the best
// variant up to min(cap, cpuDetect()). Returns the level actually used.
CpuLevel displayDspInit(DisplayDsp *dsp, CpuLevel cap);

// The process-wide table, at dspCpuLevel() (engine/dsp.h).
const DisplayDsp &displayDsp();

// The conversion as the display calls it, through the process-wide table.
void convertRowToYuv(const uint32_t *src, uint32_t *dst, int w);

void convert_row_to_yuv_c(const uint32_t *src, uint32_t *dst, int w);

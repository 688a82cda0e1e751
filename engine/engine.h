// The engine operations as the modes and the display call them: the kernels of
// engine/dsp.h through the process-wide dispatch table, over the process-wide
// trigonometric tables. They allocate nothing and check no arguments: callers
// keep harmonic numbers below the table rows, w >= 4 for analysis, w >= 2 for
// synthesis and the buffers at the sizes stated.
#pragma once

#include <stdint.h>

#include "engine/coeffs.h"
#include "engine/dsp.h"
#include "engine/trig_tables.h"

// A row as three planes of int16 samples (blue, green, red), each w long.
typedef int16_t PlanarRow;

void unpackRow(const uint32_t *src, PlanarRow *planar, int w);
void packRow(const PlanarRow *planar, uint32_t *dst, int w);
int analyseRow(const PlanarRow *planar, int count, int w, HarmonicCoeffs *out);
int analyseHarmonic(const PlanarRow *planar, int w, HarmonicCoeffs *out, int b);
int synthesiseRow(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs);
int correlateRow(const uint32_t *row, int w, HarmonicCoeffs *out, int a);

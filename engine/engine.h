// The engine operations as the modes and the display call them: the kernels of
// engine/dsp.h through the process-wide dispatch table, over the process-wide
// trigonometric tables. They allocate nothing and check no arguments: callers
// keep harmonic numbers below the table rows, w >= 4 for analysis, w >= 2 for
// synthesis and the buffers at the sizes stated.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/coeffs.h"
#include "engine/dsp.h"
#include "engine/trig_tables.h"

// A planar row is passed as its first sample: three planes of int16 samples
// (blue, green, red) laid end to end, each w long.

void unpackRow(const uint32_t *src, int16_t *planar, int w);
void packRow(const int16_t *planar, uint32_t *dst, int w);
void analyseRow(const int16_t *planar, int count, int w, HarmonicCoeffs *out);
void analyseHarmonic(const int16_t *planar, int w, HarmonicCoeffs *out, int h);
void synthesiseRow(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs);
void correlateRow(const uint32_t *row, int w, HarmonicCoeffs *out, int h);

// Whole-frame forms (engine/dsp.h): analyseRow of `rows` planar rows, and
// synthesiseRow then packRow of `rows` rows into pixel rows `pitch` bytes
// apart; `work` holds synthesiseRowsWorkBytes(w, count) bytes. Same results
// as the row operations row after row, in a fraction of the time.
void analyseRows(const int16_t *planar, ptrdiff_t planarStride, int rows, int count, int w, HarmonicCoeffs *out,
                 ptrdiff_t outStride);
void synthesiseRows(const HarmonicCoeffs *coeffs, ptrdiff_t coeffStride, int rows, int count, int w, uint32_t *dst,
                    ptrdiff_t pitch, int32_t *work);

// unpackRow then analyseRows for `rows` pixel rows `pitch` bytes apart, with
// `planar` (room for `rows` planar rows, planarStride apart) as the
// unpack buffer. With few harmonics the tables fit the first-level cache, and
// so do four unpacked rows: those are unpacked just before they are analysed
// instead of sending the whole chunk through the second-level cache first.
void analysePixelRows(const uint32_t *src, ptrdiff_t pitch, int rows, int count, int w, int16_t *planar,
                      ptrdiff_t planarStride, HarmonicCoeffs *out, ptrdiff_t outStride);

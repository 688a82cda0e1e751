// The numbered scale under the spectrum plots: column numbers 0, 50, 100, ...
// in an 8 x 8 digit font on memory rows 0..7, tick rows every 50, 10 and 5
// columns on rows 5..14, a solid base line on row 15 and, in zelt_lpf, a grid
// of red lines above it. Only the marks are written; every other pixel keeps
// its value. Every write is clipped to the frame's w x h pixels.
#pragma once

#include <stdint.h>

#include "engine/frame.h"

// White, for digits and ticks in both modules.
const uint32_t scaleColour = 0x00FFFFFF;

// Digit d in bytes 8d .. 8d + 7, line 0 (the top) first; the most significant
// bit is the leftmost pixel. Lines 0 and 7 and the outer columns are blank,
// so digits 8 pixels apart stay separated.
extern const uint8_t digitGlyphs[80];

// Glyph d with its left edge at column x and its bottom line (line 7) on
// memory row y, so that it reads upright in a bottom-up frame. Set bits
// become scaleColour; d outside 0..9 draws nothing.
void drawDigit(int d, int x, int y, const FrameView &f);

namespace zelt_lpf {
// Red (255, 64, 64), for the grid.
const uint32_t gridColour = 0x00FF4040;

// Numbers, ticks, base line, then 13 horizontal grid lines (rows 16 + 40k,
// columns 0..359) and 18 vertical ones (columns 20k, rows 16..519), the grid
// the same whatever the frame size.
void drawGraticule(const FrameView &f);
}  // namespace zelt_lpf

namespace zelt {
// Numbers, ticks and base line; no grid.
void drawGraticule(const FrameView &f);
}  // namespace zelt

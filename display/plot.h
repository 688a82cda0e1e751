// Clipped pixel access for the display's drawing: every write goes through
// the frame's pitch and lands only inside its w x h visible pixels, whatever
// the frame size; padding bytes are never touched (but by clearFrame).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/frame.h"

inline bool plotInside(const FrameView &f, int x, int y)
{
    return x >= 0 && x < f.w && y >= 0 && y < f.h;
}

inline void plotPixel(const FrameView &f, int x, int y, uint32_t colour)
{
    if (plotInside(f, x, y))
        f.row(y)[x] = colour;
}

// All pitch x h bytes to 0 (the whole bitmap, padding included). A pitch
// shorter than a row of pixels is not a bitmap the host hands out; such a
// frame gets its visible pixels cleared row by row instead.
void clearFrame(const FrameView &f);

// Plots stand on memory row 16, just above the scale.
enum { PLOT_BASE_ROW = 16, PLOT_TOP_OFFSET = 560 };

// A bar for value v at column x: rows 16 + j for every whole j with 1 <= j < v
// (nothing unless v > 1), up to the frame's last row.
void plotBar(const FrameView &f, int x, double v, uint32_t colour);

// The row of a value's marker: 16 + v truncated toward zero, limited to
// 16..576. Minus infinity (a zero magnitude or gain) and NaN give row 16
// without converting a non-finite value to an integer.
int plotMarkerRow(double v);

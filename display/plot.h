// Clipped pixel access for the display's drawing: every write goes through
// the frame's pitch and lands only inside its w x h visible pixels, whatever
// the frame size; padding bytes are never touched.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct PlotFrame {
    uint8_t *data;     // memory row 0 (the bottom picture row)
    int w, h;          // visible pixels
    ptrdiff_t pitch;   // bytes from one memory row to the next
};

inline PlotFrame plotFrame(uint32_t *pixels, int h, int w, ptrdiff_t pitch)
{
    return PlotFrame{(uint8_t *)pixels, w, h, pitch};
}

inline bool plotInside(const PlotFrame &f, int x, int y)
{
    return x >= 0 && x < f.w && y >= 0 && y < f.h;
}

inline uint32_t *plotRow(const PlotFrame &f, int y)
{
    return (uint32_t *)(f.data + (ptrdiff_t)y * f.pitch);
}

inline void plotPixel(const PlotFrame &f, int x, int y, uint32_t colour)
{
    if (plotInside(f, x, y))
        plotRow(f, y)[x] = colour;
}

// Plots stand on memory row 16, just above the scale.
enum { PLOT_BASE_ROW = 16, PLOT_TOP_OFFSET = 560 };

// A bar for value v at column x: rows 16 + j for every whole j with 1 <= j < v
// (nothing unless v > 1), up to the frame's last row.
void plotBar(const PlotFrame &f, int x, double v, uint32_t colour);

// The row of a value's marker: 16 + v truncated toward zero, limited to
// 16..576. Minus infinity (a zero magnitude or gain) and NaN give row 16
// without converting a non-finite value to an integer.
int plotMarkerRow(double v);

// Clearing, bars and markers of the spectrum plots.
#include "display/plot.h"

#include <string.h>

void clearFrame(const FrameView &f)
{
    if (f.h <= 0)
        return;
    const ptrdiff_t rowBytes = (ptrdiff_t)(f.w > 0 ? f.w : 0) * 4;
    if (f.pitch >= rowBytes) {
        memset(f.data, 0, (size_t)f.pitch * (size_t)f.h);
        return;
    }
    for (int r = 0; r < f.h; r++)
        memset(f.row(r), 0, (size_t)rowBytes);
}

void plotBar(const FrameView &f, int x, double v, uint32_t colour)
{
    if (!(v > 1.0) || x < 0 || x >= f.w)
        return;
    for (int j = 1; j < v && PLOT_BASE_ROW + j < f.h; j++)
        f.row(PLOT_BASE_ROW + j)[x] = colour;
}

int plotMarkerRow(double v)
{
    if (!(v >= 1.0))
        return PLOT_BASE_ROW;
    if (v >= PLOT_TOP_OFFSET)
        return PLOT_BASE_ROW + PLOT_TOP_OFFSET;
    return PLOT_BASE_ROW + (int)v;
}

// Bars and markers of the spectrum plots.
#include "display/plot.h"

void plotBar(const PlotFrame &f, int x, double v, uint32_t colour)
{
    if (!(v > 1.0) || x < 0 || x >= f.w)
        return;
    for (int j = 1; j < v && PLOT_BASE_ROW + j < f.h; j++)
        plotRow(f, PLOT_BASE_ROW + j)[x] = colour;
}

int plotMarkerRow(double v)
{
    if (!(v >= 1.0))
        return PLOT_BASE_ROW;
    if (v >= PLOT_TOP_OFFSET)
        return PLOT_BASE_ROW + PLOT_TOP_OFFSET;
    return PLOT_BASE_ROW + (int)v;
}

// Spectrum display of zelt: linear bars of one source row's blue spectrum.
#include <math.h>
#include <stdlib.h>

#include "display/display.h"
#include "display/graticule.h"
#include "display/plot.h"
#include "display/working_memory.h"
#include "engine/engine.h"

namespace zelt {

namespace {

const uint32_t barColour = 0xFFFFFF;
// The row shown; shorter sources show their last row.
const int MEASURED_ROW = 50;

}  // namespace

int runSpectrumDisplay(FrameView src, FrameView dst, int harmonics)
{
    const int w = src.w > 0 ? src.w : 0;
    const int row = src.h - 1 < MEASURED_ROW ? src.h - 1 : MEASURED_ROW;

    int n = harmonics;
    n = n < 0 ? 0 : n > w ? w : n;
    if (row < 0)
        n = 0;
    if (n > 0) {
        // Tables built for another width would be read with the wrong stride.
        if (!trigTables.sin32 || !trigTables.cos32 || trigTables.n32 != w)
            return -1;
        if (n > trigTables.rows32)
            n = trigTables.rows32;
    }

    HarmonicCoeffs *coeffs = (HarmonicCoeffs *)displayCalloc(w > 0 ? (size_t)w : 1, sizeof(HarmonicCoeffs));
    if (!coeffs)
        return -1;

    clearFrame(dst);
    drawGraticule(dst);
    for (int k = 0; k < n; k++)
        correlateRow(src.row(row), w, &coeffs[k], k);
    // 256 per grey level of amplitude: the bar's height in rows is the
    // amplitude in grey levels. The power in 64 bits: a bright row's mean
    // squares beyond the 32-bit range.
    for (int k = 0; k < n; k++) {
        const ChannelCoeff &c = coeffs[k].blue;
        const int64_t p = (int64_t)c.sinePart * c.sinePart + (int64_t)c.cosinePart * c.cosinePart;
        plotBar(dst, k, sqrt((double)p) * 0.003906, barColour);
    }

    free(coeffs);
    return 0;
}

}  // namespace zelt

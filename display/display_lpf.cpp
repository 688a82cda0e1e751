// Spectrum display of zelt_lpf: log-scale luma and colour-difference spectra,
// averaged over the frame, with the rejection curve drawn over them.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "display/display.h"
#include "display/display_dsp.h"
#include "display/graticule.h"
#include "display/plot.h"
#include "display/working_memory.h"
#include "engine/engine.h"
#include "modes/rejection_curve.h"

namespace zelt_lpf {

namespace {

const uint32_t barColour = 0x808080, markerColour = 0xFFFFFF, curveColour = 0x00FF00;
// Rows measured and averaged; fewer when the source is shorter.
const int ANALYSED_ROWS = 576;
// Columns where the colour-difference plots start.
const int V_COLUMN = 352, U_COLUMN = 528;

// 160 rows per decade; magnitude 10^(251/160) = 37.05 sits at v = 1, the
// lowest that draws a bar.
inline double plotValue(float magnitude)
{
    return 160.0 * log10((double)magnitude) - 250.0;
}

void plotSpectrum(const FrameView &f, const float *magnitude, int count, int column)
{
    for (int k = 0; k < count; k++) {
        const double v = plotValue(magnitude[k]);
        plotBar(f, column + k, v, barColour);
        plotPixel(f, column + k, plotMarkerRow(v), markerColour);
    }
}

// Power of one channel's harmonic, in 64 bits: a bright row's mean (65280)
// squares beyond the 32-bit range.
inline int64_t power(const ChannelCoeff &c)
{
    return (int64_t)c.sinePart * c.sinePart + (int64_t)c.cosinePart * c.cosinePart;
}

// The sum is stored in single precision; the integer power and the float
// sum both fit a double exactly, so the one rounding is the store's.
inline void accumulate(float *acc, int64_t p)
{
    *acc = (float)((double)*acc + (double)p);
}

// Rows are converted, unpacked and analysed a chunk at a time, so that the
// engine's whole-frame analysis keeps its tables in cache over the chunk.
const int CHUNK_ROWS = 32;

struct WorkingMemory {
    uint32_t *converted;     // w pixels: U, V, Y, 0
    int16_t *planar;         // a chunk of rows, planes U, V, Y
    HarmonicCoeffs *coeffs;  // w records a row; red = Y, green = V, blue = U
    float *acc;              // luma, V, U power accumulators, w each
};

void release(WorkingMemory *m)
{
    free(m->converted);
    free(m->planar);
    free(m->coeffs);
    free(m->acc);
}

bool obtain(WorkingMemory *m, int w)
{
    const size_t n = w > 0 ? (size_t)w : 1;
    m->converted = (uint32_t *)displayCalloc(n, sizeof(uint32_t));
    m->planar = (int16_t *)displayCalloc(3 * n * CHUNK_ROWS, sizeof(int16_t));
    m->coeffs = (HarmonicCoeffs *)displayCalloc(n * CHUNK_ROWS, sizeof(HarmonicCoeffs));
    m->acc = (float *)displayCalloc(3 * n, sizeof(float));
    if (m->converted && m->planar && m->coeffs && m->acc)
        return true;
    release(m);
    return false;
}

}  // namespace

int runSpectrumDisplay(FrameView src, FrameView dst, int harmonics)
{
    const int w = src.w > 0 ? src.w : 0;
    const int rows = src.h < ANALYSED_ROWS ? (src.h > 0 ? src.h : 0) : ANALYSED_ROWS;

    // The working arrays hold w records and the analysis needs w >= 4.
    int n = harmonics;
    n = n < 0 ? 0 : n > w ? w : n;
    if (w < 4)
        n = 0;
    const bool analyse = n > 0 && rows > 0;
    if (analyse) {
        // Tables built for another width would be read with the wrong stride.
        if (!trigTables.sin16 || !trigTables.cos16 || trigTables.n16 != w)
            return -1;
        if (n > trigTables.rows16)
            n = trigTables.rows16;
    }

    WorkingMemory m;
    if (!obtain(&m, w))
        return -1;
    float *luma = m.acc, *chromaV = m.acc + w, *chromaU = m.acc + 2 * w;

    clearFrame(dst);
    drawGraticule(dst);

    if (analyse) {
        const ptrdiff_t planarStride = 3 * (ptrdiff_t)w;
        for (int r0 = 0; r0 < rows; r0 += CHUNK_ROWS) {
            const int nr = rows - r0 < CHUNK_ROWS ? rows - r0 : CHUNK_ROWS;
            for (int r = 0; r < nr; r++) {
                convertRowToYuv(src.row(r0 + r), m.converted, w);
                unpackRow(m.converted, m.planar + r * planarStride, w);
            }
            analyseRows(m.planar, planarStride, nr, n, w, m.coeffs, w);
            // Rows in ascending order: each accumulator adds its rows in turn.
            for (int r = 0; r < nr; r++) {
                const HarmonicCoeffs *c = m.coeffs + (ptrdiff_t)r * w;
                for (int k = 0; k < n; k++) {
                    accumulate(&luma[k], power(c[k].red));
                    accumulate(&chromaV[k], power(c[k].green));
                    accumulate(&chromaU[k], power(c[k].blue));
                }
            }
        }
        // Root mean square over the rows measured.
        const float factor = (float)(1.0 / rows);
        for (int k = 0; k < n; k++) {
            luma[k] = (float)sqrt((double)luma[k] * (double)factor);
            chromaV[k] = (float)sqrt((double)chromaV[k] * (double)factor);
            chromaU[k] = (float)sqrt((double)chromaU[k] * (double)factor);
        }
    }

    // The luma spectrum as the curve reads it; the records the neighbourhood
    // sums reach beyond the measured harmonics hold zero magnitude.
    for (int k = 0; k < w; k++)
        m.coeffs[k] = HarmonicCoeffs{{0, k < n ? (int32_t)luma[k] : 0}, {0, 0}, {0, 0}};
    RejectionCurve curve;
    buildRejectionCurve(m.coeffs, w, n, &curve);

    plotSpectrum(dst, luma, n, 0);
    plotSpectrum(dst, chromaV, n / 2, V_COLUMN);
    plotSpectrum(dst, chromaU, n / 2, U_COLUMN);

    // The scale goes over the spectra, the curve over the scale.
    drawGraticule(dst);
    for (int i = 0; i < n; i++) {
        const double v = 160.0 * log10((double)rejectionGain(&curve, i)) + 400.0;
        plotPixel(dst, i, plotMarkerRow(v), curveColour);
    }

    release(&m);
    return 0;
}

}  // namespace zelt_lpf

// Full processing, curve-weighted: rows 0..h-3 are rebuilt from their first N
// harmonics, each harmonic 1..N-1 scaled by the rejection curve of the frame's
// luma-weighted spectrum. Every row is analysed once; the coefficients wait in
// a store between the two passes.
#include <math.h>
#include <stdint.h>
#include <stdlib.h>

#include "engine/engine.h"
#include "modes/guards.h"
#include "modes/modes.h"
#include "modes/modes_dsp.h"
#include "modes/rejection_curve.h"
#include "modes/weighted_power.h"

namespace zelt_lpf {

namespace {

struct Buffers {
    HarmonicCoeffs *store = nullptr;     // rows x N records, row r's block at r x N
    int64_t *power = nullptr;            // N accumulated weighted powers
    HarmonicCoeffs *spectrum = nullptr;  // N magnitudes in red.cosinePart
    HarmonicCoeffs *scratch = nullptr;   // a chunk of rows' scaled coefficients
    float *gains = nullptr;              // the curve's gain of each harmonic, 1.0 for harmonic 0
    int16_t *planar = nullptr;           // a chunk of unpacked rows
    int32_t *work = nullptr;

    ~Buffers()
    {
        free(store);
        free(power);
        free(spectrum);
        free(scratch);
        free(gains);
        free(planar);
        free(work);
    }
};

// n records of HarmonicCoeffs, or null when the size is not representable.
HarmonicCoeffs *allocRecords(size_t rows, size_t n)
{
    if (n != 0 && rows > SIZE_MAX / sizeof(HarmonicCoeffs) / n)
        return nullptr;
    const size_t bytes = rows * n * sizeof(HarmonicCoeffs);
    return (HarmonicCoeffs *)malloc(bytes ? bytes : 1);
}

}  // namespace

void accumulateWeightedPower(const HarmonicCoeffs *row, int count, int64_t *power)
{
    weighted_power_c(row, 0, 1, count, power);
}

int32_t powerMagnitude(int64_t power)
{
    const double m = sqrt((double)power);
    return m >= 2147483647.0 ? INT32_MAX : (int32_t)m;
}

void FilterFull(FrameView src, FrameView dst, int harmonics)
{
    const int w = src.w, h = src.h;
    // Analysis needs a group of four samples; with h <= 2 no row is rebuilt.
    if (w < 4 || h <= 2)
        return;
    const int n = harmonicsForWidth(harmonics, w);
    if (n < 0 && harmonics > 0)
        return;
    const int count = n > 0 ? n : 0;
    const int rows = h - 2;

    // Rows go through the engine a chunk at a time (see frameChunkRows).
    const int chunk = frameChunkRows(w, rows, count);
    const ptrdiff_t planarStride = 3 * (ptrdiff_t)w;

    Buffers buf;
    buf.store = allocRecords((size_t)rows, (size_t)count);
    buf.power = (int64_t *)calloc((size_t)count + 1, sizeof(int64_t));
    buf.spectrum = allocRecords(1, (size_t)count);
    buf.scratch = allocRecords((size_t)chunk, (size_t)count);
    buf.gains = (float *)malloc(((size_t)count + 1) * sizeof(float));
    buf.planar = (int16_t *)malloc((size_t)chunk * 3 * (size_t)w * sizeof(int16_t));  // unpacked before read
    buf.work = (int32_t *)malloc(synthesiseRowsWorkBytes(w, count));
    if (!buf.store || !buf.power || !buf.spectrum || !buf.scratch || !buf.gains || !buf.planar || !buf.work)
        return;

    // Pass 1: analyse every row once and accumulate the weighted power.
    for (int r0 = 0; r0 < rows; r0 += chunk) {
        const int nr = rows - r0 < chunk ? rows - r0 : chunk;
        HarmonicCoeffs *block = buf.store + (size_t)r0 * count;
        analysePixelRows(src.row(r0), src.pitch, nr, n, w, buf.planar, planarStride, block, count);
        modesDsp().weightedPower(block, count, nr, count, buf.power);
    }
    for (int k = 0; k < count; k++)
        buf.spectrum[k] = HarmonicCoeffs{{0, powerMagnitude(buf.power[k])}, {0, 0}, {0, 0}};

    // Records past N - 1 that the neighbourhood sums reach count as zero.
    RejectionCurve curve;
    buildRejectionCurve(buf.spectrum, count, count, &curve);

    // Pass 2: the mean (harmonic 0) passes unscaled; a gain of 1.0 copies it,
    // so when every gain is 1.0 (always below harmonic 60) the stored rows
    // are synthesised as they are.
    bool allOne = true;
    if (count >= 1)
        buf.gains[0] = 1.0f;
    for (int k = 1; k < count; k++) {
        buf.gains[k] = rejectionGain(&curve, k);
        allOne = allOne && buf.gains[k] == 1.0f;
    }
    for (int r0 = 0; r0 < rows; r0 += chunk) {
        const int nr = rows - r0 < chunk ? rows - r0 : chunk;
        const HarmonicCoeffs *block = buf.store + (size_t)r0 * count;
        if (!allOne) {
            modesDsp().scaleRecords(block, buf.scratch, count, nr, count, buf.gains);
            block = buf.scratch;
        }
        synthesiseRows(block, count, nr, n, w, dst.row(r0), dst.pitch, buf.work);
    }
}

}  // namespace zelt_lpf

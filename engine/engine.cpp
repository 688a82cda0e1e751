// Engine operations over the process-wide tables and dispatch table.
#include "engine/engine.h"

void unpackRow(const uint32_t *src, int16_t *planar, int w)
{
    engineDsp().unpackRow(src, planar, w);
}

void packRow(const int16_t *planar, uint32_t *dst, int w)
{
    engineDsp().packRow(planar, dst, w);
}

void analyseRow(const int16_t *planar, int count, int w, HarmonicCoeffs *out)
{
    if (count > 0)
        engineDsp().analyseRow(planar, 0, count, w, out, trigTables.sin16, trigTables.cos16, trigTables.n16);
}

void analyseHarmonic(const int16_t *planar, int w, HarmonicCoeffs *out, int h)
{
    engineDsp().analyseRow(planar, h, h + 1, w, out, trigTables.sin16, trigTables.cos16, trigTables.n16);
}

void synthesiseRow(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs)
{
    engineDsp().synthesiseRow(work, count, w, coeffs, trigTables.sin16, trigTables.cos16, trigTables.n16);
}

void correlateRow(const uint32_t *row, int w, HarmonicCoeffs *out, int h)
{
    engineDsp().correlateRow(row, w, out, h, trigTables.sin32, trigTables.cos32, trigTables.n32);
}

static Tables16View tables16View()
{
    return Tables16View{trigTables.sin16, trigTables.cos16, trigTables.rows16, trigTables.n16, trigTables.quads16};
}

void analyseRows(const int16_t *planar, ptrdiff_t planarStride, int rows, int count, int w, HarmonicCoeffs *out,
                 ptrdiff_t outStride)
{
    const Tables16View tables = tables16View();
    engineDsp().analyseRows(planar, planarStride, rows, count, w, out, outStride, &tables);
}

void synthesiseRows(const HarmonicCoeffs *coeffs, ptrdiff_t coeffStride, int rows, int count, int w, uint32_t *dst,
                    ptrdiff_t pitch, int32_t *work)
{
    const Tables16View tables = tables16View();
    engineDsp().synthesiseRows(coeffs, coeffStride, rows, count, w, dst, pitch, work, &tables);
}

void analysePixelRows(const uint32_t *src, ptrdiff_t pitch, int rows, int count, int w, int16_t *planar,
                      ptrdiff_t planarStride, HarmonicCoeffs *out, ptrdiff_t outStride)
{
    // Up to four groups of four harmonics take one pass of the analysis over
    // a few rows at a time (see the whole-frame kernels); beyond that the
    // tables are the larger working set and every row of the chunk shares them.
    const int step = count <= 17 ? 4 : rows;
    for (int r0 = 0; r0 < rows; r0 += step) {
        const int r1 = rows - r0 < step ? rows : r0 + step;
        for (int r = r0; r < r1; r++)
            unpackRow((const uint32_t *)((const uint8_t *)src + r * pitch), planar + (r - r0) * planarStride, w);
        analyseRows(planar, planarStride, r1 - r0, count, w, out + r0 * outStride, outStride);
    }
}

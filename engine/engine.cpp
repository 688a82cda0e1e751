// Engine operations over the process-wide tables and dispatch table.
#include "engine/engine.h"

void unpackRow(const uint32_t *src, PlanarRow *planar, int w)
{
    engineDsp().unpackRow(src, planar, w);
}

void packRow(const PlanarRow *planar, uint32_t *dst, int w)
{
    engineDsp().packRow(planar, dst, w);
}

int analyseRow(const PlanarRow *planar, int count, int w, HarmonicCoeffs *out)
{
    if (count > 0)
        engineDsp().analyseRow(planar, 0, count, w, out, trigTables.sin16, trigTables.cos16, trigTables.n16);
    return 0;
}

int analyseHarmonic(const PlanarRow *planar, int w, HarmonicCoeffs *out, int b)
{
    engineDsp().analyseRow(planar, b, b + 1, w, out, trigTables.sin16, trigTables.cos16, trigTables.n16);
    return 0;
}

int synthesiseRow(int32_t *work, int count, int w, const HarmonicCoeffs *coeffs)
{
    engineDsp().synthesiseRow(work, count, w, coeffs, trigTables.sin16, trigTables.cos16, trigTables.n16);
    return 0;
}

int correlateRow(const uint32_t *row, int w, HarmonicCoeffs *out, int a)
{
    engineDsp().correlateRow(row, w, out, a, trigTables.sin32, trigTables.cos32, trigTables.n32);
    return 0;
}

static Tables16View tables16View()
{
    return Tables16View{trigTables.sin16, trigTables.cos16, trigTables.rows16, trigTables.n16, trigTables.quads16};
}

int analyseRows(const PlanarRow *planar, ptrdiff_t planarStride, int rows, int count, int w, HarmonicCoeffs *out,
                ptrdiff_t outStride)
{
    const Tables16View tables = tables16View();
    engineDsp().analyseRows(planar, planarStride, rows, count, w, out, outStride, &tables);
    return 0;
}

int synthesiseRows(const HarmonicCoeffs *coeffs, ptrdiff_t coeffStride, int rows, int count, int w, uint32_t *dst,
                   ptrdiff_t pitch, int32_t *work)
{
    const Tables16View tables = tables16View();
    engineDsp().synthesiseRows(coeffs, coeffStride, rows, count, w, dst, pitch, work, &tables);
    return 0;
}

int analysePixelRows(const uint32_t *src, ptrdiff_t pitch, int rows, int count, int w, PlanarRow *planar,
                     ptrdiff_t planarStride, HarmonicCoeffs *out, ptrdiff_t outStride)
{
    // Up to four groups of four harmonics take one pass of the analysis over
    // a few rows at a time (see the whole-frame kernels); beyond that the
    // tables are the larger working set and every row of the chunk shares them.
    const int step = count <= 17 ? 4 : rows;
    for (int a = 0; a < rows; a += step) {
        const int b = rows - a < step ? rows : a + step;
        for (int r = a; r < b; r++)
            unpackRow((const uint32_t *)((const uint8_t *)src + r * pitch), planar + (r - a) * planarStride, w);
        analyseRows(planar, planarStride, b - a, count, w, out + a * outStride, outStride);
    }
    return 0;
}

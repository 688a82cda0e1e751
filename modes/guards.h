// Guards the stages share: every table read stays inside the tables the
// start callback built, every chunk of rows within the caches, every scaled
// coefficient within 32 bits.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/trig_tables.h"

// The 16-bit pair exists for rows of w samples.
inline bool tables16Fit(int w)
{
    return trigTables.sin16 && trigTables.cos16 && trigTables.n16 == w;
}

// The 32-bit pair exists for rows of w pixels.
inline bool tables32Fit(int w)
{
    return trigTables.sin32 && trigTables.cos32 && trigTables.n32 == w;
}

// The number of harmonics to analyse and synthesise for rows of w pixels:
// the setting, clamped to the table rows that exist. -1 when the setting
// asks for table rows but the tables do not fit the frame (the stage is then
// skipped). Zero or less is passed on as it is: such rows come out black.
inline int harmonicsForWidth(int requested, int w)
{
    if (requested <= 0)
        return requested;
    if (!tables16Fit(w))
        return -1;
    return requested < trigTables.rows16 ? requested : trigTables.rows16;
}

// Rows per pass of the whole-frame engine operations: enough for the tables
// to stay in cache while a chunk of rows passes over them, few enough that
// the chunk's planar rows and coefficients (6 w + 24 count bytes a row) stay
// below a quarter of the frame's own size (4 w h bytes) and within the caches.
inline int frameChunkRows(int w, int h, int count)
{
    const int64_t perRow = 6 * (int64_t)w + 24 * (int64_t)(count > 0 ? count : 0) + 1;
    int64_t rows = (int64_t)w * h / perRow;
    rows = rows < 2 ? 2 : rows > 32 ? 32 : rows;
    return (int)(rows < h ? rows : (h > 0 ? h : 1));
}

// trunc(v x g) with the product in double, saturated to the 32-bit range
// instead of leaving the conversion undefined.
inline int32_t scaleCoefficient(int32_t v, float g)
{
    const double p = (double)v * (double)g;
    if (p >= 2147483647.0)
        return INT32_MAX;
    if (p <= -2147483648.0)
        return INT32_MIN;
    return (int32_t)p;
}

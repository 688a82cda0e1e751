// Host bitmaps as the display reads and clears them.
#pragma once

#include <stdint.h>

#include "abi/vdfilter.h"

// Memory row r, by pitch.
inline const uint32_t *frameRow(const VFBitmap &b, int r)
{
    return (const uint32_t *)((const uint8_t *)b.data + (ptrdiff_t)r * b.pitch);
}

// All pitch x h bytes to 0 (the whole bitmap, padding included). A pitch
// shorter than a row of pixels is not a bitmap the host hands out; such a
// frame gets its visible pixels cleared row by row instead.
void clearFrame(const VFBitmap &b);

// One pixel of the colour conversion (see display_dsp.h for the budget).
// The SIMD variants use it for the pixels that do not fill a whole vector.
// Static so that every file keeps its own copy, compiled with its own flags.
#pragma once

#include <stdint.h>

static inline uint32_t yuvLimit(int32_t v)
{
    return v < 0 ? 0u : v > 255 ? 255u : (uint32_t)v;
}

static inline uint32_t yuvPixel(uint32_t px)
{
    const int32_t b = (int32_t)(px & 0xff), g = (int32_t)(px >> 8 & 0xff), r = (int32_t)(px >> 16 & 0xff);
    const int32_t y = (9765 * r + 19202 * g + 3801 * b + 16384) >> 15;
    const int32_t v = (16384 * r - 13697 * g - 2687 * b + 4210688) >> 15;
    const int32_t u = (-5538 * r - 10846 * g + 16384 * b + 4210688) >> 15;
    return yuvLimit(u) | yuvLimit(v) << 8 | yuvLimit(y) << 16;
}

// Pixels first .. last - 1, one at a time.
static inline void yuvPixels(const uint32_t *src, uint32_t *dst, int first, int last)
{
    for (int k = first; k < last; k++)
        dst[k] = yuvPixel(src[k]);
}

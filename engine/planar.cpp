// Planar row conversion: scalar reference.
#include "engine/dsp.h"

void unpack_row_c(const uint32_t *src, int16_t *planar, int w)
{
    const int pairs = w / 2;
    int16_t *b = planar, *g = planar + w, *r = planar + 2 * w;
    for (int k = 0; k < 2 * pairs; k++) {
        const uint32_t px = src[k];
        b[k] = (int16_t)(px & 0xff);
        g[k] = (int16_t)((px >> 8) & 0xff);
        r[k] = (int16_t)((px >> 16) & 0xff);
    }
}

static inline uint32_t saturateByte(int v)
{
    return v < 0 ? 0u : v > 255 ? 255u : (uint32_t)v;
}

void pack_row_c(const int16_t *planar, uint32_t *dst, int w)
{
    const int pairs = w / 2;
    const int16_t *b = planar, *g = planar + w, *r = planar + 2 * w;
    for (int k = 0; k < 2 * pairs; k++)
        dst[k] = saturateByte(b[k]) | saturateByte(g[k]) << 8 | saturateByte(r[k]) << 16;
}

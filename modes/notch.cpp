// Notch filter: subtracts a band of harmonics, measured on tapered source
// rows, from every destination row.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "engine/engine.h"
#include "modes/guards.h"
#include "modes/modes.h"
#include "modes/modes_dsp.h"

namespace {

inline uint32_t clampByte(int32_t v)
{
    return v < 0 ? 0u : v > 255 ? 255u : (uint32_t)v;
}

// (c x cosine + s x sine) >> 16 in wrapping 32-bit arithmetic, floor shift.
inline int32_t component(int32_t c, int32_t s, int32_t cosine, int32_t sine)
{
    const uint32_t sum = (uint32_t)c * (uint32_t)cosine + (uint32_t)s * (uint32_t)sine;
    return (int32_t)sum >> 16;
}

// Pixel 0 and w-1 lose their colour, 1 and w-2 are halved; byte 3 stays. For
// w = 3 the middle pixel is halved twice, for w = 2 both pixels end at 0; a
// one-pixel row has no second pixel to halve.
void taperRow(uint32_t *px, int w)
{
    const uint32_t keep = 0xff000000u, halfColour = 0x007f7f7fu;
    if (w < 1)
        return;
    px[0] &= keep;
    if (w >= 2)
        px[1] = (px[1] & keep) | ((px[1] >> 1) & halfColour);
    px[w - 1] &= keep;
    if (w >= 2)
        px[w - 2] = (px[w - 2] & keep) | ((px[w - 2] >> 1) & halfColour);
}

// The source's pixels into the destination: one block over every row and its
// padding when both share a pitch (as hosts hand them), else row by row. Never
// past the last row's pixels, which is where a frame may end.
void copyFrame(FrameView src, FrameView dst)
{
    if (src.w <= 0 || src.h <= 0 || !src.data || !dst.data || src.data == dst.data)
        return;
    const size_t rowBytes = 4 * (size_t)src.w;
    if (src.pitch > 0 && src.pitch == dst.pitch) {
        memmove(dst.data, src.data, (size_t)(src.h - 1) * (size_t)src.pitch + rowBytes);
        return;
    }
    for (int r = 0; r < src.h; r++)
        memmove(dst.row(r), src.row(r), rowBytes);
}

}  // namespace

void add_component_c(uint32_t *row, int w, const HarmonicCoeffs *coeffs, const int32_t *sinRow, const int32_t *cosRow)
{
    const int32_t rc = coeffs->red.cosinePart, rs = coeffs->red.sinePart;
    const int32_t gc = coeffs->green.cosinePart, gs = coeffs->green.sinePart;
    const int32_t bc = coeffs->blue.cosinePart, bs = coeffs->blue.sinePart;
    for (int j = 0; j < w; j++) {
        const int32_t s = sinRow[j], c = cosRow[j];
        const uint32_t px = row[j];
        const uint32_t r = clampByte((int32_t)((px >> 16) & 0xff) + component(rc, rs, c, s));
        const uint32_t g = clampByte((int32_t)((px >> 8) & 0xff) + component(gc, gs, c, s));
        const uint32_t b = clampByte((int32_t)(px & 0xff) + component(bc, bs, c, s));
        row[j] = (px & 0xff000000u) | r << 16 | g << 8 | b;
    }
}

void add_components_c(uint32_t *row, int w, const HarmonicCoeffs *coeffs, int count, const int32_t *sinRows,
                      const int32_t *cosRows, ptrdiff_t stride)
{
    for (int k = 0; k < count; k++)
        add_component_c(row, w, &coeffs[k], sinRows + k * stride, cosRows + k * stride);
}

void addComponent(uint32_t *row, int a, int w, HarmonicCoeffs coeffs)
{
    // Only table rows and columns that exist: a within the rows, w within a row.
    if (w <= 0 || a < 0 || !trigTables.sin32 || !trigTables.cos32 || a >= trigTables.rows32 || w > trigTables.n32)
        return;
    const ptrdiff_t base = (ptrdiff_t)a * trigTables.n32;
    modesDsp().addComponent(row, w, &coeffs, trigTables.sin32 + base, trigTables.cos32 + base);
}

int notchFilter(FrameView src, FrameView dst, int32_t minHarmonic, int32_t maxHarmonic)
{
    const int w = src.w, h = src.h;

    // The band minHarmonic <= a < maxHarmonic, clipped to the table rows; 64
    // bits so that no pair of bounds overflows the difference.
    int64_t first = minHarmonic, end = maxHarmonic;
    if (first < 0)
        first = 0;
    if (!tables32Fit(w))
        end = first;
    else if (end > trigTables.rows32)
        end = trigTables.rows32;
    const int bandCount = end > first ? (int)(end - first) : 0;

    // One spare entry, so an empty band still obtains its (empty) gains. The
    // band's records of one row share the block.
    void *block = malloc(((size_t)bandCount + 1) * (sizeof(float) + sizeof(HarmonicCoeffs)));
    if (!block)
        return -1;
    HarmonicCoeffs *records = (HarmonicCoeffs *)block;
    float *bandGains = (float *)(records + bandCount + 1);
    for (int k = 0; k < bandCount; k++)
        bandGains[k] = 1.0f;

    copyFrame(src, dst);
    for (int i = 0; i < h; i++)
        taperRow(src.row(i), w);

    // Every harmonic is measured on the tapered source, never on the partly
    // cleaned destination; the subtractions accumulate with clamping. A row's
    // result depends only on its own source row and on the order of the
    // harmonics, so the rows are taken one at a time: the whole band is
    // measured, then subtracted in ascending order in one pass over the row.
    const ptrdiff_t n = trigTables.n32;
    for (int i = 0; i < h && bandCount > 0; i++) {
        const uint32_t *srcRow = src.row(i);
        for (int k = 0; k < bandCount; k++) {
            HarmonicCoeffs &rec = records[k];
            const float g = bandGains[k];
            correlateRow(srcRow, w, &rec, (int)first + k);
            rec.red = {scaleCoefficient(rec.red.sinePart, -g), scaleCoefficient(rec.red.cosinePart, -g)};
            rec.green = {scaleCoefficient(rec.green.sinePart, -g), scaleCoefficient(rec.green.cosinePart, -g)};
            rec.blue = {scaleCoefficient(rec.blue.sinePart, -g), scaleCoefficient(rec.blue.cosinePart, -g)};
        }
        modesDsp().addComponents(dst.row(i), w, records, bandCount, trigTables.sin32 + first * n,
                                 trigTables.cos32 + first * n, n);
    }
    free(block);
    return 0;
}

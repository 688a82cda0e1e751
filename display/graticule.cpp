// Graticule and digit glyphs.
#include "display/graticule.h"

#include "display/plot.h"

const uint8_t digitGlyphs[80] = {
    0x00, 0x38, 0x4C, 0x54, 0x54, 0x64, 0x38, 0x00,  // 0, with a diagonal stroke
    0x00, 0x10, 0x30, 0x10, 0x10, 0x10, 0x38, 0x00,  // 1
    0x00, 0x38, 0x44, 0x04, 0x18, 0x20, 0x7C, 0x00,  // 2
    0x00, 0x3C, 0x04, 0x1C, 0x04, 0x04, 0x3C, 0x00,  // 3
    0x00, 0x04, 0x0C, 0x14, 0x24, 0x3E, 0x04, 0x00,  // 4
    0x00, 0x3C, 0x20, 0x18, 0x04, 0x24, 0x18, 0x00,  // 5
    0x00, 0x1C, 0x20, 0x38, 0x24, 0x24, 0x18, 0x00,  // 6
    0x00, 0x7C, 0x04, 0x08, 0x10, 0x20, 0x40, 0x00,  // 7
    0x00, 0x38, 0x44, 0x38, 0x44, 0x44, 0x38, 0x00,  // 8
    0x00, 0x18, 0x24, 0x24, 0x38, 0x04, 0x1C, 0x00,  // 9
};

void drawDigit(int d, int x, int y, const FrameView &f)
{
    if (d < 0 || d > 9)
        return;
    for (int r = 0; r < 8; r++) {
        const unsigned line = digitGlyphs[8 * d + r];
        for (int k = 0; k < 8; k++)
            if (line >> (7 - k) & 1)
                plotPixel(f, x + k, y + 7 - r, scaleColour);
    }
}

namespace {

// One row of marks every `spacing` columns, from column 0.
void tickRow(const FrameView &f, int y, int spacing)
{
    if (y >= f.h)
        return;
    for (long long x = 0; x < f.w; x += spacing)
        plotPixel(f, (int)x, y, scaleColour);
}

// The numbers along the bottom and the tick rows above them: both modules.
void drawScale(const FrameView &f)
{
    // Each number starts at its own column; the long ticks fall into the blank
    // left column of its first glyph. Wide enough for any int, so wide frames
    // cannot run past the text.
    for (long long v = 0; v < (long long)f.w - 32; v += 50) {
        char text[12];
        int len = 0;
        long long rest = v;
        do {
            text[len++] = (char)('0' + rest % 10);
            rest /= 10;
        } while (rest > 0);
        for (int k = 0; k < len; k++)
            drawDigit(text[len - 1 - k] - '0', (int)(v + 8 * k), 0, f);
    }
    for (int y = 5; y <= 9; y++)
        tickRow(f, y, 50);
    for (int y = 10; y <= 11; y++)
        tickRow(f, y, 10);
    for (int y = 12; y <= 14; y++)
        tickRow(f, y, 5);
    tickRow(f, 15, 1);
}

}  // namespace

namespace zelt_lpf {

void drawGraticule(const FrameView &f)
{
    drawScale(f);
    for (int k = 0; k <= 12; k++)
        for (int x = 0; x < 360; x++)
            plotPixel(f, x, 16 + 40 * k, gridColour);
    for (int k = 0; k <= 17; k++)
        for (int y = 16; y < 520; y++)
            plotPixel(f, 20 * k, y, gridColour);
}

}  // namespace zelt_lpf

namespace zelt {

void drawGraticule(const FrameView &f)
{
    drawScale(f);
}

}  // namespace zelt

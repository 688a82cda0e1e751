// Graticule and digit glyphs: the marks of the scale and the grid, clipped to
// the frame and stepped by pitch.
#include <gtest/gtest.h>

#include <string>

#include "display/graticule.h"
#include "tests/display/display_test_support.h"

namespace {

using display_test::TestFrame;

const uint32_t WHITE = 0x00FFFFFF, RED = 0x00FF4040;

// The glyph rows as published, line 0 (the top) first.
const uint8_t GLYPHS[10][8] = {
    {0x00, 0x38, 0x4C, 0x54, 0x54, 0x64, 0x38, 0x00}, {0x00, 0x10, 0x30, 0x10, 0x10, 0x10, 0x38, 0x00},
    {0x00, 0x38, 0x44, 0x04, 0x18, 0x20, 0x7C, 0x00}, {0x00, 0x3C, 0x04, 0x1C, 0x04, 0x04, 0x3C, 0x00},
    {0x00, 0x04, 0x0C, 0x14, 0x24, 0x3E, 0x04, 0x00}, {0x00, 0x3C, 0x20, 0x18, 0x04, 0x24, 0x18, 0x00},
    {0x00, 0x1C, 0x20, 0x38, 0x24, 0x24, 0x18, 0x00}, {0x00, 0x7C, 0x04, 0x08, 0x10, 0x20, 0x40, 0x00},
    {0x00, 0x38, 0x44, 0x38, 0x44, 0x44, 0x38, 0x00}, {0x00, 0x18, 0x24, 0x24, 0x38, 0x04, 0x1C, 0x00},
};

// The picture the scale should leave, painted mark by mark from the layout
// rules, each mark kept only where it falls inside the frame.
void paintExpected(TestFrame &f, bool grid)
{
    auto put = [&](long long x, long long y, uint32_t c) {
        if (x >= 0 && x < f.w() && y >= 0 && y < f.h())
            f.at((int)x, (int)y) = c;
    };
    for (long long v = 0; v < (long long)f.w() - 32; v += 50) {
        const std::string text = std::to_string(v);
        for (size_t k = 0; k < text.size(); k++)
            for (int r = 0; r < 8; r++)
                for (int c = 0; c < 8; c++)
                    if (GLYPHS[text[k] - '0'][r] & (0x80 >> c))
                        put(v + 8 * (long long)k + c, 7 - r, WHITE);
    }
    for (int x = 0; x < f.w(); x++) {
        for (int y = 5; y <= 9; y++)
            if (x % 50 == 0)
                put(x, y, WHITE);
        for (int y = 10; y <= 11; y++)
            if (x % 10 == 0)
                put(x, y, WHITE);
        for (int y = 12; y <= 14; y++)
            if (x % 5 == 0)
                put(x, y, WHITE);
        put(x, 15, WHITE);
    }
    if (!grid)
        return;
    for (int k = 0; k <= 12; k++)
        for (int x = 0; x < 360; x++)
            put(x, 16 + 40 * k, RED);
    for (int k = 0; k <= 17; k++)
        for (int y = 16; y <= 519; y++)
            put(20 * k, y, RED);
}

// Draws with the module's graticule over a random picture and compares with
// the expected marks over the same picture: untouched pixels must keep their
// values, padding and guards must stay as they were.
void expectGraticule(int w, int h, ptrdiff_t pitch, bool grid)
{
    TestFrame drawn(w, h, pitch);
    drawn.randomise((uint32_t)(w * 7919 + h));
    drawn.fillPadding(0x3C);
    TestFrame want(drawn);
    paintExpected(want, grid);
    const int status = grid ? zelt_lpf::drawGraticule(drawn.row(0), h, w, drawn.pitch())
                            : zelt::drawGraticule(drawn.row(0), h, w, drawn.pitch());
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(drawn.sameBytes(want)) << (grid ? "zelt_lpf" : "zelt") << " w=" << w << " h=" << h
                                       << " pitch=" << pitch;
}

int countColour(const TestFrame &f, int y, uint32_t colour)
{
    int n = 0;
    for (int x = 0; x < f.w(); x++)
        n += f.at(x, y) == colour;
    return n;
}

TEST(DrawDigit, SetBitsOnlyAndUpright)
{
    for (int d = 0; d <= 9; d++) {
        TestFrame f(20, 20);
        f.fill(0x123456);
        drawDigit(d, 5, 3, f.row(0), f.h(), f.w(), f.pitch());
        for (int y = 0; y < 20; y++)
            for (int x = 0; x < 20; x++) {
                // Line r of the glyph lands on row 3 + 7 - r: line 7 at the bottom.
                const int r = 3 + 7 - y, c = x - 5;
                const bool set = r >= 0 && r < 8 && c >= 0 && c < 8 && (GLYPHS[d][r] & (0x80 >> c));
                EXPECT_EQ(f.at(x, y), set ? WHITE : 0x123456u) << "digit " << d << " at " << x << "," << y;
            }
    }
}

TEST(DrawDigit, CellBorderIsBlankAndBadDigitsDrawNothing)
{
    for (int d = 0; d <= 9; d++) {
        EXPECT_EQ(digitGlyphs[8 * d], 0) << d;
        EXPECT_EQ(digitGlyphs[8 * d + 7], 0) << d;
        for (int r = 0; r < 8; r++)
            EXPECT_EQ(digitGlyphs[8 * d + r] & 0x81, 0) << d;
    }
    TestFrame f(16, 16);
    drawDigit(-1, 0, 0, f.row(0), 16, 16, f.pitch());
    drawDigit(10, 0, 0, f.row(0), 16, 16, f.pitch());
    TestFrame blank(16, 16);
    EXPECT_TRUE(f.sameBytes(blank));
}

TEST(DrawDigit, ClippedAtEveryEdge)
{
    for (int x : {-7, -3, 0, 5, 9, 12}) {
        for (int y : {-7, -2, 0, 3, 6, 9}) {
            TestFrame f(12, 10, 12 * 4 + 60);
            f.fillPadding(0x77);
            TestFrame before(f);
            drawDigit(8, x, y, f.row(0), f.h(), f.w(), f.pitch());
            int inside = 0;
            for (int r = 0; r < 8; r++)
                for (int c = 0; c < 8; c++)
                    if ((GLYPHS[8][r] & (0x80 >> c)) && x + c >= 0 && x + c < 12 && y + 7 - r >= 0 && y + 7 - r < 10) {
                        EXPECT_EQ(f.at(x + c, y + 7 - r), WHITE);
                        inside++;
                    }
            int changed = 0;
            for (int yy = 0; yy < 10; yy++)
                for (int xx = 0; xx < 12; xx++)
                    changed += f.at(xx, yy) != before.at(xx, yy);
            EXPECT_EQ(changed, inside) << x << "," << y;
            f.fill(0);
            before.fill(0);
            EXPECT_TRUE(f.sameBytes(before)) << "padding or guards written at " << x << "," << y;
        }
    }
}

TEST(Graticule, NumbersForWidth100And82)
{
    // w = 100: "0" at columns 0..7 and "50" at 50..65; the first line of "5"
    // (0x3C) covers columns 52..55 of row 6.
    TestFrame wide(100, 20), narrow(82, 20);
    zelt::drawGraticule(wide.row(0), 20, 100, wide.pitch());
    zelt::drawGraticule(narrow.row(0), 20, 82, narrow.pitch());
    for (int x = 52; x <= 55; x++) {
        EXPECT_EQ(wide.at(x, 6), WHITE) << x;
        EXPECT_EQ(narrow.at(x, 6), 0u) << x << ": 50 is not below 82 - 32";
    }
    // The "0" of "50" at column 58: its line 1 (0x38) covers 60..62 on row 6.
    EXPECT_EQ(wide.at(60, 6), WHITE);
    EXPECT_EQ(wide.at(59, 6), 0u);
    // The "0" at column 0 is drawn in both.
    EXPECT_EQ(wide.at(2, 6), WHITE);
    EXPECT_EQ(narrow.at(2, 6), WHITE);
    // Rows 0..4 hold digits only: none beyond "50" in either.
    int beyond = 0;
    for (int y = 0; y < 5; y++)
        for (int x = 66; x < 100; x++)
            beyond += wide.at(x, y) != 0;
    EXPECT_EQ(beyond, 0);
    expectGraticule(100, 20, -1, false);
    expectGraticule(82, 20, -1, false);
}

TEST(Graticule, NoNumbersUpToWidth32)
{
    for (int w : {1, 8, 32}) {
        TestFrame f(w, 20);
        zelt_lpf::drawGraticule(f.row(0), 20, w, f.pitch());
        for (int y = 0; y < 5; y++)
            EXPECT_EQ(countColour(f, y, WHITE), 0) << "w=" << w << " row " << y;
        EXPECT_EQ(countColour(f, 15, WHITE), w);
        EXPECT_EQ(f.at(0, 5), WHITE);
        expectGraticule(w, 20, -1, false);
        expectGraticule(w, 600, -1, true);
    }
    TestFrame none(33, 20);
    zelt::drawGraticule(none.row(0), 20, 33, none.pitch());
    EXPECT_EQ(none.at(2, 6), WHITE) << "w = 33 draws its 0";
}

TEST(Graticule, TickRows)
{
    TestFrame f(101, 16);
    zelt::drawGraticule(f.row(0), 16, 101, f.pitch());
    // ceil(w / spacing) marks per row.
    for (int y = 8; y <= 9; y++)
        EXPECT_EQ(countColour(f, y, WHITE), 3) << y;  // 0, 50, 100
    for (int y = 10; y <= 11; y++)
        EXPECT_EQ(countColour(f, y, WHITE), 11) << y;
    for (int y = 12; y <= 14; y++)
        EXPECT_EQ(countColour(f, y, WHITE), 21) << y;
    EXPECT_EQ(countColour(f, 15, WHITE), 101);
    EXPECT_EQ(f.at(100, 9), WHITE);
    EXPECT_EQ(f.at(95, 12), WHITE);
    EXPECT_EQ(f.at(96, 12), 0u);
    // The long ticks stand in the blank left column of each number's glyph.
    EXPECT_EQ(f.at(50, 5), WHITE);
    EXPECT_EQ(f.at(50, 7), WHITE);
}

TEST(Graticule, GridIndependentOfWidth)
{
    TestFrame a(720, 600), b(400, 600);
    zelt_lpf::drawGraticule(a.row(0), 600, 720, a.pitch());
    zelt_lpf::drawGraticule(b.row(0), 600, 400, b.pitch());
    int gridA = 0;
    for (int y = 0; y < 600; y++)
        for (int x = 0; x < 720; x++) {
            const bool red = a.at(x, y) == RED;
            gridA += red;
            if (x < 400)
                EXPECT_EQ(red, b.at(x, y) == RED) << x << "," << y;
            else
                EXPECT_FALSE(red) << x << "," << y;
        }
    // 13 lines of 360 and 18 of 504, minus the 13 x 18 crossings counted twice.
    EXPECT_EQ(gridA, 13 * 360 + 18 * 504 - 13 * 18);
    EXPECT_EQ(a.at(359, 496), RED);
    EXPECT_EQ(a.at(360, 496), 0u);
    EXPECT_EQ(a.at(340, 519), RED);
    EXPECT_EQ(a.at(340, 520), 0u);
    EXPECT_EQ(a.at(341, 519), 0u);
    EXPECT_EQ(a.at(0, 15), WHITE) << "the base line stays white";
}

TEST(Graticule, ZeltHasNoGrid)
{
    TestFrame f(720, 600);
    zelt::drawGraticule(f.row(0), 600, 720, f.pitch());
    for (int y = 0; y < 600; y++) {
        EXPECT_EQ(countColour(f, y, RED), 0) << y;
        if (y >= 16) {
            EXPECT_EQ(countColour(f, y, WHITE), 0) << y;
        }
    }
}

TEST(Graticule, WholePictureAcrossSizes)
{
    for (bool grid : {false, true})
        for (int w : {0, 1, 2, 33, 64, 100, 101, 359, 360, 361, 719, 720, 1111})
            for (int h : {0, 1, 5, 8, 15, 16, 17, 48, 240, 480, 519, 520, 577})
                expectGraticule(w, h, -1, grid);
}

TEST(Graticule, PaddedRowsShowTheSamePicture)
{
    for (bool grid : {false, true})
        for (int w : {101, 719}) {
            TestFrame plain(w, 577), padded(w, 577, 4 * w + 60);
            plain.randomise(5);
            padded.randomise(5);
            padded.fillPadding(0xE1);
            TestFrame paddedBefore(padded);
            if (grid) {
                zelt_lpf::drawGraticule(plain.row(0), 577, w, plain.pitch());
                zelt_lpf::drawGraticule(padded.row(0), 577, w, padded.pitch());
            } else {
                zelt::drawGraticule(plain.row(0), 577, w, plain.pitch());
                zelt::drawGraticule(padded.row(0), 577, w, padded.pitch());
            }
            EXPECT_TRUE(plain.samePicture(padded)) << "w=" << w;
            // Only visible pixels changed: restoring them restores every byte.
            for (int y = 0; y < 577; y++)
                memcpy(padded.row(y), paddedBefore.row(y), 4 * (size_t)w);
            EXPECT_TRUE(padded.sameBytes(paddedBefore)) << "w=" << w;
            expectGraticule(w, 577, 4 * w + 60, grid);
        }
}

TEST(Graticule, SixDigitNumbersOnVeryWideFrames)
{
    // Numbers up to 100050 are due below w - 32 = 100068; the last one's
    // sixth digit ends at column 100097.
    const int w = 100100;
    TestFrame f(w, 9);
    zelt::drawGraticule(f.row(0), 9, w, f.pitch());
    // "0" at column 100090: line 1 (0x38) covers 100092..100094 on row 6.
    EXPECT_EQ(f.at(100092, 6), WHITE);
    // "1" at column 100050: line 2 (0x30) covers 100052..100053 on row 5.
    EXPECT_EQ(f.at(100052, 5), WHITE);
    EXPECT_TRUE(f.guardsIntact());
    expectGraticule(w, 9, -1, false);
}

}  // namespace

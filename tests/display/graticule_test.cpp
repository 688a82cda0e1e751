// Graticule and digit glyphs: the marks of the scale and the grid against
// golden pictures, and the same marks clipped to any frame and stepped by
// pitch.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

#include "display/graticule.h"
#include "tests/support/frames.h"

namespace {

using zelt_test::TestBitmap;

const uint32_t WHITE = 0x00FFFFFF, RED = 0x00FF4040, BACKGROUND = 0x11111111;

// The ten digits drawn side by side, digit d with its left edge at column 8d
// and its bottom line on row 0 of an 80 x 8 frame; top row first, '#' for a
// white pixel. Checked by eye against the published glyph table.
// clang-format off
const char *const kDigitsGolden[] = {
    "................................................................................",
    "..###......#......###.....####.......#....####.....###...#####....###......##...",
    ".#..##....##.....#...#.......#......##....#.......#..........#...#...#....#..#..",
    ".#.#.#.....#.........#.....###.....#.#.....##.....###.......#.....###.....#..#..",
    ".#.#.#.....#.......##........#....#..#.......#....#..#.....#.....#...#....###...",
    ".##..#.....#......#..........#....#####...#..#....#..#....#......#...#.......#..",
    "..###.....###....#####....####.......#.....##......##....#........###......###..",
    "................................................................................",
};

// zelt_lpf's graticule on a 140 x 58 frame, top row (57) first: 'W' white,
// 'R' the grid's red, '.' untouched. The numbers 0, 50 and 100 stand on rows
// 0..7 with the long ticks in their glyphs' blank left column; tick rows
// 5..14, base line 15; grid lines on rows 16 and 56 and every 20 columns from
// row 16 up. zelt draws rows 0..15 alike and nothing above them.
const char *const kGraticuleGolden[] = {
    "R...................R...................R...................R...................R...................R...................R...................",
    "RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "R...................R...................R...................R...................R...................R...................R...................",
    "RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR",
    "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW",
    "W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....",
    "W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....",
    "W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....W....",
    "W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........",
    "W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........W.........",
    "W.................................................W.................................................W.......................................",
    "W.................................................W.................................................W.......................................",
    "W.................................................W.................................................W.......................................",
    "W.WWW.............................................W.WWWW....WWW.....................................W..W......WWW.....WWW...................",
    "WW..WW............................................W.W......W..WW....................................W.WW.....W..WW...W..WW..................",
    ".W.W.W...............................................WW....W.W.W.......................................W.....W.W.W...W.W.W..................",
    ".W.W.W.................................................W...W.W.W.......................................W.....W.W.W...W.W.W..................",
    ".WW..W..............................................W..W...WW..W.......................................W.....WW..W...WW..W..................",
    "..WWW................................................WW.....WWW.......................................WWW.....WWW.....WWW...................",
    "............................................................................................................................................",
};
// clang-format on
const int kGoldenW = 140, kGoldenH = 58, kScaleRows = 16;

// The colour a golden character stands for; BACKGROUND for an untouched pixel.
uint32_t goldenColour(char c)
{
    return c == '#' || c == 'W' ? WHITE : c == 'R' ? RED : BACKGROUND;
}

// Pixel (x, y) of a golden picture of `rows` rows, y counted from the bottom.
char goldenAt(const char *const *golden, int rows, int x, int y)
{
    return golden[rows - 1 - y][x];
}

// The whole frame against a golden picture over a BACKGROUND frame; rows at
// or above `rowsDrawn` must be untouched.
void expectGolden(const TestBitmap &f, const char *const *golden, int rowsDrawn)
{
    for (int y = 0; y < f.h(); y++)
        for (int x = 0; x < f.w(); x++) {
            const uint32_t want = y < rowsDrawn ? goldenColour(goldenAt(golden, f.h(), x, y)) : BACKGROUND;
            ASSERT_EQ(f.at(x, y), want) << "pixel " << x << "," << y;
        }
}

// A picture that differs from row to row and column to column, the same for
// every frame size, so that frames of different sizes can be compared.
void paintBackground(TestBitmap &f)
{
    for (int y = 0; y < f.h(); y++)
        for (int x = 0; x < f.w(); x++)
            f.at(x, y) = (uint32_t)x * 2654435761u ^ (uint32_t)y * 40503u ^ 0x5a5a5a5au;
}

void draw(bool grid, const FrameView &f)
{
    if (grid)
        zelt_lpf::drawGraticule(f);
    else
        zelt::drawGraticule(f);
}

// The graticule of width w in a frame tall enough for the whole layout, its
// rows padded by 400 pixels: more than any mark reaches past the width, so
// that a mark beyond the width would show in the padding. Nothing but visible
// pixels may change, and those that do become a colour of the scale.
TestBitmap drawnTall(int w, bool grid, int tallH = 600)
{
    TestBitmap tall(w, tallH, 4 * (ptrdiff_t)(w + 400));
    paintBackground(tall);
    tall.fillPadding(0x3C);
    const TestBitmap before(tall);
    draw(grid, tall.view());
    TestBitmap restored(tall);
    for (int y = 0; y < tall.h(); y++)
        for (int x = 0; x < w; x++) {
            const uint32_t px = tall.at(x, y);
            if (px != before.at(x, y)) {
                EXPECT_TRUE(px == WHITE || (grid && px == RED)) << x << "," << y;
                restored.at(x, y) = before.at(x, y);
            }
        }
    EXPECT_TRUE(restored.sameBytes(before)) << "marks beyond the width: w=" << w;
    return tall;
}

// Drawn into a frame of the tall one's width and h rows, the graticule shows
// the tall picture cut at row h, and nothing outside the visible pixels
// changes.
void expectCut(const TestBitmap &tall, int h, ptrdiff_t pitch, bool grid)
{
    const int w = tall.w();
    TestBitmap f(w, h, pitch);
    paintBackground(f);
    f.fillPadding(0x3C);
    const TestBitmap before(f);
    draw(grid, f.view());
    for (int y = 0; y < h; y++)
        ASSERT_EQ(memcmp(f.row(y), tall.row(y), 4 * (size_t)w), 0)
            << (grid ? "zelt_lpf" : "zelt") << " w=" << w << " h=" << h << " pitch=" << pitch << " row " << y;
    for (int y = 0; y < h; y++)
        memcpy(f.row(y), before.row(y), 4 * (size_t)w);
    EXPECT_TRUE(f.sameBytes(before)) << "padding or guards written: w=" << w << " h=" << h;
}

int countColour(const TestBitmap &f, int y, uint32_t colour)
{
    int n = 0;
    for (int x = 0; x < f.w(); x++)
        n += f.at(x, y) == colour;
    return n;
}

TEST(DrawDigit, MatchesTheGoldenGlyphs)
{
    TestBitmap f(80, 8);
    f.fill(BACKGROUND);
    for (int d = 0; d <= 9; d++)
        drawDigit(d, 8 * d, 0, f.view());
    expectGolden(f, kDigitsGolden, 8);
}

TEST(DrawDigit, CellBorderIsBlankAndBadDigitsDrawNothing)
{
    for (int d = 0; d <= 9; d++) {
        EXPECT_EQ(digitGlyphs[8 * d], 0) << d;
        EXPECT_EQ(digitGlyphs[8 * d + 7], 0) << d;
        for (int r = 0; r < 8; r++)
            EXPECT_EQ(digitGlyphs[8 * d + r] & 0x81, 0) << d;
    }
    TestBitmap f(16, 16);
    drawDigit(-1, 0, 0, f.view());
    drawDigit(10, 0, 0, f.view());
    TestBitmap blank(16, 16);
    EXPECT_TRUE(f.sameBytes(blank));
}

TEST(DrawDigit, ClippedAtEveryEdge)
{
    // The 8 of the golden picture, moved to (x, y) and cut at the frame.
    for (int x : {-7, -3, 0, 5, 9, 12}) {
        for (int y : {-7, -2, 0, 3, 6, 9}) {
            TestBitmap f(12, 10, 12 * 4 + 60);
            f.fill(BACKGROUND);
            f.fillPadding(0x77);
            const TestBitmap before(f);
            drawDigit(8, x, y, f.view());
            for (int yy = 0; yy < 10; yy++)
                for (int xx = 0; xx < 12; xx++) {
                    const int c = xx - x, r = yy - y;
                    const bool set = c >= 0 && c < 8 && r >= 0 && r < 8 && goldenAt(kDigitsGolden, 8, 64 + c, r) == '#';
                    EXPECT_EQ(f.at(xx, yy), set ? WHITE : BACKGROUND)
                        << "at " << x << "," << y << ": " << xx << "," << yy;
                }
            f.fill(BACKGROUND);
            EXPECT_TRUE(f.sameBytes(before)) << "padding or guards written at " << x << "," << y;
        }
    }
}

TEST(Graticule, MatchesTheGoldenPicture)
{
    TestBitmap lpf(kGoldenW, kGoldenH), bars(kGoldenW, kGoldenH);
    lpf.fill(BACKGROUND);
    bars.fill(BACKGROUND);
    zelt_lpf::drawGraticule(lpf.view());
    zelt::drawGraticule(bars.view());
    expectGolden(lpf, kGraticuleGolden, kGoldenH);
    expectGolden(bars, kGraticuleGolden, kScaleRows);
}

TEST(Graticule, NumbersForWidth100And82)
{
    // w = 100: "0" at columns 0..7 and "50" at 50..65; the first line of "5"
    // (0x3C) covers columns 52..55 of row 6.
    TestBitmap wide(100, 20), narrow(82, 20);
    zelt::drawGraticule(wide.view());
    zelt::drawGraticule(narrow.view());
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
}

TEST(Graticule, NoNumbersUpToWidth32)
{
    for (int w : {1, 8, 32}) {
        TestBitmap f(w, 20);
        zelt_lpf::drawGraticule(f.view());
        for (int y = 0; y < 5; y++)
            EXPECT_EQ(countColour(f, y, WHITE), 0) << "w=" << w << " row " << y;
        EXPECT_EQ(countColour(f, 15, WHITE), w);
        EXPECT_EQ(f.at(0, 5), WHITE);
    }
    TestBitmap none(33, 20);
    zelt::drawGraticule(none.view());
    EXPECT_EQ(none.at(2, 6), WHITE) << "w = 33 draws its 0";
}

TEST(Graticule, TickRows)
{
    TestBitmap f(101, 16);
    zelt::drawGraticule(f.view());
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
    TestBitmap a(720, 600), b(400, 600);
    zelt_lpf::drawGraticule(a.view());
    zelt_lpf::drawGraticule(b.view());
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
    TestBitmap f(720, 600);
    zelt::drawGraticule(f.view());
    for (int y = 0; y < 600; y++) {
        EXPECT_EQ(countColour(f, y, RED), 0) << y;
        if (y >= 16) {
            EXPECT_EQ(countColour(f, y, WHITE), 0) << y;
        }
    }
}

TEST(Graticule, ClippedToEveryFrameSize)
{
    for (bool grid : {false, true})
        for (int w : {0, 1, 2, 33, 64, 100, 101, 140, 359, 360, 361, 719, 720, 1111}) {
            const TestBitmap tall = drawnTall(w, grid);
            for (int h : {0, 1, 5, 8, 15, 16, 17, 48, 240, 480, 519, 520, 577})
                expectCut(tall, h, -1, grid);
        }
}

TEST(Graticule, PaddedRowsShowTheSamePicture)
{
    for (bool grid : {false, true})
        for (int w : {101, 719}) {
            TestBitmap plain(w, 577), padded(w, 577, 4 * w + 60);
            plain.randomise(5);
            padded.randomise(5);
            padded.fillPadding(0xE1);
            const TestBitmap paddedBefore(padded);
            draw(grid, plain.view());
            draw(grid, padded.view());
            EXPECT_TRUE(plain.samePicture(padded)) << "w=" << w;
            // Only visible pixels changed: restoring them restores every byte.
            for (int y = 0; y < 577; y++)
                memcpy(padded.row(y), paddedBefore.row(y), 4 * (size_t)w);
            EXPECT_TRUE(padded.sameBytes(paddedBefore)) << "w=" << w;
            expectCut(drawnTall(w, grid), 577, 4 * w + 60, grid);
        }
}

TEST(Graticule, SixDigitNumbersOnVeryWideFrames)
{
    // Numbers up to 100050 are due below w - 32 = 100068; the last one's
    // sixth digit ends at column 100097.
    const int w = 100100;
    TestBitmap f(w, 9);
    zelt::drawGraticule(f.view());
    // "0" at column 100090: line 1 (0x38) covers 100092..100094 on row 6.
    EXPECT_EQ(f.at(100092, 6), WHITE);
    // "1" at column 100050: line 2 (0x30) covers 100052..100053 on row 5.
    EXPECT_EQ(f.at(100052, 5), WHITE);
    EXPECT_TRUE(f.guardsIntact());
    expectCut(drawnTall(w, false, 9), 9, -1, false);
}

}  // namespace

// The YUV import and change correction worked out plainly in double
// precision, from the colour equations and the footprint geometry, for the
// tests to hold the fast forms against.
#pragma once

#include <stdint.h>

#include <vector>

struct RefSource {
    int width = 0, height = 0;
    bool rgb = false;
    int depth = 8;
    int log2x = 0, log2y = 0;    // chroma subsampling
    std::vector<int> planes[3];  // Y, Cb, Cr (or R, G, B) by rows from the top
    int planeWidth(int i) const { return i == 0 || rgb ? width : -((-width) >> log2x); }
    int planeHeight(int i) const { return i == 0 || rgb ? height : -((-height) >> log2y); }
};

struct RefColour {
    double kr = 0.299, kb = 0.114;
    bool fullRange = false;
    bool headroom = false;  // limited-range YUV shown to the module at studio levels
    // Where chroma sample (0, 0) sits, in luma pixels from luma sample (0, 0).
    double sitingX = 0, sitingY = 0;
};

// The module's picture before rounding: R, G, B of every pixel, rows from the top.
std::vector<double> referenceImport(const RefSource &src, const RefColour &colour);

// The samples after the change from `in` to `out` (pixels B, G, R, X by rows
// from the top), before rounding, planes as in `src`.
void referenceCorrect(const RefSource &src, const RefColour &colour, const std::vector<uint32_t> &in,
                      const std::vector<uint32_t> &out, std::vector<double> result[3]);

// Whether `got` is `exact` rounded to nearest and clamped to 0..top; within
// `tie` of a half either neighbour will do, as single precision may land on
// either side.
bool roundsTo(int got, double exact, int top, double tie);

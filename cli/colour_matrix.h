// The YCbCr matrix, range and chroma siting of a decoded picture, and the
// coefficients between its code values and normalised R'G'B'.
//
// Normalised quantities: Y', R', G', B' nominally 0..1, Cb and Cr nominally
// -0.5..0.5. A sample of bit depth B is
//   limited range  Y = (16 + 219 Y') 2^(B-8)      C = (128 + 224 C') 2^(B-8)
//   full range     Y = (2^B - 1) Y'              C = 2^(B-1) + (2^B - 1) C'
// which is how FFmpeg's converters and the video standards scale deeper
// samples.
#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

struct ColourMatrix {
    AVColorSpace space = AVCOL_SPC_BT470BG;  // the matrix in use, never UNSPECIFIED
    bool fullRange = false;
    double kr = 0.299, kb = 0.114;  // luma weights of red and blue

    // Code values of bit depth `depth` to normalised Y' and C' and back:
    // Y' = (Y - yOffset) / yScale, C' = (C - cOffset) / cScale.
    int depth = 8;
    double yScale = 219, yOffset = 16, cScale = 224, cOffset = 128;

    // Forward: R'G'B' = toRgb x (Y', Cb', Cr'), rows R, G, B.
    double toRgb[3][3] = {};
    // The linear part of the inverse: (Y', Cb', Cr') = toYuv x R'G'B', rows
    // Y, Cb, Cr. Offsets play no part in a change, so they are left out.
    double toYuv[3][3] = {};
};

// The matrix FFmpeg assumes for an untagged picture of this size: BT.601
// up to 576 rows, BT.709 above (quorvel's writer tags its YUV output alike).
AVColorSpace fallbackColourSpace(int height);

// Whether a pixel format's samples are full range on their own (the yuvj
// formats), whatever the tag says.
bool isFullRangePixFmt(AVPixelFormat fmt);

// The matrix for a picture's tags: colour space (BT.601 for BT.470BG,
// SMPTE 170M and other SD tags, BT.709, and the FCC, SMPTE 240M and BT.2020
// weights when tagged so; untagged by frame height), range (full when tagged
// JPEG or a yuvj format, else limited) and bit depth.
ColourMatrix colourMatrixFor(AVColorSpace space, AVColorRange range, AVPixelFormat fmt, int height, int depth);
ColourMatrix colourMatrixFor(const AVFrame *frame, int depth);

// Where chroma samples sit, in half luma pixels from the luma sample of the
// same index times the subsampling factor: 0 co-sited, factor - 1 centred,
// 2 (factor - 1) at the far side (the bottom sitings). Per direction.
struct ChromaSiting {
    int x2 = 0, y2 = 0;
};

// The siting for a tag and subsampling (log2 factors). Untagged chroma is
// co-sited horizontally and centred vertically, the MPEG-2 and H.264
// default (and what 4:2:2 and 4:1:1 sources are).
ChromaSiting chromaSitingFor(AVChromaLocation loc, int log2x, int log2y);

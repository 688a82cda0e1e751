// Applying a module's change to the source picture instead of replacing it.
//
// The module works on 8-bit RGB. For a YUV source of any depth 8..16 and any
// subsampling, or an RGB source deeper than 8 bits, quorvel gives the module
// a picture made from the source (SourceImporter) and afterwards adds the
// module's change, output minus input, to the source samples
// (FrameCorrector): taken through the linear part of the source's matrix,
// luma at every pixel, chroma averaged over each chroma sample's footprint,
// scaled to the depth, rounded to nearest (ties to even) and clamped to the
// code range. A sample whose pixels the module left alone keeps every bit;
// a changed one gets the change and keeps its precision below it.
//
// Footprints: a chroma sample covers the box of subsampling-factor pixels
// centred on its siting (co-sited: half of each neighbour, e.g. 1/4, 1/2,
// 1/4 for 4:2:2), cut at the picture's edges; both directions, so 4:2:0
// averages over up to 3 x 3 pixels. Chroma for the module is interpolated
// linearly between the samples at the same sitings.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "hosting/bitmap.h"
#include "cli/colour_matrix.h"

// A picture of 32-bit pixels (bytes B, G, R, X) by rows from the top:
// row y at top + y x stride (a negative stride for bottom-up bitmaps).
struct XrgbView {
    uint8_t *top = nullptr;
    ptrdiff_t stride = 0;
    int width = 0, height = 0;
    uint32_t *row(int y) const { return (uint32_t *)(top + (ptrdiff_t)y * stride); }
};

inline XrgbView xrgbView(HostBitmap &bmp)
{
    XrgbView v;
    v.top = bmp.pictureRow(0);
    v.stride = -bmp.pitch();
    v.width = bmp.width();
    v.height = bmp.height();
    return v;
}

struct CorrectionOptions {
    // Limited-range YUV reaches the module with its foot- and headroom:
    // 8-bit studio levels (Y 16..235 as R = G = B = 16..235) instead of
    // stretched to 0..255, so super-whites, super-blacks and the swing of an
    // interference riding on them are not clipped before the module sees
    // them. Full-range and RGB sources are unaffected.
    bool keepHeadroom = true;
};

// Whether frames of this format go through the importer and the corrector:
// YUV with three colour components of one depth 8..16 (planar, semi-planar or
// packed, any subsampling FFmpeg describes, alpha left alone), and RGB of
// depth 9..16. 8-bit RGB is exact without them; bit-stream and float
// formats, palettes and grey are not handled here.
bool isCorrectableFormat(AVPixelFormat fmt);

// How one frame format maps to the module's picture: components, matrix and
// siting, and the module picture's levels. Made from a frame's tags.
struct SourceLayout {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    bool rgb = false;
    int depth = 8;
    int maxValue = 255;
    int log2x = 0, log2y = 0;  // chroma subsampling (YUV)
    ColourMatrix matrix;
    ChromaSiting siting;
    // The module's byte = moduleBase + moduleGain x normalised R'G'B'.
    float moduleBase = 0, moduleGain = 255;
};

// The layout of `frame`, or false with `err` saying why it is not handled.
bool describeSource(const AVFrame *frame, const CorrectionOptions &opts, SourceLayout &layout, std::string &err);

// Source frame -> the module's 8-bit picture.
class SourceImporter {
public:
    explicit SourceImporter(const CorrectionOptions &opts = CorrectionOptions()) : opts_(opts) {}

    // Fill `dst` (the frame's size) from `frame`; byte 3 becomes 0.
    bool import(const AVFrame *frame, const XrgbView &dst, std::string &err);

private:
    CorrectionOptions opts_;
    std::vector<uint16_t> samples_;
    std::vector<float> planes_;
    std::vector<int> left_;
};

// The module's change -> the source frame.
class FrameCorrector {
public:
    explicit FrameCorrector(const CorrectionOptions &opts = CorrectionOptions()) : opts_(opts) {}

    // Add to the samples of `frame` (writable, as imported into `in` with the
    // same options) the change from `in` to `out`. `in` is the picture as
    // imported, kept from before the module ran: the notch tapers the
    // module's source in place.
    bool apply(AVFrame *frame, const XrgbView &in, const XrgbView &out, std::string &err);

private:
    CorrectionOptions opts_;
    std::vector<uint16_t> samples_;
    std::vector<int16_t> change_;
    std::vector<int32_t> sums_;
    std::vector<float> inv_;
};

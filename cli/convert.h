// Pixel conversion between FFmpeg's pictures and host bitmaps.
//
// 8-bit RGB in any byte order, planar GBR, palettes and full-range grey move
// byte for byte (no scaling, dithering or range change), flipping the rows
// into the bottom-up order. Everything else goes through swscale at full
// chroma resolution, with the picture's own matrix and range.
#pragma once

#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "hosting/bitmap.h"

struct SwsContext;

// Whether a format converts to and from BGRX byte for byte.
bool isExactRgbFormat(AVPixelFormat fmt);

class FrameImporter {
public:
    FrameImporter() = default;
    ~FrameImporter();
    FrameImporter(const FrameImporter &) = delete;
    FrameImporter &operator=(const FrameImporter &) = delete;

    // Convert a decoded picture of the bitmap's size into it. Byte 3 of
    // every pixel becomes 0.
    bool import(const AVFrame *frame, HostBitmap &bmp, std::string &err);

private:
    SwsContext *sws_ = nullptr;
    AVFrame *scratch_ = nullptr;
};

class FrameExporter {
public:
    FrameExporter() = default;
    ~FrameExporter();
    FrameExporter(const FrameExporter &) = delete;
    FrameExporter &operator=(const FrameExporter &) = delete;

    // Convert a bitmap into `frame`, which has the bitmap's size, its
    // format set and writable buffers. YUV targets get the matrix and range
    // tags that `frame` carries (set by the caller from the encoder).
    bool exportTo(const HostBitmap &bmp, AVFrame *frame, std::string &err);

private:
    SwsContext *sws_ = nullptr;
    AVFrame *scratch_ = nullptr;
};

// The YUV matrix quorvel writes for a frame height: BT.601 up to 576 rows,
// BT.709 above.
AVColorSpace defaultColorSpace(int height);

// Pixel conversion between FFmpeg's pictures and host bitmaps.
#include "cli/convert.h"

#include <string.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

struct PackedLayout {
    AVPixelFormat fmt;
    int bytes;    // per pixel
    int r, g, b;  // byte offsets within a pixel
    int a;        // offset of a fourth byte to fill on export, or -1
};

const PackedLayout packedLayouts[] = {
    {AV_PIX_FMT_RGB24, 3, 0, 1, 2, -1}, {AV_PIX_FMT_BGR24, 3, 2, 1, 0, -1}, {AV_PIX_FMT_RGBA, 4, 0, 1, 2, 3},
    {AV_PIX_FMT_RGB0, 4, 0, 1, 2, 3},   {AV_PIX_FMT_BGRA, 4, 2, 1, 0, 3},   {AV_PIX_FMT_BGR0, 4, 2, 1, 0, 3},
    {AV_PIX_FMT_ARGB, 4, 1, 2, 3, 0},   {AV_PIX_FMT_0RGB, 4, 1, 2, 3, 0},   {AV_PIX_FMT_ABGR, 4, 3, 2, 1, 0},
    {AV_PIX_FMT_0BGR, 4, 3, 2, 1, 0},
};

const PackedLayout *packedLayout(AVPixelFormat fmt)
{
    for (const PackedLayout &l : packedLayouts)
        if (l.fmt == fmt)
            return &l;
    return nullptr;
}

bool isPlanarGbr(AVPixelFormat fmt)
{
    return fmt == AV_PIX_FMT_GBRP || fmt == AV_PIX_FMT_GBRAP;
}

// Grey and palette pictures are full-range RGB unless tagged otherwise.
bool isFullRangeGrey(const AVFrame *f)
{
    return f->format == AV_PIX_FMT_GRAY8 && f->color_range != AVCOL_RANGE_MPEG;
}

bool isYuvFormat(AVPixelFormat fmt)
{
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(fmt);
    return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && !(d->flags & AV_PIX_FMT_FLAG_PAL) && d->nb_components >= 3;
}

bool isFullRangeFormat(AVPixelFormat fmt)
{
    return fmt == AV_PIX_FMT_YUVJ420P || fmt == AV_PIX_FMT_YUVJ422P || fmt == AV_PIX_FMT_YUVJ444P ||
           fmt == AV_PIX_FMT_YUVJ440P || fmt == AV_PIX_FMT_YUVJ411P;
}

int swsColorSpace(AVColorSpace cs, int height)
{
    switch (cs == AVCOL_SPC_UNSPECIFIED ? defaultColorSpace(height) : cs) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return SWS_CS_ITU601;
    }
}

// A BGR0 picture of w x h in `*scratch`, reallocated when the size changes.
bool ensureScratch(AVFrame **scratch, int w, int h)
{
    if (*scratch && (*scratch)->width == w && (*scratch)->height == h)
        return true;
    av_frame_free(scratch);
    *scratch = av_frame_alloc();
    if (!*scratch)
        return false;
    (*scratch)->format = AV_PIX_FMT_BGR0;
    (*scratch)->width = w;
    (*scratch)->height = h;
    return av_frame_get_buffer(*scratch, 64) >= 0;
}

const int swsFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT;

}  // namespace

AVColorSpace defaultColorSpace(int height)
{
    return height > 576 ? AVCOL_SPC_BT709 : AVCOL_SPC_BT470BG;
}

bool isExactRgbFormat(AVPixelFormat fmt)
{
    return packedLayout(fmt) || isPlanarGbr(fmt);
}

FrameImporter::~FrameImporter()
{
    sws_freeContext(sws_);
    av_frame_free(&scratch_);
}

bool FrameImporter::import(const AVFrame *f, HostBitmap &bmp, std::string &err)
{
    const int w = bmp.width(), h = bmp.height();
    if (f->width != w || f->height != h) {
        err = "the picture size changes mid-stream (" + std::to_string(f->width) + "x" + std::to_string(f->height) +
              " after " + std::to_string(w) + "x" + std::to_string(h) + ")";
        return false;
    }
    const AVPixelFormat fmt = (AVPixelFormat)f->format;
    if (const PackedLayout *l = packedLayout(fmt)) {
        for (int y = 0; y < h; y++) {
            const uint8_t *s = f->data[0] + (ptrdiff_t)y * f->linesize[0];
            uint8_t *d = bmp.pictureRow(y);
            for (int x = 0; x < w; x++, s += l->bytes, d += 4) {
                d[0] = s[l->b];
                d[1] = s[l->g];
                d[2] = s[l->r];
                d[3] = 0;
            }
        }
        return true;
    }
    if (isPlanarGbr(fmt)) {
        for (int y = 0; y < h; y++) {
            const uint8_t *g = f->data[0] + (ptrdiff_t)y * f->linesize[0];
            const uint8_t *b = f->data[1] + (ptrdiff_t)y * f->linesize[1];
            const uint8_t *r = f->data[2] + (ptrdiff_t)y * f->linesize[2];
            uint8_t *d = bmp.pictureRow(y);
            for (int x = 0; x < w; x++, d += 4) {
                d[0] = b[x];
                d[1] = g[x];
                d[2] = r[x];
                d[3] = 0;
            }
        }
        return true;
    }
    if (fmt == AV_PIX_FMT_PAL8) {
        // Palette entries are native 32-bit 0xAARRGGBB.
        const uint32_t *pal = (const uint32_t *)f->data[1];
        for (int y = 0; y < h; y++) {
            const uint8_t *s = f->data[0] + (ptrdiff_t)y * f->linesize[0];
            uint8_t *d = bmp.pictureRow(y);
            for (int x = 0; x < w; x++, d += 4) {
                const uint32_t c = pal[s[x]];
                d[0] = (uint8_t)c;
                d[1] = (uint8_t)(c >> 8);
                d[2] = (uint8_t)(c >> 16);
                d[3] = 0;
            }
        }
        return true;
    }
    if (isFullRangeGrey(f)) {
        for (int y = 0; y < h; y++) {
            const uint8_t *s = f->data[0] + (ptrdiff_t)y * f->linesize[0];
            uint8_t *d = bmp.pictureRow(y);
            for (int x = 0; x < w; x++, d += 4) {
                d[0] = d[1] = d[2] = s[x];
                d[3] = 0;
            }
        }
        return true;
    }

    if (!ensureScratch(&scratch_, w, h)) {
        err = "out of memory";
        return false;
    }
    sws_ = sws_getCachedContext(sws_, w, h, fmt, w, h, AV_PIX_FMT_BGR0, swsFlags, nullptr, nullptr, nullptr);
    if (!sws_) {
        const char *name = av_get_pix_fmt_name(fmt);
        err = std::string("cannot convert pictures of pixel format ") + (name ? name : "(unknown)");
        return false;
    }
    if (isYuvFormat(fmt)) {
        const int *coeffs = sws_getCoefficients(swsColorSpace(f->colorspace, h));
        const int srcFull = f->color_range == AVCOL_RANGE_JPEG || isFullRangeFormat(fmt);
        sws_setColorspaceDetails(sws_, coeffs, srcFull, coeffs, 1, 0, 1 << 16, 1 << 16);
    }
    if (sws_scale(sws_, f->data, f->linesize, 0, h, scratch_->data, scratch_->linesize) != h) {
        err = "pixel conversion failed";
        return false;
    }
    for (int y = 0; y < h; y++) {
        const uint8_t *s = scratch_->data[0] + (ptrdiff_t)y * scratch_->linesize[0];
        uint8_t *d = bmp.pictureRow(y);
        memcpy(d, s, (size_t)w * 4);
        for (int x = 0; x < w; x++)
            d[4 * x + 3] = 0;
    }
    return true;
}

FrameExporter::~FrameExporter()
{
    sws_freeContext(sws_);
    av_frame_free(&scratch_);
}

bool FrameExporter::exportTo(const HostBitmap &bmp, AVFrame *f, std::string &err)
{
    const int w = bmp.width(), h = bmp.height();
    const AVPixelFormat fmt = (AVPixelFormat)f->format;
    if (const PackedLayout *l = packedLayout(fmt)) {
        for (int y = 0; y < h; y++) {
            const uint8_t *s = bmp.pictureRow(y);
            uint8_t *d = f->data[0] + (ptrdiff_t)y * f->linesize[0];
            for (int x = 0; x < w; x++, s += 4, d += l->bytes) {
                d[l->b] = s[0];
                d[l->g] = s[1];
                d[l->r] = s[2];
                if (l->a >= 0)
                    d[l->a] = 255;
            }
        }
        return true;
    }
    if (isPlanarGbr(fmt)) {
        for (int y = 0; y < h; y++) {
            const uint8_t *s = bmp.pictureRow(y);
            uint8_t *g = f->data[0] + (ptrdiff_t)y * f->linesize[0];
            uint8_t *b = f->data[1] + (ptrdiff_t)y * f->linesize[1];
            uint8_t *r = f->data[2] + (ptrdiff_t)y * f->linesize[2];
            uint8_t *a = fmt == AV_PIX_FMT_GBRAP ? f->data[3] + (ptrdiff_t)y * f->linesize[3] : nullptr;
            for (int x = 0; x < w; x++, s += 4) {
                b[x] = s[0];
                g[x] = s[1];
                r[x] = s[2];
                if (a)
                    a[x] = 255;
            }
        }
        return true;
    }

    if (!ensureScratch(&scratch_, w, h)) {
        err = "out of memory";
        return false;
    }
    for (int y = 0; y < h; y++)
        memcpy(scratch_->data[0] + (ptrdiff_t)y * scratch_->linesize[0], bmp.pictureRow(y), (size_t)w * 4);
    sws_ = sws_getCachedContext(sws_, w, h, AV_PIX_FMT_BGR0, w, h, fmt, swsFlags, nullptr, nullptr, nullptr);
    if (!sws_) {
        const char *name = av_get_pix_fmt_name(fmt);
        err = std::string("cannot convert pictures to pixel format ") + (name ? name : "(unknown)");
        return false;
    }
    if (isYuvFormat(fmt)) {
        const int *coeffs = sws_getCoefficients(swsColorSpace(f->colorspace, h));
        const int dstFull = f->color_range == AVCOL_RANGE_JPEG || isFullRangeFormat(fmt);
        sws_setColorspaceDetails(sws_, coeffs, 1, coeffs, dstFull, 0, 1 << 16, 1 << 16);
    }
    if (sws_scale(sws_, scratch_->data, scratch_->linesize, 0, h, f->data, f->linesize) != h) {
        err = "pixel conversion failed";
        return false;
    }
    return true;
}

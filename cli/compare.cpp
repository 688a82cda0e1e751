// PSNR of one clip against another, per plane and over the whole, in the
// format of the first clip: the colour bytes of 8-bit RGB, the samples of
// YUV and deep RGB at their own depth (the second clip converted to that
// format when it differs).
#include <math.h>
#include <stdio.h>

#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "cli/commands.h"
#include "cli/correction.h"
#include "cli/reader.h"

namespace {

struct Plane {
    std::string name;
    double squares = 0;
    double samples = 0;
};

// Squared differences per plane of one clip against the other.
class Tally {
public:
    std::vector<Plane> planes;
    double peak = 255;

    double mse(const Plane &p) const { return p.samples > 0 ? p.squares / p.samples : 0; }
    double mse() const
    {
        double sq = 0, n = 0;
        for (const Plane &p : planes) {
            sq += p.squares;
            n += p.samples;
        }
        return n > 0 ? sq / n : 0;
    }
    double psnr(double m) const { return m > 0 ? 10.0 * log10(peak * peak / m) : INFINITY; }
};

// The second clip's frame in the first one's format and size.
class Matcher {
public:
    ~Matcher()
    {
        sws_freeContext(sws_);
        av_frame_free(&scratch_);
    }
    const AVFrame *match(const AVFrame *b, const AVFrame *a, std::string &err)
    {
        if (b->format == a->format && b->width == a->width && b->height == a->height)
            return b;
        sws_ = sws_getCachedContext(sws_, b->width, b->height, (AVPixelFormat)b->format, a->width, a->height,
                                    (AVPixelFormat)a->format, SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND,
                                    nullptr, nullptr, nullptr);
        if (!scratch_)
            scratch_ = av_frame_alloc();
        if (!sws_ || !scratch_) {
            err = "cannot convert the second clip to the first one's format";
            return nullptr;
        }
        // Each side with its own matrix and range.
        const ColourMatrix mb = colourMatrixFor(b, 8), ma = colourMatrixFor(a, 8);
        sws_setColorspaceDetails(sws_, sws_getCoefficients(mb.space), mb.fullRange, sws_getCoefficients(ma.space),
                                 ma.fullRange, 0, 1 << 16, 1 << 16);
        av_frame_unref(scratch_);
        scratch_->format = a->format;
        scratch_->width = a->width;
        scratch_->height = a->height;
        if (av_frame_get_buffer(scratch_, 0) < 0 ||
            sws_scale(sws_, b->data, b->linesize, 0, b->height, scratch_->data, scratch_->linesize) < 0) {
            err = "cannot convert the second clip to the first one's format";
            return nullptr;
        }
        return scratch_;
    }

private:
    SwsContext *sws_ = nullptr;
    AVFrame *scratch_ = nullptr;
};

// Colour bytes of two bitmaps, by channel R, G, B.
void addBytes(Tally &t, const HostBitmap &fa, const HostBitmap &fb, int w, int h)
{
    for (int y = 0; y < h; y++) {
        const uint8_t *ra = fa.memoryRow(y), *rb = fb.memoryRow(y);
        int64_t sums[3] = {0, 0, 0};
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) {
                const int d = (int)ra[4 * x + c] - (int)rb[4 * x + c];
                sums[c] += d * d;
            }
        for (int c = 0; c < 3; c++) {
            t.planes[2 - c].squares += (double)sums[c];  // bytes B, G, R
            t.planes[2 - c].samples += w;
        }
    }
}

// Colour components of two frames of one format, by the format's components.
void addSamples(Tally &t, const AVFrame *a, const AVFrame *b, std::vector<uint16_t> &la, std::vector<uint16_t> &lb)
{
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get((AVPixelFormat)a->format);
    for (size_t c = 0; c < t.planes.size(); c++) {
        const bool chroma = (c == 1 || c == 2) && !(d->flags & AV_PIX_FMT_FLAG_RGB);
        const int cw = chroma ? AV_CEIL_RSHIFT(a->width, d->log2_chroma_w) : a->width;
        const int ch = chroma ? AV_CEIL_RSHIFT(a->height, d->log2_chroma_h) : a->height;
        la.resize((size_t)cw);
        lb.resize((size_t)cw);
        int64_t sum = 0;
        for (int y = 0; y < ch; y++) {
            av_read_image_line2(la.data(), (const uint8_t **)a->data, a->linesize, d, 0, y, (int)c, cw, 0, 2);
            av_read_image_line2(lb.data(), (const uint8_t **)b->data, b->linesize, d, 0, y, (int)c, cw, 0, 2);
            for (int x = 0; x < cw; x++) {
                const int64_t diff = (int64_t)la[(size_t)x] - (int64_t)lb[(size_t)x];
                sum += diff * diff;
            }
        }
        t.planes[c].squares += (double)sum;
        t.planes[c].samples += (double)cw * ch;
    }
}

std::string number(double v)
{
    return isinf(v) ? "null" : std::to_string(v);
}

}  // namespace

int runCompare(const Options &o)
{
    std::string err;
    MediaReader a, b;
    if (!a.open(o.paths[0], err) || !b.open(o.paths[1], err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    const int w = a.info().width, h = a.info().height;
    if (b.info().width != w || b.info().height != h) {
        reportError("the pictures differ in size: " + std::to_string(w) + "x" + std::to_string(h) + " and " +
                    std::to_string(b.info().width) + "x" + std::to_string(b.info().height));
        return EXIT_FAILURE_RUN;
    }
    // 8-bit RGB is compared as the module sees it; the formats the
    // correction keeps are compared in their own samples.
    const AVPixelFormat format = a.info().pixFmt;
    const bool samples = isCorrectableFormat(format);
    Tally tally;
    std::string formatText = "8-bit RGB";
    if (samples) {
        const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(format);
        const bool rgb = d->flags & AV_PIX_FMT_FLAG_RGB;
        for (const char *n : {rgb ? "R" : "Y", rgb ? "G" : "U", rgb ? "B" : "V"})
            tally.planes.push_back({n});
        tally.peak = (double)((1 << d->comp[0].depth) - 1);
        formatText = av_get_pix_fmt_name(format);
    } else {
        for (const char *n : {"R", "G", "B"})
            tally.planes.push_back({n});
    }
    HostBitmap fa, fb;
    AVFrame *ra = av_frame_alloc(), *rb = av_frame_alloc();
    if (!ra || !rb || (!samples && (!fa.allocate(w, h) || !fb.allocate(w, h)))) {
        av_frame_free(&ra);
        av_frame_free(&rb);
        reportError("out of memory");
        return EXIT_FAILURE_RUN;
    }
    Matcher matcher;
    std::vector<uint16_t> la, lb;
    int64_t frames = 0;
    int64_t pts = 0;
    bool unequalCounts = false;
    bool failed = false;
    while (o.frames < 0 || frames < o.frames) {
        const int ga = samples ? a.nextFrame(ra, pts, err) : a.next(fa, pts, err);
        const int gb = ga < 0 ? -1 : samples ? b.nextFrame(rb, pts, err) : b.next(fb, pts, err);
        if (ga < 0 || gb < 0) {
            failed = true;
            break;
        }
        if (ga == 0 || gb == 0) {
            unequalCounts = ga != gb;
            break;
        }
        if (samples) {
            const AVFrame *mb = matcher.match(rb, ra, err);
            if (!mb || ra->format != format) {
                if (mb)
                    err = "the first clip changes its pixel format";
                failed = true;
                break;
            }
            addSamples(tally, ra, mb, la, lb);
        } else {
            addBytes(tally, fa, fb, w, h);
        }
        frames++;
    }
    av_frame_free(&ra);
    av_frame_free(&rb);
    if (failed) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    if (frames == 0) {
        reportError("no frames to compare");
        return EXIT_FAILURE_RUN;
    }
    const double mse = tally.mse();
    const double psnr = tally.psnr(mse);
    if (o.json) {
        std::string planes;
        for (const Plane &p : tally.planes) {
            if (!planes.empty())
                planes += ", ";
            planes += "{\"plane\": \"" + p.name + "\", \"plane_mse\": " + std::to_string(tally.mse(p)) +
                      ", \"plane_psnr\": " + number(tally.psnr(tally.mse(p))) + "}";
        }
        printf("{\"frames\": %lld, \"format\": \"%s\", \"mse\": %.6f, \"psnr\": %s, \"planes\": [%s]}\n",
               (long long)frames, formatText.c_str(), mse, number(psnr).c_str(), planes.c_str());
    } else {
        if (mse > 0)
            printf("PSNR %.2f dB (MSE %.3f) over %lld frames of %dx%d\n", psnr, mse, (long long)frames, w, h);
        else
            printf("PSNR inf (identical) over %lld frames of %dx%d\n", (long long)frames, w, h);
        printf("  %s:", formatText.c_str());
        for (const Plane &p : tally.planes) {
            const double m = tally.mse(p);
            if (m > 0)
                printf(" %s %.2f dB", p.name.c_str(), tally.psnr(m));
            else
                printf(" %s inf", p.name.c_str());
        }
        putchar('\n');
    }
    if (unequalCounts)
        fprintf(stderr, "quorvel: note: the clips differ in length; compared the first %lld frames\n",
                (long long)frames);
    return EXIT_OK;
}

// quorvel's YUV correction path with any input: every pixel format FFmpeg
// describes that the correction accepts (planar, semi-planar and packed YUV
// of any subsampling and depth, deep RGB), any size, any colour tags, every
// byte of the frame (padding bits included), and any change the module could
// make to the picture it was given.
//
// Checked against the plain double-precision forms (tests/cli/
// correction_reference.h), with the matrix, range and siting the correction
// reads from the tags: the imported picture, to a thousandth of a level; the
// corrected samples, rounded to nearest (either neighbour within the
// kernels' budget of a half); an unchanged picture gives back every byte of
// the frame; alpha is never touched; nothing is read or written outside the
// frame's buffers or the pictures (the sanitizers watch them).
//
// Input layout (little-endian; missing bytes read as 0):
//   0   format u16 (index among the accepted formats, mod their count)
//   2   width u16, height u16: 1 + v mod 48 (large inputs: mod 1100, 600)
//   6   colour space u8 (mod AVCOL_SPC_NB), range u8 (mod 3), chroma
//       location u8 (mod 7), flags u8 (bit 0: keep the headroom)
//   10  change kind u8, seed u32: none; a block and lone pixels nudged;
//       every pixel random; every pixel by +-1; pixels from the input's bytes
//   15  the rest: the frame's first bytes (the others from the seed), then
//       again the pixels of change kind 4
// Cost budget: one input in LARGE_SHARE takes the large sizes, at most
// LARGE_PIXELS pixels (rows are dropped beyond); the reference costs some
// hundred operations a pixel.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "cli/correction.h"
#include "tests/cli/correction_reference.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

const unsigned LARGE_SHARE = 64;
const double LARGE_PIXELS = 1.5e5;

[[noreturn]] void fail(const char *what)
{
    fuzz::fail("correction_fuzz", what);
}

bool verbose = false;

std::vector<AVPixelFormat> &acceptedFormats()
{
    static std::vector<AVPixelFormat> formats;
    return formats;
}

struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};

std::vector<uint8_t> bytesOf(const AVFrame *f)
{
    std::vector<uint8_t> all;
    for (AVBufferRef *b : f->buf)
        if (b)
            all.insert(all.end(), b->data, b->data + b->size);
    return all;
}

// The samples of components 0..count-1, plane by plane.
RefSource sourceOf(const AVFrame *f, std::vector<int> *alpha)
{
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get((AVPixelFormat)f->format);
    RefSource s;
    s.width = f->width;
    s.height = f->height;
    s.rgb = (d->flags & AV_PIX_FMT_FLAG_RGB) != 0;
    s.depth = d->comp[0].depth;
    s.log2x = s.rgb ? 0 : d->log2_chroma_w;
    s.log2y = s.rgb ? 0 : d->log2_chroma_h;
    std::vector<uint16_t> line((size_t)f->width);
    for (int c = 0; c < 3; c++) {
        const int pw = s.planeWidth(c), ph = s.planeHeight(c);
        for (int y = 0; y < ph; y++) {
            av_read_image_line2(line.data(), (const uint8_t **)f->data, f->linesize, d, 0, y, c, pw, 0, 2);
            s.planes[c].insert(s.planes[c].end(), line.begin(), line.begin() + pw);
        }
    }
    alpha->clear();
    if (d->nb_components == 4)
        for (int y = 0; y < f->height; y++) {
            av_read_image_line2(line.data(), (const uint8_t **)f->data, f->linesize, d, 0, y, 3, f->width, 0, 2);
            alpha->insert(alpha->end(), line.begin(), line.end());
        }
    return s;
}

XrgbView viewOf(std::vector<uint32_t> &px, int w, int h)
{
    XrgbView v;
    v.top = (uint8_t *)px.data();
    v.stride = (ptrdiff_t)w * 4;
    v.width = w;
    v.height = h;
    return v;
}

uint32_t clampedPixel(const uint32_t in, int delta[3])
{
    uint32_t px = 0;
    for (int c = 0; c < 3; c++) {
        const int v = (int)(in >> 8 * c & 0xff) + delta[c];
        px |= (uint32_t)std::min(std::max(v, 0), 255) << 8 * c;
    }
    return px;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // CORRECTION_FUZZ_VERBOSE=1 prints each input's frame.
    verbose = getenv("CORRECTION_FUZZ_VERBOSE") != nullptr;
    for (const AVPixFmtDescriptor *d = av_pix_fmt_desc_next(nullptr); d; d = av_pix_fmt_desc_next(d)) {
        const AVPixelFormat fmt = av_pix_fmt_desc_get_id(d);
        if (isCorrectableFormat(fmt))
            acceptedFormats().push_back(fmt);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<AVPixelFormat> &formats = acceptedFormats();
    if (formats.empty())
        fail("no pixel format is accepted");
    const bool large = fuzz::isLargeInput(data, size, LARGE_SHARE);
    fuzz::Reader in{data, size};
    const AVPixelFormat fmt = formats[in.u16() % formats.size()];
    const uint16_t vw = in.u16(), vh = in.u16();
    const int w = large ? 1 + vw % 1100 : 1 + vw % 48;
    int h = large ? 1 + vh % 600 : 1 + vh % 48;
    while ((double)w * h > LARGE_PIXELS)
        h = h * 3 / 4;
    const AVColorSpace space = (AVColorSpace)(in.u8() % AVCOL_SPC_NB);
    const AVColorRange range = (AVColorRange)(in.u8() % 3);
    const AVChromaLocation loc = (AVChromaLocation)(in.u8() % 7);
    const bool headroom = in.u8() & 1;
    const int kind = in.u8() % 5;
    uint32_t rng = in.u32() * 2654435761u + 1;
    if (!rng)
        rng = 1;
    const std::vector<uint8_t> rest(in.p, in.p + in.n);
    if (verbose)
        fprintf(stderr, "correction_fuzz: %s (%u of %u) %dx%d, space %d, range %d, siting %d, headroom %d, change %d\n",
                av_get_pix_fmt_name(fmt), (unsigned)(std::find(formats.begin(), formats.end(), fmt) - formats.begin()),
                (unsigned)formats.size(), w, h, (int)space, (int)range, (int)loc, (int)headroom, kind);

    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    AVFrame *f = frame.get();
    f->format = fmt;
    f->width = w;
    f->height = h;
    f->colorspace = space;
    f->color_range = range;
    f->chroma_location = loc;
    if (av_frame_get_buffer(f, 0) < 0)
        fail("no frame buffer");
    size_t r = 0;
    for (AVBufferRef *b : f->buf)
        if (b)
            for (size_t i = 0; i < b->size; i++)
                b->data[i] = r < rest.size() ? rest[r++] : (uint8_t)(fuzz::xorshift(rng) >> 7);

    CorrectionOptions opts;
    opts.keepHeadroom = headroom;
    SourceLayout layout;
    std::string err;
    if (!describeSource(f, opts, layout, err))
        fail("an accepted format is not described");
    std::vector<int> alphaBefore, alphaAfter;
    const RefSource src = sourceOf(f, &alphaBefore);
    const std::vector<uint8_t> before = bytesOf(f);

    std::vector<uint32_t> picture((size_t)w * h, 0xDEADBEEF);
    if (!SourceImporter(opts).import(f, viewOf(picture, w, h), err))
        fail("the import failed");
    if (bytesOf(f) != before)
        fail("the import wrote the frame");

    RefColour colour;
    colour.kr = layout.matrix.kr;
    colour.kb = layout.matrix.kb;
    colour.fullRange = layout.matrix.fullRange;
    colour.headroom = headroom;
    colour.sitingX = layout.siting.x2 / 2.0;
    colour.sitingY = layout.siting.y2 / 2.0;
    const std::vector<double> exact = referenceImport(src, colour);
    for (size_t i = 0; i < picture.size(); i++) {
        if (picture[i] >> 24 != 0)
            fail("an imported pixel has a byte 3");
        for (int c = 0; c < 3; c++)
            if (!roundsTo((int)(picture[i] >> (16 - 8 * c) & 0xff), exact[3 * i + c], 255, 1e-3))
                fail("an imported pixel differs from the reference");
    }

    // The module's change.
    std::vector<uint32_t> out = picture;
    size_t t = r;
    switch (kind) {
    case 0: break;
    case 1: {
        auto nudge = [&](size_t i) {
            const int big = fuzz::xorshift(rng) % 8 == 0 ? 255 : 60;
            int delta[3];
            for (int c = 0; c < 3; c++)
                delta[c] = (int)(fuzz::xorshift(rng) % (2 * big + 1)) - big;
            out[i] = clampedPixel(picture[i], delta);
        };
        const int bx = (int)(fuzz::xorshift(rng) % w), by = (int)(fuzz::xorshift(rng) % h);
        for (int y = by; y < std::min(h, by + 6); y++)
            for (int x = bx; x < std::min(w, bx + 5); x++)
                nudge((size_t)y * w + x);
        for (int n = 0; n < 5; n++)
            nudge(fuzz::xorshift(rng) % out.size());
        break;
    }
    case 2:
        for (uint32_t &px : out)
            px = fuzz::xorshift(rng) & 0xffffff;
        break;
    case 3:
        for (size_t i = 0; i < out.size(); i++) {
            int delta[3];
            for (int c = 0; c < 3; c++)
                delta[c] = (int)(fuzz::xorshift(rng) % 3) - 1;
            out[i] = clampedPixel(picture[i], delta);
        }
        break;
    default:
        for (size_t i = 0; i < out.size() && t + 2 < rest.size(); i++, t += 3)
            out[i] = (uint32_t)rest[t] | (uint32_t)rest[t + 1] << 8 | (uint32_t)rest[t + 2] << 16;
        break;
    }

    std::vector<double> expected[3];
    referenceCorrect(src, colour, picture, out, expected);
    if (!FrameCorrector(opts).apply(f, viewOf(picture, w, h), viewOf(out, w, h), err))
        fail("the correction failed");
    if (kind == 0 && bytesOf(f) != before)
        fail("an unchanged picture did not give back every byte");
    const RefSource after = sourceOf(f, &alphaAfter);
    if (alphaAfter != alphaBefore)
        fail("alpha changed");
    const int top = (1 << src.depth) - 1;
    const double tie = ldexp(1.0, src.depth - 20);  // the kernels' budget
    for (int c = 0; c < 3; c++)
        for (size_t i = 0; i < expected[c].size(); i++)
            if (!roundsTo(after.planes[c][i], expected[c][i], top, tie)) {
                fprintf(stderr, "correction_fuzz: %s %dx%d plane %d sample %u: was %d, got %d, exact %.6f\n",
                        av_get_pix_fmt_name(fmt), w, h, c, (unsigned)i, src.planes[c][i], after.planes[c][i],
                        expected[c][i]);
                fail("a corrected sample differs from the reference");
            }
    return 0;
}

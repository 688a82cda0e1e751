// The YUV import and the change correction against the plain double-precision
// forms (correction_reference.h), on every kind of layout FFmpeg decodes to,
// with odd sizes and every byte of the frames random (padding bits included).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "cli/correction.h"
#include "cli/correction_dsp.h"
#include "engine/dsp.h"
#include "tests/cli/correction_reference.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace {

// Planar, semi-planar and packed YUV of every subsampling and depth, with
// alpha, big-endian, and bits beside the samples; deep RGB packed and planar.
const char *const formatNames[] = {
    "yuv420p",     "yuv422p",     "yuv444p",     "yuv411p",     "yuv410p",      "yuv440p",   "yuvj422p", "yuv422p10le",
    "yuv420p10be", "yuv444p12le", "yuv422p16be", "yuv420p16le", "yuva444p10le", "nv12",      "nv21",     "nv16",
    "p010le",      "p016be",      "yuyv422",     "uyvy422",     "yvyu422",      "y210le",    "ayuv64le", "vuya",
    "xv30le",      "rgb48be",     "bgra64le",    "gbrp10le",    "gbrp16be",     "x2rgb10le",
};

struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

FramePtr randomFrame(AVPixelFormat fmt, int w, int h, std::mt19937 &rng)
{
    FramePtr f(av_frame_alloc());
    f->format = fmt;
    f->width = w;
    f->height = h;
    if (av_frame_get_buffer(f.get(), 0) < 0)
        return nullptr;
    for (AVBufferRef *b : f->buf)
        if (b)
            for (size_t i = 0; i < b->size; i++)
                b->data[i] = (uint8_t)rng();
    return f;
}

std::vector<uint8_t> bytesOf(const AVFrame *f)
{
    std::vector<uint8_t> all;
    for (AVBufferRef *b : f->buf)
        if (b)
            all.insert(all.end(), b->data, b->data + b->size);
    return all;
}

RefSource sourceOf(const AVFrame *f)
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

TEST(Correction, UnchangedPicturesComeBackBitExact)
{
    std::mt19937 rng(1);
    const int sizes[][2] = {{37, 23}, {1, 1}, {2, 3}, {9, 14}, {5, 601}};
    for (const char *name : formatNames) {
        const AVPixelFormat fmt = av_get_pix_fmt(name);
        if (fmt == AV_PIX_FMT_NONE)
            continue;  // not in this FFmpeg
        ASSERT_TRUE(isCorrectableFormat(fmt)) << name;
        for (const auto &size : sizes)
            for (const bool headroom : {false, true}) {
                const int w = size[0], h = size[1];
                FramePtr f = randomFrame(fmt, w, h, rng);
                ASSERT_TRUE(f) << name;
                f->chroma_location = (AVChromaLocation)(rng() % 7);
                f->color_range = (AVColorRange)(rng() % 3);
                const std::vector<uint8_t> before = bytesOf(f.get());
                CorrectionOptions opts;
                opts.keepHeadroom = headroom;
                std::vector<uint32_t> in((size_t)w * h), out;
                std::string err;
                ASSERT_TRUE(SourceImporter(opts).import(f.get(), viewOf(in, w, h), err)) << name << err;
                out = in;
                ASSERT_TRUE(FrameCorrector(opts).apply(f.get(), viewOf(in, w, h), viewOf(out, w, h), err)) << err;
                EXPECT_TRUE(bytesOf(f.get()) == before) << name << " " << w << "x" << h;
            }
    }
}

struct Tagging {
    AVColorSpace space;
    AVColorRange range;
    AVChromaLocation loc;
    int height;
    double kr, kb;  // what the tags mean
    bool full;
};

TEST(Correction, ImportAndChangeMatchThePlainForms)
{
    const Tagging taggings[] = {
        {AVCOL_SPC_BT470BG, AVCOL_RANGE_MPEG, AVCHROMA_LOC_LEFT, 23, 0.299, 0.114, false},
        {AVCOL_SPC_BT709, AVCOL_RANGE_JPEG, AVCHROMA_LOC_CENTER, 23, 0.2126, 0.0722, true},
        {AVCOL_SPC_SMPTE170M, AVCOL_RANGE_JPEG, AVCHROMA_LOC_TOPLEFT, 21, 0.299, 0.114, true},
        {AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, AVCHROMA_LOC_BOTTOM, 21, 0.2126, 0.0722, false},
        // Untagged: the matrix by frame height, co-sited chroma.
        {AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, AVCHROMA_LOC_UNSPECIFIED, 577, 0.2126, 0.0722, false},
        {AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, AVCHROMA_LOC_UNSPECIFIED, 576, 0.299, 0.114, false},
    };
    std::mt19937 rng(2);
    for (const char *name : formatNames) {
        const AVPixelFormat fmt = av_get_pix_fmt(name);
        if (fmt == AV_PIX_FMT_NONE)
            continue;
        for (const Tagging &t : taggings)
            for (const bool headroom : {false, true}) {
                const int w = t.height > 100 ? 7 : 37, h = t.height;
                FramePtr f = randomFrame(fmt, w, h, rng);
                f->colorspace = t.space;
                f->color_range = t.range;
                f->chroma_location = t.loc;
                const RefSource src = sourceOf(f.get());
                const int fx = 1 << src.log2x, fy = 1 << src.log2y;
                RefColour colour;
                colour.kr = t.kr;
                colour.kb = t.kb;
                colour.fullRange = t.full || strncmp(name, "yuvj", 4) == 0;
                colour.headroom = headroom;
                const bool xCentred =
                    t.loc == AVCHROMA_LOC_CENTER || t.loc == AVCHROMA_LOC_TOP || t.loc == AVCHROMA_LOC_BOTTOM;
                colour.sitingX = xCentred ? (fx - 1) / 2.0 : 0;
                colour.sitingY = t.loc == AVCHROMA_LOC_TOPLEFT || t.loc == AVCHROMA_LOC_TOP         ? 0
                                 : t.loc == AVCHROMA_LOC_BOTTOMLEFT || t.loc == AVCHROMA_LOC_BOTTOM ? fy - 1
                                                                                                    : (fy - 1) / 2.0;
                const std::string what =
                    std::string(name) + " tagging " + std::to_string(&t - taggings) + (headroom ? " headroom" : "");

                CorrectionOptions opts;
                opts.keepHeadroom = headroom;
                std::vector<uint32_t> in((size_t)w * h);
                std::string err;
                ASSERT_TRUE(SourceImporter(opts).import(f.get(), viewOf(in, w, h), err)) << what << err;
                const std::vector<double> picture = referenceImport(src, colour);
                for (size_t i = 0; i < in.size(); i++)
                    for (int c = 0; c < 3; c++)
                        ASSERT_TRUE(roundsTo((int)(in[i] >> (16 - 8 * c) & 0xff), picture[3 * i + c], 255, 1e-3))
                            << what << " pixel " << i << " channel " << c << " exact " << picture[3 * i + c];

                // A block and a few lone pixels change, some by the most a
                // byte can; everything else stays.
                std::vector<uint32_t> out = in;
                auto nudge = [&](size_t i) {
                    uint32_t px = 0;
                    for (int c = 0; c < 3; c++) {
                        const int big = rng() % 8 == 0 ? 255 : 60;
                        const int v = (int)(in[i] >> 8 * c & 0xff) + (int)(rng() % (2 * big + 1)) - big;
                        px |= (uint32_t)std::min(std::max(v, 0), 255) << 8 * c;
                    }
                    out[i] = px;
                };
                const int bx = (int)(rng() % w), by = (int)(rng() % h);
                for (int y = by; y < std::min(h, by + 6); y++)
                    for (int x = bx; x < std::min(w, bx + 5); x++)
                        nudge((size_t)y * w + x);
                for (int n = 0; n < 5; n++)
                    nudge(rng() % in.size());

                std::vector<double> expected[3];
                referenceCorrect(src, colour, in, out, expected);
                ASSERT_TRUE(FrameCorrector(opts).apply(f.get(), viewOf(in, w, h), viewOf(out, w, h), err)) << err;
                const RefSource after = sourceOf(f.get());
                const int top = (1 << src.depth) - 1;
                const double tie = std::ldexp(1.0, src.depth - 20);  // the kernels' budget
                for (int c = 0; c < 3; c++)
                    for (size_t i = 0; i < expected[c].size(); i++)
                        ASSERT_TRUE(roundsTo(after.planes[c][i], expected[c][i], top, tie))
                            << what << " plane " << c << " sample " << i << " was " << src.planes[c][i] << " got "
                            << after.planes[c][i] << " exact " << expected[c][i];
            }
    }
}

// The SIMD kernels against the reference on random and extreme rows of every
// width up to a few vectors and a PAL line, nothing written past the row.
TEST(CorrectionDsp, SimdEqualsReference)
{
    if (cpuDetect() < CPU_SSE2)
        GTEST_SKIP() << "no SSE2";
    CorrectionDsp ref, simd;
    correctionDspInit(&ref, CPU_SCALAR);
    correctionDspInit(&simd, CPU_SSE2);
    std::mt19937 rng(3);
    const int guard = 16;
    std::vector<int> widths;
    for (int w = 1; w <= 40; w++)
        widths.push_back(w);
    widths.push_back(719);
    widths.push_back(720);
    for (int w : widths)
        for (int pattern = 0; pattern < 4; pattern++) {
            // 0, 1 random; 2 all change one way at the extremes; 3 alternating.
            auto byteOf = [&](int x, bool outSide) -> uint32_t {
                if (pattern == 2)
                    return outSide ? 0xffffffffu : 0;
                if (pattern == 3)
                    return ((x & 1) ^ outSide) ? 0x00ffffffu : 0;
                return (uint32_t)rng();
            };
            std::vector<uint32_t> in(w), out(w);
            for (int x = 0; x < w; x++) {
                in[x] = byteOf(x, false);
                out[x] = byteOf(x, true);
            }
            std::vector<int16_t> ca((size_t)3 * w + guard, 0x5a5a), cb = ca;
            ref.changeRow(ca.data(), in.data(), out.data(), w);
            simd.changeRow(cb.data(), in.data(), out.data(), w);
            ASSERT_TRUE(ca == cb) << "changeRow w " << w;

            for (const int depth : {8, 10, 16}) {
                const int top = (1 << depth) - 1;
                const float scale = (float)(top / 255.0);
                const float k[3] = {0.299f * scale, 0.587f * scale, 0.114f * scale};
                const float kc[3] = {-0.1687f * scale, -0.3313f * scale, 0.5f * scale};
                std::vector<uint16_t> ya((size_t)w + guard), yb;
                for (auto &v : ya)
                    v = (uint16_t)(pattern == 2 ? top : rng() % (top + 1));
                yb = ya;
                ref.correctLuma(ya.data(), ca.data(), w, k, top);
                simd.correctLuma(yb.data(), ca.data(), w, k, top);
                ASSERT_TRUE(ya == yb) << "correctLuma w " << w << " depth " << depth;

                std::vector<int32_t> sums((size_t)3 * w);
                std::vector<float> inv(w);
                for (int x = 0; x < 3 * w; x++)
                    sums[x] = pattern == 2 ? 255 * 16 : (int32_t)(rng() % (2 * 255 * 16 + 1)) - 255 * 16;
                for (int x = 0; x < w; x++)
                    inv[x] = 1.0f / (float)(1 + rng() % 16);
                std::vector<uint16_t> ua((size_t)w + guard), ub;
                for (auto &v : ua)
                    v = (uint16_t)(rng() % (top + 1));
                ub = ua;
                ref.correctChroma(ua.data(), sums.data(), inv.data(), w, kc, top);
                simd.correctChroma(ub.data(), sums.data(), inv.data(), w, kc, top);
                ASSERT_TRUE(ua == ub) << "correctChroma w " << w << " depth " << depth;
            }

            std::vector<int32_t> sa((size_t)3 * w + guard, 0x5a5a5a5a), sb = sa;
            for (const int centred : {0, 1}) {
                const int first = centred ? 0 : 1, end = std::max(first, centred ? w / 2 : (w - 2) / 2 + 1);
                ref.sumsX2(sa.data(), w, ca.data(), w, first, end, centred);
                simd.sumsX2(sb.data(), w, ca.data(), w, first, end, centred);
                ASSERT_TRUE(sa == sb) << "sumsX2 w " << w << " centred " << centred;
            }

            std::vector<uint16_t> ua(w), ub(w);
            for (int x = 0; x < w; x++) {
                ua[x] = (uint16_t)(pattern == 2 ? 65535 : rng());
                ub[x] = (uint16_t)(pattern == 2 ? 0 : rng());
            }
            std::vector<float> fa((size_t)w + guard, -7.0f), fb = fa;
            ref.chromaRow(fa.data(), ua.data(), ub.data(), 0.375f, w, 512.0f, 219.0f / 896);
            simd.chromaRow(fb.data(), ua.data(), ub.data(), 0.375f, w, 512.0f, 219.0f / 896);
            ASSERT_TRUE(fa == fb) << "chromaRow w " << w;
            std::vector<float> up((size_t)2 * w + guard, -7.0f), uq = up;
            ref.upsampleX2(up.data(), fa.data(), 0, w - 1);
            simd.upsampleX2(uq.data(), fa.data(), 0, w - 1);
            ASSERT_TRUE(up == uq) << "upsampleX2 w " << w;

            std::vector<uint8_t> bytes((size_t)w + guard);
            for (auto &v : bytes)
                v = (uint8_t)rng();
            std::vector<uint16_t> wa((size_t)w + guard, 0x5a5a), wb = wa;
            ref.widenBytes(wa.data(), bytes.data(), w);
            simd.widenBytes(wb.data(), bytes.data(), w);
            ASSERT_TRUE(wa == wb) << "widenBytes w " << w;
            std::vector<uint8_t> na((size_t)w + guard, 0x5a), nb = na;
            ref.narrowBytes(na.data(), wa.data(), w);
            simd.narrowBytes(nb.data(), wa.data(), w);
            ASSERT_TRUE(na == nb) << "narrowBytes w " << w;

            std::vector<uint16_t> ys(w);
            std::vector<float> cbf(w), crf(w);
            for (int x = 0; x < w; x++) {
                ys[x] = (uint16_t)(pattern == 2 ? 1023 : rng() % 1024);
                cbf[x] = (float)((int)(rng() % 2048) - 1024) / 3;  // past both ends of a byte
                crf[x] = (float)((int)(rng() % 2048) - 1024) / 3;
            }
            const float k[7] = {1.402f, -0.344136f,  -0.714136f, 1.772f, pattern == 3 ? 16.0f : 0.0f,
                                64.0f,  255.0f / 876};
            std::vector<uint32_t> pa((size_t)w + guard, 0xdeadbeef), pb = pa;
            ref.xrgbRow(pa.data(), ys.data(), cbf.data(), crf.data(), w, k);
            simd.xrgbRow(pb.data(), ys.data(), cbf.data(), crf.data(), w, k);
            ASSERT_TRUE(pa == pb) << "xrgbRow w " << w;
        }
}

}  // namespace

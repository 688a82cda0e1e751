// quorvel end to end on YUV sources and 16-bit RGB image sequences: the
// output keeps the source's format and samples, and a module's change lands
// on them as the correction library computes it for the module's own output,
// run in this process.
#include <gtest/gtest.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "cli/correction.h"
#include "cli/reader.h"
#include "hosting/module.h"
#include "tests/cli/e2e_fixture.h"

namespace {

using namespace quorvel_e2e;

// Every frame of a clip as its decoder gives it: the samples packed plane
// after plane, with the pixel format's name in front.
struct Samples {
    std::string format;
    std::vector<std::vector<uint8_t>> frames;
};

bool packedFrame(const AVFrame *f, std::vector<uint8_t> &out)
{
    const AVPixelFormat fmt = (AVPixelFormat)f->format;
    const int size = av_image_get_buffer_size(fmt, f->width, f->height, 1);
    if (size < 0)
        return false;
    out.resize((size_t)size);
    return av_image_copy_to_buffer(out.data(), size, f->data, f->linesize, fmt, f->width, f->height, 1) == size;
}

Samples readSamples(const std::string &file)
{
    Samples s;
    MediaReader reader;
    std::string err;
    EXPECT_TRUE(reader.open(file, err)) << err;
    s.format = av_get_pix_fmt_name(reader.info().pixFmt);
    AVFrame *frame = av_frame_alloc();
    int64_t pts = 0;
    for (int got; (got = reader.nextFrame(frame, pts, err)) > 0;) {
        s.frames.emplace_back();
        EXPECT_TRUE(packedFrame(frame, s.frames.back()));
    }
    EXPECT_TRUE(err.empty()) << err;
    av_frame_free(&frame);
    return s;
}

class QuorvelSource : public QuorvelEndToEnd {
protected:
    // A clip of `frames` frames of odd size in `pixFmt`, lossless.
    void writeClip(const std::string &name, const std::string &pixFmt, int frames = 3) const
    {
        // Cropped in RGB: cropping YUV would round the size to the chroma.
        ffmpeg("-f lavfi -i testsrc2=size=72x42:rate=25,format=rgb24,crop=67:37:1:2 -frames:v " +
               std::to_string(frames) + " -c:v ffv1 -pix_fmt " + pixFmt + " " + name);
    }

    // What quorvel should write for `input` with the module configured by
    // `actions`: each frame imported, run through the module and its change
    // added back, here in this process.
    Samples corrected(const std::string &input, const std::vector<DialogAction> &actions) const
    {
        Samples s;
        const std::string copy = path("module-direct.so");
        fs::copy_file(findModule("zelt_lpf"), copy);
        LoadedModule m;
        std::string err;
        EXPECT_TRUE(m.load(copy, err)) << err;
        MediaReader reader;
        EXPECT_TRUE(reader.open(input, err)) << err;
        const int w = reader.info().width, h = reader.info().height;
        s.format = av_get_pix_fmt_name(reader.info().pixFmt);
        HostBitmap src, dst, before;
        EXPECT_TRUE(src.allocate(w, h) && dst.allocate(w, h) && before.allocate(w, h));
        EXPECT_TRUE(m.configure(src, dst, actions, err)) << err;
        EXPECT_TRUE(m.start(src, dst, err)) << err;
        FrameCorrector corrector;
        AVFrame *frame = av_frame_alloc();
        int64_t pts = 0;
        while (reader.next(src, frame, pts, err) > 0) {
            memcpy(before.data(), src.data(), src.size());
            EXPECT_TRUE(m.run(src, dst, err)) << err;
            EXPECT_GE(av_frame_make_writable(frame), 0);
            EXPECT_TRUE(corrector.apply(frame, xrgbView(before), xrgbView(dst), err)) << err;
            s.frames.emplace_back();
            EXPECT_TRUE(packedFrame(frame, s.frames.back()));
        }
        m.end();
        av_frame_free(&frame);
        return s;
    }
};

TEST_F(QuorvelSource, NoStageKeepsEverySampleOfEveryFormat)
{
    for (const char *pixFmt : {"yuv420p", "yuv422p", "yuv444p", "yuv420p10le", "yuv422p10le", "yuv444p10le"}) {
        SCOPED_TRACE(pixFmt);
        writeClip("in.mkv", pixFmt);
        const Samples in = readSamples(path("in.mkv"));
        ASSERT_EQ(in.frames.size(), 3u);
        ASSERT_EQ(ffprobe("-show_entries stream=width,height -of csv=p=0 in.mkv"), "67,37\n");
        for (const char *how : {"", "--serial "}) {
            const Result r = quorvel(std::string("-y --verbose ") + how + "in.mkv out.mkv");
            ASSERT_EQ(r.status, 0) << r.output;
            EXPECT_NE(r.output.find(std::string("correction on the source's ") + pixFmt + " samples"),
                      std::string::npos)
                << r.output;
            const Samples out = readSamples(path("out.mkv"));
            EXPECT_EQ(out.format, pixFmt);
            EXPECT_TRUE(out.frames == in.frames) << how;
        }
    }
}

TEST_F(QuorvelSource, NotchChangesTheSourceAsTheCorrectionComputes)
{
    const std::vector<DialogAction> band = {
        {1005, true, true, ""}, {1009, false, false, "3"}, {1008, false, false, "6"}};
    for (const char *pixFmt : {"yuv420p", "yuv422p10le"}) {
        SCOPED_TRACE(pixFmt);
        writeClip("in.mkv", pixFmt, 4);
        const Result r = quorvel("-y --quiet --notch --min-harmonic 3 --max-harmonic 6 in.mkv out.mkv");
        ASSERT_EQ(r.status, 0) << r.output;
        const Samples in = readSamples(path("in.mkv")), out = readSamples(path("out.mkv"));
        const Samples want = corrected(path("in.mkv"), band);
        fs::remove(path("module-direct.so"));
        EXPECT_EQ(out.format, pixFmt);
        ASSERT_EQ(out.frames.size(), 4u);
        EXPECT_TRUE(out.frames == want.frames);
        EXPECT_FALSE(out.frames == in.frames);  // the notch did something
    }
    // Output in another format than the source's goes the RGB way, as before.
    const Result r = quorvel("-y --verbose --pix-fmt bgr0 in.mkv rgb.mkv");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("RGB round trip"), std::string::npos) << r.output;
    EXPECT_EQ(readSamples(path("rgb.mkv")).format, "bgr0");
}

TEST_F(QuorvelSource, SixteenBitSequencesKeepTheirBits)
{
    const std::vector<DialogAction> band = {
        {1005, true, true, ""}, {1009, false, false, "3"}, {1008, false, false, "6"}};
    for (const char *format : {"png rgb48be", "tif rgb48le"}) {
        const std::string ext = std::string(format, 3), pixFmt = format + 4;
        SCOPED_TRACE(pixFmt);
        // Every bit of each sample in use: the pattern plus ramps that are no
        // multiple of 257, so that a trip through 8 bits would show.
        ffmpeg("-f lavfi -i \"testsrc2=size=72x42:rate=25,format=rgb48le,crop=67:37:1:2,"
               "geq=r='r(X\\,Y)+X*7+T*7500':g='g(X\\,Y)+Y*13':b='b(X\\,Y)+mod(X*Y\\,251)'\" -frames:v 3 -pix_fmt " +
               pixFmt + " in%03d." + ext);
        const Samples in = readSamples(path("in%03d." + ext));
        ASSERT_EQ(in.format, pixFmt);
        ASSERT_EQ(in.frames.size(), 3u);
        Result r = quorvel("-y --verbose in%03d." + ext + " out%03d." + ext);
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find("correction on the source's " + pixFmt + " samples"), std::string::npos) << r.output;
        const Samples out = readSamples(path("out%03d." + ext));
        EXPECT_EQ(out.format, pixFmt);
        EXPECT_TRUE(out.frames == in.frames);

        r = quorvel("-y --quiet --notch --min-harmonic 3 --max-harmonic 6 in%03d." + ext + " notch%03d." + ext);
        ASSERT_EQ(r.status, 0) << r.output;
        const Samples notched = readSamples(path("notch%03d." + ext));
        const Samples want = corrected(path("in%03d." + ext), band);
        fs::remove(path("module-direct.so"));
        EXPECT_EQ(notched.format, pixFmt);
        ASSERT_EQ(notched.frames.size(), 3u);
        EXPECT_TRUE(notched.frames == want.frames);
        EXPECT_FALSE(notched.frames == in.frames);  // the notch did something
    }
}

}  // namespace

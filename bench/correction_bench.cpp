// What correcting the source costs next to today's conversion: per 720 x 576
// 4:2:2 frame, the source to the module's picture and the module's change
// back into (a copy of) the source, against swscale's conversion to 8-bit RGB
// and back that quorvel does otherwise. The module's own work is left out of
// both. Prints the ratio after the runs (ZELT_CPU=scalar for the reference
// kernels).
#include <benchmark/benchmark.h>
#include <stdio.h>

#include <map>
#include <string>

#include "hosting/bitmap.h"
#include "cli/convert.h"
#include "cli/correction.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kWidth = 720, kHeight = 576;

// A picture with some of everything: ramps, a bright block past white, noise;
// made as 4:2:2 and converted for the other layouts.
AVFrame *sourceFrame(AVPixelFormat fmt)
{
    AVFrame *f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV422P;
    f->width = kWidth;
    f->height = kHeight;
    f->colorspace = AVCOL_SPC_BT470BG;
    f->color_range = AVCOL_RANGE_MPEG;
    f->chroma_location = AVCHROMA_LOC_LEFT;
    av_frame_get_buffer(f, 0);
    uint32_t seed = 1;
    for (int y = 0; y < kHeight; y++) {
        for (int x = 0; x < kWidth; x++) {
            seed = seed * 1664525u + 1013904223u;
            const int v = (x > 300 && x < 400 && y > 200 && y < 300) ? 250 : 16 + (x + y) % 220;
            f->data[0][y * f->linesize[0] + x] = (uint8_t)(v + (seed >> 29));
        }
        for (int x = 0; x < kWidth / 2; x++) {
            f->data[1][y * f->linesize[1] + x] = (uint8_t)(128 + (x % 64) - 32);
            f->data[2][y * f->linesize[2] + x] = (uint8_t)(128 + (y % 48) - 24);
        }
    }
    if (fmt == AV_PIX_FMT_YUV422P)
        return f;
    // Other layouts from the same picture, through swscale.
    AVFrame *g = av_frame_alloc();
    g->format = fmt;
    g->width = kWidth;
    g->height = kHeight;
    av_frame_get_buffer(g, 0);
    av_frame_copy_props(g, f);
    SwsContext *sws =
        sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV422P, kWidth, kHeight, fmt, SWS_POINT, nullptr, nullptr, nullptr);
    sws_scale(sws, f->data, f->linesize, 0, kHeight, g->data, g->linesize);
    sws_freeContext(sws);
    av_frame_free(&f);
    return g;
}

// What a notch leaves: every pixel changed a little.
void moduleChange(const HostBitmap &in, HostBitmap &out)
{
    for (int y = 0; y < kHeight; y++) {
        const uint8_t *s = in.pictureRow(y);
        uint8_t *d = out.pictureRow(y);
        for (int x = 0; x < 4 * kWidth; x++) {
            const int v = s[x] + ((x / 4 + y) % 5) - 2;
            d[x] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

struct Fixture {
    AVFrame *src;
    AVFrame *dst = av_frame_alloc();
    HostBitmap in, out;
    explicit Fixture(AVPixelFormat fmt) : src(sourceFrame(fmt))
    {
        dst->format = src->format;
        dst->width = kWidth;
        dst->height = kHeight;
        av_frame_get_buffer(dst, 0);
        av_frame_copy_props(dst, src);
        in.allocate(kWidth, kHeight);
        out.allocate(kWidth, kHeight);
    }
    ~Fixture()
    {
        av_frame_free(&src);
        av_frame_free(&dst);
    }
};

// The layouts measured: the goal's 4:2:2, and 4:2:0 and 10-bit 4:2:2 beside it.
const AVPixelFormat layouts[] = {AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P10LE};

void BM_SwscaleRoundTrip(benchmark::State &state)
{
    Fixture fx(layouts[state.range(0)]);
    state.SetLabel(av_get_pix_fmt_name(layouts[state.range(0)]));
    FrameImporter importer;
    FrameExporter exporter;
    std::string err;
    importer.import(fx.src, fx.in, err);
    moduleChange(fx.in, fx.out);
    for (auto _ : state) {
        importer.import(fx.src, fx.in, err);
        exporter.exportTo(fx.out, fx.dst, err);
        benchmark::DoNotOptimize(fx.dst->data[0][0]);
    }
}
BENCHMARK(BM_SwscaleRoundTrip)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_ImportAndCorrect(benchmark::State &state)
{
    Fixture fx(layouts[state.range(0)]);
    state.SetLabel(av_get_pix_fmt_name(layouts[state.range(0)]));
    SourceImporter importer;
    FrameCorrector corrector;
    std::string err;
    importer.import(fx.src, xrgbView(fx.in), err);
    moduleChange(fx.in, fx.out);
    for (auto _ : state) {
        importer.import(fx.src, xrgbView(fx.in), err);
        // The source frame belongs to the decoder: the correction goes into
        // the writer's copy.
        av_frame_copy(fx.dst, fx.src);
        corrector.apply(fx.dst, xrgbView(fx.in), xrgbView(fx.out), err);
        benchmark::DoNotOptimize(fx.dst->data[0][0]);
    }
}
BENCHMARK(BM_ImportAndCorrect)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The console output, and each benchmark's CPU time per iteration kept for
// the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> cpu;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median")
                cpu[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int i = 0; i < 3; i++) {
        const std::string arg = std::to_string(i);
        const double a = reporter.cpu["BM_ImportAndCorrect/" + arg], b = reporter.cpu["BM_SwscaleRoundTrip/" + arg];
        if (a > 0 && b > 0)
            printf("%s: import + correct / swscale round trip: %.3f%s\n", av_get_pix_fmt_name(layouts[i]), a / b,
                   i == 0 ? " (goal <= 1.10)" : "");
    }
    benchmark::Shutdown();
    return 0;
}

// The synthetic test clip.
#include "cli/sample.h"

#include <math.h>
#include <stdio.h>

#include <vector>

#include "cli/commands.h"
#include "cli/progress.h"
#include "cli/writer.h"

const PlantedTone sampleTones[2] = {
    {112, 6.0, 0.9, 1.3},   // 1.75 MHz at the PAL line rate
    {173, 4.0, -0.6, 0.7},  // 2.70 MHz
};
const double sampleFlicker = 3.0;

namespace {

const double pi = 3.14159265358979323846;

// A reproducible value in [-1, 1) for a row and frame.
double rowNoise(int y, int t)
{
    uint32_t v = (uint32_t)y * 0x9E3779B1u ^ ((uint32_t)t + 0x7F4A7C15u) * 0x85EBCA77u;
    v ^= v >> 15;
    v *= 0x2C1B3C6Du;
    v ^= v >> 12;
    v *= 0x297A2D39u;
    v ^= v >> 15;
    return (double)v / 2147483648.0 - 1.0;
}

double smoothStep(double edge0, double edge1, double x)
{
    double k = (x - edge0) / (edge1 - edge0);
    k = k < 0 ? 0 : k > 1 ? 1 : k;
    return k * k * (3 - 2 * k);
}

uint8_t toByte(double v)
{
    v = floor(v + 0.5);
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double k)
{
    return {a.r + (b.r - a.r) * k, a.g + (b.g - a.g) * k, a.b + (b.b - a.b) * k};
}

// The picture at (x, y) of frame t, in a 720 x 576 frame of reference.
Rgb scene(double x, double y, int t)
{
    const double W = SAMPLE_WIDTH, H = SAMPLE_HEIGHT;
    // Sky to horizon.
    const double v = y / H;
    Rgb c = {70 + 90 * v, 110 + 70 * v, 200 - 40 * v};
    // Ground with a field texture scrolling towards the viewer.
    const double horizon = 0.62 * H;
    if (y > horizon) {
        const double depth = (y - horizon) / (H - horizon);
        const double furrow = sin((x - W / 2) * (0.05 + 0.25 * depth) / (0.3 + depth) + 0.35 * t);
        const double shade = sin(6.0 * depth + 0.2 * t);
        Rgb ground = {95 + 25 * furrow + 15 * shade, 120 + 30 * furrow, 60 + 10 * shade};
        c = mix(c, ground, smoothStep(horizon, horizon + 3, y));
    }
    // Rotating wheel of spokes: fine detail at every angle.
    {
        const double cx = 0.72 * W, cy = 0.36 * H, dx = x - cx, dy = y - cy;
        const double r = sqrt(dx * dx + dy * dy);
        if (r < 120) {
            const double a = atan2(dy, dx) + 0.06 * t;
            const double spokes = 0.5 + 0.5 * cos(24 * a);
            Rgb wheel = {40 + 200 * spokes, 40 + 180 * spokes, 50 + 150 * spokes};
            c = mix(c, wheel, 1 - smoothStep(116, 120, r));
        }
    }
    // A ball crossing the picture on a bouncing path.
    {
        const double cx = 90 + 9.0 * t, cy = 0.55 * H - 120 * fabs(sin(0.12 * t));
        const double dx = x - cx, dy = y - cy;
        const double r = sqrt(dx * dx + dy * dy);
        if (r < 60) {
            const double shade = 0.65 + 0.35 * (-(dx + dy) / 85.0);
            Rgb ball = {235 * shade, 190 * shade, 60 * shade};
            c = mix(c, ball, 1 - smoothStep(57, 60, r));
        }
    }
    // A board of sharp-edged blocks, like a test card or captions.
    {
        const double bx = x - 0.08 * W, by = y - 0.08 * H;
        if (bx >= 0 && bx < 200 && by >= 0 && by < 90) {
            // Uneven columns: a regular grid would itself be periodic.
            static const int edges[] = {18, 49, 71, 98, 133, 152, 178, 200};
            int col = 0;
            while (bx >= edges[col])
                col++;
            const int row = (int)(by / 30);
            const bool lit = ((col * 7 + row * 3 + t / 10) % 5) < 3;
            c = lit ? Rgb{235, 235, 225} : Rgb{25, 30, 40};
        }
    }
    return c;
}

}  // namespace

void renderSampleFrame(HostBitmap &bmp, int t, bool interference, const SampleInterference &planted)
{
    const int w = bmp.width(), h = bmp.height();
    const double sx = (double)SAMPLE_WIDTH / w, sy = (double)SAMPLE_HEIGHT / h;
    std::vector<double> wave((size_t)w);
    for (int y = 0; y < h; y++) {
        uint8_t *row = bmp.pictureRow(y);
        if (interference) {
            const double offset = planted.flicker * rowNoise(y, t);
            for (int x = 0; x < w; x++)
                wave[(size_t)x] = offset;
            if (planted.frequencies.empty()) {
                for (const PlantedTone &tone : sampleTones) {
                    const double phase = tone.phasePerRow * y + tone.phasePerFrame * t;
                    for (int x = 0; x < w; x++)
                        wave[(size_t)x] += tone.amplitude * cos(2 * pi * tone.harmonic * x / w + phase);
                }
            }
            for (size_t i = 0; i < planted.frequencies.size(); i++) {
                const double f = planted.frequencies[i];
                // Cycles since the clip began at the row's first sample, kept
                // to its fraction so that late frames lose no precision; each
                // tone starts at a phase of its own.
                double cycles = f * ((double)y + (double)SAMPLE_LINES_PER_FRAME * t);
                cycles -= floor(cycles);
                const double phase = 2 * pi * cycles + 1.3 * (double)i + 0.4;
                for (int x = 0; x < w; x++)
                    wave[(size_t)x] += planted.amplitude * cos(2 * pi * f * x / w + phase);
            }
        }
        for (int x = 0; x < w; x++) {
            const Rgb c = scene((x + 0.5) * sx, (y + 0.5) * sy, t);
            const double add = interference ? wave[(size_t)x] : 0.0;
            row[4 * x + 0] = toByte(c.b + add);
            row[4 * x + 1] = toByte(c.g + add);
            row[4 * x + 2] = toByte(c.r + add);
            row[4 * x + 3] = 0;
        }
    }
}

int runSample(const Options &o)
{
    const int frames = o.frames > 0 ? (int)o.frames : SAMPLE_FRAMES;
    VideoInfo info;
    info.width = SAMPLE_WIDTH;
    info.height = SAMPLE_HEIGHT;
    info.timeBase = {1, SAMPLE_FPS};
    info.frameRate = {SAMPLE_FPS, 1};
    info.frameCount = frames;
    WriterOptions wopts;
    wopts.codec = o.codec;
    wopts.pixFmt = o.pixFmt;
    wopts.quiet = o.quiet;

    std::string err;
    MediaWriter dirty, clean;
    const bool withClean = !o.clean.empty();
    if (!dirty.open(o.paths[0], info, {}, wopts, err) || (withClean && !clean.open(o.clean, info, {}, wopts, err))) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    if (dirty.singleImage() || (withClean && clean.singleImage())) {
        if (frames > 1 && o.frames > 1) {
            reportError("a single picture holds one frame; name a video or a numbered sequence");
            return EXIT_USAGE;
        }
    }
    const int count = dirty.singleImage() || (withClean && clean.singleImage()) ? 1 : frames;
    HostBitmap bmp;
    if (!bmp.allocate(SAMPLE_WIDTH, SAMPLE_HEIGHT)) {
        reportError("out of memory");
        return EXIT_FAILURE_RUN;
    }
    Progress progress(o.quiet, count);
    for (int t = 0; t < count; t++) {
        if (interruptRequested()) {
            progress.interrupt();
            reportError("interrupted; nothing written");
            return EXIT_INTERRUPTED;
        }
        renderSampleFrame(bmp, t, true, o.sample);
        if (!dirty.write(bmp, t, err)) {
            progress.interrupt();
            reportError(err);
            return EXIT_FAILURE_RUN;
        }
        if (withClean) {
            renderSampleFrame(bmp, t, false);
            if (!clean.write(bmp, t, err)) {
                progress.interrupt();
                reportError(err);
                return EXIT_FAILURE_RUN;
            }
        }
        progress.frameDone();
    }
    if (!dirty.finish(err) || (withClean && !clean.finish(err))) {
        progress.interrupt();
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    std::string summary = std::to_string(count) + " frames 720x576 at 25 fps -> " + o.paths[0];
    if (withClean)
        summary += " (clean: " + o.clean + ")";
    char tones[256];
    if (o.sample.frequencies.empty()) {
        snprintf(tones, sizeof tones, "; interference at harmonics %d and %d, row flicker +-%.0f",
                 sampleTones[0].harmonic, sampleTones[1].harmonic, o.sample.flicker);
    } else {
        std::string list;
        for (double f : o.sample.frequencies) {
            char one[32];
            snprintf(one, sizeof one, "%s%g", list.empty() ? "" : ", ", f);
            list += one;
        }
        snprintf(tones, sizeof tones, "; tones at %.160s cycles per row (amplitude %g), row flicker +-%g", list.c_str(),
                 o.sample.amplitude, o.sample.flicker);
    }
    progress.finish(summary + tones);
    return EXIT_OK;
}

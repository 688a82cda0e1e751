// The spectrum plot of analyse, drawn into RGB bytes and written as PNG with
// FFmpeg's encoder.
#include "cli/plot.h"

#include <math.h>
#include <stdio.h>

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace {

// Panels: a band for the peaks' labels, the curves, a row of numbers.
const int left = 48, right = PLOT_WIDTH - 16, header = 24;
const int panelHeight = 248, labelBand = 24, curveHeight = 200;
// The decibels the curves span below the highest value, and the grid step.
const int spanDb = 80, gridDb = 10, gridCycles = 50;

const uint32_t background = 0x101018, area = 0x1C1C24, grid = 0x3C3C46, textColour = 0xD0D0D0;
const uint32_t lockedColour = 0x50E678, driftingColour = 0xFF5050;

// A 5 x 7 font for the plot's labels: the display's scale has digits only.
// Each row's five pixels in bits 4 (left) .. 0; g, p and y start two rows
// lower, below the line.
struct Glyph {
    char c;
    uint8_t rows[7];
    bool descends = false;
};
const Glyph glyphs[] = {
    {'0', {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}},       {'1', {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e}},
    {'2', {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}},       {'3', {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e}},
    {'4', {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}},       {'5', {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e}},
    {'6', {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}},       {'7', {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}},       {'9', {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x0c}},       {'-', {0x00, 0x00, 0x00, 0x1f, 0x00, 0x00, 0x00}},
    {'+', {0x00, 0x04, 0x04, 0x1f, 0x04, 0x04, 0x00}},       {'/', {0x01, 0x02, 0x02, 0x04, 0x08, 0x08, 0x10}},
    {'a', {0x00, 0x00, 0x0e, 0x01, 0x0f, 0x11, 0x0f}},       {'b', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1e}},
    {'c', {0x00, 0x00, 0x0e, 0x10, 0x10, 0x11, 0x0e}},       {'d', {0x01, 0x01, 0x0d, 0x13, 0x11, 0x11, 0x0f}},
    {'e', {0x00, 0x00, 0x0e, 0x11, 0x1f, 0x10, 0x0e}},       {'f', {0x06, 0x09, 0x08, 0x1c, 0x08, 0x08, 0x08}},
    {'g', {0x0f, 0x11, 0x11, 0x11, 0x0f, 0x01, 0x0e}, true}, {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}},
    {'i', {0x04, 0x00, 0x0c, 0x04, 0x04, 0x04, 0x0e}},       {'k', {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}},
    {'l', {0x0c, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0e}},       {'m', {0x00, 0x00, 0x1a, 0x15, 0x15, 0x11, 0x11}},
    {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}},       {'o', {0x00, 0x00, 0x0e, 0x11, 0x11, 0x11, 0x0e}},
    {'p', {0x1e, 0x11, 0x11, 0x11, 0x1e, 0x10, 0x10}, true}, {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}},
    {'s', {0x00, 0x00, 0x0e, 0x10, 0x0e, 0x01, 0x1e}},       {'t', {0x08, 0x08, 0x1c, 0x08, 0x08, 0x09, 0x06}},
    {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0d}},       {'v', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0a, 0x04}},
    {'w', {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0a}},       {'y', {0x11, 0x11, 0x11, 0x13, 0x0d, 0x01, 0x0e}, true},
    {'z', {0x00, 0x00, 0x1f, 0x02, 0x04, 0x08, 0x1f}},       {'B', {0x1e, 0x11, 0x11, 0x1e, 0x11, 0x11, 0x1e}},
    {'C', {0x0e, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0e}},       {'H', {0x11, 0x11, 0x11, 0x1f, 0x11, 0x11, 0x11}},
    {'M', {0x11, 0x1b, 0x15, 0x15, 0x11, 0x11, 0x11}},       {'Y', {0x11, 0x11, 0x0a, 0x04, 0x04, 0x04, 0x04}},
};
const int glyphAdvance = 6;

struct Canvas {
    std::string rgb = std::string((size_t)PLOT_WIDTH * PLOT_HEIGHT * 3, '\0');

    void pixel(int x, int y, uint32_t c)
    {
        if (x < 0 || x >= PLOT_WIDTH || y < 0 || y >= PLOT_HEIGHT)
            return;
        char *p = &rgb[((size_t)y * PLOT_WIDTH + (size_t)x) * 3];
        p[0] = (char)(c >> 16 & 0xff), p[1] = (char)(c >> 8 & 0xff), p[2] = (char)(c & 0xff);
    }
    void fill(int x0, int y0, int x1, int y1, uint32_t c)
    {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                pixel(x, y, c);
    }
    void line(int x0, int y0, int x1, int y1, uint32_t c)
    {
        const int dx = abs(x1 - x0), dy = -abs(y1 - y0), sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        for (int e = dx + dy;;) {
            pixel(x0, y0, c);
            if (x0 == x1 && y0 == y1)
                break;
            const int e2 = 2 * e;
            if (e2 >= dy)
                e += dy, x0 += sx;
            if (e2 <= dx)
                e += dx, y0 += sy;
        }
    }
    // Text with its top left at (x, y), `scale` pixels per font pixel;
    // characters the font lacks leave a gap.
    void text(int x, int y, const std::string &s, uint32_t c, int scale = 1)
    {
        for (char ch : s) {
            for (const Glyph &g : glyphs)
                if (g.c == ch)
                    for (int r = 0; r < 7; r++)
                        for (int b = 0; b < 5; b++)
                            if (g.rows[r] >> (4 - b) & 1) {
                                const int top = y + (r + (g.descends ? 2 : 0)) * scale;
                                fill(x + b * scale, top, x + (b + 1) * scale, top + scale, c);
                            }
            x += glyphAdvance * scale;
        }
    }
};

int textWidth(const std::string &s)
{
    return (int)s.size() * glyphAdvance - 1;
}

double decibels(double v)
{
    return 20.0 * log10(std::max(v, 1e-9));
}

std::string number(const char *fmt, double v)
{
    char buf[32];
    snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

}  // namespace

int plotColumn(double cycles, int harmonics)
{
    const double span = harmonics > 1 ? (double)(harmonics - 1) : 1.0;
    return left + (int)floor(cycles / span * (double)(right - left) + 0.5);
}

void plotRows(int plane, int &top, int &bottom)
{
    top = header + plane * panelHeight + labelBand;
    bottom = top + curveHeight;
}

std::string plotPixels(const Analysis &a, const Analysis *against)
{
    Canvas cv;
    cv.fill(0, 0, PLOT_WIDTH, PLOT_HEIGHT, background);
    const int n = (int)a.magnitude.size();
    // One scale for every panel: the top of the grid step above the highest
    // value (the row mean, harmonic 0, left out).
    double highest = -1e9;
    for (const Analysis *s : {&a, against})
        if (s)
            for (const std::vector<double> &plane : s->plane)
                for (size_t k = 1; k < plane.size(); k++)
                    highest = std::max(highest, decibels(plane[k]));
    const int topDb = (int)ceil(highest / gridDb) * gridDb;
    auto rowOf = [&](int plane, double v) {
        int top, bottom;
        plotRows(plane, top, bottom);
        const double r = top + (topDb - decibels(v)) / spanDb * (bottom - 1 - top);
        return (int)floor(std::min(std::max(r, (double)top), (double)(bottom - 1)) + 0.5);
    };

    // Legend.
    int x = left;
    cv.fill(x, 8, x + 10, 15, PLOT_INPUT_RGB);
    cv.text(x + 14, 8, "input", textColour);
    x += 14 + textWidth("input") + 16;
    if (against) {
        cv.fill(x, 8, x + 10, 15, PLOT_CLEANED_RGB);
        cv.text(x + 14, 8, "cleaned", textColour);
        x += 14 + textWidth("cleaned") + 16;
    }
    cv.text(x, 8, "peaks:", textColour);
    x += textWidth("peaks:") + 6;
    cv.text(x, 8, "locked", lockedColour);
    x += textWidth("locked") + 6;
    cv.text(x, 8, "drifting", driftingColour);
    cv.text(right - textWidth("dB over cycles per row"), 8, "dB over cycles per row", textColour);

    const char *names[3] = {"Y", "Cb", "Cr"};
    for (int p = 0; p < 3; p++) {
        int top, bottom;
        plotRows(p, top, bottom);
        cv.fill(left, top, right + 1, bottom, area);
        for (int db = topDb; db >= topDb - spanDb; db -= gridDb) {
            const int y = rowOf(p, pow(10.0, db / 20.0));
            cv.line(left, y, right, y, grid);
            const std::string label = std::to_string(db);
            cv.text(left - 6 - textWidth(label), y - 3, label, textColour);
        }
        for (int k = 0; k < n; k += gridCycles) {
            const int cx = plotColumn(k, n);
            cv.line(cx, top, cx, bottom - 1, grid);
            const std::string label = std::to_string(k);
            cv.text(cx - textWidth(label) / 2, bottom + 4, label, textColour);
        }
        for (const Analysis *s : {&a, against}) {
            if (!s || s->plane[p].size() < 2)
                continue;
            const std::vector<double> &v = s->plane[p];
            const int m = (int)v.size();
            const uint32_t colour = s == &a ? PLOT_INPUT_RGB : PLOT_CLEANED_RGB;
            for (int k = 2; k < m; k++)
                cv.line(plotColumn(k - 1, m), rowOf(p, v[(size_t)k - 1]), plotColumn(k, m), rowOf(p, v[(size_t)k]),
                        colour);
        }
        cv.text(left + 6, top + 6, names[p], textColour, 2);

        // Peaks: a dotted line from the label down to a mark over the curve,
        // the label in the first of two rows where it does not overlap the
        // ones placed before it.
        std::vector<std::pair<int, int>> placed[2];
        for (const SpectrumPeak &pk : a.peaks) {
            const int cx = plotColumn(pk.freq, n);
            const uint32_t colour = pk.locked ? lockedColour : driftingColour;
            const int curve = pk.harmonic < (int)a.plane[p].size() ? rowOf(p, a.plane[p][(size_t)pk.harmonic]) : top;
            for (int y = top; y < curve - 6; y += 3)
                cv.pixel(cx, y, colour);
            for (int r = 0; r < 4; r++)
                cv.line(cx - r, curve - 3 - r, cx + r, curve - 3 - r, colour);
            const std::string label = number("%.2f", pk.freq) + (pk.locked ? " locked" : " drifting");
            const int wl = textWidth(label);
            const int lx = std::min(std::max(cx - wl / 2, left), right - wl);
            for (int row = 0; row < 2; row++) {
                bool free = true;
                for (const auto &span : placed[row])
                    free = free && (lx + wl + 4 < span.first || lx > span.second + 4);
                if (!free)
                    continue;
                placed[row].emplace_back(lx, lx + wl);
                cv.text(lx, top - labelBand + 2 + row * 10, label, colour);
                break;
            }
        }
    }
    return cv.rgb;
}

bool writePlot(const std::string &path, const Analysis &a, const Analysis *against, std::string &err)
{
    const std::string pixels = plotPixels(a, against);
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    AVCodecContext *ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame *frame = av_frame_alloc();
    AVPacket *packet = av_packet_alloc();
    bool ok = ctx && frame && packet;
    if (ok) {
        ctx->width = PLOT_WIDTH;
        ctx->height = PLOT_HEIGHT;
        ctx->pix_fmt = AV_PIX_FMT_RGB24;
        ctx->time_base = {1, 1};
        frame->format = AV_PIX_FMT_RGB24;
        frame->width = PLOT_WIDTH;
        frame->height = PLOT_HEIGHT;
        ok = avcodec_open2(ctx, codec, nullptr) >= 0 && av_frame_get_buffer(frame, 0) >= 0;
    }
    if (ok) {
        for (int y = 0; y < PLOT_HEIGHT; y++)
            std::copy_n(&pixels[(size_t)y * PLOT_WIDTH * 3], PLOT_WIDTH * 3, frame->data[0] + y * frame->linesize[0]);
        ok = avcodec_send_frame(ctx, frame) >= 0 && avcodec_send_frame(ctx, nullptr) >= 0 &&
             avcodec_receive_packet(ctx, packet) >= 0;
    }
    if (!ok)
        err = "cannot encode the plot as PNG";
    if (ok) {
        const std::string temp = path + ".part";
        FILE *f = fopen(temp.c_str(), "wb");
        ok = f && fwrite(packet->data, 1, (size_t)packet->size, f) == (size_t)packet->size;
        ok = (f && fclose(f) == 0) && ok;
        ok = ok && rename(temp.c_str(), path.c_str()) == 0;
        if (!ok) {
            remove(temp.c_str());
            err = "cannot write '" + path + "'";
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return ok;
}

// Plain double-precision forms of the YUV import and the change correction.
#include "tests/cli/correction_reference.h"

#include <algorithm>
#include <cmath>

namespace {

struct Levels {
    double yScale, yOffset, cScale, cOffset, gain, base;
};

Levels levelsOf(const RefSource &s, const RefColour &c)
{
    const double unit = std::ldexp(1.0, s.depth - 8), top = std::ldexp(1.0, s.depth) - 1;
    Levels l;
    if (c.fullRange)
        l = {top, 0, top, std::ldexp(1.0, s.depth - 1), 255, 0};
    else
        l = {219 * unit, 16 * unit, 224 * unit, 128 * unit, 255, 0};
    if (!c.fullRange && c.headroom)
        l.gain = 219, l.base = 16;
    return l;
}

// Normalised R'G'B' of a module pixel.
void moduleRgb(uint32_t px, const Levels &l, double rgb[3])
{
    rgb[0] = ((px >> 16 & 0xff) - l.base) / l.gain;
    rgb[1] = ((px >> 8 & 0xff) - l.base) / l.gain;
    rgb[2] = ((px & 0xff) - l.base) / l.gain;
}

// Code values of Y, Cb, Cr for normalised R'G'B'.
void codes(const double rgb[3], const RefColour &c, const Levels &l, double out[3])
{
    const double kg = 1 - c.kr - c.kb;
    const double y = c.kr * rgb[0] + kg * rgb[1] + c.kb * rgb[2];
    out[0] = l.yOffset + l.yScale * y;
    out[1] = l.cOffset + l.cScale * (rgb[2] - y) / (2 * (1 - c.kb));
    out[2] = l.cOffset + l.cScale * (rgb[0] - y) / (2 * (1 - c.kr));
}

// How much of pixel i's cell [i - 1/2, i + 1/2] lies in [centre - size/2, centre + size/2].
double overlap(int i, double centre, double size)
{
    return std::max(0.0, std::min(i + 0.5, centre + size / 2) - std::max(i - 0.5, centre - size / 2));
}

// Linear interpolation of one chroma plane at luma position p (one direction):
// the two samples around it and the weight of the second.
void between(double p, double siting, int factor, int samples, int &a, int &b, double &t)
{
    double u = (p - siting) / factor;
    u = std::min(std::max(u, 0.0), (double)(samples - 1));
    a = (int)std::floor(u);
    b = std::min(a + 1, samples - 1);
    t = u - a;
}

}  // namespace

std::vector<double> referenceImport(const RefSource &s, const RefColour &c)
{
    std::vector<double> rgb((size_t)3 * s.width * s.height);
    const Levels l = levelsOf(s, c);
    const double top = std::ldexp(1.0, s.depth) - 1;
    const int cw = s.planeWidth(1), chh = s.planeHeight(1);
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++) {
            double *o = &rgb[3 * ((size_t)y * s.width + x)];
            const size_t i = (size_t)y * s.width + x;
            if (s.rgb) {
                for (int k = 0; k < 3; k++)
                    o[k] = s.planes[k][i] * 255 / top;
                continue;
            }
            int xa, xb, ya, yb;
            double tx, ty;
            between(x, c.sitingX, 1 << s.log2x, cw, xa, xb, tx);
            between(y, c.sitingY, 1 << s.log2y, chh, ya, yb, ty);
            double chroma[2];
            for (int k = 1; k <= 2; k++) {
                const std::vector<int> &p = s.planes[k];
                const double top0 = p[(size_t)ya * cw + xa] * (1 - tx) + p[(size_t)ya * cw + xb] * tx;
                const double bot0 = p[(size_t)yb * cw + xa] * (1 - tx) + p[(size_t)yb * cw + xb] * tx;
                chroma[k - 1] = ((1 - ty) * top0 + ty * bot0 - l.cOffset) / l.cScale;
            }
            const double yn = (s.planes[0][i] - l.yOffset) / l.yScale;
            const double r = yn + 2 * (1 - c.kr) * chroma[1];
            const double b = yn + 2 * (1 - c.kb) * chroma[0];
            const double g = (yn - c.kr * r - c.kb * b) / (1 - c.kr - c.kb);
            o[0] = l.base + l.gain * r;
            o[1] = l.base + l.gain * g;
            o[2] = l.base + l.gain * b;
        }
    return rgb;
}

void referenceCorrect(const RefSource &s, const RefColour &c, const std::vector<uint32_t> &in,
                      const std::vector<uint32_t> &out, std::vector<double> result[3])
{
    const int w = s.width, h = s.height;
    const Levels l = levelsOf(s, c);
    for (int k = 0; k < 3; k++)
        result[k].assign(s.planes[k].begin(), s.planes[k].end());
    if (s.rgb) {
        const double top = std::ldexp(1.0, s.depth) - 1;
        for (size_t i = 0; i < (size_t)w * h; i++)
            for (int k = 0; k < 3; k++) {
                const int shift = 16 - 8 * k;
                const int d = (int)(out[i] >> shift & 0xff) - (int)(in[i] >> shift & 0xff);
                result[k][i] += d * top / 255;
            }
        return;
    }
    // The change of every pixel in code values.
    std::vector<double> change((size_t)3 * w * h);
    for (size_t i = 0; i < (size_t)w * h; i++) {
        double a[3], b[3], ca[3], cb[3];
        moduleRgb(in[i], l, a);
        moduleRgb(out[i], l, b);
        codes(a, c, l, ca);
        codes(b, c, l, cb);
        for (int k = 0; k < 3; k++)
            change[3 * i + k] = cb[k] - ca[k];
    }
    for (size_t i = 0; i < (size_t)w * h; i++)
        result[0][i] += change[3 * i];
    const int fx = 1 << s.log2x, fy = 1 << s.log2y;
    const int cw = s.planeWidth(1), chh = s.planeHeight(1);
    for (int j = 0; j < chh; j++)
        for (int k = 0; k < cw; k++) {
            const double cx = k * fx + c.sitingX, cy = j * fy + c.sitingY;
            double total = 0, sum[2] = {0, 0};
            const int y0 = std::max(0, (int)std::floor(cy - fy)), y1 = std::min(h - 1, (int)std::ceil(cy + fy));
            const int x0 = std::max(0, (int)std::floor(cx - fx)), x1 = std::min(w - 1, (int)std::ceil(cx + fx));
            for (int y = y0; y <= y1; y++) {
                const double wy = overlap(y, cy, fy);
                if (wy == 0)
                    continue;
                for (int x = x0; x <= x1; x++) {
                    const double wt = wy * overlap(x, cx, fx);
                    if (wt == 0)
                        continue;
                    total += wt;
                    sum[0] += wt * change[3 * ((size_t)y * w + x) + 1];
                    sum[1] += wt * change[3 * ((size_t)y * w + x) + 2];
                }
            }
            if (total > 0) {  // a footprint may lie wholly outside the picture
                result[1][(size_t)j * cw + k] += sum[0] / total;
                result[2][(size_t)j * cw + k] += sum[1] / total;
            }
        }
}

bool roundsTo(int got, double exact, int top, double tie)
{
    auto clamp = [top](double v) { return (int)std::min(std::max(v, 0.0), (double)top); };
    if (got == clamp(std::nearbyint(exact)))
        return true;
    const double f = exact - std::floor(exact);
    return std::fabs(f - 0.5) < tie && (got == clamp(std::floor(exact)) || got == clamp(std::ceil(exact)));
}

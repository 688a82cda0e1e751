// The module's picture from a deep or YUV source, and the module's change
// added back to the source samples.
#include "cli/correction.h"

#include <string.h>

extern "C" {
#include <libavutil/common.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/pixdesc.h>
}

#include "cli/correction_dsp.h"

namespace {

// One colour component as FFmpeg describes it: an element of 1, 2 or 4
// bytes every `step` bytes from `offset`, the value `depth` bits at `shift`.
struct Component {
    int plane, step, offset, shift, depth, bytes;
    bool be;
};

Component componentOf(const AVPixFmtDescriptor *d, int i)
{
    const AVComponentDescriptor &c = d->comp[i];
    Component k;
    k.plane = c.plane;
    k.step = c.step;
    k.offset = c.offset;
    k.shift = c.shift;
    k.depth = c.depth;
    k.bytes = c.shift + c.depth <= 8 ? 1 : c.shift + c.depth <= 16 ? 2 : 4;
    k.be = (d->flags & AV_PIX_FMT_FLAG_BE) != 0;
    // A byte-sized field of a big-endian word is its second byte (as
    // FFmpeg's own line readers take it).
    if (k.bytes == 1 && k.be)
        k.offset += 1;
    return k;
}

inline uint32_t loadElement(const uint8_t *p, const Component &c)
{
    switch (c.bytes) {
    case 1: return *p;
    case 2: return c.be ? AV_RB16(p) : AV_RL16(p);
    default: return c.be ? AV_RB32(p) : AV_RL32(p);
    }
}

inline void storeElement(uint8_t *p, const Component &c, uint32_t v)
{
    switch (c.bytes) {
    case 1: *p = (uint8_t)v; break;
    case 2:
        if (c.be)
            AV_WB16(p, v);
        else
            AV_WL16(p, v);
        break;
    default:
        if (c.be)
            AV_WB32(p, v);
        else
            AV_WL32(p, v);
        break;
    }
}

// Samples 0..n-1 of row `y` of a component's plane.
void readRow(const AVFrame *f, const Component &c, int y, int n, uint16_t *dst)
{
    const uint8_t *p = f->data[c.plane] + (ptrdiff_t)y * f->linesize[c.plane] + c.offset;
    if (c.bytes == 1 && c.step == 1) {
        correctionDsp().widenBytes(dst, p, n);
        return;
    }
    if (c.bytes == 2 && c.step == 2 && c.shift == 0 && !c.be) {
        if (c.depth == 16) {
            memcpy(dst, p, (size_t)n * 2);
        } else {
            const uint16_t mask = (uint16_t)((1u << c.depth) - 1);
            for (int x = 0; x < n; x++)
                dst[x] = (uint16_t)(AV_RL16(p + 2 * x) & mask);
        }
        return;
    }
    const uint32_t mask = (1u << c.depth) - 1;
    for (int x = 0; x < n; x++, p += c.step)
        dst[x] = (uint16_t)(loadElement(p, c) >> c.shift & mask);
}

// The inverse; bits of the elements outside the component stay.
void writeRow(AVFrame *f, const Component &c, int y, int n, const uint16_t *src)
{
    uint8_t *p = f->data[c.plane] + (ptrdiff_t)y * f->linesize[c.plane] + c.offset;
    if (c.bytes == 1 && c.step == 1 && c.shift == 0 && c.depth == 8) {
        correctionDsp().narrowBytes(p, src, n);
        return;
    }
    if (c.bytes == 2 && c.step == 2 && c.shift == 0 && !c.be) {
        if (c.depth == 16) {
            memcpy(p, src, (size_t)n * 2);
        } else {
            const uint16_t mask = (uint16_t)((1u << c.depth) - 1);
            for (int x = 0; x < n; x++)
                AV_WL16(p + 2 * x, (AV_RL16(p + 2 * x) & ~mask) | (src[x] & mask));
        }
        return;
    }
    const uint32_t mask = ((1u << c.depth) - 1) << c.shift;
    for (int x = 0; x < n; x++, p += c.step)
        storeElement(p, c, (loadElement(p, c) & ~mask) | ((uint32_t)src[x] << c.shift & mask));
}

bool checkSize(const AVFrame *f, int w, int h, std::string &err)
{
    if (f->width == w && f->height == h)
        return true;
    err = "the picture size changes mid-stream (" + std::to_string(f->width) + "x" + std::to_string(f->height) +
          " after " + std::to_string(w) + "x" + std::to_string(h) + ")";
    return false;
}

// Where the footprint of every chroma sample of one direction lies: sample k
// covers `count[k]` pixels from `first[k]` with weights in half pixels
// (weights[k * span + i]) totalling `total[k]`.
struct Footprints {
    int span = 0;
    std::vector<int> first, count, total, weights;

    void build(int pixels, int log2f, int siting2)
    {
        const int f = 1 << log2f;
        const int samples = AV_CEIL_RSHIFT(pixels, log2f);
        span = f + 2;
        first.assign(samples, 0);
        count.assign(samples, 0);
        total.assign(samples, 0);
        weights.assign((size_t)samples * span, 0);
        for (int k = 0; k < samples; k++) {
            // In half pixels pixel i is the cell [2i - 1, 2i + 1] and the
            // sample's box [centre - f, centre + f].
            const int centre = 2 * k * f + siting2;
            const int lo = centre - f, hi = centre + f;
            int n = 0;
            for (int i = (lo - 1) / 2 - 1; i <= (hi + 1) / 2 + 1; i++) {
                if (i < 0 || i >= pixels)
                    continue;
                const int w = FFMIN(2 * i + 1, hi) - FFMAX(2 * i - 1, lo);
                if (w <= 0)
                    continue;
                if (n == 0)
                    first[k] = i;
                weights[(size_t)k * span + n++] = w;
                total[k] += w;
            }
            count[k] = n;
        }
    }
};

// Chroma row j of both chroma components plus the converted sums.
void finishChroma(AVFrame *f, const Component &cb, const Component &cr, int j, const int32_t *sums, const float *inv,
                  int n, const float kcb[3], const float kcr[3], int maxValue, uint16_t *scratch)
{
    const CorrectionDsp &dsp = correctionDsp();
    readRow(f, cb, j, n, scratch);
    dsp.correctChroma(scratch, sums, inv, n, kcb, maxValue);
    writeRow(f, cb, j, n, scratch);
    readRow(f, cr, j, n, scratch);
    dsp.correctChroma(scratch, sums, inv, n, kcr, maxValue);
    writeRow(f, cr, j, n, scratch);
}

}  // namespace

bool isCorrectableFormat(AVPixelFormat fmt)
{
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(fmt);
    // XYZ is no YCbCr; the descriptor of UYYVYY411 cannot say where its
    // second luma pair lies.
    if (!d || d->nb_components < 3 || fmt == AV_PIX_FMT_XYZ12LE || fmt == AV_PIX_FMT_XYZ12BE ||
        fmt == AV_PIX_FMT_UYYVYY411)
        return false;
    if (d->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER |
                    AV_PIX_FMT_FLAG_FLOAT))
        return false;
    const int depth = d->comp[0].depth;
    for (int i = 0; i < 3; i++)
        if (d->comp[i].depth != depth || d->comp[i].shift + d->comp[i].depth > 32)
            return false;
    if (d->flags & AV_PIX_FMT_FLAG_RGB)
        return depth >= 9 && depth <= 16;
    return depth >= 8 && depth <= 16;
}

bool describeSource(const AVFrame *f, const CorrectionOptions &opts, SourceLayout &l, std::string &err)
{
    const AVPixelFormat fmt = (AVPixelFormat)f->format;
    if (!isCorrectableFormat(fmt)) {
        const char *name = av_get_pix_fmt_name(fmt);
        err = std::string("pixel format ") + (name ? name : "(unknown)") + " is not corrected in place";
        return false;
    }
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(fmt);
    l.format = fmt;
    l.rgb = (d->flags & AV_PIX_FMT_FLAG_RGB) != 0;
    l.depth = d->comp[0].depth;
    l.maxValue = (1 << l.depth) - 1;
    l.log2x = l.rgb ? 0 : d->log2_chroma_w;
    l.log2y = l.rgb ? 0 : d->log2_chroma_h;
    l.matrix = colourMatrixFor(f, l.depth);
    l.siting = chromaSitingFor(f->chroma_location, l.log2x, l.log2y);
    if (!l.rgb && !l.matrix.fullRange && opts.keepHeadroom) {
        l.moduleBase = 16;
        l.moduleGain = 219;
    } else {
        l.moduleBase = 0;
        l.moduleGain = 255;
    }
    return true;
}

bool SourceImporter::import(const AVFrame *f, const XrgbView &dst, std::string &err)
{
    SourceLayout l;
    if (!checkSize(f, dst.width, dst.height, err) || !describeSource(f, opts_, l, err))
        return false;
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(l.format);
    const Component c0 = componentOf(d, 0), c1 = componentOf(d, 1), c2 = componentOf(d, 2);
    const int w = dst.width, h = dst.height;

    if (l.rgb) {
        samples_.resize((size_t)3 * w);
        uint16_t *r = samples_.data(), *g = r + w, *b = g + w;
        const uint32_t max = (uint32_t)l.maxValue;
        for (int y = 0; y < h; y++) {
            readRow(f, c0, y, w, r);
            readRow(f, c1, y, w, g);
            readRow(f, c2, y, w, b);
            uint32_t *o = dst.row(y);
            // round(v x 255 / max), exactly.
            for (int x = 0; x < w; x++)
                o[x] = (b[x] * 510u + max) / (2 * max) | (g[x] * 510u + max) / (2 * max) << 8 |
                       (r[x] * 510u + max) / (2 * max) << 16;
        }
        return true;
    }

    const int cw = AV_CEIL_RSHIFT(w, l.log2x), ch = AV_CEIL_RSHIFT(h, l.log2y);
    const ColourMatrix &m = l.matrix;
    const float cGain = (float)(l.moduleGain / m.cScale), cOffset = (float)m.cOffset;
    const float k[7] = {(float)m.toRgb[0][2],
                        (float)m.toRgb[1][1],
                        (float)m.toRgb[1][2],
                        (float)m.toRgb[2][1],
                        l.moduleBase,
                        (float)m.yOffset,
                        (float)(l.moduleGain / m.yScale)};

    samples_.resize((size_t)w + 4 * cw);
    uint16_t *ys = samples_.data(), *u0 = ys + w, *u1 = u0 + cw, *v0 = u1 + cw, *v1 = v0 + cw;
    planes_.resize((size_t)3 * w + 2 * cw);
    float *cbFull = planes_.data(), *crFull = cbFull + w, *frac = crFull + w;
    float *cbRow = frac + w, *crRow = cbRow + cw;
    left_.resize((size_t)w);
    int *left = left_.data();

    // Horizontal interpolation: pixel x lies between chroma samples left[x]
    // and left[x] + 1, frac[x] of the way; half-pixel positions as in the
    // footprints.
    const int fx = 1 << l.log2x, fy = 1 << l.log2y;
    for (int x = 0; x < w; x++) {
        const int num = 2 * x - l.siting.x2, den = 2 * fx;
        int j = num >= 0 ? num / den : -1;
        float a = num >= 0 ? (float)(num - j * den) / (float)den : 0.0f;
        if (j < 0)
            j = 0, a = 0;
        if (j >= cw - 1)
            j = cw - 1, a = 0;
        left[x] = j;
        frac[x] = a;
    }
    // Co-sited 2:1 (4:2:2, 4:2:0) has a kernel for the samples with a right
    // neighbour; it gives what the general form gives.
    const int pairs = fx == 2 && l.siting.x2 == 0 ? cw - 1 : 0;
    const CorrectionDsp &dsp = correctionDsp();
    for (int y = 0; y < h; y++) {
        const int num = 2 * y - l.siting.y2, den = 2 * fy;
        int j = num >= 0 ? num / den : -1;
        float a = num >= 0 ? (float)(num - j * den) / (float)den : 0.0f;
        if (j < 0)
            j = 0, a = 0;
        if (j >= ch - 1)
            j = ch - 1, a = 0;
        readRow(f, c0, y, w, ys);
        readRow(f, c1, j, cw, u0);
        readRow(f, c2, j, cw, v0);
        if (a != 0) {
            readRow(f, c1, j + 1, cw, u1);
            readRow(f, c2, j + 1, cw, v1);
        }
        dsp.chromaRow(cbRow, u0, a != 0 ? u1 : u0, a, cw, cOffset, cGain);
        dsp.chromaRow(crRow, v0, a != 0 ? v1 : v0, a, cw, cOffset, cGain);
        if (fx == 1) {
            memcpy(cbFull, cbRow, (size_t)w * sizeof(float));
            memcpy(crFull, crRow, (size_t)w * sizeof(float));
        } else {
            dsp.upsampleX2(cbFull, cbRow, 0, pairs);
            dsp.upsampleX2(crFull, crRow, 0, pairs);
            for (int x = 2 * pairs; x < w; x++) {
                const int i = left[x];
                const int i1 = i + 1 < cw ? i + 1 : i;
                cbFull[x] = cbRow[i] + frac[x] * (cbRow[i1] - cbRow[i]);
                crFull[x] = crRow[i] + frac[x] * (crRow[i1] - crRow[i]);
            }
        }
        dsp.xrgbRow(dst.row(y), ys, cbFull, crFull, w, k);
    }
    return true;
}

bool FrameCorrector::apply(AVFrame *f, const XrgbView &in, const XrgbView &out, std::string &err)
{
    SourceLayout l;
    if (!checkSize(f, in.width, in.height, err) || !checkSize(f, out.width, out.height, err) ||
        !describeSource(f, opts_, l, err))
        return false;
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(l.format);
    const Component c0 = componentOf(d, 0), c1 = componentOf(d, 1), c2 = componentOf(d, 2);
    const int w = in.width, h = in.height;
    const CorrectionDsp &dsp = correctionDsp();
    change_.resize((size_t)3 * w);
    int16_t *change = change_.data();

    if (l.rgb) {
        samples_.resize((size_t)w);
        uint16_t *s = samples_.data();
        const Component comps[3] = {c0, c1, c2};
        const int max = l.maxValue;
        for (int y = 0; y < h; y++) {
            dsp.changeRow(change, in.row(y), out.row(y), w);
            for (int c = 0; c < 3; c++) {
                const int16_t *dc = change + c * w;
                readRow(f, comps[c], y, w, s);
                // round(change x max / 255), exactly; it never ties.
                for (int x = 0; x < w; x++) {
                    const int num = 2 * dc[x] * max;
                    const int q = (num >= 0 ? num + 255 : num - 255) / 510;
                    const int v = s[x] + q;
                    s[x] = (uint16_t)(v < 0 ? 0 : v > max ? max : v);
                }
                writeRow(f, comps[c], y, w, s);
            }
        }
        return true;
    }

    const ColourMatrix &m = l.matrix;
    float ky[3], kcb[3], kcr[3];
    for (int c = 0; c < 3; c++) {
        ky[c] = (float)(m.toYuv[0][c] * m.yScale / l.moduleGain);
        kcb[c] = (float)(m.toYuv[1][c] * m.cScale / l.moduleGain);
        kcr[c] = (float)(m.toYuv[2][c] * m.cScale / l.moduleGain);
    }
    Footprints across, down;
    across.build(w, l.log2x, l.siting.x2);
    down.build(h, l.log2y, l.siting.y2);
    const int cw = (int)across.count.size(), ch = (int)down.count.size();

    samples_.resize((size_t)FFMAX(w, cw));
    uint16_t *s = samples_.data();
    // Horizontal sums of the current row, then two chroma rows of footprint
    // sums: a pixel row belongs to at most two chroma rows' footprints, and
    // chroma row j is complete before row j + 2's begins.
    sums_.assign((size_t)9 * cw, 0);
    int32_t *rowSums = sums_.data();
    int32_t *acc[2] = {rowSums + 3 * cw, rowSums + 6 * cw};
    inv_.resize((size_t)cw);

    int next = 0;  // the first chroma row not finished
    for (int y = 0; y < h; y++) {
        dsp.changeRow(change, in.row(y), out.row(y), w);
        readRow(f, c0, y, w, s);
        dsp.correctLuma(s, change, w, ky, l.maxValue);
        writeRow(f, c0, y, w, s);

        // Across: each chroma column's weighted sum of this row's change;
        // 2:1 has a kernel for the samples whose footprint lies inside.
        int first = 0, end = 0;
        if (l.log2x == 1) {
            first = l.siting.x2 == 0 ? 1 : 0;
            end = FFMAX(first, l.siting.x2 == 0 ? (w - 2) / 2 + 1 : w / 2);
            dsp.sumsX2(rowSums, cw, change, w, first, end, l.siting.x2 != 0);
        }
        for (int c = 0; c < 3; c++) {
            const int16_t *dc = change + c * w;
            int32_t *o = rowSums + c * cw;
            for (int k = 0; k < cw; k++) {
                if (k == first && end > first)
                    k = end;
                if (k >= cw)
                    break;
                const int *wt = &across.weights[(size_t)k * across.span];
                const int16_t *p = dc + across.first[k];
                int32_t sum = 0;
                for (int i = 0; i < across.count[k]; i++)
                    sum += wt[i] * p[i];
                o[k] = sum;
            }
        }
        if (l.log2y == 0) {
            // Chroma row y is luma row y: its sums are complete.
            for (int k = 0; k < cw; k++)
                inv_[k] = 1.0f / (float)across.total[k];
            finishChroma(f, c1, c2, y, rowSums, inv_.data(), cw, kcb, kcr, l.maxValue, s);
            continue;
        }
        // Down: into every chroma row whose footprint holds row y.
        for (int j = next; j < ch && down.first[j] <= y; j++) {
            const int i = y - down.first[j];
            if (i >= down.count[j])
                continue;
            const int wt = down.weights[(size_t)j * down.span + i];
            int32_t *a = acc[j & 1];
            for (int k = 0; k < 3 * cw; k++)
                a[k] += wt * rowSums[k];
        }
        while (next < ch && down.first[next] + down.count[next] - 1 <= y) {
            const int j = next++;
            int32_t *a = acc[j & 1];
            // A footprint wholly outside the picture (bottom siting at 4:1:0
            // with an odd height) has no change to take.
            for (int k = 0; k < cw; k++) {
                const int total = across.total[k] * down.total[j];
                inv_[k] = total ? 1.0f / (float)total : 0.0f;
            }
            finishChroma(f, c1, c2, j, a, inv_.data(), cw, kcb, kcr, l.maxValue, s);
            memset(a, 0, (size_t)3 * cw * sizeof(int32_t));
        }
    }
    return true;
}

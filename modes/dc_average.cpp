// DC average: shifts every inner row so that its mean becomes the mean of
// itself and its two neighbours (and, with the temporal option, of the same
// three rows of the previous temporal frame).
#include <stdint.h>
#include <stdlib.h>

#include "engine/engine.h"
#include "modes/modes.h"
#include "modes/modes_dsp.h"

namespace {

// The previous temporal frame's row means, one record per row, kept for the
// life of the module. Replaced (not grown) when the frame height changes.
HarmonicCoeffs *dcHistory = nullptr;
int dcHistoryRows = 0;

// Makes the history fit h rows. `fresh` tells that it holds no frame of this
// height yet: it is then filled from the current frame's own records, which
// makes the first temporal frame equal the three-row average. False when the
// block cannot be obtained (the frame falls back to the three-row average).
bool prepareHistory(int h, bool *fresh)
{
    *fresh = false;
    if (dcHistory && dcHistoryRows == h)
        return true;
    free(dcHistory);
    dcHistory = (HarmonicCoeffs *)malloc((size_t)h * sizeof(HarmonicCoeffs));
    dcHistoryRows = dcHistory ? h : 0;
    *fresh = dcHistory != nullptr;
    return dcHistory != nullptr;
}

inline uint32_t shiftByte(uint32_t v, int d)
{
    const int t = (int)v + d;
    return t < 0 ? 0u : t > 255 ? v : (uint32_t)t;
}

inline int32_t meanSum(const HarmonicCoeffs &a, const HarmonicCoeffs &b, const HarmonicCoeffs &c, int ch)
{
    const ChannelCoeff *x[3] = {&a.red, &a.green, &a.blue};
    const ChannelCoeff *y[3] = {&b.red, &b.green, &b.blue};
    const ChannelCoeff *z[3] = {&c.red, &c.green, &c.blue};
    return x[ch]->cosinePart + y[ch]->cosinePart + z[ch]->cosinePart;
}

inline int32_t ownMean(const HarmonicCoeffs &rec, int ch)
{
    const ChannelCoeff *x[3] = {&rec.red, &rec.green, &rec.blue};
    return x[ch]->cosinePart >> 8;
}

}  // namespace

void dc_shift_row_c(uint32_t *row, int w, int deltaRed, int deltaGreen, int deltaBlue)
{
    for (int j = 0; j < w; j++) {
        const uint32_t px = row[j];
        const uint32_t r = shiftByte((px >> 16) & 0xff, deltaRed);
        const uint32_t g = shiftByte((px >> 8) & 0xff, deltaGreen);
        const uint32_t b = shiftByte(px & 0xff, deltaBlue);
        row[j] = (px & 0xff000000u) | r << 16 | g << 8 | b;
    }
}

void dcHistoryReset()
{
    free(dcHistory);
    dcHistory = nullptr;
    dcHistoryRows = 0;
}

namespace {
// The history lives as long as the module: a host that unloads the module
// gets the block back.
struct HistoryOwner {
    ~HistoryOwner() { dcHistoryReset(); }
} historyOwner;
}  // namespace

void dcAverageFilter(FrameView src, FrameView dst, bool temporal)
{
    const int w = src.w, h = src.h;
    if (h < 3)
        return;

    // Three ways through a frame: plain three-row average; temporal with the
    // previous frame's records; temporal on a fresh history, which equals the
    // plain average and only records this frame.
    bool fresh = false;
    const bool withHistory = temporal && prepareHistory(h, &fresh) && !fresh;
    HarmonicCoeffs *record = temporal && dcHistory && dcHistoryRows == h ? dcHistory : nullptr;

    HarmonicCoeffs d[3];  // rows i - 1, i, i + 1
    correlateRow(src.row(0), w, &d[1], 0);
    correlateRow(src.row(1), w, &d[2], 0);
    HarmonicCoeffs pending = d[1];  // row 0's record, stored once no row reads its old one
    for (int i = 1; i <= h - 2; i++) {
        d[0] = d[1];
        d[1] = d[2];
        correlateRow(src.row(i + 1), w, &d[2], 0);

        int delta[3];
        for (int ch = 0; ch < 3; ch++) {
            int32_t a;
            if (withHistory)
                a = (meanSum(d[0], d[1], d[2], ch) + meanSum(dcHistory[i - 1], dcHistory[i], dcHistory[i + 1], ch)) /
                    1536;
            else
                a = meanSum(d[0], d[1], d[2], ch) / 768;
            delta[ch] = a - ownMean(d[1], ch);
        }
        modesDsp().dcShiftRow(dst.row(i), w, delta[0], delta[1], delta[2]);

        // Row i - 1's old record has had its last reader (row i).
        if (record) {
            record[i - 1] = pending;
            pending = d[1];
        }
    }
    if (record) {
        record[h - 2] = pending;
        record[h - 1] = d[2];
    }
}

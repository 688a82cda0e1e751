// Finding periodic interference in an input.
#include "cli/analyse.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "hosting/bitmap.h"
#include "cli/commands.h"
#include "cli/correction.h"
#include "cli/reader.h"
#include "engine/dsp.h"
#include "engine/engine.h"

namespace {

// Luma weights of the filter's own spectrum.
const double weightRed = 0.298, weightGreen = 0.586, weightBlue = 0.116;
// Peaks weaker than this (grey levels) are noise, however they stand out.
const double minPeakRms = 0.1;
// Harmonics on each side that make up a neighbourhood, and the ones next to
// the candidate that are left out as its own skirt.
const int neighbourhood = 24, skirt = 2;

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + mid, v.end());
    return v[mid];
}

double power(const ChannelCoeff &c)
{
    return (double)c.sinePart * c.sinePart + (double)c.cosinePart * c.cosinePart;
}

void appendNumber(std::string &s, const char *fmt, double v)
{
    char buf[64];
    snprintf(buf, sizeof buf, fmt, v);
    s += buf;
}

std::string joined(const std::vector<std::string> &args)
{
    std::string s;
    for (const std::string &a : args)
        s += (s.empty() ? "" : " ") + a;
    return s;
}

std::string jsonString(const std::string &s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if ((unsigned char)c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string jsonArgs(const std::vector<std::string> &args)
{
    std::string s = "[";
    for (size_t i = 0; i < args.size(); i++)
        s += (i ? ", " : "") + jsonString(args[i]);
    return s + "]";
}

}  // namespace

std::vector<SpectrumPeak> findPeaks(const std::vector<double> &mag, int maxPeaks, double minExcessDb)
{
    std::vector<SpectrumPeak> peaks;
    const int n = (int)mag.size();
    for (int b = 1 + skirt; b + skirt < n; b++) {
        bool localMax = true;
        for (int k = b - skirt; k <= b + skirt && localMax; k++)
            if (k != b && (mag[k] > mag[b] || (k < b && mag[k] == mag[b])))
                localMax = false;
        if (!localMax || mag[b] < minPeakRms)
            continue;
        // Each side on its own, so that the steep slope of a picture's
        // spectrum at low harmonics does not pass for a peak.
        std::vector<double> left, right;
        for (int k = b - skirt - neighbourhood; k < b - skirt; k++)
            if (k >= 1)
                left.push_back(mag[k]);
        for (int k = b + skirt + 1; k <= b + skirt + neighbourhood; k++)
            if (k < n)
                right.push_back(mag[k]);
        double level = std::max(median(left), median(right));
        if (level <= 0)
            level = 1e-6;
        const double excess = 20.0 * log10(mag[b] / level);
        if (excess >= minExcessDb)
            peaks.push_back({b, mag[b], excess});
    }
    std::sort(peaks.begin(), peaks.end(),
              [](const SpectrumPeak &a, const SpectrumPeak &b) { return a.excessDb > b.excessDb; });
    if ((int)peaks.size() > maxPeaks)
        peaks.resize((size_t)maxPeaks);
    // The ones that stand out most are kept; they are listed by strength.
    std::stable_sort(peaks.begin(), peaks.end(),
                     [](const SpectrumPeak &a, const SpectrumPeak &b) { return a.rms > b.rms; });
    if ((int)peaks.size() > maxPeaks)
        peaks.resize((size_t)maxPeaks);
    return peaks;
}

double rowFlicker(const std::vector<double> &means)
{
    std::vector<double> jumps;
    for (size_t y = 1; y + 1 < means.size(); y++)
        jumps.push_back(fabs(means[y] - 0.5 * (means[y - 1] + means[y + 1])));
    // The median absolute deviation, scaled to an RMS for normal noise:
    // edges of the picture do not count.
    return 1.4826 * median(jumps);
}

bool analyseFile(const std::string &path, int64_t maxFrames, Analysis &out, std::string &err)
{
    MediaReader reader;
    if (!reader.open(path, err))
        return false;
    const int w = reader.info().width, h = reader.info().height;
    // The engine's 32-bit sums hold for rows of up to 8224 samples.
    if (w < 4 || w > 8224) {
        err = "'" + path + "' is " + std::to_string(w) + " pixels wide; analyse takes 4 to 8224";
        return false;
    }
    const int count = w / 2 + 1;  // harmonics above w/2 mirror those below
    HostBitmap bmp;
    if (!bmp.allocate(w, h) || buildTrigTables16(count, w, ANGLE_RECIPROCAL) != 0) {
        freeTrigTables16();
        err = "not enough memory to analyse " + std::to_string(w) + "-pixel rows";
        return false;
    }
    std::vector<int16_t> planar((size_t)3 * w);
    std::vector<HarmonicCoeffs> coeffs((size_t)count);
    std::vector<double> powerSum((size_t)count, 0.0);
    std::vector<double> means((size_t)h);
    std::vector<double> flickers;
    int64_t frames = 0, rows = 0;
    int64_t pts = 0;
    bool ok = true;
    // The picture a run hands the module: for the formats the correction
    // keeps, the importer's, made from the samples at their own depth.
    AVFrame *source = isCorrectableFormat(reader.info().pixFmt) ? av_frame_alloc() : nullptr;
    while (maxFrames < 0 || frames < maxFrames) {
        const int got = reader.next(bmp, source, pts, err);
        if (got < 0)
            ok = false;
        if (got <= 0)
            break;
        for (int y = 0; y < h; y++) {
            unpackRow((const uint32_t *)bmp.pictureRow(y), planar.data(), w);
            analyseRow(planar.data(), count, w, coeffs.data());
            for (int b = 0; b < count; b++)
                powerSum[(size_t)b] += weightRed * power(coeffs[(size_t)b].red) +
                                       weightGreen * power(coeffs[(size_t)b].green) +
                                       weightBlue * power(coeffs[(size_t)b].blue);
            const HarmonicCoeffs &dc = coeffs[0];
            means[(size_t)y] =
                (weightRed * dc.red.cosinePart + weightGreen * dc.green.cosinePart + weightBlue * dc.blue.cosinePart) /
                256.0;
        }
        flickers.push_back(rowFlicker(means));
        rows += h;
        frames++;
    }
    freeTrigTables16();
    av_frame_free(&source);
    if (!ok)
        return false;
    if (frames == 0) {
        err = "'" + path + "' holds no video frames";
        return false;
    }
    out.input = path;
    out.width = w;
    out.height = h;
    out.frames = frames;
    out.magnitude.assign((size_t)count, 0.0);
    for (int b = 0; b < count; b++)
        out.magnitude[(size_t)b] = sqrt(powerSum[(size_t)b] / (double)rows) / 256.0;
    out.peaks = findPeaks(out.magnitude, 1 << 30);
    out.flicker = median(flickers);
    return true;
}

Suggestion suggestOptions(const Analysis &a)
{
    Suggestion s;
    if (a.flicker >= 0.5 && a.peaks.empty())
        s.full = {"--dc-average"};
    if (a.peaks.empty())
        return s;
    // The notch removes one band: the strongest peak with any others close
    // enough to share a narrow band.
    const SpectrumPeak &top = a.peaks.front();
    int lo = top.harmonic, hi = top.harmonic;
    for (const SpectrumPeak &p : a.peaks)
        if (abs(p.harmonic - top.harmonic) <= 4) {
            lo = std::min(lo, p.harmonic);
            hi = std::max(hi, p.harmonic);
        }
    s.notch = {"--notch", "--min-harmonic", std::to_string(lo), "--max-harmonic", std::to_string(hi + 1)};
    if (a.flicker >= 0.5)
        s.notch.push_back("--dc-average");
    int others = 0;
    for (const SpectrumPeak &p : a.peaks)
        if (p.harmonic < lo || p.harmonic > hi)
            others++;

    // Full processing pulls down every outstanding harmonic in its range and
    // rebuilds rows from harmonics below N: N reaches the highest harmonic a
    // row of this width carries, within the mode's range.
    const int n = std::min(a.width / 2 + 1, (int)FULL_LAST_HARMONIC);
    bool coversAll = true;
    for (const SpectrumPeak &p : a.peaks)
        if (p.harmonic < FULL_FIRST_HARMONIC || p.harmonic >= n)
            coversAll = false;
    bool coversAny = false;
    for (const SpectrumPeak &p : a.peaks)
        if (p.harmonic >= FULL_FIRST_HARMONIC && p.harmonic < n)
            coversAny = true;
    if (coversAny) {
        // No --dc-average here: full processing rebuilds its rows from the
        // source and would overwrite the levels it evened out.
        s.full = {"--full", "--harmonics", std::to_string(n)};
    }
    if (others > 0 && coversAll)
        s.note = "the notch takes one band; full processing reaches " +
                 (a.peaks.size() == 2 ? std::string("both peaks") : "all " + std::to_string(a.peaks.size()) + " peaks");
    else if (!coversAll && coversAny)
        s.note = "full processing leaves harmonics below " + std::to_string((int)FULL_FIRST_HARMONIC) + " or from " +
                 std::to_string(n) + " up alone";
    return s;
}

std::string analysisText(const Analysis &a, const Suggestion &s)
{
    std::string t = a.input + ": " + std::to_string(a.width) + "x" + std::to_string(a.height) + ", " +
                    std::to_string(a.frames) + " frame" + (a.frames == 1 ? "" : "s") + " analysed, harmonics 0.." +
                    std::to_string((int)a.magnitude.size() - 1) + "\n";
    if (a.peaks.empty()) {
        t += "no periodic interference found\n";
    } else {
        t += "periodic interference, strongest first:\n";
        t += "  harmonic   rms (grey)   above neighbours   MHz at 15625 Hz   MHz at 15750 Hz\n";
        for (const SpectrumPeak &p : a.peaks) {
            char line[160];
            snprintf(line, sizeof line, "  %8d   %10.2f   %+13.1f dB   %15.3f   %15.3f\n", p.harmonic, p.rms,
                     p.excessDb, p.harmonic * (LINE_RATE_PAL / 1e6), p.harmonic * (LINE_RATE_NTSC / 1e6));
            t += line;
        }
    }
    t += "row-to-row level flicker: ";
    appendNumber(t, "%.2f", a.flicker);
    t += " grey levels";
    t += a.flicker >= 0.5 ? " (--dc-average evens it out)\n" : "\n";
    if (!s.notch.empty() || !s.full.empty()) {
        t += "suggested:\n";
        if (!s.notch.empty())
            t += "  notch: quorvel " + joined(s.notch) + " INPUT OUTPUT\n";
        if (!s.full.empty())
            t += "  full:  quorvel " + joined(s.full) + " INPUT OUTPUT\n";
        if (!s.note.empty())
            t += "  (" + s.note + ")\n";
    }
    return t;
}

std::string analysisJson(const Analysis &a, const Suggestion &s)
{
    std::string j = "{\n  \"input\": " + jsonString(a.input) + ",\n";
    j += "  \"width\": " + std::to_string(a.width) + ",\n  \"height\": " + std::to_string(a.height) + ",\n";
    j += "  \"frames\": " + std::to_string(a.frames) + ",\n";
    j += "  \"harmonics\": " + std::to_string(a.magnitude.size()) + ",\n";
    j += "  \"peaks\": [";
    for (size_t i = 0; i < a.peaks.size(); i++) {
        const SpectrumPeak &p = a.peaks[i];
        char buf[256];
        snprintf(buf, sizeof buf,
                 "%s\n    {\"harmonic\": %d, \"rms\": %.4f, \"above_db\": %.2f, \"mhz_pal\": %.6f, "
                 "\"mhz_ntsc\": %.6f}",
                 i ? "," : "", p.harmonic, p.rms, p.excessDb, p.harmonic * (LINE_RATE_PAL / 1e6),
                 p.harmonic * (LINE_RATE_NTSC / 1e6));
        j += buf;
    }
    j += a.peaks.empty() ? "],\n" : "\n  ],\n";
    j += "  \"flicker\": ";
    appendNumber(j, "%.4f", a.flicker);
    j += ",\n  \"suggested\": {\"notch\": " + jsonArgs(s.notch) + ", \"full\": " + jsonArgs(s.full) +
         ", \"note\": " + jsonString(s.note) + "}\n}\n";
    return j;
}

int runAnalyse(const Options &o)
{
    if (!o.cpu.empty())
        dspSetCpuCap((CpuLevel)cpuLevelFromName(o.cpu.c_str()));
    Analysis a;
    std::string err;
    if (!analyseFile(o.paths[0], o.frames > 0 ? o.frames : (int64_t)ANALYSE_DEFAULT_FRAMES, a, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    if ((int)a.peaks.size() > o.peaks)
        a.peaks.resize((size_t)o.peaks);
    const Suggestion s = suggestOptions(a);
    fputs((o.json ? analysisJson(a, s) : analysisText(a, s)).c_str(), stdout);
    return EXIT_OK;
}

// Finding periodic interference in an input.
#include "cli/analyse.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "hosting/bitmap.h"
#include "cli/commands.h"
#include "cli/plot.h"
#include "cli/correction.h"
#include "cli/reader.h"
#include "engine/dsp.h"
#include "engine/engine.h"
#include "modes/tone.h"

namespace {

// Luma weights of the filter's own spectrum.
const double weightRed = 0.298, weightGreen = 0.586, weightBlue = 0.116;
// Peaks weaker than this (grey levels) are noise, however they stand out.
const double minPeakRms = 0.1;
// Harmonics on each side that make up a neighbourhood, and the ones next to
// the candidate that are left out as its own skirt.
const int neighbourhood = 24, skirt = 2;
// A drifting tone's leakage is worth notching where it at least matches the
// picture's own content: the harmonic 3 dB above its neighbourhood. At most
// this many harmonics on each side of the tone's two.
const double leakageRatio = 1.41421356;
const int maxLeakage = 8;
// Estimates within this many cycles per row are one tone, and a tone must be
// found in at least this share of the frames analysed.
const double sameTone = 0.5, tonePresence = 1.0 / 3.0;
// Colour-difference weights of the plot's planes (B - Y and R - Y scaled as
// in Rec. 601).
const double weightCb = 0.564, weightCr = 0.713;

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

namespace {

// The level around harmonic b, each side on its own, so that the steep slope
// of a picture's spectrum at low harmonics does not pass for a peak.
double neighbourLevel(const std::vector<double> &mag, int b)
{
    const int n = (int)mag.size();
    std::vector<double> left, right;
    for (int k = b - skirt - neighbourhood; k < b - skirt; k++)
        if (k >= 1)
            left.push_back(mag[k]);
    for (int k = b + skirt + 1; k <= b + skirt + neighbourhood; k++)
        if (k < n)
            right.push_back(mag[k]);
    const double level = std::max(median(left), median(right));
    return level <= 0 ? 1e-6 : level;
}

// The harmonics around a drifting tone at f where its leakage stands out:
// its two nearest harmonics and the run on each side that stands
// leakageRatio above the neighbourhood.
void leakageBand(const Analysis &a, double f, int &lo, int &hi)
{
    const int n = (int)a.magnitude.size();
    const int below = (int)floor(f), above = below + 1;
    lo = std::max(1, below);
    hi = std::min(n - 1, above);
    const double level = leakageRatio * neighbourLevel(a.magnitude, (int)floor(f + 0.5));
    while (lo > 1 && below - (lo - 1) <= maxLeakage && a.magnitude[(size_t)lo - 1] >= level)
        lo--;
    while (hi + 1 < n && hi + 1 - above <= maxLeakage && a.magnitude[(size_t)hi + 1] >= level)
        hi++;
}

// A peak's frequency as typed: two decimals for a drifting tone, the
// harmonic for a locked one.
std::string frequencyText(const SpectrumPeak &p)
{
    if (p.locked)
        return std::to_string((int)floor(p.freq + 0.5));
    char buf[32];
    snprintf(buf, sizeof buf, "%.2f", p.freq);
    return buf;
}

// The tones found in enough of the frames: estimates sorted and split where
// they lie more than sameTone apart, each group's median, most often found
// first.
std::vector<double> toneGroups(std::vector<double> found, int64_t frames)
{
    std::sort(found.begin(), found.end());
    std::vector<std::pair<size_t, double>> groups;
    for (size_t i = 0; i < found.size();) {
        size_t j = i + 1;
        while (j < found.size() && found[j] - found[j - 1] <= sameTone)
            j++;
        if ((double)(j - i) >= tonePresence * (double)frames)
            groups.emplace_back(j - i, found[i + (j - i) / 2]);
        i = j;
    }
    std::stable_sort(
        groups.begin(), groups.end(),
        [](const std::pair<size_t, double> &x, const std::pair<size_t, double> &y) { return x.first > y.first; });
    std::vector<double> tones;
    for (const auto &g : groups)
        tones.push_back(g.second);
    return tones;
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
        const double excess = 20.0 * log10(mag[b] / neighbourLevel(mag, b));
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
    std::vector<double> planeSum((size_t)3 * count, 0.0);
    std::vector<double> means((size_t)h);
    // The tone remover's own estimation, frame by frame as it runs, but
    // neither smoothed nor held: each frame's finds are collected here.
    ToneSettings toneSettings;
    toneSettings.smoothing = 1.0;
    toneSettings.holdFrames = 0;
    ToneState toneState;
    toneStateReset(&toneState);
    std::vector<double> found;
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
            for (int b = 0; b < count; b++) {
                const HarmonicCoeffs &c = coeffs[(size_t)b];
                powerSum[(size_t)b] +=
                    weightRed * power(c.red) + weightGreen * power(c.green) + weightBlue * power(c.blue);
                // The planes are linear in the channels: so are their
                // coefficients.
                const double ys = weightRed * c.red.sinePart + weightGreen * c.green.sinePart +
                                  weightBlue * c.blue.sinePart,
                             yc = weightRed * c.red.cosinePart + weightGreen * c.green.cosinePart +
                                  weightBlue * c.blue.cosinePart;
                const double bs = weightCb * (c.blue.sinePart - ys), bc = weightCb * (c.blue.cosinePart - yc);
                const double rs = weightCr * (c.red.sinePart - ys), rc = weightCr * (c.red.cosinePart - yc);
                double *plane = &planeSum[(size_t)3 * b];
                plane[0] += ys * ys + yc * yc;
                plane[1] += bs * bs + bc * bc;
                plane[2] += rs * rs + rc * rc;
            }
            const HarmonicCoeffs &dc = coeffs[0];
            means[(size_t)y] =
                (weightRed * dc.red.cosinePart + weightGreen * dc.green.cosinePart + weightBlue * dc.blue.cosinePart) /
                256.0;
        }
        flickers.push_back(rowFlicker(means));
        const FrameView view{bmp.data(), w, h, bmp.pitch()};
        const ToneList tones = estimateTones(view, &toneState, toneSettings);
        for (int t = 0; t < tones.count; t++)
            found.push_back(tones.tone[t].freq);
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
    for (int p = 0; p < 3; p++) {
        out.plane[p].assign((size_t)count, 0.0);
        for (int b = 0; b < count; b++)
            out.plane[p][(size_t)b] = sqrt(planeSum[(size_t)3 * b + p] / (double)rows) / 256.0;
    }
    out.peaks = findPeaks(out.magnitude, 1 << 30);
    out.flicker = median(flickers);
    out.tones = toneGroups(found, frames);
    attachTones(out);
    return true;
}

void attachTones(Analysis &a)
{
    std::vector<bool> taken(a.peaks.size(), false);
    for (double f : a.tones) {
        int best = -1;
        for (size_t i = 0; i < a.peaks.size(); i++)
            if (!taken[i] && fabs(f - a.peaks[i].harmonic) <= 1.0 &&
                (best < 0 || fabs(f - a.peaks[i].harmonic) < fabs(f - a.peaks[(size_t)best].harmonic)))
                best = (int)i;
        if (best < 0) {
            // A tone the remover finds although its leakage over two
            // harmonics kept either from standing out.
            const int b = (int)floor(f + 0.5);
            if (b < 1 || b >= (int)a.magnitude.size())
                continue;
            SpectrumPeak p{b, a.magnitude[(size_t)b],
                           20.0 * log10(a.magnitude[(size_t)b] / neighbourLevel(a.magnitude, b))};
            a.peaks.push_back(p);
            taken.push_back(false);
            best = (int)a.peaks.size() - 1;
        }
        taken[(size_t)best] = true;
        SpectrumPeak &p = a.peaks[(size_t)best];
        p.freq = f;
        p.locked = fabs(f - floor(f + 0.5)) <= LOCKED_TOLERANCE;
        p.estimated = true;
    }
    std::stable_sort(a.peaks.begin(), a.peaks.end(),
                     [](const SpectrumPeak &x, const SpectrumPeak &y) { return x.rms > y.rms; });
}

Suggestion suggestOptions(const Analysis &a)
{
    Suggestion s;
    if (a.flicker >= 0.5 && a.peaks.empty())
        s.full = {"--dc-average"};
    if (a.peaks.empty())
        return s;
    // The notch removes one band: the strongest peak with any others close
    // enough to share a narrow band. A drifting tone's band is the harmonics
    // its leakage stands out on.
    // Where the tone remover found tones, the strongest of them: a stronger
    // peak it did not find may be the picture's own.
    const SpectrumPeak *strongest = &a.peaks.front();
    for (const SpectrumPeak &p : a.peaks)
        if (p.estimated) {
            strongest = &p;
            break;
        }
    const SpectrumPeak &top = *strongest;
    int lo = top.harmonic, hi = top.harmonic;
    if (!top.locked)
        leakageBand(a, top.freq, lo, hi);
    const int topLo = lo, topHi = hi;
    for (const SpectrumPeak &p : a.peaks)
        if (p.harmonic >= topLo - 4 && p.harmonic <= topHi + 4) {
            lo = std::min(lo, p.harmonic);
            hi = std::max(hi, p.harmonic);
        }
    s.notch = {"--notch", "--min-harmonic", std::to_string(lo), "--max-harmonic", std::to_string(hi + 1)};
    if (a.flicker >= 0.5)
        s.notch.push_back("--dc-average");
    int others = 0, drifting = 0, estimated = 0;
    for (const SpectrumPeak &p : a.peaks) {
        if (p.harmonic < lo || p.harmonic > hi)
            others++;
        if (!p.locked)
            drifting++;
        if (p.estimated)
            estimated++;
    }
    // The tone remover takes a drifting tone itself rather than the
    // harmonics it leaks over, a locked one without the picture's own detail
    // at its harmonic, and up to kToneMax tones at once where the notch takes
    // one band. Where it found tones, only those: a peak it did not find may
    // be the picture's own.
    if (estimated > 0 || others > 0) {
        std::string list;
        int listed = 0;
        for (const SpectrumPeak &p : a.peaks)
            if (listed < kToneMax && (estimated == 0 || p.estimated))
                list += (listed++ ? "," : "") + frequencyText(p);
        s.tone = {"--tone", list};
        if (a.flicker >= 0.5)
            s.tone.push_back("--dc-average");
    }

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
    if (drifting > 0)
        s.note = "the notch takes only the harmonics the drifting tone" +
                 std::string(drifting > 1 ? "s leak" : " leaks") + " over; --tone removes " +
                 (drifting > 1 ? "them" : "it");
    else if (others > 0 && coversAll)
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
        t += "  cycles/row   rms (grey)   above neighbours   MHz 625 lines   MHz 525 lines\n";
        for (const SpectrumPeak &p : a.peaks) {
            char line[160];
            snprintf(line, sizeof line, "  %10.2f   %10.2f   %+13.1f dB   %13.3f   %13.3f   %s\n", p.freq, p.rms,
                     p.excessDb, toneMhz625(p.freq), toneMhz525(p.freq), p.locked ? "locked" : "drifting");
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
        if (!s.tone.empty())
            t += "  tone:  quorvel " + joined(s.tone) + " INPUT OUTPUT\n";
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
                 "%s\n    {\"harmonic\": %d, \"frequency\": %.2f, \"locked\": %s, \"rms\": %.4f, "
                 "\"above_db\": %.2f, \"mhz_625\": %.4f, \"mhz_525\": %.4f}",
                 i ? "," : "", p.harmonic, p.freq, p.locked ? "true" : "false", p.rms, p.excessDb, toneMhz625(p.freq),
                 toneMhz525(p.freq));
        j += buf;
    }
    j += a.peaks.empty() ? "],\n" : "\n  ],\n";
    j += "  \"flicker\": ";
    appendNumber(j, "%.4f", a.flicker);
    j += ",\n  \"suggested\": {\"notch\": " + jsonArgs(s.notch) + ", \"full\": " + jsonArgs(s.full) +
         ", \"tone\": " + jsonArgs(s.tone) + ", \"note\": " + jsonString(s.note) + "}\n}\n";
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
    if (!o.plot.empty()) {
        Analysis cleaned;
        if (!o.against.empty()) {
            if (!analyseFile(o.against, a.frames, cleaned, err)) {
                reportError(err);
                return EXIT_FAILURE_RUN;
            }
            if (cleaned.width != a.width) {
                reportError("'" + o.against + "' is " + std::to_string(cleaned.width) + " pixels wide, '" + a.input +
                            "' " + std::to_string(a.width) + ": their spectra do not share a scale");
                return EXIT_FAILURE_RUN;
            }
        }
        if (!writePlot(o.plot, a, o.against.empty() ? nullptr : &cleaned, err)) {
            reportError(err);
            return EXIT_FAILURE_RUN;
        }
    }
    return EXIT_OK;
}

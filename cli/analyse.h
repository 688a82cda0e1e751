// Finding periodic interference: the frame-averaged spectrum of an input's
// rows, measured with the project's own engine, and its outstanding peaks.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct SpectrumPeak {
    int harmonic;
    double rms;       // grey levels, luma-weighted, RMS over all rows analysed
    double excessDb;  // above the level of the neighbouring harmonics
};

struct Analysis {
    std::string input;
    int width = 0, height = 0;
    int64_t frames = 0;
    std::vector<double> magnitude;    // per harmonic 0..width/2, as SpectrumPeak::rms
    std::vector<SpectrumPeak> peaks;  // strongest first
    double flicker = 0;               // typical row-to-row level jump, grey levels
};

// Harmonics whose RMS magnitude stands at least `minExcessDb` above both
// sides of their neighbourhood, local maxima only: the maxPeaks that stand
// out most, strongest (largest RMS) first.
std::vector<SpectrumPeak> findPeaks(const std::vector<double> &magnitude, int maxPeaks, double minExcessDb = 6.0);

// Typical (robust RMS) deviation of each row's luma mean from the average
// of its two neighbours.
double rowFlicker(const std::vector<double> &rowMeans);

struct Suggestion {
    std::vector<std::string> notch;  // options for one notch band, empty if none
    std::vector<std::string> full;   // options for full processing, empty if none
    std::string note;
};
Suggestion suggestOptions(const Analysis &a);

// Measure up to maxFrames frames of `path`.
bool analyseFile(const std::string &path, int64_t maxFrames, Analysis &out, std::string &err);

std::string analysisText(const Analysis &a, const Suggestion &s);
std::string analysisJson(const Analysis &a, const Suggestion &s);

// Line frequencies of the two standards, for the MHz columns.
enum { LINE_RATE_PAL = 15625, LINE_RATE_NTSC = 15750 };
// The default number of frames analysed.
enum { ANALYSE_DEFAULT_FRAMES = 50 };
// Full processing only reshapes harmonics from this one up.
enum { FULL_FIRST_HARMONIC = 60, FULL_LAST_HARMONIC = 512 };

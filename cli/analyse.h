// Finding periodic interference: the frame-averaged spectrum of an input's
// rows, measured with the project's own engine, and its outstanding peaks.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct SpectrumPeak {
    int harmonic = 0;
    double rms;       // grey levels, luma-weighted, RMS over all rows analysed
    double excessDb;  // above the level of the neighbouring harmonics
    // Cycles per row: the tone remover's estimate where it found a tone
    // drifting from row to row at this peak, else the harmonic itself.
    double freq = harmonic;
    bool locked = true;      // within LOCKED_TOLERANCE of a whole number
    bool estimated = false;  // the tone remover found a tone here
};

// A tone is locked to the line when this close to a whole number of cycles
// per row; farther off it drifts and leaks over the neighbouring harmonics.
const double LOCKED_TOLERANCE = 0.02;

struct Analysis {
    std::string input;
    int width = 0, height = 0;
    int64_t frames = 0;
    std::vector<double> magnitude;    // per harmonic 0..width/2, as SpectrumPeak::rms
    std::vector<SpectrumPeak> peaks;  // strongest first
    double flicker = 0;               // typical row-to-row level jump, grey levels
    // The tone remover's estimates over the frames, one per tone it kept
    // finding (cycles per row, the median of its frames), most often found
    // first.
    std::vector<double> tones;
    // For the plot: the magnitude of the luma and the two colour-difference
    // planes per harmonic, as `magnitude`.
    std::vector<double> plane[3];
};

// Gives each peak the tone (cycles per row) nearest to it within one
// harmonic, and adds a peak for a tone that none stood for.
void attachTones(Analysis &a);

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
    std::vector<std::string> tone;   // options for the tone remover, empty if none
    std::string note;
};
Suggestion suggestOptions(const Analysis &a);

// Measure up to maxFrames frames of `path`.
bool analyseFile(const std::string &path, int64_t maxFrames, Analysis &out, std::string &err);

std::string analysisText(const Analysis &a, const Suggestion &s);
std::string analysisJson(const Analysis &a, const Suggestion &s);

// The MHz columns: the frame's width taken as the active part of a line,
// 52 us of the 64 us at 625 lines (15625 Hz), 52.656 us of the 63.556 us at
// 525 lines (15734.264 Hz).
const double ACTIVE_US_625 = 52.0, ACTIVE_US_525 = 52.656;
inline double toneMhz625(double cyclesPerRow)
{
    return cyclesPerRow / ACTIVE_US_625;
}
inline double toneMhz525(double cyclesPerRow)
{
    return cyclesPerRow / ACTIVE_US_525;
}
// The default number of frames analysed.
enum { ANALYSE_DEFAULT_FRAMES = 50 };
// Full processing only reshapes harmonics from this one up.
enum { FULL_FIRST_HARMONIC = 60, FULL_LAST_HARMONIC = 512 };

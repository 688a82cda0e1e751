// A synthetic test clip: a moving picture with fine detail, plus periodic
// interference at known harmonics and row-to-row level flicker, and the same
// clip without them so that a correction can be scored.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "hosting/bitmap.h"

enum { SAMPLE_WIDTH = 720, SAMPLE_HEIGHT = 576, SAMPLE_FPS = 25, SAMPLE_FRAMES = 50 };

// The planted interference: grey sinusoids across every row, each with a
// phase that drifts from row to row and frame to frame.
struct PlantedTone {
    int harmonic;
    double amplitude;  // grey levels
    double phasePerRow, phasePerFrame;
};
extern const PlantedTone sampleTones[2];
// Each row of each frame is offset by up to this many grey levels.
extern const double sampleFlicker;

// Each frame spans this many rows of a continuous tone's time, the visible
// ones and the blanking (PAL), so that a tone drifts from frame to frame as
// it does on a capture.
enum { SAMPLE_LINES_PER_FRAME = 625 };

// What the clip plants. By default the tones above; tones at any frequency
// (cycles per row, fractional or whole) replace them. Such a tone runs on
// continuously through the rows and frames as interference not locked to
// the line does: its phase advances by the fraction of its frequency from
// one row to the next, so a whole number of cycles per row stands still.
struct SampleInterference {
    std::vector<double> frequencies;  // empty: sampleTones
    double amplitude = 6.0;           // grey levels, each planted frequency
    double flicker = sampleFlicker;
};

// Frame t of the clip into bmp (allocated by the caller, any size), with or
// without the interference.
void renderSampleFrame(HostBitmap &bmp, int t, bool interference,
                       const SampleInterference &planted = SampleInterference());

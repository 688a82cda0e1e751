// A synthetic test clip: a moving picture with fine detail, plus periodic
// interference at known harmonics and row-to-row level flicker, and the same
// clip without them so that a correction can be scored.
#pragma once

#include <stdint.h>

#include <string>

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

// Frame t of the clip into bmp (allocated by the caller, any size), with or
// without the interference.
void renderSampleFrame(HostBitmap &bmp, int t, bool interference);

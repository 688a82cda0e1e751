// The tone remover: interference at frequencies that are not whole numbers of
// cycles per row, whose phase therefore drifts from row to row and from frame
// to frame. Estimation finds the tones of a frame; removal fits and subtracts
// them row by row. Neither keeps anything between calls except what the
// caller passes in ToneState.
//
// Frequencies are in cycles per row width (a whole number is a harmonic).
//
// Fixed-point budget of the removal
//   basis       sin/cos of each tone, int16 at scale 2^14 (|entry| <= 16384)
//   fit         samples 0..255 times basis in int32 over blocks of 256 samples
//               (|block| < 2^30), blocks summed in int64: exact inner products
//   solve       Gram matrix exact in int64, Cholesky and substitution in
//               double, fixed order
//   subtract    per row and channel the tone amplitudes (and the flicker
//               offset) go to int32 with 2^q fractional bits, q chosen so that
//               sum |coefficient| x 2^14 < 2^31; the sum over tones is formed in
//               int32, rounded half up by (acc + 2^(q-1)) >> q, subtracted and
//               clamped to 0..255. Byte 3 passes unchanged.
// Only integer and IEEE double arithmetic without libm: identical bits on
// every build and instruction-set level.
#pragma once

#include <stdint.h>

#include "engine/frame.h"

const int kToneMax = 8;

struct Tone {
    double freq;      // cycles per row
    double strength;  // how far the tone's drift stands out; for a tone locked to
                      // the line, the share of its rows' power that stands still
                      // (0 for typed tones)
};

struct ToneList {
    int count;
    Tone tone[kToneMax];
};

struct ToneSettings {
    // Auto: estimate every frame. Otherwise the typed frequencies are used.
    bool autoDetect = true;
    int typedCount = 0;
    double typed[kToneMax] = {};
    // Search range in cycles per row; maxFreq <= 0 means up to the width's
    // limit (half the width less one).
    double minFreq = 2.0;
    double maxFreq = 0.0;
    int maxTones = kToneMax;
    // A peak of the row spectrum counts as a tone when, over the row index,
    // the power of its drift stands this many times above the median.
    double threshold = 80.0;
    // Weight of the newest frame in the frame-to-frame smoothing of the
    // frequencies (1: no smoothing).
    double smoothing = 0.3;
    // Frames a tone is kept after it was last seen.
    int holdFrames = 2;
    // Rows on each side over which the fitted amplitude is averaged along the
    // row-to-row phase drift (0: each row on its own; at most 32). The tone
    // keeps its amplitude over them where the picture at its frequency does
    // not: the more rows, the less of the picture goes with the tone.
    int driftRadius = 16;
    // Fraction of the rows' tone energy a single drifting phasor must explain
    // before the averaging is used (a weak tone over strong detail at its
    // frequency explains little, and needs the averaging most).
    double driftCoherence = 0.1;
    // Row flicker correction: 0 off, 100 pulls each row's mean fully to the
    // mean of its neighbourhood.
    int flickerStrength = 0;
};

struct ToneState {
    ToneList tones;
    int age[kToneMax];  // frames since each tone was last seen
    int frames;         // frames estimated since the reset
};

void toneStateReset(ToneState *state);

// The tones of this frame, smoothed with the frames before it (in the order
// they were passed since the last reset). With autoDetect off, the typed
// frequencies that fit the width.
ToneList estimateTones(const FrameView &src, ToneState *state, const ToneSettings &settings);

// Fits every listed tone (and the row mean) to every row and channel of src
// and writes src minus the tones, rounded and clamped, to dst (same size;
// dst may be src). Returns 0, or -1 when working memory cannot be obtained
// (dst then untouched).
int removeTones(const FrameView &src, const FrameView &dst, const ToneList &tones, const ToneSettings &settings);

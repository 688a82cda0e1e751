// The tone module's record of user choices, process-wide, written only by its
// dialog. Whatever the dialog does not offer stays at the tone stage's own
// recommendation (modes/tone.h).
#pragma once

#include <stdint.h>

#include "modes/tone.h"

// Typed and searched frequencies are kept within this many cycles per row;
// no row is that wide.
const double kToneFreqLimit = 1e6;

struct ToneFilterSettings {
    uint8_t autoDetect;       // IDC_TONE_AUTO: find the tones, else the typed ones
    int32_t toneCount;        // IDC_TONE_COUNT: tones to look for, 1..kToneMax
    double minFreq;           // IDC_TONE_MIN_FREQ: search range, cycles per row
    double maxFreq;           // IDC_TONE_MAX_FREQ: 0 searches up to the width's limit
    int32_t typedCount;       // IDC_TONE_LIST: 0..kToneMax frequencies,
    double typed[kToneMax];   //   each in (0, kToneFreqLimit]
    int32_t flickerStrength;  // IDC_TONE_FLICKER: 0..100
};

extern ToneFilterSettings toneFilterSettings;

// What every process starts from: automatic, up to four tones (interference
// seldom has more, and each false one costs picture), the stage's own search
// range and flicker strength. A constant expression, so that the record is
// initialised in the image and no code of ours runs before the loader calls
// the module's entry point.
constexpr ToneFilterSettings defaultToneFilterSettings()
{
    const ToneSettings stage{};
    ToneFilterSettings s{};
    s.autoDetect = 1;
    s.toneCount = 4;
    s.minFreq = stage.minFreq;
    s.maxFreq = stage.maxFreq;
    s.typedCount = 0;
    s.flickerStrength = stage.flickerStrength;
    return s;
}

// The tone stage's parameters for these choices.
ToneSettings toneStageSettings(const ToneFilterSettings &s);

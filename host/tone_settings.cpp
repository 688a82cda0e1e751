#include "host/tone_settings.h"

// Evaluated by the compiler, so the record is initialised in the image.
constexpr ToneFilterSettings kToneDefaults = defaultToneFilterSettings();
ToneFilterSettings toneFilterSettings = kToneDefaults;

ToneSettings toneStageSettings(const ToneFilterSettings &s)
{
    ToneSettings t;  // detection threshold, smoothing and drift as the stage recommends
    t.autoDetect = s.autoDetect != 0;
    t.maxTones = s.toneCount;
    t.minFreq = s.minFreq;
    t.maxFreq = s.maxFreq;
    t.typedCount = s.typedCount < 0 ? 0 : s.typedCount > kToneMax ? kToneMax : s.typedCount;
    for (int i = 0; i < t.typedCount; i++)
        t.typed[i] = s.typed[i];
    t.flickerStrength = s.flickerStrength;
    return t;
}

// The one record of user choices, process-wide, written only by the dialog.
#pragma once

#include <stdint.h>

struct FilterSettings {
    uint8_t displaySpectrum;  // 1002
    int32_t harmonicsNumber;  // 1001
    int32_t harmonicsLimit;   // source width when the dialog last opened; OK's upper bound
    uint8_t notchEnabled;     // 1005
    int32_t minHarmonic;      // 1009
    int32_t mainHarmonic;     // 1007 (shown and edited only)
    int32_t maxHarmonic;      // 1008
    float curveAggression;    // 1010 (shown and edited only)
    int32_t rejectionDb;      // 1011 (shown and edited only)
    uint8_t dcAverage;        // 1012
    uint8_t dcTemporal;       // 1013
    uint8_t fullProcessing;   // 1006
};

extern FilterSettings filterSettings;

// The values every process starts from. A constant expression, so that the
// record is initialised in the image and no code of ours runs before the
// loader calls the module's entry point.
constexpr FilterSettings defaultFilterSettings()
{
    FilterSettings s{};
    s.displaySpectrum = 0;
    s.harmonicsNumber = 10;
    s.harmonicsLimit = 0;
    s.notchEnabled = 0;
    s.minHarmonic = 1;
    s.mainHarmonic = 1;
    s.maxHarmonic = 1;
    s.curveAggression = 1.0f;
    s.rejectionDb = 20;
    s.dcAverage = 0;
    s.dcTemporal = 0;
    s.fullProcessing = 0;
    return s;
}

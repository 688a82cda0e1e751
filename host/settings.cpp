#include "host/settings.h"

FilterSettings defaultFilterSettings()
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

FilterSettings filterSettings = defaultFilterSettings();

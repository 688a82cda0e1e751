// Placeholders until the stages land.
#include "modes/modes.h"
int notchFilter(const FilterActivation *, const FilterFunctions *) { return 0; }
int addComponent(uint32_t *, int, int, HarmonicCoeffs) { return 0; }
int dcAverageFilter(const FilterActivation *, const FilterFunctions *) { return 0; }
void dcHistoryReset() {}
namespace zelt_lpf { int FilterFull(const FilterActivation *, const FilterFunctions *) { return 0; } }
namespace zelt { int FilterFull(const FilterActivation *, const FilterFunctions *) { return 0; } }

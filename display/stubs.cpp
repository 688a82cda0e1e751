// Placeholders until the display lands.
#include "display/display.h"
namespace zelt_lpf { int runSpectrumDisplay(const FilterActivation *, const FilterFunctions *) { return 0; } }
namespace zelt { int runSpectrumDisplay(const FilterActivation *, const FilterFunctions *) { return 0; } }

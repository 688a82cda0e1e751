// x86 variants of the engine kernels. Each instruction set lives in its own
// file, compiled with that set's flags only.
#pragma once

#include "engine/dsp.h"

// Overwrite the entries of `dsp` with the variants up to `level`.
void engineDspInitX86(EngineDsp *dsp, CpuLevel level);

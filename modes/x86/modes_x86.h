// x86 variants of the modes' kernels, one file per instruction set.
#pragma once

#include "modes/modes_dsp.h"

// Overwrite the entries of `dsp` with the variants up to `level`.
void modesDspInitX86(ModesDsp *dsp, CpuLevel level);

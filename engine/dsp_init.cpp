// The process-wide instruction-set cap, and the engine's dispatch table: the
// reference first, then each instruction set in ascending order, stopping at
// the first the CPU (or the cap) lacks.
#include <stdlib.h>
#include <string.h>

#include "engine/dsp.h"
#include "engine/x86/dsp_x86.h"

static const char *const levelNames[] = {"scalar", "mmx", "sse2", "avx2", "avx512"};

const char *cpuLevelName(CpuLevel level)
{
    return levelNames[level];
}

int cpuLevelFromName(const char *name)
{
    for (int i = 0; i <= CPU_AVX512; i++)
        if (name && strcmp(name, levelNames[i]) == 0)
            return i;
    return -1;
}

CpuLevel cpuCapFromEnv()
{
    const int level = cpuLevelFromName(getenv("ZELT_CPU"));
    if (level >= 0)
        return (CpuLevel)level;
#if defined(__i386__)
    // The 32-bit modules are the MMX design; their SSE2 forms run only when
    // asked for by name.
    return CPU_MMX;
#else
    return CPU_AVX512;
#endif
}

// The cap is read from the environment on first use; -1 until then.
static int processCap = -1;
static unsigned capGeneration = 1;

CpuLevel dspSetCpuCap(CpuLevel cap)
{
    processCap = cap;
    capGeneration++;
    return dspCpuLevel();
}

CpuLevel dspCpuLevel()
{
    if (processCap < 0)
        processCap = cpuCapFromEnv();
    const CpuLevel have = cpuDetect();
    return (CpuLevel)processCap < have ? (CpuLevel)processCap : have;
}

unsigned dspCapGeneration()
{
    return capGeneration;
}

CpuLevel engineDspInit(EngineDsp *dsp, CpuLevel cap)
{
    dsp->unpackRow = unpack_row_c;
    dsp->packRow = pack_row_c;
    dsp->analyseRow = analyse_row_c;
    dsp->synthesiseRow = synthesise_row_c;
    dsp->correlateRow = correlate_row_c;
    dsp->analyseRows = analyse_rows_c;
    dsp->synthesiseRows = synthesise_rows_c;
    const CpuLevel have = cpuDetect();
    const CpuLevel level = cap < have ? cap : have;
    engineDspInitX86(dsp, level);
    return level;
}

static LazyDspTable<EngineDsp> processDsp = {engineDspInit, {}, 0};

const EngineDsp &engineDsp()
{
    return processDsp.get();
}

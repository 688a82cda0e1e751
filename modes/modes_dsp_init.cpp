// The modes' dispatch table: the references first, then each instruction set
// in ascending order, stopping at the first the CPU (or the cap) lacks.
#include "modes/modes_dsp.h"
#include "modes/x86/modes_x86.h"

CpuLevel modesDspInit(ModesDsp *dsp, CpuLevel cap)
{
    dsp->addComponent = add_component_c;
    dsp->addComponents = add_components_c;
    dsp->dcShiftRow = dc_shift_row_c;
    dsp->scaleRecords = scale_records_c;
    dsp->weightedPower = weighted_power_c;
    const CpuLevel have = cpuDetect();
    const CpuLevel level = cap < have ? cap : have;
    modesDspInitX86(dsp, level);
    return level;
}

static LazyDspTable<ModesDsp> processDsp = {modesDspInit, {}, 0};

const ModesDsp &modesDsp()
{
    return processDsp.get();
}

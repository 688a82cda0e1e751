// The modes' kernel table: the references first, then each instruction set in
// ascending order.
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

static ModesDsp processModesDsp;
static bool processModesDspReady = false;

const ModesDsp &modesDsp()
{
    if (!processModesDspReady) {
        modesDspInit(&processModesDsp, cpuCapFromEnv());
        processModesDspReady = true;
    }
    return processModesDsp;
}

CpuLevel modesDspSetCap(CpuLevel cap)
{
    const CpuLevel level = modesDspInit(&processModesDsp, cap);
    processModesDspReady = true;
    return level;
}

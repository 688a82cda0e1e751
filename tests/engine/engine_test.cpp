// GoogleTest front end of the engine cases: worked examples at every dispatch
// level this CPU offers, each SIMD variant against the reference, the dispatch
// table and the engine operations over the process-wide tables.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include "engine/engine.h"
#include "engine/x86/dsp_x86.h"
#include "tests/engine/engine_cases.h"

using namespace enginecases;

namespace {

Check gtestCheck()
{
    return Check([](const std::string &message) { ADD_FAILURE() << message; });
}

std::vector<CpuLevel> availableLevels()
{
    std::vector<CpuLevel> levels;
    for (int l = CPU_SCALAR; l <= cpuDetect(); l++)
        levels.push_back((CpuLevel)l);
    return levels;
}

// The variants other than the reference itself.
template <typename Fn>
std::vector<Variant<Fn>> simd(std::vector<Variant<Fn>> all)
{
    all.erase(all.begin());
    return all;
}

std::string levelName(const ::testing::TestParamInfo<CpuLevel> &param)
{
    return cpuLevelName(param.param);
}

template <typename Fn>
std::string variantName(const ::testing::TestParamInfo<Variant<Fn>> &info)
{
    return info.param.name;
}

}  // namespace

TEST(TrigTables, WorkedExamples)
{
    Check check = gtestCheck();
    tableExamples(check);
}

TEST(TrigTables, BuildFailureAndFree)
{
    Check check = gtestCheck();
    tableLifecycle(check);
}

class WorkedExamples : public ::testing::TestWithParam<CpuLevel> {
protected:
    void SetUp() override { engineDspInit(&dsp, GetParam()); }
    EngineDsp dsp;
};

TEST_P(WorkedExamples, PlanarConversion)
{
    Check check = gtestCheck();
    planarExamples(check, dsp);
}

TEST_P(WorkedExamples, Analysis)
{
    Check check = gtestCheck();
    analysisExamples(check, dsp);
}

TEST_P(WorkedExamples, Synthesis)
{
    Check check = gtestCheck();
    synthesisExamples(check, dsp);
}

TEST_P(WorkedExamples, Correlation)
{
    Check check = gtestCheck();
    correlationExamples(check, dsp);
}

INSTANTIATE_TEST_SUITE_P(Level, WorkedExamples, ::testing::ValuesIn(availableLevels()), levelName);

#define VARIANT_SUITE(Suite, Fn, variants, crossCheck)             \
    class Suite : public ::testing::TestWithParam<Variant<Fn>> {}; \
    GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Suite);          \
    TEST_P(Suite, MatchesReference)                                \
    {                                                              \
        Check check = gtestCheck();                                \
        crossCheck(check, GetParam().fn, Sweep::Full);             \
    }                                                              \
    INSTANTIATE_TEST_SUITE_P(Simd, Suite, ::testing::ValuesIn(simd(variants())), variantName<Fn>)

VARIANT_SUITE(UnpackRowVariant, unpack_row_fn, unpackVariants, crossCheckUnpack);
VARIANT_SUITE(PackRowVariant, pack_row_fn, packVariants, crossCheckPack);
VARIANT_SUITE(AnalyseRowVariant, analyse_row_fn, analyseVariants, crossCheckAnalyse);
VARIANT_SUITE(SynthesiseRowVariant, synthesise_row_fn, synthesiseVariants, crossCheckSynthesise);
VARIANT_SUITE(CorrelateRowVariant, correlate_row_fn, correlateVariants, crossCheckCorrelate);

TEST(Dispatch, ReferenceOnlyAtScalarLevel)
{
    EngineDsp dsp;
    EXPECT_EQ(CPU_SCALAR, engineDspInit(&dsp, CPU_SCALAR));
    EXPECT_EQ(&unpack_row_c, dsp.unpackRow);
    EXPECT_EQ(&pack_row_c, dsp.packRow);
    EXPECT_EQ(&analyse_row_c, dsp.analyseRow);
    EXPECT_EQ(&synthesise_row_c, dsp.synthesiseRow);
    EXPECT_EQ(&correlate_row_c, dsp.correlateRow);
}

TEST(Dispatch, EachLevelTakesItsOwnVariantsAndStopsThere)
{
    EngineDsp dsp;
    if (cpuDetect() >= CPU_MMX) {
        EXPECT_EQ(CPU_MMX, engineDspInit(&dsp, CPU_MMX));
        EXPECT_EQ(&analyse_row_mmx, dsp.analyseRow);
        EXPECT_EQ(&synthesise_row_mmx, dsp.synthesiseRow);
        EXPECT_EQ(&correlate_row_mmx, dsp.correlateRow);
        EXPECT_EQ(&unpack_row_mmx, dsp.unpackRow);
    }
    if (cpuDetect() >= CPU_SSE2) {
        EXPECT_EQ(CPU_SSE2, engineDspInit(&dsp, CPU_SSE2));
        EXPECT_EQ(&analyse_row_sse2, dsp.analyseRow);
        EXPECT_EQ(&pack_row_sse2, dsp.packRow);
    }
#if ZELT_HAVE_AVX_KERNELS
    if (cpuDetect() >= CPU_AVX2) {
        EXPECT_EQ(CPU_AVX2, engineDspInit(&dsp, CPU_AVX2));
        EXPECT_EQ(&analyse_row_avx2, dsp.analyseRow);
        EXPECT_EQ(&synthesise_row_avx2, dsp.synthesiseRow);
    }
    if (cpuDetect() >= CPU_AVX512) {
        EXPECT_EQ(CPU_AVX512, engineDspInit(&dsp, CPU_AVX512));
        EXPECT_EQ(&analyse_row_avx512, dsp.analyseRow);
        EXPECT_EQ(&correlate_row_avx512, dsp.correlateRow);
        EXPECT_EQ(&unpack_row_avx2, dsp.unpackRow);  // no wider planar form
    }
#endif
    // A cap above the CPU gives the CPU's level.
    EXPECT_EQ(cpuDetect(), engineDspInit(&dsp, CPU_AVX512));
}

// One cap for every table: the process-wide table and the effective level
// follow it, whatever the CPU offers beyond it.
TEST(Dispatch, ProcessTableFollowsTheCap)
{
    EXPECT_EQ(CPU_SCALAR, dspSetCpuCap(CPU_SCALAR));
    EXPECT_EQ(CPU_SCALAR, dspCpuLevel());
    EXPECT_EQ(&analyse_row_c, engineDsp().analyseRow);
    EXPECT_EQ(cpuDetect(), dspSetCpuCap(CPU_AVX512));
    EngineDsp best;
    engineDspInit(&best, CPU_AVX512);
    EXPECT_EQ(best.analyseRow, engineDsp().analyseRow);
    EXPECT_EQ(best.synthesiseRows, engineDsp().synthesiseRows);
    dspSetCpuCap(cpuCapFromEnv());
}

TEST(Dispatch, LevelNames)
{
    for (int l = CPU_SCALAR; l <= CPU_AVX512; l++)
        EXPECT_EQ(l, cpuLevelFromName(cpuLevelName((CpuLevel)l)));
    EXPECT_EQ(-1, cpuLevelFromName("sse4"));
    EXPECT_EQ(-1, cpuLevelFromName(nullptr));
    const char *saved = getenv("ZELT_CPU");
    std::string keep = saved ? saved : "";
    setenv("ZELT_CPU", "mmx", 1);
    EXPECT_EQ(CPU_MMX, cpuCapFromEnv());
    setenv("ZELT_CPU", "bogus", 1);
    EXPECT_EQ(CPU_AVX512, cpuCapFromEnv());
    if (saved)
        setenv("ZELT_CPU", keep.c_str(), 1);
    else
        unsetenv("ZELT_CPU");
}

// The operations of engine/engine.h over the process-wide tables.
class EngineOperations : public ::testing::TestWithParam<CpuLevel> {
protected:
    void SetUp() override
    {
        dspSetCpuCap(GetParam());
        ASSERT_EQ(0, buildTrigTables16(8, 8, ANGLE_RECIPROCAL));
        ASSERT_EQ(0, buildTrigTables32(8, 8, ANGLE_RECIPROCAL));
    }
    void TearDown() override
    {
        freeTrigTables32();
        freeTrigTables16();
        dspSetCpuCap(cpuCapFromEnv());
    }
};

TEST_P(EngineOperations, RowRoundTripThroughTheTables)
{
    // Pixels of the worked row: blue 10..80, green twice blue, red 100.
    uint32_t px[8], back[8];
    for (int j = 0; j < 8; j++)
        px[j] = (uint32_t)(10 * (j + 1)) | (uint32_t)(20 * (j + 1)) << 8 | 100u << 16 | 0xee000000u;
    int16_t planar[24];
    unpackRow(px, planar, 8);
    HarmonicCoeffs rec[8];
    memset(rec, 0x5a, sizeof rec);
    analyseRow(planar, 0, 8, rec);
    EXPECT_EQ(0x5a5a5a5a, rec[0].red.sinePart) << "count 0 writes nothing";
    analyseRow(planar, 8, 8, rec);
    HarmonicCoeffs one;
    analyseHarmonic(planar, 8, &one, 1);
    EXPECT_EQ(0, memcmp(&one, &rec[1], sizeof one));
    EXPECT_EQ(-6177, one.blue.sinePart);
    EXPECT_EQ(25600, rec[0].red.cosinePart);
    // Harmonics 0..3 rebuild the worked row of the synthesis example.
    static const int want4[3][8] = {
        {15, 15, 35, 34, 54, 55, 74, 74}, {30, 30, 70, 69, 109, 110, 149, 149}, {100, 100, 99, 100, 99, 100, 99, 100}};
    int32_t work[32];
    synthesiseRow(work, 4, 8, rec);
    packRow((const int16_t *)work, back, 8);
    for (int j = 0; j < 8; j++)
        for (int ch = 0; ch < 3; ch++)
            EXPECT_EQ(want4[ch][j], (int)(back[j] >> (8 * ch) & 0xff)) << "pixel " << j << " channel " << ch;
    HarmonicCoeffs corr;
    correlateRow(px, 8, &corr, 0);
    EXPECT_EQ(25600, corr.red.cosinePart);
    EXPECT_EQ(11520, corr.blue.cosinePart);
}

INSTANTIATE_TEST_SUITE_P(Level, EngineOperations, ::testing::ValuesIn(availableLevels()), levelName);

// The spine of one module build: registration, definition, start guard and
// table lifetime, run dispatch and the filter chain.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "engine/trig_tables.h"
#include "host/module.h"
#include "host/settings.h"
#include "tests/host/host_test_support.h"
#include "tests/support/frames.h"

#if ZELT_TEST_LPF
static const char kName[] = "Quorvel Transform Filter (debug - log,lpf)";
#else
static const char kName[] = "Quorvel Transform Filter (MMX, debug)";
#endif

namespace {

using zelt_test::TestBitmap;
using zelt_test::TestFrame;

// Every test starts from a freshly loaded module.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        filterSettings = defaultFilterSettings();
        filterStages = buildFilterStages();
        startGuard = 0;
        filterHandle = nullptr;
        freeTrigTables32();
        freeTrigTables16();
    }
    void TearDown() override
    {
        filterStages = buildFilterStages();
        FilterActivation none{};
        while (startGuard)
            filterEnd(&none, nullptr);
        filterEnd(&none, nullptr);
    }
};

// --- registration ---

TEST_F(ModuleTest, InitRegistersTheDefinitionAndReportsTheVersions)
{
    FakeHost host;
    int version = -5, compat = -6;
    EXPECT_EQ(VirtualdubFilterModuleInit2(host.module, &host.ff, &version, &compat), 0);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(compat, 4);
    EXPECT_EQ(host.addCalls, 1);
    EXPECT_EQ(host.added, &filterDefinition);
    EXPECT_EQ(host.addedModule, host.module);
    // 72 bytes on 32-bit: eighteen pointer-sized members.
    EXPECT_EQ(host.addedLength, (int)(18 * sizeof(void *)));
    EXPECT_EQ(filterHandle, &host.handle);

    VirtualdubFilterModuleDeinit(host.module, &host.ff);
    EXPECT_EQ(host.removeCalls, 1);
    EXPECT_EQ(host.removed, &host.handle);
}

TEST_F(ModuleTest, RefusedRegistrationReturnsOneAndWritesNothing)
{
    FakeHost host;
    host.refuse = true;
    int version = 12345, compat = 678;
    EXPECT_EQ(VirtualdubFilterModuleInit2(host.module, &host.ff, &version, &compat), 1);
    EXPECT_EQ(version, 12345);
    EXPECT_EQ(compat, 678);
    EXPECT_EQ(filterHandle, nullptr);
    // Nothing was registered, so nothing is given back.
    VirtualdubFilterModuleDeinit(host.module, &host.ff);
    EXPECT_EQ(host.removeCalls, 0);
}

TEST_F(ModuleTest, DeinitGivesTheHandleBackOnce)
{
    FakeHost host;
    int version = 0, compat = 0;
    ASSERT_EQ(VirtualdubFilterModuleInit2(host.module, &host.ff, &version, &compat), 0);
    VirtualdubFilterModuleDeinit(host.module, &host.ff);
    VirtualdubFilterModuleDeinit(host.module, &host.ff);
    EXPECT_EQ(host.removeCalls, 1);
}

TEST_F(ModuleTest, DefinitionCarriesTheStringsAndOnlyFourCallbacks)
{
    const FilterDefinition &d = filterDefinition;
    EXPECT_STREQ(d.name, kName);
    EXPECT_STREQ(d.desc, "Applies specified curve filter to video signal.");
    EXPECT_STREQ(d.maker, "Brantwick");
    EXPECT_TRUE(d.runProc && d.configProc && d.startProc && d.endProc);
    EXPECT_EQ(d.next, nullptr);
    EXPECT_EQ(d.prev, nullptr);
    EXPECT_EQ(d.module, nullptr);
    EXPECT_EQ(d.private_data, nullptr);
    EXPECT_EQ(d.inst_data_size, 0);
    EXPECT_EQ(d.initProc, nullptr);
    EXPECT_EQ(d.deinitProc, nullptr);
    EXPECT_EQ(d.paramProc, nullptr);
    EXPECT_EQ(d.stringProc, nullptr);
    EXPECT_EQ(d.script_obj, nullptr);
    EXPECT_EQ(d.fssProc, nullptr);
}

TEST_F(ModuleTest, DllMainKeepsTheInstanceAtProcessAttachOnly)
{
    const HINSTANCE loaded = moduleInstance;
    // Native builds attach themselves at load with their resource table.
    EXPECT_NE(loaded, nullptr);
    int a = 0, b = 0;
    for (DWORD reason : {0ul, 2ul, 3ul})
        EXPECT_EQ(DllMain((HINSTANCE)&a, reason, nullptr), 1);
    EXPECT_EQ(moduleInstance, loaded);
    EXPECT_EQ(DllMain((HINSTANCE)&b, 1, nullptr), 1);
    EXPECT_EQ(moduleInstance, (HINSTANCE)&b);
    moduleInstance = loaded;
}

// --- start and end ---

TEST_F(ModuleTest, StartBuildsBothTablePairsForTheSourceWidth)
{
    TestFrame f(24, 3, 24 * 4);
    ASSERT_EQ(filterStart(&f.fa, nullptr), 0);
    EXPECT_EQ(startGuard, 1);
    ASSERT_NE(trigTables.sin16, nullptr);
    ASSERT_NE(trigTables.cos16, nullptr);
    ASSERT_NE(trigTables.sin32, nullptr);
    ASSERT_NE(trigTables.cos32, nullptr);
    EXPECT_EQ(trigTables.rows16, 24);
    EXPECT_EQ(trigTables.n16, 24);
    EXPECT_EQ(trigTables.rows32, 24);
    EXPECT_EQ(trigTables.n32, 24);
    // Row 1 runs through one period: cos(0) = 1 x scale, sin(quarter) one
    // unit short of the scale (truncation of the single-precision period).
    EXPECT_EQ(trigTables.cos16[24], 1024);
    EXPECT_EQ(trigTables.sin16[24 + 6], 1023);
    EXPECT_EQ(trigTables.sin32[24 + 6], 255);
    EXPECT_EQ(filterEnd(&f.fa, nullptr), 0);
    EXPECT_EQ(startGuard, 0);
    EXPECT_EQ(trigTables.sin16, nullptr);
    EXPECT_EQ(trigTables.sin32, nullptr);
}

TEST_F(ModuleTest, SecondStartIsRefusedUntilTheEnd)
{
    TestFrame f(16, 2, 64);
    ASSERT_EQ(filterStart(&f.fa, nullptr), 0);
    const int16_t *sin16 = trigTables.sin16;
    const int32_t *cos32 = trigTables.cos32;
    // Another width would rebuild; the refusal must leave the tables alone.
    TestFrame wider(40, 2, 160);
    EXPECT_EQ(filterStart(&wider.fa, nullptr), -1);
    EXPECT_EQ(filterStart(&f.fa, nullptr), -1);
    EXPECT_EQ(trigTables.sin16, sin16);
    EXPECT_EQ(trigTables.cos32, cos32);
    EXPECT_EQ(trigTables.n16, 16);
    EXPECT_EQ(startGuard, 1);

    EXPECT_EQ(filterEnd(&f.fa, nullptr), 0);
    EXPECT_EQ(startGuard, 0);
    // A new run builds for the width then current.
    EXPECT_EQ(filterStart(&wider.fa, nullptr), 0);
    EXPECT_EQ(trigTables.n16, 40);
    EXPECT_EQ(trigTables.rows32, 40);
    EXPECT_EQ(filterEnd(&wider.fa, nullptr), 0);
}

TEST_F(ModuleTest, EndOfARefusedInstanceLeavesTheRunningOneAlone)
{
    TestFrame a(16, 2, 64), b(16, 2, 64);
    ASSERT_EQ(filterStart(&a.fa, nullptr), 0);
    ASSERT_EQ(filterStart(&b.fa, nullptr), -1);
    const int16_t *cos16 = trigTables.cos16;
    EXPECT_EQ(filterEnd(&b.fa, nullptr), 0);
    EXPECT_EQ(startGuard, 1);
    EXPECT_EQ(trigTables.cos16, cos16);
    EXPECT_EQ(filterEnd(&a.fa, nullptr), 0);
    EXPECT_EQ(startGuard, 0);
    EXPECT_EQ(trigTables.cos16, nullptr);
}

TEST_F(ModuleTest, EndWithoutStartDoesNotLockOutLaterRuns)
{
    TestFrame f(8, 2, 32);
    EXPECT_EQ(filterEnd(&f.fa, nullptr), 0);
    EXPECT_EQ(filterEnd(&f.fa, nullptr), 0);
    EXPECT_EQ(startGuard, 0);
    EXPECT_EQ(filterStart(&f.fa, nullptr), 0);
    EXPECT_EQ(filterEnd(&f.fa, nullptr), 0);
}

TEST_F(ModuleTest, FailedStartKeepsTheGuardUntilTheEnd)
{
    // Tables for this width cannot be allocated (nor their size represented).
    TestBitmap huge(0x7fffffff, 0, 0);
    FilterActivation fa{};
    fa.src = fa.dst = huge.bitmap();
    EXPECT_EQ(filterStart(&fa, nullptr), -1);
    EXPECT_EQ(startGuard, 1);
    TestFrame f(8, 2, 32);
    EXPECT_EQ(filterStart(&f.fa, nullptr), -1);
    EXPECT_EQ(filterEnd(&fa, nullptr), 0);
    EXPECT_EQ(startGuard, 0);
    EXPECT_EQ(filterStart(&f.fa, nullptr), 0);
    EXPECT_EQ(trigTables.n32, 8);
    EXPECT_EQ(filterEnd(&f.fa, nullptr), 0);
}

TEST_F(ModuleTest, ZeroWidthStartSucceedsWithEmptyTables)
{
    TestFrame f(0, 0, 0);
    EXPECT_EQ(filterStart(&f.fa, nullptr), 0);
    EXPECT_EQ(filterEnd(&f.fa, nullptr), 0);
}

// --- run dispatch and chain ---

// What the stages were handed, in the order they were called.
struct StageLog {
    std::vector<std::string> calls;
    FrameView src{}, dst{};   // the views every stage must get
    bool dstWasCopy = false;  // destination already equal to the source at the first stage
    bool viewsRight = true;   // every stage got the activation's bitmaps
    int32_t minHarmonic = 0, maxHarmonic = 0, harmonics = 0;
    bool temporal = false;
    int displayStatus = 0;
};
StageLog *stageLog = nullptr;

bool sameView(const FrameView &a, const FrameView &b)
{
    return a.data == b.data && a.w == b.w && a.h == b.h && a.pitch == b.pitch;
}

void record(const char *name, FrameView src, FrameView dst)
{
    if (stageLog->calls.empty())
        stageLog->dstWasCopy = memcmp(dst.data, src.data, (size_t)src.pitch * (size_t)src.h) == 0;
    stageLog->calls.push_back(name);
    stageLog->viewsRight = stageLog->viewsRight && sameView(src, stageLog->src) && sameView(dst, stageLog->dst);
}
int notchStage(FrameView src, FrameView dst, int32_t minHarmonic, int32_t maxHarmonic)
{
    record("notch", src, dst);
    stageLog->minHarmonic = minHarmonic;
    stageLog->maxHarmonic = maxHarmonic;
    return -1;  // the chain ignores the notch's status
}
void dcStage(FrameView src, FrameView dst, bool temporal)
{
    record("dc", src, dst);
    stageLog->temporal = temporal;
}
void fullStage(FrameView src, FrameView dst, int harmonics)
{
    record("full", src, dst);
    stageLog->harmonics = harmonics;
}
int displayStage(FrameView src, FrameView dst, int harmonics)
{
    record("display", src, dst);
    stageLog->harmonics = harmonics;
    return stageLog->displayStatus;
}

class ChainTest : public ModuleTest {
protected:
    StageLog log;
    FakeHost host;
    void SetUp() override
    {
        ModuleTest::SetUp();
        stageLog = &log;
        filterStages = FilterStages{notchStage, dcStage, fullStage, displayStage};
    }
    void TearDown() override
    {
        stageLog = nullptr;
        ModuleTest::TearDown();
    }
    int run(TestFrame &f, int displayStatus = 0)
    {
        log = StageLog{};
        log.src = f.src.view();
        log.dst = f.dst.view();
        log.displayStatus = displayStatus;
        return filterRun(&f.fa, &host.ff);
    }
};

TEST_F(ChainTest, AllStagesOffGivesAByteExactCopyOfPaddedRows)
{
    // Width 13 with rows padded to 64 bytes: the block copy takes the padding
    // along, as the host's size says.
    TestFrame f(13, 7, 64);
    f.src.randomiseBytes(1);
    f.dst.fillBytes(0xA5);
    EXPECT_EQ(run(f), 0);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_TRUE(f.dst.sameBytes(f.src));
}

TEST_F(ChainTest, StagesRunAfterTheCopyInFixedOrderForEveryFlagCombination)
{
    // Settings a stage could not mistake for one another or for the defaults.
    filterSettings.minHarmonic = 17;
    filterSettings.maxHarmonic = 29;
    filterSettings.harmonicsNumber = 41;
    filterSettings.mainHarmonic = 23;
    for (int mask = 0; mask < 16; mask++) {
        filterSettings.notchEnabled = mask & 1;
        filterSettings.dcAverage = (mask >> 1) & 1;
        filterSettings.fullProcessing = (mask >> 2) & 1;
        filterSettings.dcTemporal = (uint8_t)((mask >> 3) & 1 ? 2 : 0);  // any non-zero byte is set
        TestFrame f(9, 4, 40);
        f.src.randomiseBytes(100 + mask);
        EXPECT_EQ(run(f), 0) << mask;
        std::vector<std::string> expected;
        if (mask & 1)
            expected.push_back("notch");
        if (mask & 2)
            expected.push_back("dc");
        if (mask & 4)
            expected.push_back("full");
        EXPECT_EQ(log.calls, expected) << mask;
        if (mask & 7) {
            EXPECT_TRUE(log.dstWasCopy) << mask;
        }
        EXPECT_TRUE(log.viewsRight) << mask;
        EXPECT_EQ(log.minHarmonic, mask & 1 ? 17 : 0) << mask;
        EXPECT_EQ(log.maxHarmonic, mask & 1 ? 29 : 0) << mask;
        EXPECT_EQ(log.temporal, (mask & 2) && (mask & 8)) << mask;
        EXPECT_EQ(log.harmonics, mask & 4 ? 41 : 0) << mask;
        EXPECT_TRUE(f.dst.sameBytes(f.src)) << mask;  // the recorders write nothing
    }
}

TEST_F(ChainTest, DisplayModeCopiesNothingAndReturnsTheDisplayStatus)
{
    filterSettings.displaySpectrum = 1;
    filterSettings.notchEnabled = filterSettings.dcAverage = filterSettings.fullProcessing = 1;
    filterSettings.harmonicsNumber = 352;
    TestFrame f(10, 5, 48);
    f.src.randomiseBytes(7);
    f.dst.fillBytes(0x3C);
    const TestBitmap before(f.dst);
    for (int status : {0, -1}) {
        EXPECT_EQ(run(f, status), status);
        EXPECT_EQ(log.calls, std::vector<std::string>{"display"});
        EXPECT_TRUE(log.viewsRight);
        EXPECT_EQ(log.harmonics, 352);
        EXPECT_TRUE(f.dst.sameBytes(before));
    }
}

TEST_F(ChainTest, FlagsAreReadAfreshForEveryFrame)
{
    TestFrame f(6, 3, 24);
    filterSettings.fullProcessing = 1;
    run(f);
    EXPECT_EQ(log.calls, std::vector<std::string>{"full"});
    filterSettings.fullProcessing = 0;
    filterSettings.displaySpectrum = 1;
    run(f);
    EXPECT_EQ(log.calls, std::vector<std::string>{"display"});
    // Only the value 1 selects the display.
    filterSettings.displaySpectrum = 2;
    run(f);
    EXPECT_TRUE(log.calls.empty());
}

// --- the copy never leaves either bitmap ---

TEST(CopySource, ShorterDestinationIsNotOverrun)
{
    TestBitmap src(8, 6, 32), dst(8, 4, 32);
    src.randomiseBytes(3);
    copySourceToDestination(*src.bitmap(), *dst.bitmap());
    EXPECT_EQ(memcmp(dst.bytes(), src.bytes(), dst.bodyBytes()), 0);
    EXPECT_TRUE(dst.guardsIntact());
}

TEST(CopySource, DifferentPitchesCopyRowByRowWithoutPadding)
{
    TestBitmap src(5, 3, 32), dst(5, 3, 24);
    src.randomiseBytes(4);
    dst.fillBytes(0xEE);
    copySourceToDestination(*src.bitmap(), *dst.bitmap());
    for (int r = 0; r < 3; r++) {
        EXPECT_EQ(memcmp(dst.row(r), src.row(r), 20), 0) << r;
        for (int b = 20; b < 24; b++)
            EXPECT_EQ(((const uint8_t *)dst.row(r))[b], 0xEE) << r;  // padding untouched
    }
    EXPECT_TRUE(dst.guardsIntact());
}

TEST(CopySource, NegativePitchCopiesTheRowsItAddresses)
{
    // Top-down storage: data at the last memory row, rows going backwards.
    TestBitmap srcMem(4, 3, 16), dstMem(4, 3, 16);
    srcMem.randomiseBytes(5);
    VFBitmap src = *srcMem.bitmap(), dst = *dstMem.bitmap();
    src.data = srcMem.row(2);
    dst.data = dstMem.row(2);
    src.pitch = dst.pitch = -16;
    copySourceToDestination(src, dst);
    EXPECT_TRUE(dstMem.sameBytes(srcMem));
}

TEST(CopySource, EmptyOrMissingBitmapsCopyNothing)
{
    TestBitmap a(0, 0, 0), b(4, 2, 16);
    b.fillBytes(9);
    const TestBitmap before(b);
    copySourceToDestination(*a.bitmap(), *b.bitmap());
    EXPECT_TRUE(b.sameBytes(before));
    VFBitmap none = *b.bitmap();
    none.data = nullptr;
    copySourceToDestination(none, *b.bitmap());
    copySourceToDestination(*b.bitmap(), none);
    EXPECT_TRUE(b.sameBytes(before));
}

}  // namespace

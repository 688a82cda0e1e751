// Display colour conversion: the worked values, the pair-wise contract and
// every variant against the reference.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "display/x86/display_dsp_x86.h"

namespace {

struct Variant {
    const char *name;
    convert_row_to_yuv_fn fn;
    CpuLevel level;
};

std::vector<Variant> allVariants()
{
    std::vector<Variant> v = {{"c", convert_row_to_yuv_c, CPU_SCALAR}};
#if defined(__i386__) || defined(__x86_64__)
    v.push_back({"mmx", convert_row_to_yuv_mmx, CPU_MMX});
    v.push_back({"sse2", convert_row_to_yuv_sse2, CPU_SSE2});
#endif
#if ZELT_HAVE_AVX_KERNELS
    v.push_back({"avx2", convert_row_to_yuv_avx2, CPU_AVX2});
#endif
    std::vector<Variant> runnable;
    for (const Variant &x : v)
        if (x.level <= cpuDetect())
            runnable.push_back(x);
    return runnable;
}

uint32_t rgb(int r, int g, int b, int x = 0)
{
    return (uint32_t)b | (uint32_t)g << 8 | (uint32_t)r << 16 | (uint32_t)x << 24;
}

uint32_t uvy(int u, int v, int y)
{
    return (uint32_t)u | (uint32_t)v << 8 | (uint32_t)y << 16;
}

// Converts `in` with a variant into a buffer surrounded by canaries and
// checks that only the pairs were written.
std::vector<uint32_t> convertChecked(const Variant &var, const std::vector<uint32_t> &in, int offset = 0)
{
    const int w = (int)in.size();
    const uint32_t canary = 0xDEADBEEF;
    std::vector<uint32_t> src(in.size() + offset + 1, 0x5A5A5A5A), dst(in.size() + offset + 32, canary);
    std::copy(in.begin(), in.end(), src.begin() + offset);
    var.fn(src.data() + offset, dst.data() + offset, w);
    const int written = w < 2 ? 0 : 2 * (w >> 1);
    for (int k = 0; k < offset; k++)
        EXPECT_EQ(dst[k], canary) << var.name << " wrote before the row, w=" << w;
    for (size_t k = offset + written; k < dst.size(); k++)
        EXPECT_EQ(dst[k], canary) << var.name << " wrote pixel " << k - offset << " of w=" << w;
    return std::vector<uint32_t>(dst.begin() + offset, dst.begin() + offset + written);
}

TEST(ConvertRowToYuv, WorkedValues)
{
    // (R, G, B) -> (U, V, Y) as stated: white, red, blue, (10, 20, 30), black.
    const std::vector<uint32_t> in = {rgb(255, 255, 255), rgb(255, 0, 0), rgb(0, 0, 255),
                                      rgb(10, 20, 30),    rgb(0, 0, 0),   rgb(0, 0, 0)};
    const std::vector<uint32_t> want = {uvy(128, 128, 255), uvy(85, 255, 76), uvy(255, 107, 30),
                                        uvy(135, 122, 18),  uvy(128, 128, 0), uvy(128, 128, 0)};
    for (const Variant &var : allVariants())
        EXPECT_EQ(convertChecked(var, in), want) << var.name;
}

TEST(ConvertRowToYuv, EveryGreyLevelGivesFlatColourDifferences)
{
    std::vector<uint32_t> in, want;
    for (int x = 0; x < 256; x++) {
        in.push_back(rgb(x, x, x, 255 - x));
        want.push_back(uvy(128, 128, x));
    }
    for (const Variant &var : allVariants())
        EXPECT_EQ(convertChecked(var, in), want) << var.name;
}

TEST(ConvertRowToYuv, RedAndBlueLimitTo255)
{
    // 256 before the limit: (255, 0, 0) for V, (0, 0, 255) for U. The extreme
    // corners around them stay in range.
    const std::vector<uint32_t> in = {rgb(255, 0, 0), rgb(0, 0, 255),   rgb(255, 0, 255),
                                      rgb(0, 255, 0), rgb(255, 255, 0), rgb(0, 255, 255)};
    for (const Variant &var : allVariants()) {
        const std::vector<uint32_t> out = convertChecked(var, in);
        EXPECT_EQ(out[0] >> 8 & 0xff, 255u) << var.name;
        EXPECT_EQ(out[1] & 0xff, 255u) << var.name;
        for (uint32_t px : out) {
            EXPECT_GE(px & 0xff, 1u) << var.name << ": U and V never below 1";
            EXPECT_GE(px >> 8 & 0xff, 1u) << var.name;
        }
    }
}

TEST(ConvertRowToYuv, ByteThreeNeitherReadNorWritten)
{
    std::mt19937 rng(7);
    std::vector<uint32_t> a(64), b(64);
    for (size_t k = 0; k < a.size(); k++) {
        a[k] = rng() & 0x00ffffff;
        b[k] = a[k] | (rng() & 0xff000000);
    }
    for (const Variant &var : allVariants()) {
        const std::vector<uint32_t> outA = convertChecked(var, a), outB = convertChecked(var, b);
        EXPECT_EQ(outA, outB) << var.name;
        for (uint32_t px : outB)
            EXPECT_EQ(px >> 24, 0u) << var.name;
    }
}

TEST(ConvertRowToYuv, VariantsMatchReferenceOnEveryColour)
{
    // All 2^24 colours, with random byte 3, in rows of awkward width so that
    // every variant also runs its leftover pixels.
    const std::vector<Variant> variants = allVariants();
    const int rowWidth = 4093;
    std::mt19937 rng(11);
    std::vector<uint32_t> src(rowWidth), ref(rowWidth), got(rowWidth);
    for (uint32_t base = 0; base < (1u << 24);
         base += rowWidth - 1) {  // the unconverted last pixel starts the next row
        for (int k = 0; k < rowWidth; k++)
            src[k] = ((base + k) & 0xffffff) | (rng() & 0xff000000);
        convert_row_to_yuv_c(src.data(), ref.data(), rowWidth);
        for (size_t v = 1; v < variants.size(); v++) {
            variants[v].fn(src.data(), got.data(), rowWidth);
            ASSERT_TRUE(std::equal(ref.begin(), ref.end() - 1, got.begin()))
                << variants[v].name << " differs in the row from colour " << base;
        }
    }
}

// Widths 0..70 at four alignments: besides matching the reference, every
// variant (the reference included) leaves the last pixel of an odd row and
// rows below two pixels unwritten.
TEST(ConvertRowToYuv, VariantsMatchReferenceOnEveryWidthAndAlignment)
{
    std::mt19937 rng(3);
    const std::vector<std::vector<uint32_t>> patterns = [&] {
        std::vector<std::vector<uint32_t>> p(5, std::vector<uint32_t>(70));
        for (int k = 0; k < 70; k++) {
            p[0][k] = 0;
            p[1][k] = 0xffffffff;
            p[2][k] = k & 1 ? 0xffffffff : 0;
            p[3][k] = k % 3 == 0 ? rgb(255, 0, 0) : k % 3 == 1 ? rgb(0, 0, 255) : rgb(0, 255, 0, 255);
            p[4][k] = rng();
        }
        return p;
    }();
    const std::vector<Variant> variants = allVariants();
    for (const std::vector<uint32_t> &pattern : patterns)
        for (int w = 0; w <= 70; w++)
            for (int offset = 0; offset < 4; offset++) {
                const std::vector<uint32_t> in(pattern.begin(), pattern.begin() + w);
                const std::vector<uint32_t> ref = convertChecked(variants[0], in, offset);
                for (size_t v = 1; v < variants.size(); v++)
                    EXPECT_EQ(convertChecked(variants[v], in, offset), ref)
                        << variants[v].name << " w=" << w << " offset=" << offset;
            }
}

TEST(ConvertRowToYuv, DispatchFollowsTheCap)
{
    DisplayDsp dsp;
    EXPECT_EQ(displayDspInit(&dsp, CPU_SCALAR), CPU_SCALAR);
    EXPECT_EQ(dsp.convertRowToYuv, convert_row_to_yuv_c);
    for (const Variant &var : allVariants()) {
        displayDspInit(&dsp, var.level);
        EXPECT_EQ(dsp.convertRowToYuv, var.fn) << var.name;
    }
    // The operation goes through the process-wide table at every level.
    const std::vector<uint32_t> in = {rgb(10, 20, 30), rgb(255, 0, 0), rgb(1, 2, 3)};
    for (const Variant &var : allVariants()) {
        dspSetCpuCap(var.level);
        uint32_t out[3] = {0, 0, 0xCAFEF00D};
        convertRowToYuv(in.data(), out, 3);
        EXPECT_EQ(out[0], uvy(135, 122, 18)) << var.name;
        EXPECT_EQ(out[1], uvy(85, 255, 76)) << var.name;
        EXPECT_EQ(out[2], 0xCAFEF00Du) << var.name;
    }
    dspSetCpuCap(cpuCapFromEnv());
}

}  // namespace

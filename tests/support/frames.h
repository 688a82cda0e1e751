// Frames for the tests: bitmaps with padded rows and guard bytes, source and
// destination pairs as a host hands them, the pixel helpers, the seeded
// random generator and a scope for the process-wide tables.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <random>
#include <vector>

#include "abi/vdfilter.h"
#include "engine/dsp.h"
#include "engine/frame.h"
#include "engine/trig_tables.h"

namespace zelt_test {

// Every random picture of the tests comes from this generator, so that a seed
// names the same picture in every suite.
typedef std::mt19937 Random;

// A bottom-up 32-bit bitmap of w x h pixels, rows `pitch` bytes apart (4 x w
// when not given), with guard bytes before and after that nothing may write.
// The body (pitch x h bytes) starts zeroed.
class TestBitmap {
public:
    static constexpr uint8_t kGuardByte = 0xA5;
    static constexpr size_t kGuardBytes = 256;

    TestBitmap(int w, int h, ptrdiff_t pitch = -1);
    TestBitmap(const TestBitmap &o);
    TestBitmap &operator=(const TestBitmap &) = delete;

    int w() const { return w_; }
    int h() const { return h_; }
    ptrdiff_t pitch() const { return pitch_; }

    // The bitmap as the stages see it, and as a host hands it to a module
    // (size = pitch x h).
    FrameView view() { return FrameView{bytes(), w_, h_, pitch_}; }
    VFBitmap *bitmap() { return &bmp_; }

    uint8_t *bytes() { return mem_.data() + kGuardBytes; }
    const uint8_t *bytes() const { return mem_.data() + kGuardBytes; }
    size_t bodyBytes() const { return mem_.size() - 2 * kGuardBytes; }
    uint32_t *row(int y) { return (uint32_t *)(bytes() + (ptrdiff_t)y * pitch_); }
    const uint32_t *row(int y) const { return (const uint32_t *)(bytes() + (ptrdiff_t)y * pitch_); }
    uint32_t &at(int x, int y) { return row(y)[x]; }
    uint32_t at(int x, int y) const { return row(y)[x]; }

    // Visible pixels only.
    void fill(uint32_t px);
    void randomise(uint32_t seed);
    // Every byte of the body, padding included.
    void fillBytes(uint8_t b);
    void randomiseBytes(uint32_t seed);
    // The bytes between a row's w pixels and the pitch.
    void fillPadding(uint8_t b);

    bool guardsIntact() const;
    // The visible pixels, row by row (padding left out).
    std::vector<uint32_t> picture() const;
    bool samePicture(const TestBitmap &o) const { return w_ == o.w_ && h_ == o.h_ && picture() == o.picture(); }
    // Body and guards alike.
    bool sameBytes(const TestBitmap &o) const { return mem_ == o.mem_; }
    // Copies the other bitmap's body (same size) into this one.
    void copyBody(const TestBitmap &o);

private:
    void bind();

    int w_, h_;
    ptrdiff_t pitch_;
    std::vector<uint8_t> mem_;
    VFBitmap bmp_;
};

// The source and destination of one frame, sharing width, height and pitch,
// wired into a FilterActivation as the host does.
struct TestFrame {
    TestBitmap src, dst;
    FilterActivation fa{};

    TestFrame(int w, int h, ptrdiff_t pitch = -1);
    TestFrame(const TestFrame &) = delete;
    TestFrame &operator=(const TestFrame &) = delete;

    int w() const { return src.w(); }
    int h() const { return src.h(); }
    uint32_t &s(int x, int y) { return src.at(x, y); }
    uint32_t &d(int x, int y) { return dst.at(x, y); }
    // What the filter chain does before its stages run: the whole body.
    void chainCopy() { dst.copyBody(src); }
};

inline uint32_t rgb(int r, int g, int b, int x = 0)
{
    return (uint32_t)x << 24 | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}
// Grey level v (limited to 0..255) in all three colour bytes, x in byte 3.
inline uint32_t grey(int v, int x = 0)
{
    v = v < 0 ? 0 : v > 255 ? 255 : v;
    return rgb(v, v, v, x);
}
inline int red(uint32_t p)
{
    return (int)(p >> 16 & 0xff);
}
inline int green(uint32_t p)
{
    return (int)(p >> 8 & 0xff);
}
inline int blue(uint32_t p)
{
    return (int)(p & 0xff);
}

// Both table pairs built for width w, as the start callback builds them, for
// the life of the scope. Replaces whatever tables exist (they are
// process-wide) and leaves none behind.
class TablesScope {
public:
    explicit TablesScope(int w, AngleForm form = ANGLE_RECIPROCAL);
    ~TablesScope();
    TablesScope(const TablesScope &) = delete;
    TablesScope &operator=(const TablesScope &) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// Every instruction-set level this machine can run, ascending.
std::vector<CpuLevel> availableLevels();

// Writes the visible picture as a binary PPM, top picture row first.
bool writePpm(const TestBitmap &b, const char *path);

}  // namespace zelt_test

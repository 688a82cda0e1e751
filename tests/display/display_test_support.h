// Frames with guard bytes and padded rows, table and settings scopes for the
// display tests.
#pragma once

#include <gtest/gtest.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <random>
#include <vector>

#include "abi/vdfilter.h"
#include "engine/dsp.h"
#include "engine/trig_tables.h"
#include "host/settings.h"

namespace display_test {

const uint8_t GUARD_BYTE = 0xA5;
const size_t GUARD_BYTES = 256;

// A bottom-up 32-bit frame of w x h pixels, rows `pitch` bytes apart, with
// guard bytes before and after that nothing may write.
class TestFrame {
public:
    TestFrame(int w, int h, ptrdiff_t pitch = -1)
        : w_(w), h_(h), pitch_(pitch >= 0 ? pitch : (ptrdiff_t)4 * (w > 0 ? w : 0))
    {
        const size_t body = (size_t)pitch_ * (size_t)(h > 0 ? h : 0);
        mem_.assign(body + 2 * GUARD_BYTES, GUARD_BYTE);
        memset(bytes(), 0, body);
        bmp_ = VFBitmap{};
        bmp_.data = (uint32_t *)bytes();
        bmp_.depth = 32;
        bmp_.w = w;
        bmp_.h = h;
        bmp_.pitch = pitch_;
        bmp_.size = (vd_sizet)body;
    }
    TestFrame(const TestFrame &o) : w_(o.w_), h_(o.h_), pitch_(o.pitch_), mem_(o.mem_), bmp_(o.bmp_)
    {
        bmp_.data = (uint32_t *)bytes();
    }
    TestFrame &operator=(const TestFrame &) = delete;

    int w() const { return w_; }
    int h() const { return h_; }
    ptrdiff_t pitch() const { return pitch_; }
    uint8_t *bytes() { return mem_.data() + GUARD_BYTES; }
    const uint8_t *bytes() const { return mem_.data() + GUARD_BYTES; }
    size_t bodyBytes() const { return mem_.size() - 2 * GUARD_BYTES; }
    VFBitmap *bitmap() { return &bmp_; }
    uint32_t *row(int y) { return (uint32_t *)(bytes() + (ptrdiff_t)y * pitch_); }
    const uint32_t *row(int y) const { return (const uint32_t *)(bytes() + (ptrdiff_t)y * pitch_); }
    uint32_t &at(int x, int y) { return row(y)[x]; }
    uint32_t at(int x, int y) const { return row(y)[x]; }

    void fill(uint32_t px)
    {
        for (int y = 0; y < h_; y++)
            for (int x = 0; x < w_; x++)
                at(x, y) = px;
    }
    // Padding bytes (between w pixels and the pitch) set to a pattern.
    void fillPadding(uint8_t b)
    {
        for (int y = 0; y < h_; y++)
            memset(bytes() + (ptrdiff_t)y * pitch_ + 4 * (ptrdiff_t)w_, b, (size_t)(pitch_ - 4 * (ptrdiff_t)w_));
    }
    void randomise(uint32_t seed)
    {
        std::mt19937 rng(seed);
        for (int y = 0; y < h_; y++)
            for (int x = 0; x < w_; x++)
                at(x, y) = rng();
    }
    bool guardsIntact() const
    {
        for (size_t i = 0; i < GUARD_BYTES; i++)
            if (mem_[i] != GUARD_BYTE || mem_[mem_.size() - 1 - i] != GUARD_BYTE)
                return false;
        return true;
    }
    // Visible pixels equal (padding ignored).
    bool samePicture(const TestFrame &o) const
    {
        if (w_ != o.w_ || h_ != o.h_)
            return false;
        for (int y = 0; y < h_; y++)
            if (memcmp(row(y), o.row(y), 4 * (size_t)w_) != 0)
                return false;
        return true;
    }
    bool sameBytes(const TestFrame &o) const { return mem_ == o.mem_; }

private:
    int w_, h_;
    ptrdiff_t pitch_;
    std::vector<uint8_t> mem_;
    VFBitmap bmp_;
};

// Both table pairs built for one width, for the life of the scope.
class TablesScope {
public:
    // Replaces whatever tables exist (they are process-wide).
    TablesScope(int rows, int n, AngleForm form)
    {
        freeTrigTables32();
        freeTrigTables16();
        ok_ = buildTrigTables16(rows, n, form) == 0 && buildTrigTables32(rows, n, form) == 0;
    }
    ~TablesScope()
    {
        freeTrigTables32();
        freeTrigTables16();
        trigTables = TrigTables{nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0};
    }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

class HarmonicsScope {
public:
    explicit HarmonicsScope(int n) : saved_(filterSettings) { filterSettings.harmonicsNumber = n; }
    ~HarmonicsScope() { filterSettings = saved_; }

private:
    FilterSettings saved_;
};

inline FilterActivation activation(TestFrame &src, TestFrame &dst)
{
    FilterActivation fa{};
    fa.src = src.bitmap();
    fa.dst = dst.bitmap();
    return fa;
}

// Every level this machine can run, ascending.
inline std::vector<CpuLevel> availableLevels()
{
    std::vector<CpuLevel> levels;
    for (int l = CPU_SCALAR; l <= cpuDetect(); l++)
        levels.push_back((CpuLevel)l);
    return levels;
}

// Grey level x in all three channels.
inline uint32_t grey(int x)
{
    const uint32_t v = (uint32_t)(x < 0 ? 0 : x > 255 ? 255 : x);
    return v | v << 8 | v << 16;
}

// Writes the visible picture as a binary PPM, top picture row first.
bool writePpm(const TestFrame &f, const char *path);

}  // namespace display_test

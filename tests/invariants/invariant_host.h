// The invariant tests' side of the editor: the module under test linked in
// and registered (tests/support/test_host.h), padded bottom-up bitmaps, and
// the settings in the process-wide record the dialog writes.
#pragma once

#include <stdint.h>

#include <vector>

#include "abi/vdfilter.h"
#include "host/settings.h"
#include "tests/support/test_host.h"

// One 32-bit bitmap with `padding` spare pixels at the end of every row.
struct PaddedBitmap {
    std::vector<uint8_t> memory;
    VFBitmap bmp{};

    PaddedBitmap() = default;
    PaddedBitmap(int w, int h, int padding);
    PaddedBitmap(const PaddedBitmap &other);
    PaddedBitmap &operator=(const PaddedBitmap &other);

    int w() const { return bmp.w; }
    int h() const { return bmp.h; }
    size_t pitch() const { return (size_t)bmp.pitch; }
    uint8_t *row(int r) { return memory.data() + (size_t)r * pitch(); }
    const uint8_t *row(int r) const { return memory.data() + (size_t)r * pitch(); }
    uint8_t *pixel(int r, int j) { return row(r) + 4 * (size_t)j; }
    const uint8_t *pixel(int r, int j) const { return row(r) + 4 * (size_t)j; }

    // Pixels from `seed` (colour and byte 3 alike); padding bytes get `pad`.
    void fillRandom(uint32_t seed, uint8_t pad = 0xA5);
    void fillPadding(uint8_t pad);
    // The w x 4 bytes of every row, padding left out.
    std::vector<uint8_t> pixels() const;
};

// Source and destination of one run, with the activation that carries them.
struct HostRun {
    TestHost &host;
    PaddedBitmap src, dst;
    FilterActivation fa{};
    bool started = false;

    HostRun(TestHost &h, int w, int hgt, int padding);
    ~HostRun();
    HostRun(const HostRun &) = delete;
    HostRun &operator=(const HostRun &) = delete;

    int start();
    void end();
    // Resizes both bitmaps (a height change during the run).
    void resize(int w, int h, int padding);
    // Feeds `frame` as the source, `dstFill` into every destination byte, and
    // calls the run callback; returns its status.
    int run(const PaddedBitmap &frame, uint8_t dstFill = 0x5A);
};

// Every process starts from the defaults; each test does too.
void resetModuleState();

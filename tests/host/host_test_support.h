// A fake editor for the module tests: a service table that records
// registration, and bottom-up bitmaps with padded rows.
#pragma once

#include <stdint.h>

#include <vector>

#include "abi/vdfilter.h"

struct FakeHost {
    FilterFunctions ff{};
    FilterModule *module = nullptr;    // what the host passes to init
    bool refuse = false;               // addFilter returns null
    int addCalls = 0;
    int removeCalls = 0;
    FilterDefinition *added = nullptr; // definition handed to addFilter
    int addedLength = 0;
    FilterModule *addedModule = nullptr;
    FilterDefinition handle{};         // the host's own copy, returned as the handle
    FilterDefinition *removed = nullptr;

    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost &) = delete;
    FakeHost &operator=(const FakeHost &) = delete;
};

// A 32-bit bitmap as the host hands it: memory row 0 is the bottom picture
// row, rows `pitch` bytes apart, size = pitch x h, vtable slot first.
struct TestBitmap {
    std::vector<uint8_t> memory;
    VFBitmap bmp{};

    TestBitmap(int w, int h, int pitch);
    uint8_t *row(int r) { return memory.data() + (size_t)r * (size_t)bmp.pitch; }
    void fillRandom(uint32_t seed);
    void fill(uint8_t value);
};

// Source and destination of one frame, sharing width, height and pitch.
struct TestFrame {
    TestBitmap src, dst;
    FilterActivation fa{};
    TestFrame(int w, int h, int pitch);
};

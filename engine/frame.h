// A frame as every stage sees it: 32-bit pixels (bytes B, G, R, X), memory
// row r at data + r x pitch. The hosts hand bottom-up frames, so memory row 0
// is the bottom picture row; nothing below the hosts needs to know.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct FrameView {
    uint8_t *data;
    int w, h;
    ptrdiff_t pitch;  // bytes from one memory row to the next; hosts pad rows

    uint32_t *row(int r) const { return (uint32_t *)(data + (ptrdiff_t)r * pitch); }
};

// Host-side frames: the 32-bit bottom-up BGRX bitmaps that the modules see.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "abi/vdfilter.h"

// The host record of w x h pixels at `data`, rows `pitch` bytes apart and
// size = pitch x h, as the editor fills it. The module never calls the
// vtable: it stays null unless `vtable` is given (tests that trap calls).
void describeBitmap(VFBitmap *vb, void *data, int w, int h, ptrdiff_t pitch, void *vtable = nullptr);

// Row alignment of the bitmaps quorvel hands to a module. Rows are padded up
// to it, so every module meets pitch > 4 x w on most widths.
enum { HOST_PITCH_ALIGN = 64 };

// One frame: memory row 0 is the bottom picture row, pixels are bytes
// B, G, R, X. Owns its pixel block; move-only.
class HostBitmap {
public:
    HostBitmap() = default;
    ~HostBitmap();
    HostBitmap(const HostBitmap &) = delete;
    HostBitmap &operator=(const HostBitmap &) = delete;
    HostBitmap(HostBitmap &&other) noexcept;
    HostBitmap &operator=(HostBitmap &&other) noexcept;

    // (Re)allocate for w x h pixels with rows padded to `align` bytes; the
    // pixels and the padding are cleared. False when the size is not
    // representable or memory is short.
    bool allocate(int w, int h, int align = HOST_PITCH_ALIGN);

    int width() const { return w_; }
    int height() const { return h_; }
    ptrdiff_t pitch() const { return pitch_; }
    size_t size() const { return size_; }
    uint8_t *data() { return data_; }
    const uint8_t *data() const { return data_; }

    uint8_t *memoryRow(int r) { return data_ + (ptrdiff_t)r * pitch_; }
    const uint8_t *memoryRow(int r) const { return data_ + (ptrdiff_t)r * pitch_; }
    // Rows counted from the top of the picture, as decoders and encoders do.
    uint8_t *pictureRow(int y) { return memoryRow(h_ - 1 - y); }
    const uint8_t *pictureRow(int y) const { return memoryRow(h_ - 1 - y); }

    // The host record describing this bitmap (describeBitmap).
    void describe(VFBitmap *vb);

private:
    void release();
    uint8_t *data_ = nullptr;
    int w_ = 0, h_ = 0;
    ptrdiff_t pitch_ = 0;
    size_t size_ = 0;
};

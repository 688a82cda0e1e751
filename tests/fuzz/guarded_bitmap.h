// A host bitmap inside guard bytes: a write past either end changes them
// (checked after every call), and under AddressSanitizer they are poisoned,
// so that a read of them stops the program too.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "abi/vdfilter.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZELT_FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(ZELT_FUZZ_ASAN)
#define ZELT_FUZZ_ASAN 1
#endif
#if defined(ZELT_FUZZ_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace fuzz {

class GuardedBitmap {
public:
    static const size_t GUARD = 64;
    static const uint8_t GUARD_BYTE = 0xD5;

    VFBitmap bmp{};

    GuardedBitmap() = default;
    GuardedBitmap(const GuardedBitmap &) = delete;
    GuardedBitmap &operator=(const GuardedBitmap &) = delete;
    ~GuardedBitmap() { release(); }

    // w x h pixels with `padding` spare pixels at the end of every row.
    void allocate(int w, int h, int padding)
    {
        release();
        const size_t pitch = ((size_t)w + (size_t)padding) * 4;
        bytes_ = pitch * (size_t)h;
        block_ = (uint8_t *)malloc(bytes_ + 2 * GUARD);
        if (!block_)
            abort();
        memset(block_, GUARD_BYTE, GUARD);
        memset(block_ + GUARD + bytes_, GUARD_BYTE, GUARD);
#if defined(ZELT_FUZZ_ASAN)
        ASAN_POISON_MEMORY_REGION(block_, GUARD);
        ASAN_POISON_MEMORY_REGION(block_ + GUARD + bytes_, GUARD);
#endif
        bmp = VFBitmap{};
        bmp.data = (uint32_t *)memory();
        bmp.depth = 32;
        bmp.w = w;
        bmp.h = h;
        bmp.pitch = (vd_sizet)pitch;
        bmp.modulo = (vd_sizet)(pitch - (size_t)w * 4);
        bmp.size = (vd_sizet)bytes_;
    }

    uint8_t *memory() const { return block_ + GUARD; }
    size_t size() const { return bytes_; }
    size_t pitch() const { return (size_t)bmp.pitch; }

    bool guardsIntact() const
    {
#if defined(ZELT_FUZZ_ASAN)
        ASAN_UNPOISON_MEMORY_REGION(block_, GUARD);
        ASAN_UNPOISON_MEMORY_REGION(block_ + GUARD + bytes_, GUARD);
#endif
        bool intact = true;
        for (size_t i = 0; i < GUARD; i++)
            if (block_[i] != GUARD_BYTE || block_[GUARD + bytes_ + i] != GUARD_BYTE)
                intact = false;
#if defined(ZELT_FUZZ_ASAN)
        ASAN_POISON_MEMORY_REGION(block_, GUARD);
        ASAN_POISON_MEMORY_REGION(block_ + GUARD + bytes_, GUARD);
#endif
        return intact;
    }

private:
    void release()
    {
        if (!block_)
            return;
#if defined(ZELT_FUZZ_ASAN)
        ASAN_UNPOISON_MEMORY_REGION(block_, bytes_ + 2 * GUARD);
#endif
        free(block_);
        block_ = nullptr;
    }

    uint8_t *block_ = nullptr;
    size_t bytes_ = 0;
};

}  // namespace fuzz

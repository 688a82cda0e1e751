// Host-side frames.
#include "hosting/bitmap.h"

#include <stdlib.h>
#include <string.h>

#include <utility>

#if defined(_WIN32)
#include <malloc.h>
// The C runtime of Windows has no aligned_alloc; its own pair frees apart.
static void *alignedAlloc(size_t align, size_t bytes)
{
    return _aligned_malloc(bytes, align);
}
static void alignedFree(void *p)
{
    _aligned_free(p);
}
#else
static void *alignedAlloc(size_t align, size_t bytes)
{
    return aligned_alloc(align, bytes);
}
static void alignedFree(void *p)
{
    free(p);
}
#endif

HostBitmap::~HostBitmap()
{
    release();
}

HostBitmap::HostBitmap(HostBitmap &&other) noexcept
{
    *this = std::move(other);
}

HostBitmap &HostBitmap::operator=(HostBitmap &&other) noexcept
{
    if (this != &other) {
        release();
        data_ = other.data_;
        w_ = other.w_;
        h_ = other.h_;
        pitch_ = other.pitch_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.w_ = other.h_ = 0;
        other.pitch_ = 0;
        other.size_ = 0;
    }
    return *this;
}

void HostBitmap::release()
{
    alignedFree(data_);
    data_ = nullptr;
}

bool HostBitmap::allocate(int w, int h, int align)
{
    release();
    w_ = h_ = 0;
    pitch_ = 0;
    size_ = 0;
    if (w <= 0 || h <= 0 || align <= 0 || (align & (align - 1)) != 0)
        return false;
    // The host record keeps pitch and size in 32-bit fields on Windows; stay
    // within what a 32-bit host could describe, whatever this build is.
    const uint64_t rowBytes = ((uint64_t)w * 4 + (uint64_t)align - 1) & ~(uint64_t)(align - 1);
    const uint64_t total = rowBytes * (uint64_t)h;
    if (rowBytes > INT32_MAX || total > INT32_MAX)
        return false;
    void *block = alignedAlloc((size_t)align, (size_t)total);
    if (!block)
        return false;
    memset(block, 0, (size_t)total);
    data_ = (uint8_t *)block;
    w_ = w;
    h_ = h;
    pitch_ = (ptrdiff_t)rowBytes;
    size_ = (size_t)total;
    return true;
}

void describeBitmap(VFBitmap *vb, void *data, int w, int h, ptrdiff_t pitch, void *vtable)
{
    memset(vb, 0, sizeof *vb);
    vb->vtable = vtable;
    vb->data = (uint32_t *)data;
    vb->palette = nullptr;
    vb->depth = 32;
    vb->w = w;
    vb->h = h;
    vb->pitch = (vd_sizet)pitch;
    vb->modulo = (vd_sizet)(pitch - (ptrdiff_t)w * 4);
    vb->size = (vd_sizet)(pitch * (ptrdiff_t)(h > 0 ? h : 0));
    vb->offset = 0;
}

void HostBitmap::describe(VFBitmap *vb)
{
    describeBitmap(vb, data_, w_, h_, pitch_);
}

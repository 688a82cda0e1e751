#include "tests/host/host_test_support.h"

#include <string.h>

#include <random>

namespace {

FakeHost *current = nullptr;  // one fake editor at a time

FilterDefinition *VDCALL fakeAddFilter(FilterModule *fm, FilterDefinition *fd, int len)
{
    FakeHost &h = *current;
    h.addCalls++;
    h.added = fd;
    h.addedLength = len;
    h.addedModule = fm;
    if (h.refuse)
        return nullptr;
    h.handle = *fd;
    return &h.handle;
}

void VDCALL fakeRemoveFilter(FilterDefinition *fd)
{
    current->removeCalls++;
    current->removed = fd;
}

}  // namespace

FakeHost::FakeHost()
{
    ff.addFilter = fakeAddFilter;
    ff.removeFilter = fakeRemoveFilter;
    module = (FilterModule *)this;
    current = this;
}

FakeHost::~FakeHost()
{
    current = nullptr;
}

TestBitmap::TestBitmap(int w, int h, int pitch)
{
    const size_t bytes = (size_t)pitch * (size_t)(h > 0 ? h : 0);
    memory.assign(bytes ? bytes : 1, 0);
    bmp.vtable = nullptr;
    bmp.data = (uint32_t *)memory.data();
    bmp.depth = 32;
    bmp.w = w;
    bmp.h = h;
    bmp.pitch = pitch;
    bmp.modulo = (vd_sizet)((int64_t)pitch - 4 * (int64_t)w);
    bmp.size = (vd_sizet)bytes;
}

void TestBitmap::fillRandom(uint32_t seed)
{
    std::mt19937 rng(seed);
    for (auto &b : memory)
        b = (uint8_t)rng();
}

void TestBitmap::fill(uint8_t value)
{
    memset(memory.data(), value, memory.size());
}

TestFrame::TestFrame(int w, int h, int pitch) : src(w, h, pitch), dst(w, h, pitch)
{
    fa.dst = &dst.bmp;
    fa.src = &src.bmp;
}

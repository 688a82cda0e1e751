#include "tests/invariants/invariant_host.h"

#include <stdlib.h>
#include <string.h>

#include "engine/dsp.h"
#include "modes/modes.h"

extern "C" {
int VirtualdubFilterModuleInit2(FilterModule *fm, const FilterFunctions *ff, int *version, int *compatibility);
void VirtualdubFilterModuleDeinit(FilterModule *fm, const FilterFunctions *ff);
}

namespace {

FilterDefinition hostCopy;
FilterDefinition *handed = nullptr;

FilterDefinition *VDCALL addFilter(FilterModule *, FilterDefinition *fd, int)
{
    handed = fd;
    hostCopy = *fd;
    return &hostCopy;
}

void VDCALL removeFilter(FilterDefinition *) {}

// zelt's full processing logs a line per frame; the tests keep no log.
struct QuietTimingLog {
    QuietTimingLog() { setenv("ZELT_TIMING_LOG", "/dev/null", 1); }
} quietTimingLog;

}  // namespace

HostBitmap::HostBitmap(int w, int h, int padding)
{
    const size_t pitch = ((size_t)w + (size_t)padding) * 4;
    memory.assign(pitch * (size_t)h, 0);
    bmp.data = (uint32_t *)memory.data();
    bmp.depth = 32;
    bmp.w = w;
    bmp.h = h;
    bmp.pitch = (vd_sizet)pitch;
    bmp.modulo = (vd_sizet)(pitch - (size_t)w * 4);
    bmp.size = (vd_sizet)memory.size();
}

HostBitmap::HostBitmap(const HostBitmap &other) : memory(other.memory), bmp(other.bmp)
{
    bmp.data = (uint32_t *)memory.data();
}

HostBitmap &HostBitmap::operator=(const HostBitmap &other)
{
    memory = other.memory;
    bmp = other.bmp;
    bmp.data = (uint32_t *)memory.data();
    return *this;
}

void HostBitmap::fillRandom(uint32_t seed, uint8_t pad)
{
    uint32_t s = seed * 2654435761u + 0x9E3779B9u;
    for (uint8_t &b : memory) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = (uint8_t)(s >> 11);
    }
    fillPadding(pad);
}

void HostBitmap::fillPadding(uint8_t pad)
{
    for (int r = 0; r < h(); r++)
        memset(row(r) + 4 * (size_t)w(), pad, pitch() - 4 * (size_t)w());
}

std::vector<uint8_t> HostBitmap::pixels() const
{
    std::vector<uint8_t> out;
    for (int r = 0; r < h(); r++)
        out.insert(out.end(), row(r), row(r) + 4 * (size_t)w());
    return out;
}

ModuleHost::ModuleHost()
{
    ff.addFilter = addFilter;
    ff.removeFilter = removeFilter;
    int version = 0, compatibility = 0;
    if (VirtualdubFilterModuleInit2(nullptr, &ff, &version, &compatibility) == 0)
        def = &hostCopy;
}

ModuleHost::~ModuleHost()
{
    VirtualdubFilterModuleDeinit(nullptr, &ff);
}

HostRun::HostRun(ModuleHost &h, int w, int hgt, int padding) : host(h), src(w, hgt, padding), dst(w, hgt, padding)
{
    fa.filter = host.def;
    fa.src = &src.bmp;
    fa.dst = &dst.bmp;
}

HostRun::~HostRun()
{
    end();
}

int HostRun::start()
{
    started = true;
    return host.def->startProc(&fa, &host.ff);
}

void HostRun::end()
{
    if (started)
        host.def->endProc(&fa, &host.ff);
    started = false;
}

void HostRun::resize(int w, int h, int padding)
{
    src = HostBitmap(w, h, padding);
    dst = HostBitmap(w, h, padding);
}

int HostRun::run(const HostBitmap &frame, uint8_t dstFill)
{
    src = frame;
    memset(dst.memory.data(), dstFill, dst.memory.size());
    return host.def->runProc(&fa, &host.ff);
}

void resetModuleState()
{
    filterSettings = defaultFilterSettings();
    dcHistoryReset();
}

#include "tests/invariants/invariant_host.h"

#include <stdlib.h>
#include <string.h>

#include "engine/dsp.h"
#include "hosting/bitmap.h"
#include "modes/modes.h"

namespace {

// zelt's full processing logs a line per frame; the tests keep no log.
struct QuietTimingLog {
    QuietTimingLog() { setenv("ZELT_TIMING_LOG", "/dev/null", 1); }
} quietTimingLog;

}  // namespace

PaddedBitmap::PaddedBitmap(int w, int h, int padding)
{
    const size_t pitch = ((size_t)w + (size_t)padding) * 4;
    memory.assign(pitch * (size_t)h, 0);
    describeBitmap(&bmp, memory.data(), w, h, (ptrdiff_t)pitch);
}

PaddedBitmap::PaddedBitmap(const PaddedBitmap &other) : memory(other.memory), bmp(other.bmp)
{
    bmp.data = (uint32_t *)memory.data();
}

PaddedBitmap &PaddedBitmap::operator=(const PaddedBitmap &other)
{
    memory = other.memory;
    bmp = other.bmp;
    bmp.data = (uint32_t *)memory.data();
    return *this;
}

void PaddedBitmap::fillRandom(uint32_t seed, uint8_t pad)
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

void PaddedBitmap::fillPadding(uint8_t pad)
{
    for (int r = 0; r < h(); r++)
        memset(row(r) + 4 * (size_t)w(), pad, pitch() - 4 * (size_t)w());
}

std::vector<uint8_t> PaddedBitmap::pixels() const
{
    std::vector<uint8_t> out;
    for (int r = 0; r < h(); r++)
        out.insert(out.end(), row(r), row(r) + 4 * (size_t)w());
    return out;
}

HostRun::HostRun(TestHost &h, int w, int hgt, int padding) : host(h), src(w, hgt, padding), dst(w, hgt, padding)
{
    fa = host.activation(&src.bmp, &dst.bmp);
}

HostRun::~HostRun()
{
    end();
}

int HostRun::start()
{
    started = true;
    return host.start(&fa);
}

void HostRun::end()
{
    if (started)
        host.end(&fa);
    started = false;
}

void HostRun::resize(int w, int h, int padding)
{
    src = PaddedBitmap(w, h, padding);
    dst = PaddedBitmap(w, h, padding);
}

int HostRun::run(const PaddedBitmap &frame, uint8_t dstFill)
{
    src = frame;
    memset(dst.memory.data(), dstFill, dst.memory.size());
    return host.run(&fa);
}

void resetModuleState()
{
    filterSettings = defaultFilterSettings();
    dcHistoryReset();
}

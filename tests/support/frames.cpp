#include "tests/support/frames.h"

#include <stdio.h>
#include <string.h>

namespace zelt_test {

TestBitmap::TestBitmap(int w, int h, ptrdiff_t pitch)
    : w_(w), h_(h), pitch_(pitch >= 0 ? pitch : (ptrdiff_t)4 * (w > 0 ? w : 0))
{
    const size_t body = (size_t)pitch_ * (size_t)(h > 0 ? h : 0);
    mem_.assign(body + 2 * kGuardBytes, kGuardByte);
    memset(bytes(), 0, body);
    bind();
}

TestBitmap::TestBitmap(const TestBitmap &o) : w_(o.w_), h_(o.h_), pitch_(o.pitch_), mem_(o.mem_)
{
    bind();
}

void TestBitmap::bind()
{
    bmp_ = VFBitmap{};
    bmp_.data = (uint32_t *)bytes();
    bmp_.depth = 32;
    bmp_.w = w_;
    bmp_.h = h_;
    bmp_.pitch = (vd_sizet)pitch_;
    bmp_.modulo = (vd_sizet)(pitch_ - 4 * (ptrdiff_t)(w_ > 0 ? w_ : 0));
    bmp_.size = (vd_sizet)bodyBytes();
}

void TestBitmap::fill(uint32_t px)
{
    for (int y = 0; y < h_; y++)
        for (int x = 0; x < w_; x++)
            at(x, y) = px;
}

void TestBitmap::randomise(uint32_t seed)
{
    Random rng(seed);
    for (int y = 0; y < h_; y++)
        for (int x = 0; x < w_; x++)
            at(x, y) = rng();
}

void TestBitmap::fillBytes(uint8_t b)
{
    memset(bytes(), b, bodyBytes());
}

void TestBitmap::randomiseBytes(uint32_t seed)
{
    Random rng(seed);
    uint8_t *p = bytes();
    for (size_t i = 0; i < bodyBytes(); i++)
        p[i] = (uint8_t)rng();
}

void TestBitmap::fillPadding(uint8_t b)
{
    const ptrdiff_t visible = 4 * (ptrdiff_t)(w_ > 0 ? w_ : 0);
    for (int y = 0; y < h_; y++)
        memset(bytes() + (ptrdiff_t)y * pitch_ + visible, b, (size_t)(pitch_ - visible));
}

bool TestBitmap::guardsIntact() const
{
    for (size_t i = 0; i < kGuardBytes; i++)
        if (mem_[i] != kGuardByte || mem_[mem_.size() - 1 - i] != kGuardByte)
            return false;
    return true;
}

std::vector<uint32_t> TestBitmap::picture() const
{
    std::vector<uint32_t> out;
    for (int y = 0; y < h_; y++)
        out.insert(out.end(), row(y), row(y) + (w_ > 0 ? w_ : 0));
    return out;
}

void TestBitmap::copyBody(const TestBitmap &o)
{
    memcpy(bytes(), o.bytes(), bodyBytes() < o.bodyBytes() ? bodyBytes() : o.bodyBytes());
}

TestFrame::TestFrame(int w, int h, ptrdiff_t pitch) : src(w, h, pitch), dst(w, h, pitch)
{
    fa.src = src.bitmap();
    fa.dst = dst.bitmap();
}

TablesScope::TablesScope(int w, AngleForm form)
{
    freeTrigTables32();
    freeTrigTables16();
    ok_ = buildTrigTables16(w, w, form) == 0 && buildTrigTables32(w, w, form) == 0;
}

TablesScope::~TablesScope()
{
    freeTrigTables32();
    freeTrigTables16();
    trigTables = TrigTables{};
}

std::vector<CpuLevel> availableLevels()
{
    std::vector<CpuLevel> levels;
    for (int l = CPU_SCALAR; l <= cpuDetect(); l++)
        levels.push_back((CpuLevel)l);
    return levels;
}

bool writePpm(const TestBitmap &b, const char *path)
{
    FILE *out = fopen(path, "wb");
    if (!out)
        return false;
    fprintf(out, "P6\n%d %d\n255\n", b.w(), b.h());
    std::vector<uint8_t> line(3 * (size_t)b.w());
    for (int y = b.h() - 1; y >= 0; y--) {
        for (int x = 0; x < b.w(); x++) {
            const uint32_t px = b.at(x, y);
            line[3 * (size_t)x] = (uint8_t)(px >> 16);
            line[3 * (size_t)x + 1] = (uint8_t)(px >> 8);
            line[3 * (size_t)x + 2] = (uint8_t)px;
        }
        fwrite(line.data(), 1, line.size(), out);
    }
    return fclose(out) == 0;
}

}  // namespace zelt_test

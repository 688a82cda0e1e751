#include "tests/engine/guarded.h"

#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace enginecases {

static const unsigned char kCanaryByte = 0xc3;

static size_t pageSize()
{
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return (size_t)sysconf(_SC_PAGESIZE);
#endif
}

Guarded::Guarded(size_t bytes) : bytes_(bytes)
{
    const size_t page = pageSize();
    const size_t usable = (bytes + kCanary + page - 1) / page * page;
    mapped_ = usable + page;
#if defined(_WIN32)
    base_ = (char *)VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD old;
    if (!base_ || !VirtualProtect(base_ + usable, page, PAGE_NOACCESS, &old))
        abort();
#else
    void *p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED || mprotect((char *)p + usable, page, PROT_NONE) != 0)
        abort();
    base_ = (char *)p;
#endif
    user_ = base_ + usable - bytes;
    memset(user_ - kCanary, kCanaryByte, kCanary);
}

Guarded::~Guarded()
{
#if defined(_WIN32)
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, mapped_);
#endif
}

bool Guarded::canaryIntact() const
{
    for (size_t i = 0; i < kCanary; i++)
        if ((unsigned char)user_[-(ptrdiff_t)kCanary + (ptrdiff_t)i] != kCanaryByte)
            return false;
    return true;
}

}  // namespace enginecases

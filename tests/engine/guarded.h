// Test memory whose usable bytes end exactly at an inaccessible page, so that
// any access past the end faults at once (AVX masked loads of lanes beyond
// the end do not fault, by design of those instructions). A canary of
// `kCanary` bytes right before the usable part catches writes below it.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace enginecases {

class Guarded {
public:
    static constexpr size_t kCanary = 64;
    explicit Guarded(size_t bytes);
    ~Guarded();
    Guarded(const Guarded &) = delete;
    Guarded &operator=(const Guarded &) = delete;

    template <typename T>
    T *as() const
    {
        return (T *)user_;
    }
    size_t size() const { return bytes_; }
    bool canaryIntact() const;

private:
    char *base_ = nullptr;
    size_t mapped_ = 0;
    char *user_ = nullptr;
    size_t bytes_ = 0;
};

}  // namespace enginecases

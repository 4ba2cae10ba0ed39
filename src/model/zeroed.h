#pragma once
// Large zero-filled tables on the heap. calloc hands out pages the kernel
// zeroes on first touch, so a table that is never filled costs no memory.
#include <cstdlib>
#include <memory>
#include <new>

namespace lorvane {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// n elements of type T (T may be an array type, e.g. double[168][640]).
template <class T>
using ZeroedArray = std::unique_ptr<T[], FreeDeleter>;

template <class T>
ZeroedArray<T> zeroedArray(std::size_t n) {
    void* p = std::calloc(n, sizeof(T));
    if (!p) throw std::bad_alloc();
    return ZeroedArray<T>(static_cast<T*>(p));
}

}  // namespace lorvane

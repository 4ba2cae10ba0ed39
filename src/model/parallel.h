#pragma once
// The one way the sampler splits a population over threads.
#include <omp.h>

#include "model/error.h"

namespace lorvane {

// Runs block(thread, begin, end) on `threads` OpenMP threads; thread t takes
// the contiguous items [begin, end) of 0..count-1, the first count mod T
// threads one item more than the others (a static split, so that the same
// thread count gives every item the same thread). The first exception a
// thread throws is rethrown after the region.
template <class Block>
void forEachBlock(int threads, int count, Block&& block) {
    FirstError error;
#pragma omp parallel num_threads(threads)
    error.run([&] {
        const int t = omp_get_thread_num();
        const int T = omp_get_num_threads();
        const int q = count / T, rem = count % T;
        const int begin = t < rem ? t * (q + 1) : rem + t * q;
        const int size = q + (t < rem ? 1 : 0);
        block(t, begin, begin + size);
    });
    error.rethrow();
}

}  // namespace lorvane

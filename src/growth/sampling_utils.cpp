// Random draws of the sampler and the backbone deviations of its diagnostics.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "growth/smc.h"

namespace lorvane {

namespace {

// The polar method yields deviates in pairs; the second one waits here. Held
// per thread, so the draw that stores it and the one that uses it are never
// interleaved with another thread's draws.
thread_local bool haveStored = false;
thread_local float storedDeviate = 0.0f;

constexpr double RAND_SCALE = 2147483647.0;

}  // namespace

double randn(double mean, double sd) {
    if (haveStored) {
        haveStored = false;
        return mean + sd * storedDeviate;
    }
    double v1, v2, s;
    do {
        v1 = 2.0 * std::rand() / RAND_SCALE - 1.0;
        v2 = 2.0 * std::rand() / RAND_SCALE - 1.0;
        s = v1 * v1 + v2 * v2;
    } while (!(s > 0.0 && s < 1.0));
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    storedDeviate = static_cast<float>(v1 * f);
    haveStored = true;
    return mean + sd * v2 * f;
}

void randnReset() { haveStored = false; }

void SampleEWR(std::vector<double>& w, int n, int* out) {
    const int N = static_cast<int>(w.size());
    for (int i = 0; i < N; ++i) {
        if (w[i] < 200.0) {
            const double u = (std::rand() + 0.5) / RAND_SCALE;
            w[i] += std::log(-std::log(u));
        }
    }
    // Index buffer kept per thread: the growth step calls this for every seed.
    thread_local std::vector<int> idx;
    idx.resize(N);
    for (int i = 0; i < N; ++i) idx[i] = i;
    const int m = std::min(std::max(n, 0), N);
    const double* key = w.data();
    auto less = [key](int a, int b) { return key[a] < key[b]; };
    // The perturbed entries (below 200) are usually a minority and come first:
    // order them, then only as many of the rest as the count still needs.
    auto low = std::partition(idx.begin(), idx.end(), [key](int i) { return key[i] < 200.0; });
    const int nLow = static_cast<int>(low - idx.begin());
    if (nLow >= m) {
        std::nth_element(idx.begin(), idx.begin() + m, low, less);
        std::sort(idx.begin(), idx.begin() + m, less);
    } else {
        std::sort(idx.begin(), low, less);
        std::partial_sort(low, idx.begin() + m, idx.end(), less);
    }
    std::copy(idx.begin(), idx.begin() + m, out);
}

namespace {

double sq(const Point& a, const Point& b) {
    const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y, dz = static_cast<double>(a.z) - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// Squared deviations of the backbone atoms grown between from and to: C, O of
// from; N, CA, C, O of every residue in between; N, CA of to. Adds the number
// of atom pairs to count. An empty range (to <= from) adds nothing.
double segmentSum(Structure& A, Structure& B, int from, int to, int& count) {
    if (to <= from) return 0.0;
    double sum = sq(A[from].atoms[2], B[from].atoms[2]) + sq(A[from].atoms[3], B[from].atoms[3]);
    for (int i = from + 1; i < to; ++i)
        for (int k = 0; k < 4; ++k) sum += sq(A[i].atoms[k], B[i].atoms[k]);
    sum += sq(A[to].atoms[0], B[to].atoms[0]) + sq(A[to].atoms[1], B[to].atoms[1]);
    count += 4 * (to - from);
    return sum;
}

int floorDiv2(int k) { return k >= 0 ? k / 2 : -((-k + 1) / 2); }

}  // namespace

double rmsdg(Structure& A, Structure& B, int from, int to) {
    int count = 0;
    const double sum = segmentSum(A, B, from, to, count);
    return count > 0 ? std::sqrt(sum / count) : 0.0;
}

double rmsdcut(Structure& A, Structure& B, int start, int end, int k) {
    int count = 0;
    double sum = segmentSum(A, B, start, start + 1 + floorDiv2(k), count);
    sum += segmentSum(A, B, end - floorDiv2(k + 1), end, count);
    return count > 0 ? std::sqrt(sum / count) : 0.0;
}

}  // namespace lorvane

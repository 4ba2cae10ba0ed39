// Random draws of the sampler.
#include "growth/random.h"

#include <algorithm>
#include <cmath>

#include "potentials/potentials.h"

namespace lorvane {

namespace {

constexpr uint64_t GAMMA = 0x9e3779b97f4a7c15ull;  // SplitMix64's increment (golden ratio)

// SplitMix64's finaliser: a bijective 64-bit mix.
uint64_t mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

}  // namespace

uint64_t streamKey(int64_t runSeed, StreamKind kind, uint64_t pass, uint64_t index) {
    // Each part goes through the mix before the next is added, so that no two
    // (seed, kind, pass, index) tuples of practical size share a key.
    uint64_t k = mix(static_cast<uint64_t>(runSeed) + GAMMA);
    k = mix(k + static_cast<uint64_t>(kind) * GAMMA);
    k = mix(k + pass * GAMMA);
    return mix(k + index * GAMMA);
}

uint64_t RandomStream::bits() { return mix(key_ + ++counter_ * GAMMA); }

double RandomStream::uniform() { return (static_cast<double>(bits() >> 11) + 0.5) * (1.0 / 9007199254740992.0); }

int RandomStream::below(int n) {
    // The high 32 bits scaled to [0, n): bias below 2^-32 * n, far under what a shuffle notices.
    return static_cast<int>(((bits() >> 32) * static_cast<uint64_t>(n)) >> 32);
}

double RandomStream::normal(double mean, double sd) {
    if (haveStored_) {
        haveStored_ = false;
        return mean + sd * stored_;
    }
    double v1, v2, s;
    do {
        v1 = 2.0 * uniform() - 1.0;
        v2 = 2.0 * uniform() - 1.0;
        s = v1 * v1 + v2 * v2;
    } while (!(s > 0.0 && s < 1.0));
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    stored_ = v1 * f;
    haveStored_ = true;
    return mean + sd * v2 * f;
}

void SampleEWR(std::vector<double>& w, int n, int* out, RandomStream& random) {
    const int N = static_cast<int>(w.size());
    for (int i = 0; i < N; ++i)
        if (w[i] < ENERGY_CUT) w[i] += std::log(-std::log(random.uniform()));
    std::vector<int> idx(N);
    for (int i = 0; i < N; ++i) idx[i] = i;
    const int m = std::min(std::max(n, 0), N);
    const double* key = w.data();
    auto less = [key](int a, int b) { return key[a] < key[b]; };
    // The perturbed entries (below 200) are usually a minority and come first:
    // order them, then only as many of the rest as the count still needs.
    auto low = std::partition(idx.begin(), idx.end(), [key](int i) { return key[i] < ENERGY_CUT; });
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

}  // namespace lorvane

// CPU time of the diversity-preserving selection on one core: count children
// with partial chains of 2 to 13 residues (6 floats per residue, C and CA),
// kept into a population of capacity slots.
// The chains are random walks of 3.8 A steps from a common anchor, in bundles
// that share their first steps, so clusters exist at every radius as in a
// real step. Prints, per chain length, the CPU seconds, the radius chosen and
// the clusters found; the same arguments give the same chains.
//
//   bench_diverse_selection [count (50000)] [capacity (4000)]
//
// A default run ranks about 150,000 children per step into 10,000 slots;
// the defaults here are smaller so that two builds compare in a minute.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "filter/diverse_selection.h"

using namespace lorvane;

namespace {

std::vector<float> chains(int count, int residues, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> step(0.0f, 1.0f);
    const int dim = 6 * residues;
    const int bundles = 64, shared = residues / 2;
    // Bundle stems: the first half of the chain, shared up to a small jitter.
    std::vector<float> stems(static_cast<size_t>(bundles) * dim);
    auto walk = [&](float* v, int from, int to) {
        for (int r = from; r < to; ++r) {
            float d[3] = {step(rng), step(rng), step(rng)};
            const float n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) + 1e-6f;
            for (int k = 0; k < 3; ++k) {
                const float prevCa = r == 0 ? 0.0f : v[6 * (r - 1) + 3 + k];
                v[6 * r + 3 + k] = prevCa + 3.8f * d[k] / n;                          // CA
                v[6 * r + k] = v[6 * r + 3 + k] + 0.5f * (step(rng) > 0 ? 1.0f : -1.0f);  // C near it
            }
        }
    };
    for (int b = 0; b < bundles; ++b) walk(&stems[static_cast<size_t>(b) * dim], 0, residues);
    std::vector<float> v(static_cast<size_t>(count) * dim);
    std::normal_distribution<float> jitter(0.0f, 0.3f);
    for (int i = 0; i < count; ++i) {
        float* row = &v[static_cast<size_t>(i) * dim];
        const float* stem = &stems[static_cast<size_t>(rng() % bundles) * dim];
        for (int q = 0; q < 6 * shared; ++q) row[q] = stem[q] + jitter(rng);
        walk(row, shared, residues);
    }
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 50000;
    const int capacity = argc > 2 ? std::atoi(argv[2]) : 4000;
    if (count <= 0 || capacity <= 0) {
        std::fprintf(stderr, "usage: bench_diverse_selection [count > 0] [capacity > 0]\n");
        return 2;
    }
    std::printf("children %d, capacity %d\nresidues\tcpu_s\tradius_A\tclusters\tkept\n", count, capacity);
    double total = 0.0;
    for (int residues = 2; residues <= 13; ++residues) {
        const std::vector<float> v = chains(count, residues, 7u + residues);
        DiverseOptions opt;
        opt.capacity = capacity;
        const std::clock_t t0 = std::clock();
        const DiverseResult r = selectDiverse(v, count, 6 * residues, opt);
        const double s = double(std::clock() - t0) / CLOCKS_PER_SEC;
        total += s;
        std::printf("%d\t%.3f\t%.3f\t%d\t%zu\n", residues, s, r.radius, r.clusters, r.order.size());
    }
    std::printf("total\t%.3f\n", total);
    return 0;
}

// Throughput of the growth step on H-Ras loop 45-52 (examples/5p21.pdb):
// the first three steps of the alternating plan (forward 45, backward 52,
// forward 46) with 1 and 2 threads. Between steps child 0 of every seed is
// committed as that seed's path, so later steps rebuild real partial loops.
//
// usage: bench_growth_step [seeds] [data root] [max threads 1 or 2] [repetitions]
// (defaults: 400, the build tree, 2, 2; each figure is the best repetition)
// The data root is the folder holding data/ with the sampling tables.
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>

#include "growth/sampler.h"
#include "model/pdb_reader.h"

using namespace lorvane;

namespace {

// Fingerprint of every child record of the step (equal runs give equal sums).
unsigned long long recordHash(SeedBuffers& B, int seeds) {
    unsigned long long h = 1469598103934665603ULL;
    for (int i = 0; i < seeds; ++i)
        for (int j = 0; j < CHILDREN; ++j) {
            const float* r = B.childRecord(i, j);
            if (r[5] > 50.0f) {  // an empty slot: only its mark is written
                h = (h ^ 0xE) * 1099511628211ULL;
                continue;
            }
            for (int f = 0; f < CHILD_FIELDS; ++f) {
                if (f == 3) continue;  // never written by the growth step
                unsigned int u;
                std::memcpy(&u, &r[f], sizeof u);
                h = (h ^ u) * 1099511628211ULL;
            }
        }
    return h;
}

void commitFirstChild(SeedBuffers& B, int step, int seeds) {
    for (int i = 0; i < seeds; ++i) {
        int src = i;
        if (B.childRecord(src, 0)[5] > 50.0f)
            for (src = 0; src < seeds && B.childRecord(src, 0)[5] > 50.0f; ++src) {
            }
        if (src == seeds) src = i;
        for (int j = 0; j < step && src != i; ++j) std::copy_n(B.pathRecord(B.tempFrag, j, src), PATH_FIELDS, B.pathRecord(B.tempFrag, j, i));
        std::copy_n(B.childRecord(src, 0), PATH_FIELDS, B.pathRecord(B.tempFrag, step, i));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 400;
    const std::string root = argc > 2 ? argv[2] : LORVANE_BINARY_DIR;
    const bool twoThreads = argc > 3 ? std::atoi(argv[3]) != 1 : true;
    const int reps = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2;
    if (chdir(root.c_str()) != 0) {
        std::cout << "cannot enter " << root << std::endl;
        return 1;
    }
    const Templates tm = loadTemplates("data/atomProp2.txt");
    Potentials pot;
    loadPairTables(pot, 1);
    const Distributions dist = loadDistributions();
    loadRotamers(pot, "data/newsimplRot.txt");

    Structure protein(MAX_RESIDUES);
    if (!readPdb(tm, std::string(LORVANE_SOURCE_DIR) + "/examples/5p21.pdb", protein)) return 1;
    int ls = -1, le = -1;
    for (int i = 1; i < protein._numRes; ++i) {
        if (protein[i].pdbNum == 45) ls = i;
        if (protein[i].pdbNum == 52) le = i;
    }
    SamplerSettings settings;
    settings.numSeeds = std::max(seeds, 100);
    settings.threads = 2;
    Sampler smc({tm, dist, pot}, settings, protein, ls, le, "bench");
    prepare(smc);
    SeedBuffers& B = smc.seeds;
    const GrowthPlan& plan = smc.plan;

    std::printf("\nH-Ras 45-52, %d seeds per step, 72 x 72 = %d bins per seed\n", seeds, NUM_CAND);
    std::printf("wall: elapsed seconds; cpu: CPU seconds of all threads; span: CPU seconds of the busiest thread\n");
    std::printf("seeds/s and speedup use span; bins/s per core uses cpu\n");
    std::printf("%-4s %-4s %-8s %7s %9s %9s %9s %10s %16s %8s %6s\n", "step", "res", "dir", "threads", "wall s", "cpu s", "span s",
                "seeds/s", "bins/s per core", "speedup", "dead");
    for (int step = 0; step < 3; ++step) {
        // Two threads first, then one: the 1-thread run is reproducible draw for
        // draw, so its records are fingerprinted and committed for the next step.
        struct Run {
            double wall = 1e30, cpu = 1e30, span = 1e30;
            int dead = 0;
        } runs[3];
        unsigned long long hash = 0;
        for (int threads : {2, 1}) {
            if (threads == 2 && !twoThreads) continue;
            Run& r = runs[threads];
            for (int rep = 0; rep < reps; ++rep) {
                smc.passes = 1000 + step;  // the same per-seed random streams in every repetition
                // Fresh workspaces for the thread count.
                smc.workspaces.clear();
                smc.workspaces.reserve(threads);
                for (int t = 0; t < threads; ++t) smc.workspaces.emplace_back(smc);
                smc.liveSeeds = seeds;
                smc.chi1SD = CHI1_SD;
                const double t0 = omp_get_wtime();
                r.dead = growStep(smc, step, false);
                r.wall = std::min(r.wall, omp_get_wtime() - t0);
                // On a shared machine wall time says little: the CPU time of the
                // busiest thread is the step's time on otherwise idle cores.
                double span = 0.0, cpu = 0.0;
                for (int t = 0; t < threads; ++t) {
                    span = std::max(span, smc.workspaces[t].busySeconds);
                    cpu += smc.workspaces[t].busySeconds;
                }
                r.span = std::min(r.span, span);
                r.cpu = std::min(r.cpu, cpu);
            }
        }
        hash = recordHash(B, seeds);
        for (int threads : {1, 2}) {
            if (threads == 2 && !twoThreads) continue;
            const Run& r = runs[threads];
            std::printf("%-4d %-4d %-8s %7d %9.3f %9.3f %9.3f %10.1f %16.3g %8.2f %6d\n", step, protein[plan.order[step]].pdbNum,
                        plan.backward[step] ? "backward" : "forward", threads, r.wall, r.cpu, r.span, seeds / r.span,
                        double(seeds) * NUM_CAND / r.cpu, runs[1].span / r.span, r.dead);
        }
        std::printf("     records of the 1-thread run: %016llx\n", hash);
        commitFirstChild(B, step, seeds);
    }
    return 0;
}

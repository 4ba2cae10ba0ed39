// Throughput of the growth step on H-Ras loop 45-52 (examples/5p21.pdb):
// the first three steps of the alternating plan (forward 45, backward 52,
// forward 46) with 1 and 2 threads. Between steps child 0 of every seed is
// committed as that seed's path, so later steps rebuild real partial loops.
//
// usage: bench_growth_step [seeds] [data root] [max threads 1 or 2] [repetitions]
// (defaults: 400, the source tree, 2, 2; each figure is the best repetition)
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

#include "growth/grow_one.h"
#include "growth/seed_buffers.h"
#include "growth/smc.h"
#include "model/atom.h"
#include "model/residue.h"
#include "model/structure.h"
#include "potentials/pf.h"

using namespace lorvane;

namespace {

// Fingerprint of every child record of the step (equal runs give equal sums).
unsigned long long recordHash(int seeds) {
    unsigned long long h = 1469598103934665603ULL;
    for (int i = 0; i < seeds; ++i)
        for (int j = 0; j < CHILDREN; ++j) {
            const float* r = childRecord(i, j);
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

void commitFirstChild(int step, int seeds) {
    for (int i = 0; i < seeds; ++i) {
        int src = i;
        if (childRecord(src, 0)[5] > 50.0f)
            for (src = 0; src < seeds && childRecord(src, 0)[5] > 50.0f; ++src) {
            }
        if (src == seeds) src = i;
        for (int j = 0; j < step && src != i; ++j) std::copy_n(pathRecord(tempFrag, j, src), PATH_FIELDS, pathRecord(tempFrag, j, i));
        std::copy_n(childRecord(src, 0), PATH_FIELDS, pathRecord(tempFrag, step, i));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 400;
    const std::string root = argc > 2 ? argv[2] : LORVANE_SOURCE_DIR;
    const bool twoThreads = argc > 3 ? std::atoi(argv[3]) != 1 : true;
    const int reps = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2;
    if (chdir(root.c_str()) != 0) {
        std::cout << "cannot enter " << root << std::endl;
        return 1;
    }
    Atom::vdw_adj = 1.0;
    Atom::InitPar("data/atomProp2.txt", "./");
    Residue::InitMap();
    Residue::InitPar("data/atomProp2.txt", "./", 0);
    PF::InitPar("data/param/1.txt", "./", 0, 1);
    SMC::LoadSamplingTables();

    Structure protein(MAX_RESIDUES);
    if (!protein.readPdb(std::string(LORVANE_SOURCE_DIR) + "/examples/5p21.pdb", std::set<std::string>(), 0)) return 1;
    int ls = -1, le = -1;
    for (int i = 1; i < protein._numRes; ++i) {
        if (protein[i].pdbNum == 45) ls = i;
        if (protein[i].pdbNum == 52) le = i;
    }
    SMC smc(1);
    smc.work = protein;
    smc.native = protein;
    smc.structs[0] = protein;
    smc.growMode = 1;
    smc.numSeeds = std::max(seeds, 100);
    smc.loopStart = ls;
    smc.loopEnd = le;
    PF::numMP = 2;
    smc.prepare();
    Structure& s = smc.structs[0];

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
            PF::numMP = threads;
            Run& r = runs[threads];
            for (int rep = 0; rep < reps; ++rep) {
                std::srand(1000 + step);
                randnReset();
                SMC::curLoops = seeds;
                PF::chi1SD = 0.17;
                for (GrowOne& g : G) g.busySeconds = 0.0;
                const double t0 = omp_get_wtime();
                r.dead = smc.grow_oneF(s, growOrder[step], growrPos[step], step, growDir[step], false, false);
                r.wall = std::min(r.wall, omp_get_wtime() - t0);
                // On a shared machine wall time says little: the CPU time of the
                // busiest thread is the step's time on otherwise idle cores.
                double span = 0.0, cpu = 0.0;
                for (int t = 0; t < threads; ++t) {
                    span = std::max(span, G[t].busySeconds);
                    cpu += G[t].busySeconds;
                }
                r.span = std::min(r.span, span);
                r.cpu = std::min(r.cpu, cpu);
            }
        }
        hash = recordHash(seeds);
        for (int threads : {1, 2}) {
            if (threads == 2 && !twoThreads) continue;
            const Run& r = runs[threads];
            std::printf("%-4d %-4d %-8s %7d %9.3f %9.3f %9.3f %10.1f %16.3g %8.2f %6d\n", step, protein[growOrder[step]].pdbNum,
                        growDir[step] ? "backward" : "forward", threads, r.wall, r.cpu, r.span, seeds / r.span,
                        double(seeds) * NUM_CAND / r.cpu, runs[1].span / r.span, r.dead);
        }
        std::printf("     records of the 1-thread run: %016llx\n", hash);
        commitFirstChild(step, seeds);
    }
    return 0;
}

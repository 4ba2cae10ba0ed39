#pragma once
// The growth tests' set-up: a prepared sampling run on H-Ras
// (examples/5p21.pdb), with synthetic pair tables the tests control (every
// heavy template atom its own pair type, one pair energy for every type pair
// and bin, no clash distances) or with the repository's tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "build/side_chain.h"
#include "growth/sampler.h"
#include "support/support.h"

namespace growth_test {

using namespace lorvane_test;

// Every heavy template atom of the 20 amino acids a pair type (wrapping at 167).
inline void syntheticPairTypes(Potentials& p) {
    p.pairTypes.clear();
    int next = 0;
    for (int r = 0; r < 20; ++r)
        for (int j = 0; j < tmpl().numAtom[r]; ++j)
            if (tmpl().vdwType[r][j] < 22 && tmpl().vdwType[r][j] != ABSENT)
                p.pairTypes[threeLetter(r) + " " + tmpl().atomName[r][j]] = next++ % NUM_PAIR_TYPES;
}

// Pair energy v for every type pair and bin; clash distances zero; cut-off 8 A in 0.1 A^2 bins.
inline void fillTables(Potentials& p, double v) {
    std::fill_n(&p.etable[0][0][0], PAIR_TABLE_TYPES * PAIR_TABLE_TYPES * ETABLE_BINS, v);
    std::fill_n(&p.ljClash[0][0], PAIR_TABLE_TYPES * PAIR_TABLE_TYPES, 0.0);
    p.maxDis2 = 64.0;
    p.binsPerA = 10.0;
}

// A prepared run of the loop ls0..le0 (PDB numbers) of H-Ras: alternating
// growth, `seeds` seeds, `threads` workspaces. Without real tables the pair
// tables are synthetic (energy v) and the run's potentials are the fixture's
// own, which a test may change between calls.
class RasRun {
public:
    RasRun(int ls0, int le0, double v = 0.0, bool realTables = false, int seeds = FIRST_STEP_SEEDS, int threads = 1,
           const Distributions* dist = nullptr) {
        syntheticPairTypes(synthetic);
        fillTables(synthetic, v);
        SamplerSettings settings;
        settings.numSeeds = seeds;
        settings.threads = threads;
        ls = positionOf(ras(), ls0);
        le = positionOf(ras(), le0);
        const Potentials& p = realTables ? repoPotentials() : synthetic;
        run = std::make_unique<Sampler>(SamplerTables{tmpl(), dist ? *dist : repoDistributions(), p}, settings, ras(), ls, le, "test");
        testing::internal::CaptureStderr();
        prepare(*run);
        testing::internal::GetCapturedStderr();
    }
    Structure& s() { return run->work; }
    GrowOne& g() { return run->workspaces[0]; }
    const AtomIndex& atoms() const { return run->atoms; }

    Potentials synthetic;
    std::unique_ptr<Sampler> run;
    int ls = -1, le = -1;
};

// H-Ras 45-52 prepared with the repository's tables, the working structure
// holding the crystal loop with its hydrogens: where the tests of finished
// loops (refinement, repacking) start.
struct RasNativeLoop {
    RasRun prepared{45, 52, 0.0, true, 200};
    std::unique_ptr<Sampler>& run = prepared.run;
    int start = prepared.ls, end = prepared.le;
    RasNativeLoop() {
        for (int i = start; i <= end; ++i) run->work[i] = ras()[i];
        calH(tmpl(), run->work, start, end);
    }
};

inline bool samePoint(const Point& a, float x, float y, float z) { return a.x == x && a.y == y && a.z == z; }

// True when the list holds an atom exactly at p.
inline bool listHas(const EnvList& e, const Point& p) {
    for (int i = 0; i < e.n; ++i)
        if (samePoint(p, e.x[i], e.y[i], e.z[i])) return true;
    return false;
}

inline bool anyListHas(const GrowOne& g, const Point& p) {
    return listHas(g.nearEnv, p) || listHas(g.midEnv, p) || listHas(g.farEnv, p) || listHas(g.adjEnv, p);
}

}  // namespace growth_test

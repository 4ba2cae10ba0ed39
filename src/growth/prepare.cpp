// Preparation of a sampling run: the Sampler, the checks of the loop and its
// anchors, atom typing and index, dihedrals, growth plan, per-seed tables and
// workspaces; and the closure pair list of the last step.
#include <omp.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>

#include "growth/sampler.h"
#include "model/backbone_dihedrals.h"
#include "model/error.h"
#include "model/secondary_structure.h"
#include "potentials/atom_typing.h"
#include "potentials/oscar.h"

namespace lorvane {

Sampler::Sampler(const SamplerTables& tables, const SamplerSettings& s, const Structure& protein, int start, int end, std::string id)
    : tm(tables.templates),
      dist(tables.distributions),
      pot(tables.potentials),
      settings(s),
      loopId(std::move(id)),
      loopStart(start),
      loopEnd(end),
      growMode(s.growMode),
      work(protein),
      native(protein),
      random(streamKey(s.randomSeed, StreamKind::Main, 0, 0)) {}

double estimatedRunBytes(int numSeeds, int numSteps) {
    // The filter pass holds per child 7 float scores, 2 doubles (deviation and
    // selection weight), 3 ints of closing rotamers and 1 int of ranking.
    constexpr double FILTER_BYTES_PER_CHILD = 7 * sizeof(float) + 2 * sizeof(double) + 4 * sizeof(int);
    return SeedBuffers::bytesFor(numSeeds, numSteps) + static_cast<double>(numSeeds) * CHILDREN * FILTER_BYTES_PER_CHILD;
}

void prepare(Sampler& run) {
    run.runStart = omp_get_wtime();
    Structure& s = run.work;
    const int loopStart = run.loopStart, loopEnd = run.loopEnd;
    // Reject what cannot be grown before anything is allocated.
    checkLoopBounds(s, loopStart, loopEnd);
    if (run.settings.numSeeds < FIRST_STEP_SEEDS)
        fail("Population of " + std::to_string(run.settings.numSeeds) + " seeds is too small: the first growth step uses " +
             std::to_string(FIRST_STEP_SEEDS));
    const int n = loopEnd - loopStart;
    const int N = s._numRes;

    // 1. Per-seed tables. The first step always starts from 100 identical
    // seeds with the default side-chain cut-off. What they and the filter's
    // per-child arrays will take is checked against the memory there is, so
    // that a population too large says so instead of failing an allocation.
    const double need = estimatedRunBytes(run.settings.numSeeds, n - 2);
    const double limit = memoryLimitBytes();
    if (need > limit)
        fail("A population of " + std::to_string(run.settings.numSeeds) + " seeds (-seeds) needs an estimated " + formatBytes(need) +
             " of memory for this loop, more than the " + formatBytes(limit) + " available; lower -seeds");
    run.liveSeeds = FIRST_STEP_SEEDS;
    run.scCut = ENERGY_CUT;
    run.seeds.allocate(run.settings.numSeeds, n - 2);

    // 2. Anchor atoms.
    const Residue& first = s[loopStart];
    const Residue& last = s[loopEnd];
    if (first.atoms[SLOT_N].type == ABSENT) fail("error!  missing N on start residue");
    if (first.atoms[SLOT_CA].type == ABSENT) fail("error!  missing CA on start residue");
    if (last.atoms[SLOT_C].type == ABSENT) fail("error!  missing C on end residue");
    if (last.atoms[SLOT_CA].type == ABSENT) fail("error!  missing CA on end residue");

    // 3. The end residue's O eclipses the next CA, as in a trans peptide.
    if (s[loopEnd].atoms[SLOT_O].type == ABSENT)
        calCo(s[loopEnd + 1].atoms[SLOT_CA], s[loopEnd + 1].atoms[SLOT_N], s[loopEnd].atoms[SLOT_C], run.tm.bondLength[0][SLOT_O], 2.145,
              0.0, s[loopEnd].atoms[SLOT_O]);

    // 4. Atom classes; 5. atom index, secondary structure, dihedrals.
    typeAtoms(run.tm, run.pot, s, loopStart, loopEnd);
    run.atoms = buildAtomIndex(run.tm, s);
    oscar_e(run.pot, s, 1, N);
    std::cerr << std::fixed;
    assign_ss(s, 1, N);
    cal_dha(s, loopStart, loopEnd);
    for (int i = loopStart; i <= loopEnd; ++i) measureChis(run.tm, s[i], DEG2RAD);

    // 6. One workspace per thread.
    run.workspaces.clear();
    run.workspaces.reserve(std::max(run.settings.threads, 1));
    for (int t = 0; t < std::max(run.settings.threads, 1); ++t) {
        run.workspaces.emplace_back(run);
        run.workspaces.back().ensureCapacity(environmentCapacity(run.atoms, s));
    }

    // 7. A chain break right after the loop leaves no end anchor to grow from.
    if (s.gapAfter[loopEnd]) {
        std::cerr << "Missing End anchor defaulting to forward growth. " << std::endl;
        run.growMode = GROW_FORWARD;
    }

    // 8. Growth plan.
    run.plan = makeGrowthPlan(run.growMode, loopStart, loopEnd);
    if (run.settings.progress) std::cerr << "Loop length: " << n + 1 << ".  Algorithm in progress." << std::endl;
}

void buildClosurePairs(Sampler& run, int c, bool backward) {
    const AtomIndex& x = run.atoms;
    const int from = backward ? x.index(c, SLOT_C) : x.index(c - 1, SLOT_C);
    const int to = backward ? x.index(c + 4, SLOT_N) : x.index(c + 3, SLOT_N);
    run.closurePairs.clear();
    for (int a = from; a <= to; ++a) {
        if (x.pairType[a] == NO_PAIR_TYPE || x.atomOf[a][1] > SLOT_CB) continue;
        for (int b = a + 1; b <= to; ++b) {
            if (x.pairType[b] == NO_PAIR_TYPE || x.atomOf[b][1] > SLOT_CB) continue;
            if (!x.nonBonded[a][b]) continue;
            if (static_cast<int>(run.closurePairs.size()) >= MAX_CLOSE_PAIRS)
                fail("closure pair list: more than " + std::to_string(MAX_CLOSE_PAIRS) + " atom pairs around closure residue " +
                     std::to_string(c));
            const int ra = x.atomOf[a][0], rb = x.atomOf[b][0];
            run.closurePairs.push_back({ra, x.atomOf[a][1], rb, x.atomOf[b][1], x.pairType[a], x.pairType[b], std::abs(ra - rb)});
        }
    }
}

void cal_dha(Structure& s, int from, int to) {
    const int N = s._numRes;
    for (int p = std::max(from, 1); p <= std::min(to, N); ++p) {
        Residue& r = s[p];
        r.phi = r.psi = r.omega = UNDEF_DIHEDRAL;
        const bool prevLinked = p > 1 && (p == N || !s.gapAfter[p - 1]);
        const bool nextLinked = p < N && (p == 1 || !s.gapAfter[p]);
        if (prevLinked) r.phi = phiAt(s, p);
        if (nextLinked) {
            r.psi = psiAt(s, p);
            r.omega = omegaAt(s, p);
        }
    }
}

}  // namespace lorvane

#pragma once
// Helpers of the growth tests: templates, a real protein typed with a
// synthetic pair-type map (so the tests need no potential files), and
// controllable pair and clash tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>

#include "growth/grow_one.h"
#include "growth/smc.h"
#include "model/atom.h"
#include "model/residue.h"
#include "model/structure.h"
#include "potentials/atom_tables.h"
#include "potentials/atom_typing.h"
#include "potentials/pf.h"
#include "test_support.h"

using namespace lorvane;

namespace growth_test {

using lorvane_test::sourcePath;
using lorvane_test::templatesLoaded;

// Every heavy template atom of the 20 amino acids gets a pair type (wrapping at 167).
inline void syntheticPairTypes() {
    PF::DFatomtype.clear();
    int next = 0;
    for (int r = 0; r < 20; ++r)
        for (int j = 0; j < Residue::numAtom[r]; ++j)
            if (Residue::vdwType[r][j] < 22 && Residue::vdwType[r][j] != ABSENT)
                PF::DFatomtype[Residue::Name3[r] + " " + Residue::cType[r][j]] = next++ % NUM_PAIR_TYPES;
}

// Constant pair energy v for every type pair and bin; clash distances zero.
inline void fillTables(double v) {
    std::fill(&PF::Etable[0][0][0], &PF::Etable[0][0][0] + 168 * 168 * ETABLE_BINS, v);
    std::fill(&PF::LJclash[0][0], &PF::LJclash[0][0] + 168 * 168, 0.0);
    PF::MAXDIS2 = 64.0;
    PF::BINSPERA = 10.0;
}

// examples/5p21.pdb read, typed for the loop ls..le and indexed by vsgb_setup.
inline bool loadRas(Structure& s, int ls, int le) {
    if (!s.readPdb(sourcePath("examples/5p21.pdb"), std::set<std::string>(), 0)) return false;
    syntheticPairTypes();
    typeAtoms(s, ls, le);
    vsgb_setup(s);
    return true;
}

// Position of the residue with PDB number num.
inline int at(const Structure& s, int num) {
    for (int i = 1; i <= s._numRes; ++i)
        if (s.residues[i].pdbNum == num) return i;
    return -1;
}

// The sampler set up for H-Ras 45-52 (forward-first growth, 100 seeds), ready
// for its first growth step.
inline void prepareRasLoop(SMC& smc, const Structure& protein) {
    smc.work = smc.native = smc.structs[0] = protein;
    smc.growMode = 1;
    smc.numSeeds = 100;
    smc.loopStart = at(protein, 45);
    smc.loopEnd = at(protein, 52);
    smc.prepare();
    PF::chi1SD = 0.17;
}

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

// Preparation helpers of a run on H-Ras: backbone dihedrals, the closure
// pair list and the closure environment.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "growth_support.h"

using namespace growth_test;

namespace {
constexpr int N_ = SLOT_N, CA_ = SLOT_CA, C_ = SLOT_C, O_ = SLOT_O;
}

TEST(CalDha, DihedralsAndChainBreaks) {
    Structure s(ras());
    const int p = positionOf(s, 60);
    cal_dha(s, p - 2, p + 2);
    const Residue& r = s[p];
    EXPECT_NEAR(r.phi, Torsion(s[p - 1].atoms[C_], r.atoms[N_], r.atoms[CA_], r.atoms[C_]), 1e-9);
    EXPECT_NEAR(r.psi, Torsion(r.atoms[N_], r.atoms[CA_], r.atoms[C_], s[p + 1].atoms[N_]), 1e-9);
    EXPECT_NEAR(r.omega, Torsion(r.atoms[CA_], r.atoms[C_], s[p + 1].atoms[N_], s[p + 1].atoms[CA_]), 1e-9);
    EXPECT_GT(std::fabs(r.omega), 150.0);  // trans peptide
    // A chain break after p makes psi and omega of p, and phi of p + 1, undefined;
    // the numbering alone does not (insertion codes, numbering jumps).
    s[p + 1].pdbNum += 5;
    cal_dha(s, p, p + 1);
    EXPECT_NE(s[p].psi, UNDEF_DIHEDRAL);
    s.gapAfter[p] = true;
    cal_dha(s, p, p + 1);
    EXPECT_NE(s[p].phi, UNDEF_DIHEDRAL);
    EXPECT_EQ(s[p].psi, UNDEF_DIHEDRAL);
    EXPECT_EQ(s[p].omega, UNDEF_DIHEDRAL);
    EXPECT_EQ(s[p + 1].phi, UNDEF_DIHEDRAL);
    // Chain ends: no phi at position 1, no psi/omega at the last position.
    cal_dha(s, 1, 1);
    EXPECT_EQ(s[1].phi, UNDEF_DIHEDRAL);
    EXPECT_NE(s[1].psi, UNDEF_DIHEDRAL);
    const int n = s._numRes;
    cal_dha(s, n, n);
    EXPECT_NE(s[n].phi, UNDEF_DIHEDRAL);
    EXPECT_EQ(s[n].psi, UNDEF_DIHEDRAL);
}

// Closure of c..c+2: pairs from C(c-1) (backward: C(c)) to N(c+3) (backward:
// N(c+4)), backbone and CB only, never a bonded or 1-3 pair.
TEST(ClosurePairs, NonBondedBackbonePairsOfTheSite) {
    RasRun run(45, 52);
    const int c = run.ls + 3;
    for (bool backward : {false, true}) {
        buildClosurePairs(*run.run, c, backward);
        const int first = backward ? c : c - 1, last = backward ? c + 4 : c + 3;
        const auto& pairs = run.run->closurePairs;
        ASSERT_GT(pairs.size(), 20u);
        for (const ClosurePair& rec : pairs) {
            EXPECT_TRUE(rec[0] >= first && rec[2] <= last && rec[1] <= SLOT_CB && rec[3] <= SLOT_CB);
            EXPECT_EQ(rec[6], std::abs(rec[0] - rec[2]));
            EXPECT_EQ(run.atoms().nonBonded[run.atoms().index(rec[0], rec[1])][run.atoms().index(rec[2], rec[3])], 1);
            EXPECT_FALSE(rec[0] == rec[2] && rec[1] == N_ && (rec[3] == C_ || rec[3] == CA_));
        }
    }
}

TEST(ClosureEnvironment, ExcludesTheClosureRegion) {
    RasRun run(45, 52);
    Structure& s = run.s();
    const int ls = run.ls, le = run.le;
    GrowOne* g = &run.g();
    const int c = ls + 3;
    auto has = [&](const Point& p) {
        for (int i = 0; i < g->closeEnvCount; ++i)
            if (samePoint(p, g->closeEnvPos[i].x, g->closeEnvPos[i].y, g->closeEnvPos[i].z)) return true;
        return false;
    };
    // Forward: growing c - 1; its N and CA stay, its C, O, CB move.
    g->df_closure_prep(s, ls, le, c, s[c - 1].atoms[CA_], false);
    ASSERT_GT(g->closeEnvCount, 20);
    for (int r = c; r <= c + 2; ++r)
        for (int k = 0; k < 6; ++k) EXPECT_FALSE(has(s[r].atoms[k])) << r << " " << k;
    EXPECT_FALSE(has(s[c + 3].atoms[N_]));
    EXPECT_TRUE(has(s[c + 3].atoms[CA_]));
    EXPECT_TRUE(has(s[c - 1].atoms[N_]));
    EXPECT_FALSE(has(s[c - 1].atoms[C_]));
    EXPECT_FALSE(has(s[c - 1].atoms[O_]));
    for (int i = 0; i < g->closeEnvCount; ++i) EXPECT_LE(s[c - 1].atoms[CA_].sdis(g->closeEnvPos[i]), 225.0);
    EXPECT_EQ(g->closeAtomType[0], run.atoms().typeOf(c, C_));
    EXPECT_EQ(g->closeAtomType[10], run.atoms().typeOf(c + 2, CA_));
    // Backward: growing c + 3; all of it and N, CA of c + 4 are left out.
    g->df_closure_prep(s, ls, le, c, s[c + 3].atoms[CA_], true);
    for (int k = 0; k < 6; ++k) EXPECT_FALSE(has(s[c + 3].atoms[k])) << k;
    EXPECT_FALSE(has(s[c + 4].atoms[N_]));
    EXPECT_FALSE(has(s[c + 4].atoms[CA_]));
    EXPECT_TRUE(has(s[c - 1].atoms[C_]));
    // The growing side chain of loop residues is never environment.
    for (int r = ls; r <= le; ++r)
        for (int k = 6; k < s[r].numAtoms; ++k) EXPECT_FALSE(has(s[r].atoms[k])) << r << " " << k;
}

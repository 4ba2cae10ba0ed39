// Preparation helpers of production on H-Ras: backbone dihedrals, the
// closure pair list and the closure environment.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "growth_support.h"

using namespace growth_test;

namespace {
constexpr int N_ = 0, CA_ = 1, C_ = 2, O_ = 3, CB_ = 5;
}

TEST(CalDha, DihedralsAndChainBreaks) {
    REQUIRE_TEMPLATES();
    Structure s(MAX_RESIDUES);
    ASSERT_TRUE(s.readPdb(sourcePath("examples/5p21.pdb"), {}, 0));
    const int p = at(s, 60);
    cal_dha(s, p - 2, p + 2);
    const Residue& r = s[p];
    EXPECT_NEAR(r.phi, Torsion(s[p - 1].atoms[C_], r.atoms[N_], r.atoms[CA_], r.atoms[C_]), 1e-9);
    EXPECT_NEAR(r.psi, Torsion(r.atoms[N_], r.atoms[CA_], r.atoms[C_], s[p + 1].atoms[N_]), 1e-9);
    EXPECT_NEAR(r.omega, Torsion(r.atoms[CA_], r.atoms[C_], s[p + 1].atoms[N_], s[p + 1].atoms[CA_]), 1e-9);
    EXPECT_GT(std::fabs(r.omega), 150.0);  // trans peptide
    // A numbering gap after p makes psi and omega of p, and phi of p + 1, undefined.
    s[p + 1].pdbNum += 5;
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

// Forward closure of c..c+2: pairs from C(c-1) to N(c+3), backbone and CB
// only, non-bonded pairs only, contact distance from the solvation radii.
TEST(ClosureList, PairsOfTheClosureRegion) {
    REQUIRE_TEMPLATES();
    Structure probe(MAX_RESIDUES);
    ASSERT_TRUE(probe.readPdb(sourcePath("examples/5p21.pdb"), {}, 0));
    const int ls = at(probe, 45), le = at(probe, 52);
    Structure s(MAX_RESIDUES);
    ASSERT_TRUE(loadRas(s, ls, le));
    const int c = ls + 3;
    for (bool backward : {false, true}) {
        closureList(s, ls, le, c, backward);
        const int first = backward ? c : c - 1, last = backward ? c + 4 : c + 3;
        ASSERT_GT(numpairsClose, 20);
        ASSERT_LE(numpairsClose, MAX_CLOSE_PAIRS);
        int expected = 0;
        const int from = atomcountmap[first][C_], to = atomcountmap[last][N_];
        for (int a = from; a <= to; ++a)
            for (int b = a + 1; b <= to; ++b)
                if (dftype[a] != NO_PAIR_TYPE && dftype[b] != NO_PAIR_TYPE && revatomcountmap[a][1] <= 5 && revatomcountmap[b][1] <= 5 &&
                    pairmap[a][b])
                    ++expected;
        EXPECT_EQ(numpairsClose, expected);
        for (int i = 0; i < numpairsClose; ++i) {
            const int* rec = pairlistClose[i];
            EXPECT_GE(rec[0], first);
            EXPECT_LE(rec[2], last);
            EXPECT_LE(rec[1], 5);
            EXPECT_LE(rec[3], 5);
            EXPECT_EQ(rec[7], std::abs(rec[0] - rec[2]));
            const int a = atomcountmap[rec[0]][rec[1]], b = atomcountmap[rec[2]][rec[3]];
            // Bonded (1-2) and 1-3 pairs are never listed: e.g. N and C of one residue.
            EXPECT_EQ(pairmap[a][b], 1);
            EXPECT_FALSE(rec[0] == rec[2] && ((rec[1] == N_ && rec[3] == C_) || (rec[1] == N_ && rec[3] == CA_)));
            const double d = rsolv[a] + rsolv[b] - 0.8;
            EXPECT_FLOAT_EQ(pairlistCloseD[i], static_cast<float>(d * d));
        }
    }
}

TEST(ClosureEnvironment, ExcludesTheClosureRegion) {
    REQUIRE_TEMPLATES();
    Structure probe(MAX_RESIDUES);
    ASSERT_TRUE(probe.readPdb(sourcePath("examples/5p21.pdb"), {}, 0));
    const int ls = at(probe, 45), le = at(probe, 52);
    Structure s(MAX_RESIDUES);
    ASSERT_TRUE(loadRas(s, ls, le));
    auto g = std::make_unique<GrowOne>();
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
    EXPECT_EQ(g->closeAtomType[0], dftype[atomcountmap[c][C_]]);
    EXPECT_EQ(g->closeAtomType[10], dftype[atomcountmap[c + 2][CA_]]);
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
